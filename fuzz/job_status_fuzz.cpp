// A job status file as the renderer (or a crash) may leave it, then a status
// the server writes itself from the same bytes: reading never crashes, the
// result is one of the three outcomes, the message stays bounded, and what
// write_job_status wrote reads back as written. The same bytes as a job
// text: the render input holds each of the server's keys once, its own; and
// as a file name a client asks for: the own-file check ignores case.
#include "fuzz/fuzz_check.hpp"
#include "fuzz/fuzz_dir.hpp"
#include "platform/files.hpp"
#include "zebrix/command_set.hpp"
#include "zebrix/render_files.hpp"

#include <cstdint>
#include <cstring>
#include <string>

using namespace zs;

namespace {

// Inputs stay below the reader's line limit, so a line is what ends in LF.
bool starts_a_line(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0 ||
           text.find("\n" + prefix) != std::string::npos;
}

// The lines of a text (split after each LF) whose key is one the server adds.
std::size_t server_key_lines(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lf = text.find('\n', pos);
        const std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
        const std::size_t eq = text.find('=', pos);
        if (eq < end && zebrix::is_server_key(text.substr(pos, eq - pos))) {
            ++count;
        }
        pos = end;
    }
    return count;
}

void check_job_text(const std::string& input) {
    const std::string stripped = zebrix::strip_server_keys(input);
    ZS_FUZZ_CHECK(stripped.size() <= input.size());
    ZS_FUZZ_CHECK(server_key_lines(stripped) == 0);
    ZS_FUZZ_CHECK(zebrix::strip_server_keys(stripped) == stripped);
    zebrix::render_input in;
    in.job_text = input;
    in.window_handle = 7;
    in.job_folder = "/o/000/";
    const std::string text = zebrix::render_input_text(in);
    // The job's last line may lack its LF, so the server's first line can
    // never join it: a separating line comes first.
    ZS_FUZZ_CHECK(text.compare(0, stripped.size(), stripped) == 0);
    ZS_FUZZ_CHECK(server_key_lines(text) == 9);
}

void check_file_name(const std::string& name) {
    std::string upper = name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    ZS_FUZZ_CHECK(zebrix::is_server_file(name, "ZebrixServer") ==
                  zebrix::is_server_file(upper, "ZebrixServer"));
    ZS_FUZZ_CHECK(!zebrix::is_server_file(name, "") ||
                  zebrix::is_server_file(name, "ZebrixServer"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::scratch_dir("jobstatus");
    const std::string input(reinterpret_cast<const char*>(data), size);
    check_job_text(input);
    check_file_name(input.substr(0, 64));
    ZS_FUZZ_CHECK(platform::write_file(dir + "ZebOutput.txt", input));

    std::string message = "unchanged";
    int number = -12345;
    const protocol::job_outcome result = zebrix::read_job_status(dir, message, number);
    ZS_FUZZ_CHECK(result == protocol::job_outcome::succeeded || result == protocol::job_outcome::failed ||
                  result == protocol::job_outcome::succeeded_with_number);
    ZS_FUZZ_CHECK(message.size() <= 4095 || result != protocol::job_outcome::failed);
    if (result == protocol::job_outcome::failed) {
        ZS_FUZZ_CHECK(message != "unchanged" || input.find("unchanged") != std::string::npos);
        ZS_FUZZ_CHECK(message.find("Developers:") == std::string::npos);
    } else {
        ZS_FUZZ_CHECK(input.find("Error=") != std::string::npos);
        ZS_FUZZ_CHECK((result == protocol::job_outcome::succeeded_with_number) ==
                      starts_a_line(input, "StyleNameTimeSig="));
    }

    // The server's own status: the first four bytes are the code, the rest the
    // message, kept to one line without the part readers drop.
    if (size < 4) {
        return 0;
    }
    std::int32_t code = 0;
    std::memcpy(&code, data, 4);
    std::string text = input.substr(4, 1000);
    text = text.substr(0, text.find_first_of(std::string("\n\0", 2)));
    text = text.substr(0, text.find("Developers:"));
    if (!text.empty() && text.back() == '\r') {
        text.pop_back(); // a CR before the line end is kept by the reader
    }
    zebrix::write_job_status(dir, text, code);
    message.clear();
    number = -1;
    const protocol::job_outcome own = zebrix::read_job_status(dir, message, number);
    if (code == 0) {
        ZS_FUZZ_CHECK(own == protocol::job_outcome::succeeded);
    } else {
        ZS_FUZZ_CHECK(own == protocol::job_outcome::failed);
        ZS_FUZZ_CHECK(message == text);
    }
    return 0;
}
