// Stand-in for the background Zebrix renderer: on WM_ZEBW3_RENDER it reads
// the job in the Zebrix folder's zebinput.txt, replies at once, renders in
// the background and posts WM_ZEBW3_DONE to the window the job names.
// As the real renderer, it reads its input in the machine's ANSI code page
// and writes its results only into an output folder that exists exactly as
// written; its texts and one result's name hold letters beyond ASCII.
#include "platform/codepage.hpp"
#include "platform/files.hpp"
#include "sim/stand_in.hpp"
#include "zebrix/program_interface.hpp"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <thread>

using namespace zs;
using namespace zs::zebrix;

namespace {

// A result whose name is beyond ASCII, in every job that succeeds.
constexpr const char* named_result = "R\xC3\xA9sum\xC3\xA9.txt"; // "Résumé.txt"

struct render_job {
    platform::window_handle notify = 0;
    std::string output_dir; // empty: the folder named cannot be written into
    std::string output = "audio";
    long long render_ms = 200;
    std::optional<long long> time_sig;
    std::vector<long long> fail_code;
    std::string fail_text;
    bool silent = false;
};

render_job read_job(const std::string& path) {
    const sim::key_values kv = sim::key_values::load(path);
    render_job job;
    job.notify =
        static_cast<platform::window_handle>(kv.number(ZEBW3_KEY_NOTIFY_WINDOW).value_or(0));
    // The folder as written (in the code page), joined with the result's
    // name: it must end in the system's separator, use no other, and exist.
    const std::string dir =
        platform::ansi_to_utf8(kv.text(ZEBW3_KEY_OUTPUT_DIRECTORY).value_or(""));
    const bool foreign_separator =
        platform::path_separator == '\\' && dir.find('/') != std::string::npos;
    if (!dir.empty() && dir.back() == platform::path_separator && !foreign_separator &&
        platform::folder_exists(dir)) {
        job.output_dir = dir;
    }
    job.output = kv.text("Output").value_or("audio");
    job.render_ms = kv.number("RenderMs").value_or(200);
    job.time_sig = kv.number("StyleNameTimeSig");
    if (const auto fail = kv.text("Fail")) {
        const auto comma = fail->find(',');
        job.fail_code = sim::key_values::parse("f=" + fail->substr(0, comma)).numbers("f");
        job.fail_text = comma == std::string::npos ? "" : fail->substr(comma + 1);
    }
    job.silent = kv.number("Silent").value_or(0) == 1;
    return job;
}

void render(const render_job& job) {
    if (job.render_ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(job.render_ms));
    }
    const std::string& dir = job.output_dir;
    if (dir.empty()) {
        // Results written nowhere; the report still comes.
    } else if (!job.fail_code.empty()) {
        const std::string n = std::to_string(job.fail_code.front());
        sim::write_text(dir + ZEBW3_STATUS_FILE,
                        "Error=" + n + "\n;Error #" + n + ", " + job.fail_text + "\n");
    } else {
        if (job.output == "stylelist") {
            sim::write_ansi_text(dir + ZEBW3_STYLE_LIST_FILE,
                                 "Style1=Pop\nStyle2=Jazz Swing\nStyle3=Bossa Caf\xC3\xA9\n");
        } else if (job.output == "songlist") {
            sim::write_text(dir + ZEBW3_SONG_LIST_FILE, "1=Demo Song One\n2=Demo Song Two\n");
        } else if (job.output == "song") {
            sim::write_text(dir + ZEBW3_SONG_FILE, "[Song]\nTitle=Rendered Song\nTempo=100\n");
        } else {
            platform::write_file(dir + ZEBW3_AUDIO_FILE, sim::sample_mp4(4096));
        }
        sim::write_ansi_text(dir + named_result, "Rendu termin\xC3\xA9\n");
        std::string status = "Error=0\n";
        if (job.time_sig) {
            status += "StyleNameTimeSig=" + std::to_string(*job.time_sig) + "\n";
        }
        sim::write_text(dir + ZEBW3_STATUS_FILE, status);
    }
    if (!job.silent && job.notify != 0) {
        platform::post_message(job.notify, WM_ZEBW3_DONE, 0, 0);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The real renderer works only when started with "/x4".
    if (std::find(argv + 1, argv + argc, std::string_view(ZEBW3_START_ARGS)) == argv + argc) {
        std::fprintf(stderr, "zebw3: started without %s; not rendering\n", ZEBW3_START_ARGS);
        return 2;
    }
    sim::stand_in self;
    return self.run(ZEBW3_WINDOW_CLASS, ZEBW3_WINDOW_TITLE,
                    [&self](const platform::window_message& m) -> std::int64_t {
                        if (m.message != WM_ZEBW3_RENDER) {
                            return 0;
                        }
                        // The render message carries no command code: keys use its number.
                        const sim::key_values b = self.behaviour();
                        self.delay_for(b, m.message);
                        const render_job job = read_job(self.folder() + ZEBW_INPUT_FILE);
                        std::thread([job] { render(job); }).detach();
                        return self.reply_for(b, m.message, 1);
                    });
}
