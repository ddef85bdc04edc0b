#pragma once
// What passes between the server and orvanta.exe: executable, window,
// message numbers, driver command codes and exchange files.
#include <cstdint>

namespace zs::orvanta {

inline constexpr char OV_EXE_NAME[] = "orvanta.exe"; // matched ignoring case
inline constexpr char OV_START_ARGS[] = "/x4";
inline constexpr char OV_TITLE_PREFIX[] = "Orvanta"; // main window title begins so
inline constexpr char OV_WINDOW_CLASS[] = "TOrvantaWindow";

inline constexpr std::uint32_t WM_USER = 1024;
inline constexpr std::uint32_t WM_OV_IDENTIFY = WM_USER + 259; // 1283, both parameters 0
inline constexpr std::int64_t OV_IDENTIFY_ANSWER = 259;
inline constexpr std::uint32_t WM_OV_COMMAND = WM_USER + 262; // 1286
// Notifications to the registered window: WM_USER + 1 to WM_USER + 19.
inline constexpr std::uint32_t WM_OV_NOTIFY_FIRST = WM_USER + 1; // 1025, event code 100
inline constexpr std::uint32_t WM_OV_NOTIFY_LAST = WM_USER + 19; // 1043
inline constexpr int OV_FIRST_NOTIFY_EVENT = 100;

// Driver command codes (low 16 bits of wParam).
inline constexpr int OV_CMD_NOTIFY_WINDOW = 19; // lParam: the window, 0 withdraws it
inline constexpr int OV_CMD_JOB_STATE = 24;     // reply 0 working, 1 finished

// The exchange folder inside the Orvanta folder, and its files.
inline constexpr char OV_HELPER_FOLDER[] = "OvHelper"; // then the separator
inline constexpr char OV_INPUT_FILE[] = "ovinput.txt";
inline constexpr char OV_OUTPUT_FILE[] = "ovoutput.txt";
inline constexpr char OV_SONG_LIST_FILE[] = "songlist.txt";
inline constexpr char OV_SONG_FILE[] = "song.txt";
inline constexpr char OV_SECTION_NAMES_FILE[] = "SectionNames.Txt";
inline constexpr char OV_TRACK_NAMES_FILE[] = "TrackNames.Txt";
inline constexpr char OV_TRACK_NAME_UPLOAD_FILE[] = "Track_Name.txt";
inline constexpr std::int64_t OV_TRACK_NAMES_LPARAM = 500; // command 10 with this lParam

// wParam of a command: first argument in the high 16 bits, code in the low 16.
constexpr std::int64_t ov_command_wparam(std::int32_t first, std::int32_t code) {
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(first) << 16 |
                                     (static_cast<std::uint32_t>(code) & 0xFFFFu));
}

} // namespace zs::orvanta
