#include "platform/terminal.hpp"

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace zs::platform {

namespace {

int descriptor(standard_stream stream) {
    switch (stream) {
    case standard_stream::input:
        return STDIN_FILENO;
    case standard_stream::output:
        return STDOUT_FILENO;
    case standard_stream::error:
        break;
    }
    return STDERR_FILENO;
}

} // namespace

bool is_terminal(standard_stream stream) {
    return ::isatty(descriptor(stream)) == 1;
}

std::optional<std::string> read_secret_line(const std::string& prompt) {
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) {
        return read_input_line();
    }
    // Echo goes off before the prompt shows, so nothing typed after it is echoed or dropped.
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    auto line = read_input_line();
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return line;
}

} // namespace zs::platform
