#pragma once
// The client command codes of zebw.exe, one row each: the handling pattern
// the server follows, the text of a program reply other than 1, and the
// status of the success answer. The server, the stand-in and the client all
// read this table; docs/protocol.md is checked against it.
#include "core/code_table.hpp"
#include "protocol/reply_texts.hpp"

#include <array>
#include <cstdint>

namespace zs::zebrix {

enum class zebw_pattern {
    song_list,     // input file, send (0, 1, 0), output check, then songlist.txt
    song_transfer, // input file, send, then the output text and the wanted files
    plain_send,    // send (first, code, second) and report the reply
    raw_send,      // the same with the words as the program takes them unchanged
    section_names, // ask whether supported, then send and read sectionnames.txt
    track_values,  // one send per track, answered from the replies
};

// Reply texts the client sees.
using protocol::TEXT_NOT_RUNNING;
using protocol::TEXT_UNKNOWN_COMMAND;
inline constexpr char TEXT_CANT_WRITE_INPUT[] = "Can't write input";
inline constexpr char TEXT_CANT_READ_OUTPUT[] = "Can't read output";
inline constexpr char TEXT_NO_SONG_LIST[] = "Unable to get song list";
inline constexpr char TEXT_NOT_IMPLEMENTED[] = "Function is not implemented yet";

// The codes the server, the stand-in or the client name.
inline constexpr std::int32_t ZEBW_SONG_LIST = 1;
inline constexpr std::int32_t ZEBW_SONG_TEXT = 2;
inline constexpr std::int32_t ZEBW_SECTION_NAMES = 12;
inline constexpr std::int32_t ZEBW_TRACK_VALUES = 13;

struct zebw_command {
    std::int32_t code;
    zebw_pattern pattern;
    const char* failure;         // for a program reply other than 1
    std::int32_t success_status; // the answer is (1, success_status, 0)
};

inline constexpr std::array<zebw_command, 14> ZEBW_COMMANDS = {{
    {ZEBW_SONG_LIST, zebw_pattern::song_list, TEXT_CANT_WRITE_INPUT, 1},
    {ZEBW_SONG_TEXT, zebw_pattern::song_transfer, TEXT_NOT_RUNNING, 1},
    {3, zebw_pattern::song_transfer, TEXT_NOT_RUNNING, 1},
    {4, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
    {5, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
    {6, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
    {9, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
    {10, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
    {ZEBW_SECTION_NAMES, zebw_pattern::section_names, TEXT_NOT_RUNNING, 1},
    {ZEBW_TRACK_VALUES, zebw_pattern::track_values, TEXT_NOT_RUNNING, 0},
    {14, zebw_pattern::raw_send, TEXT_NOT_IMPLEMENTED, 1},
    {17, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
    {21, zebw_pattern::raw_send, TEXT_NOT_IMPLEMENTED, 1},
    {22, zebw_pattern::plain_send, TEXT_NOT_RUNNING, 1},
}};

// The row of `code`, or nullptr: the server answers "Unknown command".
constexpr const zebw_command* find_zebw_command(std::int32_t code) {
    return core::find_code(ZEBW_COMMANDS, code);
}

} // namespace zs::zebrix
