#pragma once
// The numbered user-interface texts as wide strings for the Windows calls.
#include "core/strings.hpp"

#include <string>

namespace zs::shell::win32 {

inline std::wstring wide_text(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::wstring text_of(core::string_id id) {
    return wide_text(core::get_string(id));
}

} // namespace zs::shell::win32
