// zebrix-desktop: looks at the desktop's windows and sends or posts messages.
#include "platform/desktop.hpp"
#include "platform/env.hpp"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage() {
    std::fprintf(stderr, "usage: zebrix-desktop list\n"
                         "       zebrix-desktop send HANDLE MESSAGE WPARAM LPARAM\n"
                         "       zebrix-desktop post HANDLE MESSAGE WPARAM LPARAM\n"
                         "       zebrix-desktop find --class NAME | --title-prefix TEXT\n"
                         "The desktop is $ZEBRIX_DESKTOP (see the README).\n");
}

template <typename T> bool number(const char* text, T& out) {
    const char* end = text + std::strlen(text);
    auto [p, ec] = std::from_chars(text, end, out);
    return *text != '\0' && ec == std::errc() && p == end;
}

int list() {
    const auto windows = zs::platform::enumerate_windows();
    for (const auto& w : windows) {
        std::printf("%d %d %s %s\n", w.handle, w.pid, w.class_name.c_str(), w.title.c_str());
    }
    return windows.empty() ? 1 : 0;
}

int find(const std::string& option, const std::string& text) {
    int found = 0;
    for (const auto& w : zs::platform::enumerate_windows()) {
        const bool match = option == "--class" ? w.class_name == text : w.title.rfind(text, 0) == 0;
        if (match) {
            std::printf("%d\n", w.handle);
            ++found;
        }
    }
    return found > 0 ? 0 : 1;
}

int message(bool send, char** args) {
    zs::platform::window_handle handle = 0;
    std::uint32_t msg = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
    if (!number(args[0], handle) || !number(args[1], msg) || !number(args[2], wparam) ||
        !number(args[3], lparam)) {
        usage();
        return 2;
    }
    const std::string desktop = zs::platform::desktop_dir();
    if (!send) {
        return zs::platform::post_message(desktop, handle, msg, wparam, lparam) ? 0 : 1;
    }
    const auto result = zs::platform::try_send_message(desktop, handle, msg, wparam, lparam,
                                                       zs::platform::send_timeout());
    std::printf("%lld\n", static_cast<long long>(result.value_or(0)));
    return result ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 2) {
        return list();
    }
    if ((command == "send" || command == "post") && argc == 6) {
        return message(command == "send", argv + 2);
    }
    if (command == "find" && argc == 4 &&
        (std::strcmp(argv[2], "--class") == 0 || std::strcmp(argv[2], "--title-prefix") == 0)) {
        return find(argv[2], argv[3]);
    }
    usage();
    return 2;
}
