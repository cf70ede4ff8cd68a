#include "support/test_support.h"

#include "support/literal_archive.h"

#define ZLIB_CONST
#include <zlib.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace tollwick::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/tollwick-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable again so that the removal cannot fail on a test's chmod.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

ScopedChdir::ScopedChdir(const std::string& dir) : previous_(fs::current_path().string()) {
  fs::current_path(dir);
}

ScopedChdir::~ScopedChdir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

void WriteFile(const std::string& path, std::string_view bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& [path, what] : Snapshot(root))
    out.push_back(what == "<dir>" ? path + "/" : path);
  std::sort(out.begin(), out.end());
  return out;
}

namespace {

// Little-endian fields, given as pairs: byte width, value.
void Put(std::string& out, std::initializer_list<uint64_t> widths_and_values) {
  for (auto it = widths_and_values.begin(); it != widths_and_values.end(); it += 2)
    for (uint64_t i = 0; i < it[0]; ++i) out.push_back(static_cast<char>(it[1] >> (8 * i)));
}

}  // namespace

std::string MakeZip(const std::vector<ZipEntry>& entries) {
  std::string out, central;
  for (const ZipEntry& e : entries) {
    const auto offset = static_cast<uint32_t>(out.size());
    const auto crc =
        e.declared_crc >= 0 ? static_cast<uint32_t>(e.declared_crc) : literal::Crc32(e.data);
    const int64_t size = static_cast<int64_t>(e.data.size());
    const auto csize =
        static_cast<uint32_t>(e.declared_compressed >= 0 ? e.declared_compressed : size);
    const auto usize =
        static_cast<uint32_t>(e.declared_uncompressed >= 0 ? e.declared_uncompressed : size);
    const auto name = static_cast<uint32_t>(e.name.size());
    Put(out, {4, 0x04034B50u, 2, 10,    2, e.flags, 2, e.method,      2, 0, 2, 0x3C21, 4, crc,
              4, csize,       4, usize, 2, name,    2, e.extra.size()});
    out += e.name + e.extra + e.data + e.trailer;
    Put(central, {4, 0x02014B50u, 2, 20,    2, 10,    2, 0,    2, e.method, 2, 0, 2, 0x3C21,
                  4, crc,         4, csize, 4, usize, 2, name, 8, 0,        4, 0, 4, offset});
    central += e.name;
  }
  Put(central, {4, 0x06054B50u, 4, 0, 2, entries.size(), 2, entries.size(), 4, central.size(), 4,
                out.size(), 2, 0});
  return out + central;
}

ZipEntry Stored(std::string name, std::string data, int64_t declared) {
  return ZipEntry(std::move(name), std::move(data), 0, declared, declared);
}

ZipEntry Deflated(std::string name, std::string_view data, bool streamed, bool bare) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::string packed(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<const Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  packed.resize(z.total_out);
  deflateEnd(&z);
  const auto size = static_cast<int64_t>(data.size()), crc = int64_t{literal::Crc32(data)};
  ZipEntry entry(std::move(name), packed, 8, static_cast<int64_t>(packed.size()), size);
  entry.declared_crc = crc;
  if (streamed) {
    entry.flags = 8;
    entry.declared_crc = entry.declared_compressed = entry.declared_uncompressed = 0;
    if (!bare) Put(entry.trailer, {4, 0x08074B50u});
    Put(entry.trailer,
        {4, static_cast<uint64_t>(crc), 4, packed.size(), 4, static_cast<uint64_t>(size)});
  }
  return entry;
}

std::string LocalHeader(const ZipEntry& entry) {
  return MakeZip({entry}).substr(0, 30);
}

Tree Snapshot(const std::string& root) {
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    // Lexically, so that a link that loops is listed rather than followed.
    std::string rel = it->path().lexically_relative(root).string();
    fs::file_status st = it->symlink_status();
    tree[rel] = fs::is_symlink(st)     ? "<link>" + fs::read_symlink(it->path()).string()
                : fs::is_directory(st) ? "<dir>"
                : fs::is_fifo(st)      ? "<fifo>"
                                       : ReadFile(it->path().string());
  }
  return tree;
}

Tree Renamed(Tree tree, const std::string& from, const std::string& to) {
  auto node = tree.extract(from);
  if (node.empty()) throw std::logic_error("no " + from + " in the tree");
  node.key() = to;
  tree.insert(std::move(node));
  return tree;
}

std::string TreeDiff(const Tree& expected, const Tree& actual) {
  std::string diff;
  for (const auto& [path, content] : expected) {
    auto it = actual.find(path);
    if (it == actual.end() || it->second != content)
      diff += (it == actual.end() ? "missing: " : "changed: ") + path + "\n";
  }
  for (const auto& [path, content] : actual)
    if (expected.count(path) == 0) diff += "unexpected: " + path + "\n";
  return diff;
}

void GiveToUnprivileged(const std::string& root) {
  if (::geteuid() != 0) return;
  auto give = [](const std::string& path) {
    if (::lchown(path.c_str(), 65534, 65534) != 0)  // nobody, nogroup
      throw std::runtime_error("cannot hand " + path + " to nobody");
  };
  give(root);
  for (const auto& entry : fs::recursive_directory_iterator(root)) give(entry.path().string());
}

namespace {

void AppendRow(std::string& out, const std::vector<std::string>& cells) {
  out += "   <Row>\r\n";
  for (const std::string& cell : cells)
    out += "    <Cell><Data ss:Type=\"String\">" + cell + "</Data></Cell>\r\n";
  out += "   </Row>\r\n";
}

}  // namespace

void WriteOneSaleTree(const std::string& dir) {
  WriteFile(dir + "/a.xml", MakeReport({{"X1", "Alpha", "1.0", "", "", "US"}},
                                       {{"X1", "P1", "", "", "", "2010-01-15T10:00:00Z", ""}}));
  WriteFile(dir + "/prices.csv", "X1;EUR;100\r\n");
}

std::string MakeReport(const std::vector<std::vector<std::string>>& sku_rows,
                       const std::vector<std::vector<std::string>>& sale_rows) {
  std::string out =
      "<?xml version=\"1.0\"?>\r\n<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\""
      "\r\n xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n";
  out += " <Worksheet ss:Name=\"SKU detail\">\r\n  <Table>\r\n";
  AppendRow(out, {"SKU", "Title", "Version", "Detail", "Edition", "Market"});
  for (const auto& row : sku_rows) AppendRow(out, row);
  out += "  </Table>\r\n </Worksheet>\r\n";
  out += " <Worksheet ss:Name=\"Purchase History\">\r\n  <Table>\r\n";
  AppendRow(out, {"SKU", "Purchase", "Buyer", "Country", "State", "Date", "Status"});
  for (const auto& row : sale_rows) AppendRow(out, row);
  out += "  </Table>\r\n </Worksheet>\r\n</Workbook>\r\n";
  return out;
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
  return __has_feature(address_sanitizer);
#else
  return false;
#endif
}

bool UnderThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)  // as g++ and clang define it
  return true;
#else
  return false;
#endif
}

namespace {

constexpr const char* kSetpriv = "/usr/bin/setpriv";

RunResult RunOnce(const BinaryRun& run) {
  TempDir capture;
  std::string out_path = capture / "stdout", err_path = capture / "stderr";
  // Every vector is built before the fork: the child only makes system calls.
  std::vector<std::string> words;
  if (run.unprivileged && ::geteuid() == 0)
    words = {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  words.push_back(TOLLWICK_BINARY);
  words.insert(words.end(), run.args.begin(), run.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // The shadow memory of AddressSanitizer and ThreadSanitizer needs far more address space than
  // any sane limit, so their own bound on single allocations stands in for RLIMIT_AS.
  const bool sanitizer_bound = UnderAddressSanitizer() || UnderThreadSanitizer();
  const std::string variable = UnderThreadSanitizer() ? "TSAN_OPTIONS=" : "ASAN_OPTIONS=";
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e)
    if (!std::string_view(*e).starts_with(variable)) environment.emplace_back(*e);
  const char* sanitizer_options = std::getenv(variable.substr(0, variable.size() - 1).c_str());
  std::string options = sanitizer_options != nullptr ? sanitizer_options : "";
  if (run.address_space != 0 && sanitizer_bound)
    options += ":max_allocation_size_mb=" + std::to_string(run.address_space >> 20);
  if (!options.empty()) environment.push_back(variable + options);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = run.stdout_fd >= 0 || run.close_stdout
                  ? run.stdout_fd
                  : ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if ((out < 0 && !run.close_stdout) || err < 0 || in < 0 || ::chdir(run.cwd.c_str()) != 0)
      ::_exit(127);
    if (run.remove_cwd && ::rmdir(run.cwd.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    if (run.close_stdout)
      ::close(1);
    else
      ::dup2(out, 1);
    ::dup2(err, 2);
    if (run.file_size_limit != 0 && ::signal(SIGXFSZ, SIG_DFL) == SIG_ERR) ::_exit(127);
    const std::pair<int, uint64_t> limits[] = {{RLIMIT_AS, sanitizer_bound ? 0 : run.address_space},
                                               {RLIMIT_NPROC, run.process_limit},
                                               {RLIMIT_NOFILE, run.open_files},
                                               {RLIMIT_FSIZE, run.file_size_limit}};
    for (const auto& [resource, value] : limits) {
      const rlimit limit{value, value};
      if (value != 0 && ::setrlimit(resource, &limit) != 0) ::_exit(127);
    }
    if (run.signal != 0) {
      ::signal(run.signal, SIG_DFL);  // also where the tests ignore it
      rlimit no_core{0, 0};           // SIGQUIT would leave one in the tree
      ::setrlimit(RLIMIT_CORE, &no_core);
    }
    ::alarm(run.timeout_seconds);  // survives exec
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int wstatus = 0;
  for (bool signalled = run.signal == 0;;) {
    pid_t ended = ::waitpid(pid, &wstatus, signalled ? 0 : WNOHANG);
    if (ended == pid) break;
    if (ended < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (!signalled && (signalled = run.signal_when())) ::kill(pid, run.signal);
    if (!signalled) ::usleep(1000);
  }
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (run.stdout_fd < 0 && !run.close_stdout) result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

}  // namespace

bool CanRunUnprivileged() {
  return ::geteuid() != 0 || ::access(kSetpriv, X_OK) == 0;
}

RunResult RunBinary(const BinaryRun& run) {
  // Under a process limit, setpriv's exec fails while another test runs as "nobody" (the limit
  // counts that user's processes): tried again, for up to ten seconds.
  RunResult result = RunOnce(run);
  for (int tries = 0; tries < 200 && run.process_limit != 0 && result.err.starts_with("setpriv:");
       ++tries) {
    ::usleep(50000);
    result = RunOnce(run);
  }
  return result;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string NormalizedReport(std::string report) {
  static const std::regex address(" at [0-9A-Fa-f]{8}\\.\r\n");
  return std::regex_replace(report, address, " at ADDRESS.\r\n",
                            std::regex_constants::format_first_only);
}

std::string ExpectedReport(const std::string& kind, const std::string& message) {
  return "Exception " + kind + " in module tollwick at ADDRESS.\r\n" + message + "\r\n\r\n";
}

}  // namespace tollwick::testing
