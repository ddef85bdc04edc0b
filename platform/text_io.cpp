// The parts of files and the terminal that are the same on every system.
#include "platform/files.hpp"
#include "platform/terminal.hpp"

#include <cstdio>

namespace zs::platform {

std::string to_text_mode(const std::string& data) {
    std::string out;
    out.reserve(data.size() + data.size() / 16);
    for (char c : data) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::optional<std::string> read_input_line() {
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

} // namespace zs::platform
