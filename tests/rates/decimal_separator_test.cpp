#include "rates/decimal_separator.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <optional>

#include "rates/comma_locale.h"

namespace tollwick {
namespace {

// Sets or unsets the three variables for the lifetime of the object.
class ScopedLocaleEnvironment {
 public:
  ScopedLocaleEnvironment(const char* all, const char* numeric, const char* lang) {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    Set("LC_ALL", all);
    Set("LC_NUMERIC", numeric);
    Set("LANG", lang);
  }
  ~ScopedLocaleEnvironment() {
    for (size_t i = 0; i < 3; ++i) Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
  }

 private:
  static void Set(const char* name, const char* value) {
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_NUMERIC", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST(DecimalSeparator, PointWhenUnsetUnknownOrPlain) {
  EXPECT_EQ(DecimalSeparatorOfLocale(nullptr), ".");
  EXPECT_EQ(DecimalSeparatorOfLocale(""), ".");
  EXPECT_EQ(DecimalSeparatorOfLocale("C"), ".");
  EXPECT_EQ(DecimalSeparatorOfLocale("POSIX"), ".");
  EXPECT_EQ(DecimalSeparatorOfLocale("xx_NOWHERE.UTF-8"), ".");
  ScopedLocaleEnvironment none(nullptr, nullptr, nullptr);
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), ".");
  ScopedLocaleEnvironment unknown("xx_NOWHERE", nullptr, nullptr);
  EXPECT_EQ(DecimalSeparatorFromEnvironment(), ".");
}

TEST(DecimalSeparator, VariablesInTheirOrderWithACommaLocale) {
  std::string comma = CommaLocale();
  if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const char* c = comma.c_str();
  struct Case {
    const char* all;
    const char* numeric;
    const char* lang;
    const char* separator;
  };
  const Case cases[] = {
      {c, nullptr, nullptr, ","}, {nullptr, c, nullptr, ","}, {nullptr, nullptr, c, ","},
      {"C", c, c, "."},           {"", c, nullptr, ","},      {nullptr, "C", c, "."},
      {nullptr, "", c, ","},
  };
  std::string global_before = setlocale(LC_NUMERIC, nullptr);
  for (const Case& k : cases) {
    ScopedLocaleEnvironment env(k.all, k.numeric, k.lang);
    EXPECT_EQ(DecimalSeparatorFromEnvironment(), k.separator)
        << (k.all ? k.all : "-") << " " << (k.numeric ? k.numeric : "-") << " "
        << (k.lang ? k.lang : "-");
  }
  EXPECT_EQ(setlocale(LC_NUMERIC, nullptr), global_before);
}

}  // namespace
}  // namespace tollwick
