#include "platform/trace.hpp"

#include "platform/win32/wide.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace zs::platform {

bool trace_enabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("ZEBRIX_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

// Every line goes to the debugger's output, as the system's own trace does;
// with ZEBRIX_TRACE=1 also to standard error.
void trace(const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string line(buffer);
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    line += '\n';
    ::OutputDebugStringW(win32::widen(line).c_str());
    if (!trace_enabled()) {
        return;
    }
    static std::mutex guard;
    std::lock_guard lock(guard);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace zs::platform
