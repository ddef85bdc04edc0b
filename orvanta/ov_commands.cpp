// The Orvanta command set: each code follows the pattern of its row in the
// command table.
#include "orvanta/orvanta_controller.hpp"

#include "core/file_exchange.hpp"
#include "net/wire.hpp"
#include "orvanta/command_table.hpp"
#include "orvanta/ov_files.hpp"
#include "orvanta/program_interface.hpp"
#include "platform/codepage.hpp"
#include "platform/trace.hpp"

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
        plain_send(request, row->pattern == ov_pattern::plain_post);
        return;
    case ov_pattern::posted_job:
        posted_job(request);
        return;
    case ov_pattern::song_transfer:
        song_transfer(request);
        return;
    case ov_pattern::track_names:
        if (request.header.param2 == OV_TRACK_NAMES_LPARAM) {
            track_names(request);
        } else {
            plain_send(request, false);
        }
        return;
    case ov_pattern::section_names:
        section_names(request);
        return;
    case ov_pattern::track_name_upload:
        track_name_upload(request);
        return;
    case ov_pattern::folder_query:
        send_data(request.header.request_id, platform::utf8_to_ansi(driver_.folder()));
        return;
    case ov_pattern::song_status:
        song_status_block(request);
        return;
    }
}

void orvanta_controller::plain_send(const ZebRequest& request, bool post) {
    const auto& h = request.header;
    const std::int32_t r = post ? driver_.post_command(h.param1, h.command, h.param2)
                                : driver_.send_command(h.param1, h.command, h.param2);
    platform::trace("answer %d", r);
    if (r == 1) {
        send_success(h.request_id);
        return;
    }
    platform::trace("Receive wrong answer %d %d %d", h.command, h.param1, h.param2);
    send_error(h.request_id, failure_code, r, TEXT_NOT_RUNNING);
}

bool orvanta_controller::output_reports_error(std::int32_t id) {
    return core::check_output_error(
        layout_.ov_output_path(), failure_code,
        [&](int code, int detail, const std::string& text) { send_error(id, code, detail, text); });
}

void orvanta_controller::posted_job(const ZebRequest& request) {
    const auto& h = request.header;
    const std::int32_t id = h.request_id;
    // Without a text the previous job's input file stays in place.
    if (const std::string* text = request_text(request)) {
        if (std::error_code why;
            !write_input_file(layout_.ov_input_path(), *text, h.command, 0, &why)) {
            platform::trace("Can't write to file: %s", why.message().c_str());
            send_error(id, 5, 0, "Can't write input");
            return;
        }
    }
    const std::int32_t posted = driver_.post_command(0, h.command, 0);
    if (posted != 1) {
        platform::trace("Answer != 1");
        send_error(id, failure_code, posted, TEXT_ANSWER_NOT_1);
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
        send_error(id, failure_code, state, "Server response time out");
        return;
    }
    if (output_reports_error(id)) {
        platform::trace("zeboutput_error(request->id(), p)");
        return;
    }
    std::string songs;
    if (!read_text_file(helper_file(OV_SONG_LIST_FILE), songs)) {
        platform::trace("can't read file");
        send_error(id, 6, 0, "Unable to get song list");
        return;
    }
    send_data(id, std::move(songs));
}

void orvanta_controller::song_transfer(const ZebRequest& request) {
    const auto& h = request.header;
    const std::int32_t id = h.request_id;
    if (const std::string* text = request_text(request)) {
        const std::string ansi = platform::utf8_to_ansi(*text);
        // A text that converts to nothing still gets an answer.
        if (ansi.empty() || !write_input_file(layout_.ov_input_path(), ansi, h.command, h.param1)) {
            send_error(id, 5, 0, "Can't write input");
            return;
        }
    }
    const std::int32_t r = driver_.send_command(h.param1, h.command, h.param2);
    if (r != 1) {
        send_error(id, failure_code, r, TEXT_NOT_RUNNING);
        return;
    }
    std::string output;
    if (!read_text_file(layout_.ov_output_path(), output)) {
        send_error(id, 6, 0, "Can't read output");
        return;
    }
    auto reply_to = success(id);
    reply_to->add_data(protocol::ITEM_DATA, std::move(output));
    if (const auto* wanted = request.find_file_list()) {
        auto* files = reply_to->add_file_list();
        for (const auto& name : wanted->names) {
            std::string song;
            if (read_text_file(helper_file(OV_SONG_FILE), song)) {
                files->add_file(name)->content = std::move(song);
            }
        }
    }
    reply(std::move(reply_to));
}

void orvanta_controller::track_names(const ZebRequest& request) {
    const std::int32_t id = request.header.request_id;
    const std::int32_t r = driver_.send_command(0, OV_TRACK_NAMES, OV_TRACK_NAMES_LPARAM);
    if (r != 1) {
        send_error(id, failure_code, r, TEXT_INTERNAL_ERROR);
        return;
    }
    std::string text = read_key_values_text(layout_.ov_track_names_path());
    platform::trace("%s", text.c_str());
    send_data(id, std::move(text));
}

void orvanta_controller::section_names(const ZebRequest& request) {
    const std::int32_t id = request.header.request_id;
    const std::int32_t r = driver_.send_command(0, OV_SECTION_NAMES, 0);
    if (r != 1) {
        send_error(id, failure_code, r, TEXT_NOT_RUNNING);
        return;
    }
    send_data(id, read_key_values_text(layout_.ov_section_names_path()));
}

void orvanta_controller::track_name_upload(const ZebRequest& request) {
    const auto& h = request.header;
    if (const std::string* text = request_text(request)) {
        if (std::error_code why;
            !write_text_file(helper_file(OV_TRACK_NAME_UPLOAD_FILE), *text, &why)) {
            platform::trace("Can't write to file: %s", why.message().c_str());
            send_error(h.request_id, 5, 0, "Can't write to file");
            return;
        }
    }
    const std::int32_t r = driver_.send_command(h.param1, OV_TRACK_NAME_UPLOAD, h.param2);
    if (r == 1) {
        send_success(h.request_id);
        return;
    }
    platform::trace("Answer != 1");
    send_error(h.request_id, failure_code, r, TEXT_ANSWER_NOT_1);
}

void orvanta_controller::song_status_block(const ZebRequest& request) {
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
    posted_job(request); // the request's second reply
}

} // namespace zs::orvanta
