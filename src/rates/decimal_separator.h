// The user's decimal separator, taken from the locale named in the environment: LC_ALL, else
// LC_NUMERIC, else LANG (the first one set and not empty). The locale is looked up on its own
// (newlocale), so the program's global locale never changes. "." when no variable is set or
// the named locale is not installed.
#pragma once

#include <string>

namespace tollwick {

// The decimal separator of the named locale, "." when it cannot be loaded.
std::string DecimalSeparatorOfLocale(const char* name);

// The decimal separator of the locale the environment names.
std::string DecimalSeparatorFromEnvironment();

}  // namespace tollwick
