#include "zebrix/render_files.hpp"

#include "core/config_store.hpp"
#include "core/path_layout.hpp"
#include "core/text.hpp"
#include "platform/files.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

namespace zs::zebrix {

namespace {

constexpr const char* server_error = "Error occurred on server";
constexpr std::size_t max_message = 4095;
constexpr std::size_t line_room = 4096;

// Finds the first line beginning with `prefix`, read the way a line reader
// with a buffer of prefix + 4096 bytes sees it: a longer line comes in parts,
// a trailing LF is dropped, a CR stays. Gives the rest after the prefix.
bool find_line(const std::string& content, const std::string& prefix, std::string& rest) {
    const std::size_t limit = prefix.size() + line_room - 1;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t lf = content.find('\n', pos);
        const std::size_t line_end = lf == std::string::npos ? content.size() : lf + 1;
        const std::size_t end = std::min(line_end, pos + limit);
        std::string line = content.substr(pos, end - pos);
        pos = end;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        if (line.compare(0, prefix.size(), prefix) == 0) {
            rest = line.substr(prefix.size());
            return true;
        }
    }
    return false;
}

// Every key render_input_text adds, whether or not a given input has it.
constexpr std::array<std::string_view, 11> server_keys = {
    "WindowhandleForMessages",
    "RenderWAVFileName",
    "RenderFileType",
    "OutputDirectory",
    "ThisIsZebHelper",
    "ForceAudioName",
    "CustomDirectoryForStemora",
    "DrumsFolder",
    "DefinitelyNotDesktopOrvanta",
    "GenerateSongStemoraToo",
    "PulsoraGenerationWanted",
};

} // namespace

bool is_server_key(const std::string& key) {
    std::string_view k(key);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!k.empty() && blank(k.front())) {
        k.remove_prefix(1);
    }
    while (!k.empty() && blank(k.back())) {
        k.remove_suffix(1);
    }
    return std::any_of(server_keys.begin(), server_keys.end(),
                       [k](std::string_view s) { return core::iequal_ascii(k, s); });
}

std::string strip_server_keys(const std::string& job_text) {
    std::string out;
    out.reserve(job_text.size());
    std::size_t pos = 0;
    while (pos < job_text.size()) {
        // CR, LF and CR LF all end a line: the renderer takes a bare CR as one,
        // so "RenderMs=10\rOutputDirectory=..." holds two lines.
        const std::size_t brk = job_text.find_first_of("\r\n", pos);
        std::size_t end = brk == std::string::npos ? job_text.size() : brk + 1;
        if (brk != std::string::npos && job_text[brk] == '\r' && end < job_text.size() &&
            job_text[end] == '\n') {
            ++end;
        }
        // Searched within the line only: a text of many lines stays linear.
        const std::string_view line(job_text.data() + pos, end - pos);
        const std::size_t eq = line.find('=');
        const bool server_line =
            eq != std::string_view::npos && is_server_key(std::string(line.substr(0, eq)));
        if (!server_line) {
            out.append(job_text, pos, end - pos);
        }
        pos = end;
    }
    return out;
}

std::string render_input_text(const render_input& input) {
    std::string text = strip_server_keys(input.job_text);
    text += "\r\n; added by helper program.\r\n";
    text += "WindowhandleForMessages=" + std::to_string(input.window_handle) + "\r\n";
    text += "RenderWAVFileName=RenderTest2.WAV\r\n";
    text += "RenderFileType=WMA\r\n";
    text += "OutputDirectory=" + input.job_folder + "\r\n";
    text += "ThisIsZebHelper=1\r\n";
    text += "ForceAudioName=1\r\n";
    if (!input.stemora_folder.empty()) {
        text += "CustomDirectoryForStemora=" + input.stemora_folder + "\r\n";
    }
    if (!input.drums_folder.empty()) {
        text += "DrumsFolder=" + input.drums_folder + "\r\n";
    }
    text += "DefinitelyNotDesktopOrvanta=1\r\n";
    text += "GenerateSongStemoraToo=1\r\n";
    text += "PulsoraGenerationWanted=1\r\n";
    return text;
}

bool write_render_input(const std::string& input_path, const render_input& input,
                        std::error_code* error) {
    return platform::write_file(input_path, render_input_text(input), false, error);
}

bool write_render_input(const core::path_layout& layout, const core::config_store& config,
                        std::int32_t window_handle, const std::string& job_folder,
                        const std::string& job_text, std::error_code* error) {
    render_input input;
    input.job_text = job_text;
    input.window_handle = window_handle;
    input.job_folder = job_folder;
    input.stemora_folder = config.stemora_folder();
    input.drums_folder = config.drums_folder();
    return write_render_input(layout.zebrix_input_path(), input, error);
}

void write_job_status(const std::string& job_folder, const std::string& message, int code) {
    std::string text;
    if (code != 0) {
        std::vector<char> buffer(message.size() + 100);
        std::snprintf(buffer.data(), buffer.size(), "Error=%d\n;Error #%d, %s", code, code,
                      message.c_str());
        text = buffer.data();
    } else {
        text = "Error=0\r\n";
    }
    platform::write_file(job_folder + "ZebOutput.txt", text, true);
}

job_outcome read_job_status(const std::string& job_folder, std::string& message, int& number) {
    std::string content;
    if (!platform::read_file(job_folder + "Zeboutput.txt", content)) {
        message = server_error;
        return job_outcome::failed;
    }
    std::string rest;
    if (!find_line(content, "Error=", rest)) {
        message = server_error;
        return job_outcome::failed;
    }
    const int n = core::parse_leading_int(rest);
    if (n != 0) {
        if (find_line(content, ";Error #", rest)) {
            const auto comma = rest.find(", ");
            if (comma != std::string::npos) {
                rest = rest.substr(comma + 2);
                const auto developers = rest.find("Developers:");
                if (developers != std::string::npos) {
                    rest.resize(developers);
                }
            }
            message = rest.substr(0, max_message);
        } else {
            message = std::string(server_error) + ": " + std::to_string(n);
        }
        return job_outcome::failed;
    }
    if (find_line(content, "StyleNameTimeSig=", rest)) {
        number = core::parse_leading_int(rest);
        return job_outcome::succeeded_with_number;
    }
    return job_outcome::succeeded;
}

} // namespace zs::zebrix
