#include "rates/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/test_support.h"
#include "tables/errors.h"

namespace tollwick {
namespace {

using tollwick::testing::TempDir;
using tollwick::testing::WriteFile;

TEST(SplitLines, BreaksAtCrLfAndCrLfAndStopsAtNul) {
  struct Case {
    std::string text;
    std::vector<std::string_view> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"\n", {""}},
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {"a\r\rb", {"a", "", "b"}},
      {"a\n\r b", {"a", "", " b"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\xef\xbb\xbf"
       "a",
       {"\xef\xbb\xbf"
        "a"}},
      {std::string("ab\0c\nd", 6), {"ab"}},
      {std::string("a\n\0", 3), {"a"}},
      {std::string("\0a", 2), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(SplitLines(c.text), c.lines);
  }
}

TEST(ReadTextFile, ReadsARegularFileWhole) {
  TempDir dir;
  std::string bytes("x;y\r\n\0tail", 10);
  WriteFile(dir / "f.txt", bytes);
  std::string text = "old";
  ASSERT_TRUE(ReadTextFile(dir / "f.txt", text));
  EXPECT_EQ(text, bytes);
  // A link to a regular file counts as the file.
  ASSERT_EQ(symlink((dir / "f.txt").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(ReadTextFile(dir / "link", text));
  EXPECT_EQ(text, bytes);
}

TEST(ReadTextFile, SkipsWhatIsNoRegularFile) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "a dir").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  for (const char* name : {"missing", "a dir", "fifo", "dangling"}) {
    std::string text = "old";
    EXPECT_FALSE(ReadTextFile(dir / name, text)) << name;
    EXPECT_EQ(text, "") << name;
  }
}

// Root opens every file, so a root run checks the refusal in a child that gave up its rights.
void DropRootRights() {
  if (geteuid() != 0) return;
  if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(9);
}

TEST(ReadTextFile, AFileThatCannotBeOpenedRaisesWithItsAbsolutePath) {
  TempDir dir;
  WriteFile(dir / "prices.csv", "X;Y;1");
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir / "prices.csv").c_str(), 0), 0);
  tollwick::testing::ScopedChdir here(dir.path());
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  const std::string expected =
      "Cannot open file \"" + std::string(cwd) + "/prices.csv\". Permission denied";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        DropRootRights();
        std::string text;
        try {
          ReadTextFile("prices.csv", text);
        } catch (const TollwickError& e) {
          std::fputs(e.what(), stderr);
          std::_Exit(e.kind() == ErrorKind::EFOpenError && e.what() == expected ? 0 : 2);
        }
        std::_Exit(1);
      },
      ::testing::ExitedWithCode(0), "Permission denied");
}

}  // namespace
}  // namespace tollwick
