#pragma once

#include <cstdlib>
#include <string>

namespace taperly::testing {

// Sets or removes an environment variable of this process on every system.
// Windows' C library removes a variable that is given an empty value.
inline void set_environment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), value.c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void unset_environment(const std::string& name) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), "");
#else
    ::unsetenv(name.c_str());
#endif
}

}  // namespace taperly::testing
