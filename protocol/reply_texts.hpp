#pragma once
// Error texts both remote-controlled programs answer with.
#include <cstdint>

namespace zs::protocol {

// A program that does not answer, or refuses a command. Orvanta's replies
// say the same, program name included, as clients expect.
inline constexpr char TEXT_NOT_RUNNING[] = "zebw.exe is not fully running yet, or there is an open "
                                           "dialog box in zebw.exe preventing responses";
inline constexpr char TEXT_UNKNOWN_COMMAND[] = "Unknown command";

// The error code of a request the server itself did not carry out, with
// its texts (max_requested_names and max_unsent_bytes give the numbers).
inline constexpr std::int32_t ERR_SERVER = 9;
inline constexpr char TEXT_TOO_MANY_NAMES[] = "Too many file names in one request: at most 1000";
inline constexpr char TEXT_REPLY_TOO_LARGE[] =
    "The answer would be larger than the 64 MiB limit; no file was deleted, ask for fewer files";
inline constexpr char TEXT_SERVER_BUSY[] = "The server is busy: too many commands and events "
                                           "are waiting; try again";
// Followed by what went wrong.
inline constexpr char TEXT_COMMAND_FAILED[] = "The server could not carry out the command: ";

} // namespace zs::protocol
