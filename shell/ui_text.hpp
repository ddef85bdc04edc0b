#pragma once
// The numbered user-interface texts as Qt strings.
#include "core/strings.hpp"

#include <QString>

namespace zs::shell {

inline QString text_of(core::string_id id) {
    return QString::fromStdU16String(core::get_string(id));
}

inline QString text_of(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace zs::shell
