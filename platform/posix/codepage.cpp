#include "platform/codepage.hpp"

#include "platform/env.hpp"

#include <cerrno>
#include <iconv.h>

namespace zs::platform {

namespace {

class iconv_handle {
public:
    iconv_handle(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~iconv_handle() {
        if (valid()) {
            ::iconv_close(cd_);
        }
    }
    iconv_handle(const iconv_handle&) = delete;
    iconv_handle& operator=(const iconv_handle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Runs iconv; on an undecodable or unrepresentable character skips one input
// byte (or the whole character where iconv tells) and appends the replacement.
// Returns false when it stopped at a decoding error and stop_on_error is set.
bool run(iconv_t cd, std::string_view input, std::string& out, std::string_view replacement,
         bool stop_on_error) {
    char* in = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    char buffer[4096];
    while (in_left > 0) {
        char* o = buffer;
        std::size_t o_left = sizeof buffer;
        std::size_t r = ::iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buffer, sizeof buffer - o_left);
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            if (stop_on_error) {
                return false;
            }
            // EILSEQ or EINVAL (truncated sequence at the end)
            ++in;
            --in_left;
            out.append(replacement);
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* o = buffer;
    std::size_t o_left = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &o, &o_left);
    out.append(buffer, sizeof buffer - o_left);
    return true;
}

} // namespace

std::string convert(std::string_view input, const char* from, const char* to,
                    std::string_view replacement) {
    iconv_handle cd(to, from);
    std::string out;
    if (!cd.valid()) {
        return std::string(input);
    }
    run(cd.get(), input, out, replacement, false);
    return out;
}

std::string ansi_to_utf8(std::string_view ansi) {
    return convert(ansi, codepage().c_str(), "UTF-8", "\xEF\xBF\xBD");
}

std::string utf8_to_ansi(std::string_view utf8) {
    // Characters the code page lacks are replaced one by one: go through
    // UTF-32 so that each unrepresentable character is exactly one unit.
    const std::string wide = convert(utf8, "UTF-8", "UTF-32LE", "\xFD\xFF\x00\x00");
    iconv_handle cd(codepage().c_str(), "UTF-32LE");
    if (!cd.valid()) {
        return std::string(utf8);
    }
    std::string out;
    for (std::size_t i = 0; i + 4 <= wide.size(); i += 4) {
        std::string piece;
        if (!run(cd.get(), std::string_view(wide).substr(i, 4), piece, "?", true)) {
            piece.assign(1, '?');
            ::iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        }
        out += piece;
    }
    return out;
}

std::optional<std::string> utf8_to_ansi_exact(std::string_view utf8) {
    iconv_handle cd(codepage().c_str(), "UTF-8");
    std::string out;
    if (!cd.valid() || !run(cd.get(), utf8, out, "", true)) {
        return std::nullopt;
    }
    return out;
}

// No short names here: a path outside the code page cannot be handed over.
std::optional<std::string> path_for_program(const std::string& path) {
    return utf8_to_ansi_exact(path);
}

std::u16string utf8_to_utf16(std::string_view utf8, bool* complete) {
    iconv_handle cd("UTF-16LE", "UTF-8");
    std::string bytes;
    bool ok = cd.valid() && run(cd.get(), utf8, bytes, "", true);
    if (complete != nullptr) {
        *complete = ok;
    }
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return convert(bytes, "UTF-16LE", "UTF-8", "\xEF\xBF\xBD");
}

} // namespace zs::platform
