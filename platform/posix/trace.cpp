#include "platform/trace.hpp"

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

void trace(const char* format, ...) {
    if (!trace_enabled()) {
        return;
    }
    char buffer[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string line(buffer);
    // A format may already end in "\n"; one line per call either way.
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    line += '\n';
    static std::mutex guard;
    std::lock_guard lock(guard);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace zs::platform
