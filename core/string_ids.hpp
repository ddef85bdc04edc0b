#pragma once
// The indices of the numbered user-interface texts (resources/strings.txt),
// shared by both desktop shells and the start-up order.
namespace zs::core {

enum class string_id : unsigned {
    caption = 0,       // "Zebrix Server"
    server_ip = 1,     // "Server IP: "
    description = 2,   // the status line's description
    stop = 3,          // "Stop"
    options = 4,       // "Options "
    password = 5,      // "Server password: "
    idle_time = 6,     // "Idle time (minutes): "
    server_name = 7,   // "Server Name: "
    about_caption = 8, // "About ZebrixServer"
    version = 9,       // "ZebrixServer, Version "
    notice = 10,       // the About box's notice
    start = 12,        // "Start"
    ok = 13,           // "OK"
    cancel = 14,       // "Cancel"
    show = 15,         // "Show"
    hide = 16,         // "Hide"
    about = 17,        // "About"
    exit = 18,         // "Exit"
    build = 19,        // "build"
    already_running = 20,
    unable_to_start = 21,
    password_hint = 22, // the Options dialog's note on the factory password
};

// Texts beside the numbered list, whose length is fixed.
inline constexpr char16_t password_hint_default[] =
    u"If password is default \"kxvwq\" - it will be disabled";
inline constexpr char16_t open_to_all_text[] =
    u"Password checking is off: anyone on the network can connect";

} // namespace zs::core
