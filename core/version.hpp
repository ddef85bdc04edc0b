#pragma once

namespace zs::core {

inline constexpr const char* version_text = "2.0.1";
inline constexpr const char* build_text = "5058";
inline constexpr const char* version_line = "2.0.1 build 5058";

} // namespace zs::core
