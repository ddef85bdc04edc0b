#pragma once
// How the file functions hand a failure's cause to a caller that asked for
// it (an optional std::error_code*), on both systems.
#include <system_error>

namespace zs::platform::detail {

inline bool fail(std::error_code* error, std::error_code code) {
    if (error != nullptr) {
        *error = code;
    }
    return false;
}

// A POSIX errno value.
inline bool fail(std::error_code* error, int code) {
    return fail(error, std::error_code(code, std::generic_category()));
}

inline bool succeed(std::error_code* error) {
    if (error != nullptr) {
        error->clear();
    }
    return true;
}

} // namespace zs::platform::detail
