#pragma once
// The client command codes of orvanta.exe, one row each: the handling
// pattern the server follows and the text of a refused send, with every
// other text the server answers with. The server, the stand-in and the
// client all read this table; docs/protocol.md is checked against it.
#include "core/code_table.hpp"
#include "protocol/reply_texts.hpp"

#include <array>
#include <cstdint>

namespace zs::orvanta {

enum class ov_pattern {
    plain_send,        // send and report the reply
    plain_post,        // post and report the reply
    posted_job,        // input file, post, poll the job state, then the song list
    song_transfer,     // input file (converted), send, output text and song files
    track_names,       // with the second argument 500 the track names, else a plain send
    section_names,     // send, then the section names file
    track_name_upload, // the text into Track_Name.txt, then send
    folder_query,      // the Orvanta folder; the program is not contacted
    song_status,       // 48 x 3 sends into the status block, then the posted job
};

// Reply texts the client sees.
using protocol::TEXT_NOT_RUNNING;
using protocol::TEXT_UNKNOWN_COMMAND;
inline constexpr char TEXT_ANSWER_NOT_1[] = "Answer from Orvanta != 1";
inline constexpr char TEXT_INTERNAL_ERROR[] = "Zeb internal error";
inline constexpr char TEXT_CANT_WRITE_INPUT[] = "Can't write input";
inline constexpr char TEXT_CANT_WRITE_FILE[] = "Can't write to file";
inline constexpr char TEXT_CANT_READ_OUTPUT[] = "Can't read output";
inline constexpr char TEXT_NO_SONG_LIST[] = "Unable to get song list";
inline constexpr char TEXT_TIME_OUT[] = "Server response time out";
// Code 10 without the track-names argument is a plain send, refused with this.
inline constexpr const char* OV_PLAIN_SEND_FAILURE = TEXT_NOT_RUNNING;

// The codes the server, the stand-in or the client name.
inline constexpr std::int32_t OV_SONG_LIST = 1;
inline constexpr std::int32_t OV_SONG_TEXT = 2;
inline constexpr std::int32_t OV_TRACK_NAMES = 10;
inline constexpr std::int32_t OV_SECTION_NAMES = 28;
inline constexpr std::int32_t OV_TRACK_NAME_UPLOAD = 40;
inline constexpr std::int32_t OV_FOLDER_QUERY = 101;
inline constexpr std::int32_t OV_SONG_STATUS = 102;
// What the song status block is filled from, for each of its 48 entries.
inline constexpr std::array<std::int32_t, 3> OV_SONG_STATUS_PARTS = {36, 31, 38};

struct ov_command {
    std::int32_t code;
    ov_pattern pattern;
    const char* failure; // for a refused send or post; nullptr when none is made
};

inline constexpr std::array<ov_command, 32> OV_COMMANDS = {{
    {OV_SONG_LIST, ov_pattern::posted_job, TEXT_ANSWER_NOT_1},
    {OV_SONG_TEXT, ov_pattern::song_transfer, TEXT_NOT_RUNNING},
    {3, ov_pattern::song_transfer, TEXT_NOT_RUNNING},
    {4, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {5, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {6, ov_pattern::plain_post, TEXT_NOT_RUNNING},
    {9, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {OV_TRACK_NAMES, ov_pattern::track_names, TEXT_INTERNAL_ERROR},
    {11, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {12, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {13, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {14, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {15, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {16, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {17, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {20, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {21, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {22, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {23, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {25, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {26, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {27, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {OV_SECTION_NAMES, ov_pattern::section_names, TEXT_NOT_RUNNING},
    {29, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {30, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {32, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {34, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {37, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {39, ov_pattern::plain_send, TEXT_NOT_RUNNING},
    {OV_TRACK_NAME_UPLOAD, ov_pattern::track_name_upload, TEXT_ANSWER_NOT_1},
    {OV_FOLDER_QUERY, ov_pattern::folder_query, nullptr},
    {OV_SONG_STATUS, ov_pattern::song_status, TEXT_ANSWER_NOT_1},
}};

// The row of `code`, or nullptr: the server answers "Unknown command".
constexpr const ov_command* find_ov_command(std::int32_t code) {
    return core::find_code(OV_COMMANDS, code);
}

} // namespace zs::orvanta
