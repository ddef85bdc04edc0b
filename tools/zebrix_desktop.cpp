// zebrix-desktop: looks at the desktop's windows and sends or posts messages.
#include "core/version.hpp"
#include "platform/desktop.hpp"
#include "platform/env.hpp"
#include "platform/files.hpp"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const usage_text = "Usage: zebrix-desktop list\n"
                               "       zebrix-desktop find --class NAME | --title-prefix TEXT\n"
                               "       zebrix-desktop send HANDLE MESSAGE WPARAM LPARAM\n"
                               "       zebrix-desktop post HANDLE MESSAGE WPARAM LPARAM\n";

void print_help() {
    std::printf("%s\n"
                "Looks at the windows of the desktop $ZEBRIX_DESKTOP (else\n"
                "$XDG_RUNTIME_DIR/zebrix-desktop, else /tmp/zebrix-desktop-UID) and sends or\n"
                "posts window messages to them.\n\n"
                "  list        one window per line, topmost first: HANDLE PID CLASS TITLE\n"
                "  find        the handles of the windows with that class, or whose title\n"
                "              begins with TEXT\n"
                "  send        sends the message, waits for the answer (at most\n"
                "              $ZEBRIX_SEND_TIMEOUT_MS, default 60000) and prints it\n"
                "  post        posts the message without waiting\n"
                "  -h, --help  show this help\n"
                "  --version   print the version\n\n"
                "Exit status: 0 success; 1 nothing matched, no such window, or the message\n"
                "could not be delivered (said on standard error); 2 bad arguments.\n",
                usage_text);
}

int usage_error(const std::string& problem) {
    std::fprintf(stderr, "zebrix-desktop: %s\n%sTry 'zebrix-desktop --help'.\n", problem.c_str(),
                 usage_text);
    return 2;
}

template <typename T> bool number(const char* text, T& out) {
    const char* end = text + std::strlen(text);
    auto [p, ec] = std::from_chars(text, end, out);
    return *text != '\0' && ec == std::errc() && p == end;
}

// The desktop folder (empty on Windows, where the session is the desktop),
// or nothing after saying why it cannot be used.
std::optional<std::string> usable_desktop() {
    std::string desktop = zs::platform::desktop_dir();
    if (!desktop.empty() && !zs::platform::folder_exists(desktop)) {
        std::fprintf(stderr,
                     "zebrix-desktop: the desktop folder %s does not exist; no program has "
                     "opened a window there (check ZEBRIX_DESKTOP)\n",
                     desktop.c_str());
        return std::nullopt;
    }
    return desktop;
}

int list() {
    const auto usable = usable_desktop();
    if (!usable) {
        return 1;
    }
    const std::string& desktop = *usable;
    const auto windows = zs::platform::enumerate_windows(desktop);
    for (const auto& w : windows) {
        std::printf("%d %d %s %s\n", w.handle, w.pid, w.class_name.c_str(), w.title.c_str());
    }
    if (windows.empty()) {
        std::fprintf(stderr, "zebrix-desktop: no windows on the desktop %s\n", desktop.c_str());
    }
    return windows.empty() ? 1 : 0;
}

int find(const std::string& option, const std::string& text) {
    const auto usable = usable_desktop();
    if (!usable) {
        return 1;
    }
    const std::string& desktop = *usable;
    int found = 0;
    for (const auto& w : zs::platform::enumerate_windows(desktop)) {
        const bool match = option == "--class" ? w.class_name == text : w.title.rfind(text, 0) == 0;
        if (match) {
            std::printf("%d\n", w.handle);
            ++found;
        }
    }
    if (found == 0) {
        std::fprintf(stderr, "zebrix-desktop: no window %s '%s' on the desktop %s\n",
                     option == "--class" ? "of class" : "whose title begins with", text.c_str(),
                     desktop.c_str());
    }
    return found > 0 ? 0 : 1;
}

bool window_exists(const std::string& desktop, zs::platform::window_handle handle) {
    for (const auto& w : zs::platform::enumerate_windows(desktop)) {
        if (w.handle == handle) {
            return true;
        }
    }
    return false;
}

int message(bool send, char** args) {
    zs::platform::window_handle handle = 0;
    std::uint32_t msg = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
    if (!number(args[0], handle) || !number(args[1], msg) || !number(args[2], wparam) ||
        !number(args[3], lparam)) {
        return usage_error("HANDLE, MESSAGE, WPARAM and LPARAM must be numbers");
    }
    const auto usable = usable_desktop();
    const std::string desktop = usable.value_or("");
    const bool known = usable && window_exists(desktop, handle);
    if (usable && !known) {
        std::fprintf(stderr, "zebrix-desktop: no window %d on the desktop %s\n", handle,
                     desktop.c_str());
    }
    if (!send) {
        const bool posted =
            known && zs::platform::post_message(desktop, handle, msg, wparam, lparam);
        if (known && !posted) {
            std::fprintf(stderr, "zebrix-desktop: window %d did not take the message\n", handle);
        }
        return posted ? 0 : 1;
    }
    const auto limit = zs::platform::send_timeout();
    const auto result =
        known ? zs::platform::try_send_message(desktop, handle, msg, wparam, lparam, limit)
              : std::nullopt;
    if (known && !result) {
        std::fprintf(stderr, "zebrix-desktop: window %d did not answer within %lld ms\n", handle,
                     static_cast<long long>(limit.count()));
    }
    std::printf("%lld\n", static_cast<long long>(result.value_or(0)));
    return result ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print_help();
            return 0;
        }
    }
    if (command == "--version" && argc == 2) {
        std::printf("zebrix-desktop %s\n", zs::core::version_line);
        return 0;
    }
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
    if (command.empty()) {
        return usage_error("missing the command");
    }
    const bool known =
        command == "list" || command == "find" || command == "send" || command == "post";
    return usage_error(known ? "bad arguments for '" + command + "'"
                             : "unknown command '" + command + "'");
}
