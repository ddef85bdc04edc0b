#include "platform/terminal.hpp"

#include <windows.h>

#include <cstdio>
#include <io.h>

namespace zs::platform {

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
        return read_input_line();
    }
    ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    auto line = read_input_line();
    std::fputs("\n", stderr);
    ::SetConsoleMode(input, saved);
    return line;
}

} // namespace zs::platform
