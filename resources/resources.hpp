#pragma once
#include <string_view>

namespace zs::resources {

// The built-in string list: UTF-8, one string per line, each ending in LF.
std::string_view builtin_strings();

} // namespace zs::resources
