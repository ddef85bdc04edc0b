// Stand-in for Orvanta: answers WM_OV_IDENTIFY and WM_OV_COMMAND, runs the
// posted jobs 1 and 102 and writes its files into OvHelper/ beside it.
#include "orvanta/command_table.hpp"
#include "orvanta/program_interface.hpp"
#include "platform/files.hpp"
#include "sim/stand_in.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using namespace zs;
using namespace zs::orvanta;

namespace {

class orvanta_program {
public:
    explicit orvanta_program(sim::stand_in& self)
        : self_(self), helper_(self.folder() + OV_HELPER_FOLDER + platform::path_separator),
          job_state_(std::make_shared<std::atomic<int>>(1)) {}

    std::int64_t handle_message(const platform::window_message& m) {
        const sim::key_values b = self_.behaviour();
        if (m.message == WM_OV_IDENTIFY) {
            return b.number("identify").value_or(OV_IDENTIFY_ANSWER);
        }
        if (m.message != WM_OV_COMMAND) {
            return 0;
        }
        const long long code = m.wparam & 0xFFFF;
        std::int64_t reply = 1;
        const ov_command* row = find_ov_command(static_cast<std::int32_t>(code));
        if (row &&
            (row->pattern == ov_pattern::posted_job || row->pattern == ov_pattern::song_status)) {
            start_job(b, code);
        } else {
            self_.delay_for(b, code);
            reply = handle_command(b, code, m.lparam);
        }
        reply = self_.reply_for(b, code, reply);
        self_.notify(b, code, notify_window_);
        return reply;
    }

private:
    // A job's files appear, then its state turns 1; with delay_ms.<code> the
    // state reads 0 while the job runs in the background.
    void start_job(const sim::key_values& b, long long code) {
        const auto output = self_.error_text(b, code).value_or("error=0\n");
        const std::string helper = helper_;
        auto state = job_state_;
        auto finish = [helper, output, state] {
            sim::write_ansi_text(helper + OV_SONG_LIST_FILE,
                                 "1=Multitrack Demo\n2=Live Session\n3=Band Rehearsal\n"
                                 "4=Caf\xC3\xA9 Session\n");
            sim::write_text(helper + OV_OUTPUT_FILE, output);
            state->store(1);
        };
        const long long delay = b.number("delay_ms." + std::to_string(code)).value_or(0);
        if (delay <= 0) {
            finish();
            return;
        }
        state->store(0);
        std::thread([finish, delay] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            finish();
        }).detach();
    }

    std::int64_t handle_command(const sim::key_values& b, long long code, std::int64_t lparam) {
        const auto error = self_.error_text(b, code);
        if (code == OV_CMD_NOTIFY_WINDOW) {
            notify_window_ = static_cast<platform::window_handle>(lparam);
            return 1;
        }
        if (code == OV_CMD_JOB_STATE) {
            return job_state_->load();
        }
        if (std::find(OV_SONG_STATUS_PARTS.begin(), OV_SONG_STATUS_PARTS.end(), code) !=
            OV_SONG_STATUS_PARTS.end()) {
            return lparam; // each part answers differently, so a mixed-up block shows
        }
        const ov_command* row = find_ov_command(static_cast<std::int32_t>(code));
        const ov_pattern pattern = row ? row->pattern : ov_pattern::plain_send;
        if (pattern == ov_pattern::song_transfer) {
            const std::string song = "[Song]\nTitle=Multitrack Demo\nTracks=8\nTempo=96\n";
            sim::write_text(helper_ + OV_SONG_FILE, song);
            sim::write_text(helper_ + OV_OUTPUT_FILE, error.value_or(song));
            return 1;
        }
        if (pattern == ov_pattern::section_names) {
            sim::write_text(helper_ + OV_SECTION_NAMES_FILE,
                            "Section1=Intro\nSection2=Verse\nSection3=Chorus\n");
        } else if (pattern == ov_pattern::track_names && lparam == OV_TRACK_NAMES_LPARAM) {
            sim::write_text(helper_ + OV_TRACK_NAMES_FILE,
                            "Track1=Drums\nTrack2=Bass\nTrack3=Guitar\nTrack4=Vocals\n");
        }
        if (error) {
            sim::write_text(helper_ + OV_OUTPUT_FILE, *error);
        }
        return 1;
    }

    sim::stand_in& self_;
    std::string helper_;
    std::shared_ptr<std::atomic<int>> job_state_; // shared with running job threads
    platform::window_handle notify_window_ = 0;   // owner thread only
};

} // namespace

int main() {
    sim::stand_in self;
    orvanta_program program(self);
    return self.run(OV_WINDOW_CLASS, "Orvanta", [&program](const platform::window_message& m) {
        return program.handle_message(m);
    });
}
