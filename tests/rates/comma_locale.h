// Finding an installed locale whose decimal separator is a comma, for the tests that need one.
#pragma once

#include <cstdio>
#include <string>

#include "rates/decimal_separator.h"

namespace tollwick {

// A few common names first, then whatever `locale -a` lists; empty when there is none.
inline std::string CommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"})
    if (DecimalSeparatorOfLocale(name) == ",") return name;
  FILE* list = popen("locale -a 2>/dev/null", "r");
  if (list == nullptr) return "";
  std::string found;
  char line[256];
  while (found.empty() && fgets(line, sizeof line, list) != nullptr) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (DecimalSeparatorOfLocale(name.c_str()) == ",") found = name;
  }
  pclose(list);
  return found;
}

}  // namespace tollwick
