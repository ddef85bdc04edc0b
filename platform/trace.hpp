#pragma once
// Debug trace: printf-style lines on standard error, only with ZEBRIX_TRACE=1.
// Trace lines carry no protocol meaning and are never shown to users.

namespace zs::platform {

bool trace_enabled();

[[gnu::format(printf, 1, 2)]] void trace(const char* format, ...);

} // namespace zs::platform
