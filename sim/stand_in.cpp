#include "sim/stand_in.hpp"

#include "core/text.hpp"
#include "platform/codepage.hpp"
#include "platform/exe_path.hpp"
#include "platform/files.hpp"

#include <charconv>
#include <cstdio>
#include <thread>

namespace zs::sim {

namespace {

std::optional<long long> to_number(const std::string& text) {
    long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return v;
}

std::optional<notify_target> parse_target(const key_values& b, const std::string& key) {
    const auto n = b.numbers(key);
    if (n.size() != 3) {
        return std::nullopt;
    }
    return notify_target{static_cast<std::uint32_t>(n[0]), n[1], n[2]};
}

std::string box(const std::string& type, const std::string& body) {
    const auto size = static_cast<std::uint32_t>(body.size() + 8);
    std::string out;
    for (int i = 3; i >= 0; --i) {
        out.push_back(static_cast<char>(size >> (8 * i)));
    }
    return out + type + body;
}

} // namespace

key_values key_values::parse(const std::string& text) {
    key_values kv;
    core::for_each_key_value(text, core::last_line_cr::dropped,
                             [&kv](std::string_view key, std::string_view value) {
                                 kv.values_.emplace(core::ascii_lower(std::string(key)), value);
                             });
    return kv;
}

key_values key_values::load(const std::string& path) {
    std::string text;
    platform::read_file(path, text);
    return parse(text);
}

std::optional<std::string> key_values::text(const std::string& key) const {
    const auto it = values_.find(core::ascii_lower(key));
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<long long> key_values::number(const std::string& key) const {
    const auto t = text(key);
    return t ? to_number(*t) : std::nullopt;
}

std::vector<long long> key_values::numbers(const std::string& key) const {
    std::vector<long long> out;
    const auto t = text(key);
    if (!t) {
        return out;
    }
    std::size_t pos = 0;
    for (;;) {
        const auto comma = t->find(',', pos);
        const auto v = to_number(t->substr(pos, comma == std::string::npos ? comma : comma - pos));
        if (!v) {
            return {};
        }
        out.push_back(*v);
        if (comma == std::string::npos) {
            return out;
        }
        pos = comma + 1;
    }
}

stand_in::stand_in() : exe_(platform::executable_path()) {
    folder_ = exe_.substr(0, exe_.rfind(platform::path_separator) + 1);
}

std::int64_t stand_in::reply_for(const key_values& b, long long code, std::int64_t fallback) const {
    return b.number("reply." + std::to_string(code)).value_or(fallback);
}

void stand_in::delay_for(const key_values& b, long long code) const {
    if (const auto ms = b.number("delay_ms." + std::to_string(code)); ms && *ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(*ms));
    }
}

std::optional<std::string> stand_in::error_text(const key_values& b, long long code) const {
    const auto t = b.text("error." + std::to_string(code));
    if (!t) {
        return std::nullopt;
    }
    const auto comma = t->find(',');
    const std::string number = t->substr(0, comma);
    const std::string message = comma == std::string::npos ? "" : t->substr(comma + 1);
    return "error=" + number + "\nZebInputErrorString=" + message + "\n";
}

void stand_in::notify(const key_values& b, long long code, platform::window_handle target) const {
    if (target == 0) {
        return;
    }
    const std::string c = std::to_string(code);
    if (const auto n = parse_target(b, "send_notify." + c)) {
        platform::send_message(target, n->message, n->wparam, n->lparam);
    }
    if (const auto n = parse_target(b, "notify." + c)) {
        platform::post_message(target, n->message, n->wparam, n->lparam);
    }
}

void stand_in::log(const platform::window_message& m, std::optional<std::int64_t> reply) const {
    // Through platform/ (a folder beyond ASCII opens on Windows too); the
    // log's lines end in LF on every system.
    const std::string r = reply ? std::to_string(*reply) : "-";
    platform::append_file(exe_ + ".log", std::string(m.sent ? "sent" : "posted") + " " +
                                             std::to_string(m.message) + " " +
                                             std::to_string(m.wparam) + " " +
                                             std::to_string(m.lparam) + " " + r + "\n");
}

int stand_in::run(const std::string& class_name, const std::string& title,
                  platform::desktop_window::procedure proc) {
    const key_values b = behaviour();
    const bool no_window = b.number("no_window").value_or(0) == 1;
    if (const auto ms = b.number("window_delay_ms"); ms && *ms > 0 && !no_window) {
        std::this_thread::sleep_for(std::chrono::milliseconds(*ms));
    }
    platform::message_loop loop;
    std::optional<platform::desktop_window> window;
    if (!no_window) {
        auto logged = [this, proc](const platform::window_message& m) {
            const std::int64_t r = proc(m);
            log(m, m.sent ? std::optional<std::int64_t>(r) : std::nullopt);
            return r;
        };
        window.emplace(class_name, title, logged, loop);
        if (!window->valid()) {
            std::fprintf(stderr, "%s: cannot register the window\n", title.c_str());
            return 1;
        }
    }
    loop.run(); // until killed
    return 0;
}

bool write_text(const std::string& path, const std::string& text) {
    return platform::write_file(path, text, true);
}

bool write_ansi_text(const std::string& path, const std::string& utf8) {
    return write_text(path, platform::utf8_to_ansi(utf8));
}

std::string sample_mp4(std::size_t payload_bytes) {
    const std::string ftyp = box("ftyp", std::string("M4A \0\0\0\0M4A mp42isom", 20));
    std::string samples(payload_bytes, '\0');
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    }
    return ftyp + box("free", "") + box("mdat", samples);
}

} // namespace zs::sim
