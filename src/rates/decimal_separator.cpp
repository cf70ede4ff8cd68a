#include "rates/decimal_separator.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

namespace tollwick {

std::string DecimalSeparatorOfLocale(const char* name) {
  if (name == nullptr || *name == '\0') return ".";
  locale_t locale = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return ".";
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  std::string separator = radix != nullptr && *radix != '\0' ? radix : ".";
  freelocale(locale);
  return separator;
}

std::string DecimalSeparatorFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): nothing in the program changes the environment
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return DecimalSeparatorOfLocale(value);
  }
  return ".";
}

}  // namespace tollwick
