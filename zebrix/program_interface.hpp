#pragma once
// What passes between the server and zebw.exe / zebw3.exe: executables,
// windows, message numbers, driver command codes and exchange files.
#include <cstdint>

namespace zs::zebrix {

inline constexpr char ZEBW_EXE_NAME[] = "zebw.exe";   // matched exactly
inline constexpr char ZEBW3_EXE_NAME[] = "zebw3.exe"; // matched exactly
inline constexpr char ZEBW3_START_ARGS[] = "/x4";
inline constexpr char ZEBW_WINDOW_CLASS[] = "TZebrixWindow"; // zebw.exe's main window
inline constexpr char ZEBW_WINDOW_TITLE[] = "Zebrix";
inline constexpr char ZEBW3_WINDOW_CLASS[] = "TZebrix3Window";
inline constexpr char ZEBW3_WINDOW_TITLE[] = "zebw3 window"; // zebw3.exe's main window

inline constexpr std::uint32_t WM_USER = 1024;
inline constexpr std::uint32_t WM_ZEBW3_RENDER = WM_USER + 261; // 1285, both parameters 0
inline constexpr std::uint32_t WM_ZEBW_COMMAND = WM_USER + 262; // 1286
inline constexpr std::uint32_t WM_ZEBW_RC = WM_USER + 263;      // 1287, notification
inline constexpr std::uint32_t WM_ZEBW3_DONE = WM_USER + 400;   // 1424, render finished

// Driver command codes (low 16 bits of wParam).
inline constexpr int ZEBW_CMD_SECTIONS_SUPPORTED = 15; // reply 0: not supported
inline constexpr int ZEBW_CMD_PING = 16;
inline constexpr std::int64_t ZEBW_PING_READY = 7;
inline constexpr int ZEBW_CMD_NOTIFY_WINDOW = 18; // lParam: the server's main window
inline constexpr int ZEBW_CMD_RELEASE = 19;       // lParam 0: end of the remote session
inline constexpr int ZEBW_CMD_TRACK_VALUE = 13;   // lParam: track code
inline constexpr std::int64_t ZEBW_TRACK_VALUE_FAILED = 9999;

// Files of the helper folder (remote control) and of the Zebrix folder (render jobs).
inline constexpr char ZEBW_INPUT_FILE[] = "zebinput.txt";
inline constexpr char ZEBW_OUTPUT_FILE[] = "zeboutput.txt";
inline constexpr char ZEBW_SONG_LIST_FILE[] = "songlist.txt";
inline constexpr char ZEBW_SONG_FILE[] = "song.txt";
inline constexpr char ZEBW_SECTION_NAMES_FILE[] = "sectionnames.txt";
inline constexpr char ZEBW3_STATUS_FILE[] = "ZebOutput.txt"; // in the job folder
inline constexpr char ZEBW3_AUDIO_FILE[] = "audio.mp4";
inline constexpr char ZEBW3_STYLE_LIST_FILE[] = "StyleList.txt";
inline constexpr char ZEBW3_SONG_LIST_FILE[] = "SongList.txt";
inline constexpr char ZEBW3_SONG_FILE[] = "Song.txt";
// Keys of the render input that name the server's window and the job folder.
inline constexpr char ZEBW3_KEY_NOTIFY_WINDOW[] = "WindowhandleForMessages";
inline constexpr char ZEBW3_KEY_OUTPUT_DIRECTORY[] = "OutputDirectory";

// wParam of a command: first argument in the high 16 bits, code in the low 16.
constexpr std::int64_t zebw_command_wparam(std::int32_t first, std::int32_t code) {
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(first) << 16 |
                                     (static_cast<std::uint32_t>(code) & 0xFFFFu));
}

} // namespace zs::zebrix
