// The file that takes its name only on commit: where it ends up, what a failure leaves behind,
// and the hidden-file way taken where the file system has no unnamed files.
#include "base/target_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <optional>

#include "base/errors.h"
#include "support/checks.h"
#include "support/faulty_writes.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

void WriteThrough(const TargetFile& file, std::string_view text) {
  ASSERT_EQ(WriteFully(SystemFileSystem(), file.fd(), text.data(), text.size()), 0);
}

TEST(TargetFile, TakesTheTargetsNameOnlyOnCommit) {
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "hidden name");
    TempDir dir;
    WriteFile(dir / "old.xlsx", "old");
    ::chmod((dir / "old.xlsx").c_str(), 0640);
    WriteFile(dir / "sub/report.zip", "report");
    ASSERT_EQ(::symlink("sub/../old.xlsx", (dir / "link.xlsx").c_str()), 0);
    ASSERT_EQ(::symlink("../link.xlsx", (dir / "sub/chain.XLSX").c_str()), 0);
    const Tree before = Snapshot(dir.path());
    FaultyWrites files;
    files.no_unnamed_files = !unnamed;
    {
      TargetFile file(files, dir / "sub/chain.XLSX", {".xlsx"});
      EXPECT_EQ(file.target(), dir / "old.xlsx");
      EXPECT_EQ(file.unnamed(), unnamed);
      EXPECT_GT(file.fd(), 2);
      WriteThrough(file, "new");
      EXPECT_EQ(Snapshot(dir.path()).size(), before.size() + (unnamed ? 0 : 1));
    }
    EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "") << "not committed";
    {
      TargetFile file(files, dir / "sub/chain.XLSX", {".xlsx"});
      // Writers that open files by name reach the same file.
      FILE* by_name = std::fopen(file.ReopenPath().c_str(), "wb");
      ASSERT_NE(by_name, nullptr);
      std::fputs("new", by_name);
      std::fclose(by_name);
      file.Commit();
    }
    Tree after = before;
    after["old.xlsx"] = "new";
    EXPECT_EQ(TreeDiff(after, Snapshot(dir.path())), "");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "old.xlsx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced file's permissions";
  }
}

TEST(TargetFile, RefusesWhatIsNoWritableFileOfItsKind) {
  TempDir dir;
  WriteFile(dir / "report.zip", "report");
  WriteFile(dir / "sub/keep", "");
  const std::string not_ending = "The name must end in \".xlsx\".";
  const struct {
    const char* name;
    const char* link;  // what `name` links to, if it is a link
    std::string target;
    std::string reason;
  } cases[] = {
      {"to-report.xlsx", "report.zip", dir / "report.zip", not_ending},
      {"plain.csv", nullptr, dir / "plain.csv", not_ending},
      {"to-folder.xlsx", "sub", dir / "sub", not_ending},
      {"sub.xlsx", nullptr, dir / "sub.xlsx", SystemErrorText(EISDIR)},
      {"loop.xlsx", "loop.xlsx", dir / "loop.xlsx", SystemErrorText(ELOOP)},
      {"dangling.xlsx", "missing/x.xlsx", dir / "missing/x.xlsx", SystemErrorText(ENOENT)},
      {"fifo.xlsx", nullptr, dir / "fifo.xlsx", "Not a regular file"},
      {"dir.xlsx/", nullptr, dir / "dir.xlsx/", SystemErrorText(EISDIR)},
  };
  ASSERT_EQ(::mkdir((dir / "sub.xlsx").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo.xlsx").c_str(), 0644), 0);
  for (const auto& c : cases) {
    if (c.link != nullptr) {
      ASSERT_EQ(::symlink(c.link, (dir / c.name).c_str()), 0);
    }
  }
  const Tree before = Snapshot(dir.path());
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { TargetFile(SystemFileSystem(), dir / c.name, {".xlsx"}); }),
              "EFOpenError: Cannot create file \"" + c.target + "\". " + c.reason)
        << c.name;
  EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
  EXPECT_EQ(ErrorOf([&] {
              TargetFile(SystemFileSystem(), dir / "a.txt", {".html", ".htm"});
            }),
            "EFOpenError: Cannot create file \"" + (dir / "a.txt") +
                "\". The name must end in \".html\" or \".htm\".");
}

TEST(TargetFile, AFailedCommitKeepsTheOldFileAndLeavesNothing) {
  const struct {
    const char* what;
    int FaultyWrites::*error;
    int err;
  } faults[] = {{"sync", &FaultyWrites::sync_error, EIO},
                {"link", &FaultyWrites::link_error, ENOSPC},
                {"rename", &FaultyWrites::rename_error, EACCES}};
  for (bool unnamed : {true, false})
    for (const auto& fault : faults) {
      if (!unnamed && fault.error == &FaultyWrites::link_error) continue;
      SCOPED_TRACE(std::string(fault.what) + (unnamed ? " unnamed" : " hidden name"));
      TempDir dir;
      WriteFile(dir / "book.xlsx", "old");
      const Tree before = Snapshot(dir.path());
      FaultyWrites files;
      files.no_unnamed_files = !unnamed;
      files.*fault.error = fault.err;
      {
        TargetFile file(files, dir / "book.xlsx", {".xlsx"});
        WriteThrough(file, "new");
        EXPECT_EQ(ErrorOf([&] { file.Commit(); }), "EInOutError: Cannot write file \"" +
                                                       (dir / "book.xlsx") + "\". " +
                                                       SystemErrorText(fault.err));
      }
      EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
    }
}

TEST(TargetFile, ARenameThatReplacesNothingStillCommits) {
  TempDir dir;
  FaultyWrites files;
  std::optional<Tree> during;
  files.before_rename = [&] { during = Snapshot(dir.path()); };
  TargetFile file(files, dir / "new.xlsx", {".xlsx"});
  WriteThrough(file, "made");
  file.Commit();
  ASSERT_TRUE(during);
  EXPECT_EQ(during->size(), 1u) << "one hidden name just before the rename";
  EXPECT_EQ(TreeDiff({{"new.xlsx", "made"}}, Snapshot(dir.path())), "");
}

// A hidden file is removed by any signal that ends the process, which then ends as the signal
// would have ended it.
TEST(TargetFile, ASignalRemovesTheHiddenFile) {
  TempDir dir;
  WriteFile(dir / "book.xlsx", "old");
  const Tree before = Snapshot(dir.path());
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM}) {
    SCOPED_TRACE(signal);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      rlimit no_core{0, 0};
      ::setrlimit(RLIMIT_CORE, &no_core);
      FaultyWrites files;
      files.no_unnamed_files = true;
      TargetFile file(files, dir / "book.xlsx", {".xlsx"});
      ::kill(::getpid(), signal);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
  }
}

}  // namespace
}  // namespace tollwick::testing
