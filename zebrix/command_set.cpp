#include "zebrix/command_set.hpp"

#include "core/file_exchange.hpp"
#include "core/path_layout.hpp"
#include "core/server_log.hpp"
#include "core/text.hpp"
#include "platform/disk_file.hpp"
#include "platform/codepage.hpp"
#include "platform/files.hpp"
#include "zebrix/program_interface.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace zs::zebrix {

using core::add_key_value;
using core::check_output_error;
using core::key_value_store;
using core::read_and_remove_file;
using core::read_key_value_file;
using core::serialize_key_values;
using core::write_input_file;
using protocol::ITEM_DATA;
using protocol::ITEM_ERROR;
using protocol::ZebRequest;
using protocol::ZebResponse;

namespace {

constexpr std::array<std::pair<int, const char*>, 9> track_table = {{
    {0, "Bass"},
    {1, "Drums"},
    {2, "Piano"},
    {3, "Guitar"},
    {4, "Strings"},
    {5, "Melody"},
    {6, "Soloist"},
    {7, "Thru"},
    {8, "Audio"},
}};

constexpr std::array<const char*, 10> default_sections = {"1,Start (Play)",
                                                          "2,Intro",
                                                          "3,First Chorus",
                                                          "4,Middle Chorus",
                                                          "5,Last Chorus",
                                                          "6,End",
                                                          "7,",
                                                          "8,",
                                                          "9,",
                                                          "10,"};

} // namespace

std::shared_ptr<ZebResponse> make_reply(std::int32_t request_id, std::int32_t action,
                                        std::int32_t status, std::int32_t value) {
    auto reply = std::make_shared<ZebResponse>();
    reply->kind = protocol::MSG_RESPONSE;
    reply->request_id = request_id;
    reply->action = action;
    reply->status = status;
    reply->value = value;
    return reply;
}

std::shared_ptr<ZebResponse> make_error_reply(std::int32_t request_id, int code, int detail,
                                              const std::string& text) {
    auto reply = make_reply(request_id, 0, code, detail);
    reply->add_data(ITEM_ERROR, text);
    return reply;
}

std::vector<std::string> server_file_names(const std::string& exe_name) {
    std::vector<std::string> own = {"config.txt",
                                    "OrvantaPath.txt",
                                    "debug.txt",
                                    "ZebrixServer_Strings.txt",
                                    ZEBW_INPUT_FILE,
                                    core::server_log::file_name,
                                    core::server_log::old_file_name,
                                    core::installation_lock_file,
                                    core::installed_uninstaller_file,
                                    core::installed_guide_file};
    if (!exe_name.empty()) {
        own.push_back(exe_name);
    }
    return own;
}

bool is_server_file(const std::string& name, const std::string& exe_name) {
    const std::string lower = core::ascii_lower(name);
    for (const std::string& file : server_file_names(exe_name)) {
        const std::string own_lower = core::ascii_lower(file);
        // Settings are saved through "<name>.tmp-<process id>".
        if (lower == own_lower || lower.rfind(own_lower + ".tmp-", 0) == 0) {
            return true;
        }
    }
    return false;
}

command_set::command_set(zebw_target& program, std::string helper_dir, std::string exe_name)
    : program_(program), helper_dir_(std::move(helper_dir)), exe_name_(std::move(exe_name)) {}

std::string command_set::servable_path(const std::string& name) const {
    // A client names files in the machine's code page; paths here are UTF-8.
    const std::string file = platform::ansi_to_utf8(name);
    if (!core::is_plain_name(file, core::name_controls::nul_refused) ||
        core::is_windows_alias(file) || is_server_file(file, exe_name_)) {
        return {};
    }
    // The case-insensitive fallback may find another spelling: check that one too.
    const std::string path = platform::resolve_for_read(helper_dir_ + file);
    if (is_server_file(path.substr(helper_dir_.size()), exe_name_)) {
        return {};
    }
    return path;
}

platform::disk_read command_set::read_servable(const std::string& path, std::uint64_t max_bytes,
                                               std::string& content) const {
    // Any other name of an own file (a short name, a link) is the same file.
    std::vector<std::string> own;
    for (const std::string& file : server_file_names(exe_name_)) {
        own.push_back(helper_dir_ + file);
    }
    return platform::read_disk_file(path, own, max_bytes, content);
}

std::shared_ptr<ZebResponse> command_set::execute(const ZebRequest& request) {
    handed_out_.clear(); // a reply that was not accepted left its files in place
    const zebw_command* row = find_zebw_command(request.header.command);
    if (row == nullptr) {
        return make_error_reply(request.header.request_id, ERR_UNKNOWN, 0, TEXT_UNKNOWN_COMMAND);
    }
    switch (row->pattern) {
    case zebw_pattern::song_list:
        return song_list(request, *row);
    case zebw_pattern::song_transfer:
        return song_text(request, *row);
    case zebw_pattern::section_names:
        return section_names(request, *row);
    case zebw_pattern::track_values:
        return track_values(request, *row);
    case zebw_pattern::plain_send:
    case zebw_pattern::raw_send:
        break;
    }
    return simple(request, *row);
}

bool command_set::write_input(const ZebRequest& request, int wparam, int lparam, reply_ptr& reply) {
    const protocol::ZebRawData* text = request.find_data(ITEM_DATA);
    if (text == nullptr) {
        return true; // nothing to hand over; the command goes on
    }
    if (!write_input_file(helper_dir_ + ZEBW_INPUT_FILE, wparam, lparam, text->data)) {
        reply = make_error_reply(request.header.request_id, ERR_INPUT, 0, TEXT_CANT_WRITE_INPUT);
        return false;
    }
    return true;
}

bool command_set::output_failed(std::int32_t request_id, reply_ptr& reply) {
    return check_output_error(helper_dir_ + ZEBW_OUTPUT_FILE, ERR_PROGRAM,
                              [&](int code, int detail, const std::string& text) {
                                  reply = make_error_reply(request_id, code, detail, text);
                              });
}

command_set::reply_ptr command_set::song_list(const ZebRequest& request, const zebw_command& row) {
    const auto id = request.header.request_id;
    reply_ptr reply;
    if (!write_input(request, 1, 0, reply)) {
        return reply;
    }
    const std::int32_t result = program_.send_command(0, row.code, 0);
    if (result != 1) {
        return make_error_reply(id, ERR_PROGRAM, result, row.failure);
    }
    if (output_failed(id, reply)) {
        return reply;
    }
    std::string list;
    if (!read_and_remove_file(helper_dir_ + ZEBW_SONG_LIST_FILE, list)) {
        return make_error_reply(id, ERR_OUTPUT, 0, TEXT_NO_SONG_LIST);
    }
    reply = make_reply(id, 1, row.success_status, 0);
    reply->add_data(ITEM_DATA, std::move(list));
    return reply;
}

void command_set::remove_handed_out() {
    for (const std::string& path : handed_out_) {
        platform::remove_file(path);
    }
    handed_out_.clear();
}

bool command_set::add_requested_files(const protocol::ZebFileList& wanted,
                                      protocol::ZebFileList& files) {
    std::uint64_t total = 0;
    for (const auto& name : wanted.names) {
        if (program_.stopping()) {
            break; // the service stops: the reply goes with what it has
        }
        const std::string path = servable_path(name);
        // A name asked for twice (or in another spelling) is one file, read once.
        if (path.empty() ||
            std::find(handed_out_.begin(), handed_out_.end(), path) != handed_out_.end()) {
            continue;
        }
        // Read at most what still fits, so a request for huge files costs no memory.
        std::string content;
        const std::uint64_t room = protocol::max_unsent_bytes - total;
        const platform::disk_read outcome = read_servable(path, room, content);
        if (outcome == platform::disk_read::too_large ||
            (outcome == platform::disk_read::read && content.size() + name.size() > room)) {
            handed_out_.clear();
            return false;
        }
        if (outcome == platform::disk_read::read) {
            total += content.size() + name.size();
            files.add_file(name)->content = std::move(content);
            handed_out_.push_back(path);
        }
    }
    return true;
}

command_set::reply_ptr command_set::song_text(const ZebRequest& request, const zebw_command& row) {
    const auto& h = request.header;
    const protocol::ZebFileList* wanted = request.find_file_list();
    if (wanted != nullptr && wanted->names.size() > protocol::max_requested_names) {
        return make_error_reply(h.request_id, protocol::ERR_SERVER, 0,
                                protocol::TEXT_TOO_MANY_NAMES);
    }
    reply_ptr reply;
    if (!write_input(request, h.command, h.param1, reply)) {
        return reply;
    }
    const std::int32_t result = program_.send_command(h.param1, h.command, h.param2);
    if (result != 1) {
        return make_error_reply(h.request_id, ERR_PROGRAM, result, row.failure);
    }
    std::string output;
    if (!read_and_remove_file(helper_dir_ + ZEBW_OUTPUT_FILE, output)) {
        return make_error_reply(h.request_id, ERR_OUTPUT, 0, TEXT_CANT_READ_OUTPUT);
    }
    reply = make_reply(h.request_id, 1, row.success_status, 0);
    reply->add_data(ITEM_DATA, std::move(output));
    if (wanted != nullptr && !add_requested_files(*wanted, *reply->add_file_list())) {
        core::server_log::line("Zebrix command " + std::to_string(h.command) +
                               ": the files asked for would not fit into one answer; "
                               "none was sent or deleted");
        return make_error_reply(h.request_id, protocol::ERR_SERVER, 0,
                                protocol::TEXT_REPLY_TOO_LARGE);
    }
    return reply;
}

command_set::reply_ptr command_set::section_names(const ZebRequest& request,
                                                  const zebw_command& row) {
    const auto id = request.header.request_id;
    key_value_store store;
    reply_ptr reply;
    if (program_.send_command(0, ZEBW_CMD_SECTIONS_SUPPORTED, 0) == 0) {
        for (const char* value : default_sections) {
            add_key_value(store, "SectionName", value);
        }
        reply = make_reply(id, 1, 0, 0);
    } else {
        const std::int32_t result = program_.send_command(0, row.code, 0);
        if (result != 1) {
            return make_error_reply(id, ERR_PROGRAM, result, row.failure);
        }
        if (output_failed(id, reply)) {
            return reply;
        }
        read_key_value_file(helper_dir_ + ZEBW_SECTION_NAMES_FILE, store);
        reply = make_reply(id, 1, row.success_status, 0);
    }
    reply->add_data(ITEM_DATA, serialize_key_values(store));
    return reply;
}

command_set::reply_ptr command_set::track_values(const ZebRequest& request,
                                                 const zebw_command& row) {
    const auto id = request.header.request_id;
    const std::int64_t wparam = zebw_command_wparam(request.header.param1, ZEBW_CMD_TRACK_VALUE);
    key_value_store store;
    for (const auto& [code, name] : track_table) {
        const std::int32_t result = program_.send_raw(wparam, code);
        if (result == ZEBW_TRACK_VALUE_FAILED) {
            return make_error_reply(id, ERR_PROGRAM, result, row.failure);
        }
        add_key_value(store, name, std::to_string(result));
    }
    auto reply = make_reply(id, 1, row.success_status, 0);
    reply->add_data(ITEM_DATA, serialize_key_values(store));
    return reply;
}

command_set::reply_ptr command_set::simple(const ZebRequest& request, const zebw_command& row) {
    const auto& h = request.header;
    const bool raw = row.pattern == zebw_pattern::raw_send;
    const std::int32_t result =
        raw ? program_.send_raw(zebw_command_wparam(h.param1, h.command), h.param2)
            : program_.send_command(h.param1, h.command, h.param2);
    if (result != 1) {
        return make_error_reply(h.request_id, ERR_PROGRAM, result, row.failure);
    }
    return make_reply(h.request_id, 1, row.success_status, 0);
}

} // namespace zs::zebrix
