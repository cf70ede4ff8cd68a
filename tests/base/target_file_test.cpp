// The file that takes its name only on commit: where it ends up, what a failure leaves behind,
// and the hidden-file way taken where the file system has no unnamed files.
#include "base/target_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "support/checks.h"
#include "support/faulty_writes.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

// Through links the file replaces their target, keeping its permissions, but only on a commit:
// left uncommitted, or when the commit's sync, link or rename fails, it leaves the old file.
TEST(TargetFile, TakesTheTargetsNameOnlyOnCommit) {
  const std::tuple<const char*, int FaultyWrites::*, int> faults[] = {
      {"not committed", nullptr, 0},
      {"sync", &FaultyWrites::sync_error, EIO},
      {"link", &FaultyWrites::link_error, ENOSPC},
      {"rename", &FaultyWrites::rename_error, EACCES}};
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "hidden name");
    TempDir dir;
    WriteFile(dir / "old.xlsx", "old");
    ::chmod((dir / "old.xlsx").c_str(), 0640);
    std::filesystem::create_directory(dir / "sub");
    ASSERT_EQ(::symlink("sub/../old.xlsx", (dir / "link.xlsx").c_str()), 0);
    ASSERT_EQ(::symlink("../link.xlsx", (dir / "sub/chain.XLSX").c_str()), 0);
    const Tree before = Snapshot(dir.path());
    FaultyWrites files;
    files.no_unnamed_files = !unnamed;
    for (const auto& [what, error, err] : faults) {
      if (!unnamed && error == &FaultyWrites::link_error) continue;
      if (error) files.*error = err;
      {
        TargetFile file(files, dir / "sub/chain.XLSX", {".xlsx"});
        EXPECT_GT(file.fd(), 2);
        ASSERT_EQ(WriteFully(SystemFileSystem(), file.fd(), "new", 3), 0);
        EXPECT_EQ(Snapshot(dir.path()).size(), before.size() + (unnamed ? 0 : 1));
        if (error) {
          EXPECT_EQ(ErrorOf([&] { file.Commit(); }), "EInOutError: Cannot write file \"" +
                                                         (dir / "old.xlsx") + "\". " +
                                                         SystemErrorText(err));
        }
      }
      if (error) files.*error = 0;
      EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "") << what;
    }
    bool held = false;  // the ending signals wait between the link and the rename
    files.before_rename = [&held] {
      sigset_t now;
      pthread_sigmask(SIG_BLOCK, nullptr, &now);
      held = sigismember(&now, SIGTERM) == 1;
    };
    {
      TargetFile file(files, dir / "sub/chain.XLSX", {".xlsx"});
      WriteFile(file.ReopenPath(), "new");  // as writers that open files by name do
      file.Commit();
    }
    EXPECT_TRUE(held || !unnamed);
    Tree after = before;
    after["old.xlsx"] = "new";
    EXPECT_EQ(TreeDiff(after, Snapshot(dir.path())), "");
    EXPECT_EQ(std::filesystem::status(dir / "old.xlsx").permissions(),
              std::filesystem::perms(0640));
  }
}

// (The binary's tests meet the rest: links to reports, folders, FIFOs, loops, missing folders.)
TEST(TargetFile, RefusesWhatIsNoFileOfItsKind) {
  TempDir dir;
  ASSERT_EQ(::symlink("b.xlsx", (dir / "a.xlsx").c_str()), 0);
  ASSERT_EQ(::symlink("a.xlsx", (dir / "b.xlsx").c_str()), 0);
  const Tree before = Snapshot(dir.path());
  const std::pair<std::string, std::string> cases[] = {{"a.xlsx", SystemErrorText(ELOOP)},
                                                       {"dir.xlsx/", SystemErrorText(EISDIR)}};
  for (const auto& [name, reason] : cases) {
    const std::string path = dir / name;
    EXPECT_EQ(ErrorOf([&] { TargetFile(SystemFileSystem(), path, {".xlsx"}); }),
              "EFOpenError: Cannot create file \"" + path + "\". " + reason);
  }
  EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
  // A file at the root is made in "/" (a file system that opens no folder stops it there).
  struct NoFolders : FileSystem {
    std::string asked;
    int DoOpenAt(int, const std::string& name, int) override {
      asked = name;
      errno = EACCES;
      return -1;
    }
  } no_folders;
  EXPECT_EQ(ErrorOf([&] { TargetFile(no_folders, "/tollwick-none.xlsx", {".xlsx"}); }),
            "EFOpenError: Cannot create file \"/tollwick-none.xlsx\". " + SystemErrorText(EACCES));
  EXPECT_EQ(no_folders.asked, "/");
}

// Hidden files (as many as there are slots, one freed before) are removed by any signal that ends
// the process, which then ends as the signal would have ended it.
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
      { TargetFile dropped(files, dir / "book.xlsx", {".xlsx"}); }  // its slot is free again
      std::vector<std::unique_ptr<TargetFile>> open;                // as many as there are slots
      for (int i = 0; i < 8; ++i)
        open.push_back(std::make_unique<TargetFile>(
            files, dir / "book.xlsx", std::initializer_list<std::string_view>{".xlsx"}));
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
