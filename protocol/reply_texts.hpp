#pragma once
// Error texts both remote-controlled programs answer with.
namespace zs::protocol {

// A program that does not answer, or refuses a command. Orvanta's replies
// say the same, program name included, as clients expect.
inline constexpr char TEXT_NOT_RUNNING[] = "zebw.exe is not fully running yet, or there is an open "
                                           "dialog box in zebw.exe preventing responses";
inline constexpr char TEXT_UNKNOWN_COMMAND[] = "Unknown command";

} // namespace zs::protocol
