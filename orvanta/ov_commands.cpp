// The Orvanta command set: each code follows the pattern of its row in the
// command table.
#include "orvanta/orvanta_controller.hpp"

#include "core/file_exchange.hpp"
#include "core/server_log.hpp"
#include "net/wire.hpp"
#include "orvanta/command_table.hpp"
#include "orvanta/ov_files.hpp"
#include "orvanta/program_interface.hpp"
#include "platform/codepage.hpp"
#include "platform/trace.hpp"
#include "protocol/reply_texts.hpp"

#include <array>

namespace zs::orvanta {

using protocol::ZebRequest;

namespace {

constexpr std::int32_t failure_code = 8; // program reported or refused

const std::string* request_text(const ZebRequest& request) {
    const auto* data = request.find_data(protocol::ITEM_DATA);
    return data != nullptr ? &data->data : nullptr;
}

} // namespace

std::string orvanta_controller::helper_file(const char* name) const {
    return layout_.in_ov_helper(name);
}

void orvanta_controller::dispatch(const ZebRequest& request) {
    const ov_command* row = find_ov_command(request.header.command);
    if (row == nullptr) {
        send_error(request.header.request_id, 3, 0, TEXT_UNKNOWN_COMMAND);
        return;
    }
    switch (row->pattern) {
    case ov_pattern::plain_send:
    case ov_pattern::plain_post:
        plain_send(request, row->pattern == ov_pattern::plain_post, row->failure);
        return;
    case ov_pattern::posted_job:
        posted_job(request, *row);
        return;
    case ov_pattern::song_transfer:
        song_transfer(request, *row);
        return;
    case ov_pattern::track_names:
        if (request.header.param2 == OV_TRACK_NAMES_LPARAM) {
            track_names(request, *row);
        } else {
            plain_send(request, false, OV_PLAIN_SEND_FAILURE);
        }
        return;
    case ov_pattern::section_names:
        section_names(request, *row);
        return;
    case ov_pattern::track_name_upload:
        track_name_upload(request, *row);
        return;
    case ov_pattern::folder_query:
        send_data(request.header.request_id, platform::utf8_to_ansi(driver_.folder()));
        return;
    case ov_pattern::song_status:
        song_status_block(request, *row);
        return;
    }
}

void orvanta_controller::plain_send(const ZebRequest& request, bool post, const char* failure) {
    const auto& h = request.header;
    const std::int32_t r = post ? driver_.post_command(h.param1, h.command, h.param2)
                                : driver_.send_command(h.param1, h.command, h.param2);
    platform::trace("answer %d", r);
    if (r == 1) {
        send_success(h.request_id);
        return;
    }
    platform::trace("Receive wrong answer %d %d %d", h.command, h.param1, h.param2);
    send_error(h.request_id, failure_code, r, failure);
}

bool orvanta_controller::output_reports_error(std::int32_t id) {
    return core::check_output_error(
        layout_.ov_output_path(), failure_code,
        [&](int code, int detail, const std::string& text) { send_error(id, code, detail, text); });
}

void orvanta_controller::posted_job(const ZebRequest& request, const ov_command& row) {
    const auto& h = request.header;
    const std::int32_t id = h.request_id;
    // Without a text the previous job's input file stays in place.
    if (const std::string* text = request_text(request)) {
        if (std::error_code why;
            !write_input_file(layout_.ov_input_path(), *text, h.command, 0, &why)) {
            platform::trace("Can't write to file: %s", why.message().c_str());
            send_error(id, 5, 0, TEXT_CANT_WRITE_INPUT);
            return;
        }
    }
    const std::int32_t posted = driver_.post_command(0, h.command, 0);
    if (posted != 1) {
        platform::trace("Answer != 1");
        send_error(id, failure_code, posted, row.failure);
        return;
    }
    const ov_timing& t = driver_.timing();
    std::int32_t state = 0;
    for (int poll = 0; poll < t.polls; ++poll) {
        if (!driver_.pause(t.poll_wait)) {
            break; // the server is going away
        }
        state = driver_.send_command(0, OV_CMD_JOB_STATE, 0);
        if (state != 0) {
            platform::trace("Get answ: 1");
            break;
        }
        platform::trace("Get answ: %d", state);
    }
    if (state != 1) {
        platform::trace("Server response time out");
        send_error(id, failure_code, state, TEXT_TIME_OUT);
        return;
    }
    if (output_reports_error(id)) {
        platform::trace("zeboutput_error(request->id(), p)");
        return;
    }
    std::string songs;
    if (!read_text_file(helper_file(OV_SONG_LIST_FILE), songs)) {
        platform::trace("can't read file");
        send_error(id, 6, 0, TEXT_NO_SONG_LIST);
        return;
    }
    send_data(id, std::move(songs));
}

void orvanta_controller::song_transfer(const ZebRequest& request, const ov_command& row) {
    const auto& h = request.header;
    const std::int32_t id = h.request_id;
    const protocol::ZebFileList* wanted = request.find_file_list();
    if (wanted != nullptr && wanted->names.size() > protocol::max_requested_names) {
        send_error(id, protocol::ERR_SERVER, 0, protocol::TEXT_TOO_MANY_NAMES);
        return;
    }
    if (const std::string* text = request_text(request)) {
        const std::string ansi = platform::utf8_to_ansi(*text);
        // A text that converts to nothing still gets an answer.
        if (ansi.empty() || !write_input_file(layout_.ov_input_path(), ansi, h.command, h.param1)) {
            send_error(id, 5, 0, TEXT_CANT_WRITE_INPUT);
            return;
        }
    }
    const std::int32_t r = driver_.send_command(h.param1, h.command, h.param2);
    if (r != 1) {
        send_error(id, failure_code, r, row.failure);
        return;
    }
    std::string output;
    if (!read_text_file(layout_.ov_output_path(), output)) {
        send_error(id, 6, 0, TEXT_CANT_READ_OUTPUT);
        return;
    }
    auto reply_to = success(id);
    reply_to->add_data(protocol::ITEM_DATA, std::move(output));
    if (wanted != nullptr) {
        // One song file for every name: read once, and never more copies than one reply holds.
        std::string song;
        const bool have_song = read_text_file(helper_file(OV_SONG_FILE), song);
        std::uint64_t total = 0;
        for (const auto& name : wanted->names) {
            total += have_song ? song.size() + name.size() : 0;
        }
        if (total > protocol::max_unsent_bytes) {
            core::server_log::line("Orvanta command " + std::to_string(h.command) + ": " +
                                   std::to_string(wanted->names.size()) +
                                   " copies of the song would not fit into one answer");
            send_error(id, protocol::ERR_SERVER, 0, protocol::TEXT_REPLY_TOO_LARGE);
            return;
        }
        auto* files = reply_to->add_file_list();
        for (const auto& name : wanted->names) {
            if (!have_song || driver_.stopping()) {
                break; // no song, or the service stops: the reply goes with what it has
            }
            files->add_file(name)->content = song;
        }
    }
    reply(std::move(reply_to));
}

void orvanta_controller::track_names(const ZebRequest& request, const ov_command& row) {
    const std::int32_t id = request.header.request_id;
    const std::int32_t r = driver_.send_command(0, OV_TRACK_NAMES, OV_TRACK_NAMES_LPARAM);
    if (r != 1) {
        send_error(id, failure_code, r, row.failure);
        return;
    }
    std::string text = read_key_values_text(layout_.ov_track_names_path());
    platform::trace("%s", text.c_str());
    send_data(id, std::move(text));
}

void orvanta_controller::section_names(const ZebRequest& request, const ov_command& row) {
    const std::int32_t id = request.header.request_id;
    const std::int32_t r = driver_.send_command(0, OV_SECTION_NAMES, 0);
    if (r != 1) {
        send_error(id, failure_code, r, row.failure);
        return;
    }
    send_data(id, read_key_values_text(layout_.ov_section_names_path()));
}

void orvanta_controller::track_name_upload(const ZebRequest& request, const ov_command& row) {
    const auto& h = request.header;
    if (const std::string* text = request_text(request)) {
        if (std::error_code why;
            !write_text_file(helper_file(OV_TRACK_NAME_UPLOAD_FILE), *text, &why)) {
            platform::trace("Can't write to file: %s", why.message().c_str());
            send_error(h.request_id, 5, 0, TEXT_CANT_WRITE_FILE);
            return;
        }
    }
    const std::int32_t r = driver_.send_command(h.param1, OV_TRACK_NAME_UPLOAD, h.param2);
    if (r == 1) {
        send_success(h.request_id);
        return;
    }
    platform::trace("Answer != 1");
    send_error(h.request_id, failure_code, r, row.failure);
}

void orvanta_controller::song_status_block(const ZebRequest& request, const ov_command& row) {
    constexpr int tracks = 48;
    std::array<std::int32_t, 1 + 3 * tracks> block{};
    block[0] = static_cast<std::int32_t>((block.size() - 1) * 4); // 576 bytes follow
    for (int i = 1; i <= tracks; ++i) {
        for (std::size_t part = 0; part < OV_SONG_STATUS_PARTS.size(); ++part) {
            block[part * static_cast<std::size_t>(tracks) + static_cast<std::size_t>(i)] =
                driver_.send_command(0, OV_SONG_STATUS_PARTS[part], i);
        }
    }
    std::string bytes(block.size() * 4, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) {
        net::write_word(reinterpret_cast<std::uint8_t*>(bytes.data()) + 4 * i, block[i]);
    }
    send_data(request.header.request_id, std::move(bytes));
    platform::trace("Song info sended");
    platform::trace("Song checked");
    posted_job(request, row); // the request's second reply
}

} // namespace zs::orvanta
