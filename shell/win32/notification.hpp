#pragma once
// What the shell's window does with the programs' notifications: hands each
// to the server's procedure, which queues its work and gives the answer.
#include "platform/desktop.hpp"

#include <cstdint>
#include <functional>

namespace zs::shell::win32 {

using notification_procedure = std::function<std::int64_t(const platform::window_message&)>;

} // namespace zs::shell::win32
