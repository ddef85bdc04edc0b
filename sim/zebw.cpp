// Stand-in for the interactive Zebrix program: answers WM_ZEBW_COMMAND and
// writes its result files into the helper folder beside it, in the machine's
// ANSI code page as the real program does, with letters beyond ASCII in
// texts and in the name of one file.
#include "platform/files.hpp"
#include "sim/stand_in.hpp"
#include "zebrix/command_table.hpp"
#include "zebrix/program_interface.hpp"

#include <atomic>

using namespace zs;
using namespace zs::zebrix;

namespace {

class zebw_program {
public:
    explicit zebw_program(sim::stand_in& self)
        : self_(self), helper_(self.folder() + "ZebHelper" + platform::path_separator) {}

    std::int64_t handle_message(const platform::window_message& m) {
        if (m.message != WM_ZEBW_COMMAND) {
            return 0;
        }
        const sim::key_values b = self_.behaviour();
        const long long code = m.wparam & 0xFFFF;
        const long long first = (m.wparam >> 16) & 0xFFFF;
        self_.delay_for(b, code);
        const std::int64_t reply =
            self_.reply_for(b, code, handle_command(b, code, first, m.lparam));
        self_.notify(b, code, notify_window_);
        return reply;
    }

private:
    std::int64_t handle_command(const sim::key_values& b, long long code, long long first,
                                std::int64_t lparam) {
        switch (code) {
        case ZEBW_CMD_PING:
            return b.number("ping").value_or(ZEBW_PING_READY);
        case ZEBW_CMD_SECTIONS_SUPPORTED:
            return 1;
        case ZEBW_CMD_NOTIFY_WINDOW:
            notify_window_ = static_cast<platform::window_handle>(lparam);
            return 1;
        case ZEBW_CMD_RELEASE:
            notify_window_ = 0;
            return 1;
        case ZEBW_CMD_TRACK_VALUE:
            return 50 + lparam;
        default:
            break;
        }
        const auto error = self_.error_text(b, code);
        const std::string ok = "error=0\n";
        const zebw_command* row = find_zebw_command(static_cast<std::int32_t>(code));
        const zebw_pattern pattern = row ? row->pattern : zebw_pattern::plain_send;
        if (pattern == zebw_pattern::song_list) {
            sim::write_ansi_text(helper_ + ZEBW_SONG_LIST_FILE,
                                 "1=Demo Song One\n2=Demo Song Two\n3=Demo Song Three\n"
                                 "4=Canci\xC3\xB3n Cuatro\n");
        } else if (pattern == zebw_pattern::song_transfer) {
            const std::string song = "[Song]\nNumber=" + std::to_string(first) +
                                     "\nTitle=Demo Song " + std::to_string(first) +
                                     "\nStyle=Pop\nTempo=120\nKey=C\n";
            sim::write_text(helper_ + ZEBW_SONG_FILE, song);
            sim::write_ansi_text(helper_ + "Canci\xC3\xB3n.txt",
                                 "T\xC3\xADtulo=Demo\n"); // "Canción.txt"
            sim::write_text(helper_ + ZEBW_OUTPUT_FILE, error.value_or(song));
            return 1;
        } else if (pattern == zebw_pattern::section_names) {
            sim::write_text(helper_ + ZEBW_SECTION_NAMES_FILE,
                            "SectionName=1,Intro\nSectionName=2,Verse\nSectionName=3,Chorus\n"
                            "SectionName=4,Ending\n");
        }
        sim::write_text(helper_ + ZEBW_OUTPUT_FILE, error.value_or(ok));
        return 1;
    }

    sim::stand_in& self_;
    std::string helper_;
    platform::window_handle notify_window_ = 0; // owner thread only
};

} // namespace

int main() {
    sim::stand_in self;
    zebw_program program(self);
    return self.run(
        ZEBW_WINDOW_CLASS, ZEBW_WINDOW_TITLE,
        [&program](const platform::window_message& m) { return program.handle_message(m); });
}
