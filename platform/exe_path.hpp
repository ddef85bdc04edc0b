#pragma once
#include <string>

namespace zs::platform {

// Full path of the running executable.
std::string executable_path();

} // namespace zs::platform
