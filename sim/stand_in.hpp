#pragma once
// What the three stand-in programs share: the behaviour file beside the
// executable, the message log, CR LF text files and the window's life.
#include "platform/desktop.hpp"
#include "platform/desktop_window.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace zs::sim {

// key=value lines; keys without regard to ASCII case, the first value wins.
class key_values {
public:
    static key_values parse(const std::string& text);
    static key_values load(const std::string& path); // missing file: empty
    std::optional<std::string> text(const std::string& key) const;
    std::optional<long long> number(const std::string& key) const;
    // "a,b,c" split into numbers; empty when malformed.
    std::vector<long long> numbers(const std::string& key) const;

private:
    std::map<std::string, std::string> values_;
};

struct notify_target {
    std::uint32_t message = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
};

class stand_in {
public:
    stand_in(); // finds its folder, behaviour file and log beside the executable

    const std::string& folder() const { return folder_; } // ends in "/"
    key_values behaviour() const { return key_values::load(exe_ + ".behaviour"); }

    // The reply to a command: reply.<code> when the behaviour gives one.
    std::int64_t reply_for(const key_values& b, long long code, std::int64_t fallback) const;
    void delay_for(const key_values& b, long long code) const; // delay_ms.<code>
    // error.<code>=n,text as the lines of an output file, or nothing.
    std::optional<std::string> error_text(const key_values& b, long long code) const;
    // notify.<code> posts, send_notify.<code> sends, to the registered window.
    void notify(const key_values& b, long long code, platform::window_handle target) const;

    void log(const platform::window_message& m, std::optional<std::int64_t> reply) const;

    // Registers the window (window_delay_ms, no_window) and serves it until killed.
    int run(const std::string& class_name, const std::string& title,
            platform::desktop_window::procedure proc);

private:
    std::string exe_;
    std::string folder_;
};

// Writes the text with every LF stored as CR LF.
bool write_text(const std::string& path, const std::string& text);
// The same for a text given in UTF-8: stored in the machine's ANSI code page,
// as the real programs write every text file.
bool write_ansi_text(const std::string& path, const std::string& utf8);
// A small file that looks like an MP4 audio file (ftyp, free, mdat boxes).
std::string sample_mp4(std::size_t payload_bytes);

} // namespace zs::sim
