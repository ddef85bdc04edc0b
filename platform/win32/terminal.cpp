#include "platform/terminal.hpp"

#include <windows.h>

#include <cstdio>
#include <io.h>

namespace zs::platform {

namespace {

std::optional<std::string> read_line() {
    std::string line;
    for (;;) {
        const int c = std::fgetc(stdin);
        if (c == EOF) {
            if (line.empty()) {
                return std::nullopt;
            }
            break;
        }
        if (c == '\n') {
            break;
        }
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace

bool is_terminal(standard_stream stream) {
    FILE* f = stream == standard_stream::input    ? stdin
              : stream == standard_stream::output ? stdout
                                                  : stderr;
    return _isatty(_fileno(f)) != 0;
}

std::optional<std::string> read_secret_line(const std::string& prompt) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (!::GetConsoleMode(input, &saved)) {
        return read_line();
    }
    ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    auto line = read_line();
    std::fputs("\n", stderr);
    ::SetConsoleMode(input, saved);
    return line;
}

} // namespace zs::platform
