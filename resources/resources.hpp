#pragma once
#include <string_view>

namespace zs::resources {

// The built-in string list: UTF-8, one string per line, each ending in LF.
std::string_view builtin_strings();

#ifdef _WIN32
// The compiled-in copy; builtin_strings() gives the executable's "TXT"
// resource instead when it has one.
std::string_view embedded_strings();
#endif

} // namespace zs::resources
