#pragma once
// Environment overrides of the installation's defaults.
#include <chrono>
#include <cstdint>
#include <string>

namespace zs::platform {

// The desktop folder: $ZEBRIX_DESKTOP, else $XDG_RUNTIME_DIR/zebrix-desktop,
// else /tmp/zebrix-desktop-<uid>; always ends in "/". Empty on Windows, where
// the session is the desktop.
std::string desktop_dir();

std::uint16_t tcp_port();                 // ZEBRIX_TCP_PORT, default 6789
std::uint16_t udp_port();                 // ZEBRIX_UDP_PORT, default 6790
std::string codepage();                   // ZEBRIX_CODEPAGE, default WINDOWS-1252 (Linux only)
std::chrono::milliseconds send_timeout(); // ZEBRIX_SEND_TIMEOUT_MS, default 60000

// The user's configuration folder, ending in the separator: $XDG_CONFIG_HOME,
// else $HOME/.config on Linux; %APPDATA%, else the roaming application-data
// known folder, on Windows. Empty when unknown.
std::string user_config_dir();

// Where this user's own files of the server go when its folder cannot be
// written, ending in the separator: %LOCALAPPDATA%\ZebrixServer\ on Windows;
// $XDG_STATE_HOME/ZebrixServer/, else $HOME/.local/state/ZebrixServer/.
// Empty when unknown. Not made here.
std::string user_state_dir();

// An environment variable's value, or the fallback when unset or empty; in
// UTF-8 on Windows (read through the wide API).
std::string env_or(const char* name, const std::string& fallback);

} // namespace zs::platform
