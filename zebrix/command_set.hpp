#pragma once
// The remote-control commands of zebw.exe: each client command code follows
// the pattern its row of the command table names.
#include "platform/disk_file.hpp"
#include "protocol/zeb_message.hpp"
#include "zebrix/command_table.hpp"
#include "zebrix/zebw_driver.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zs::zebrix {

// Error codes of replies.
inline constexpr int ERR_INPUT = 1;
inline constexpr int ERR_OUTPUT = 2;
inline constexpr int ERR_UNKNOWN = 3;
inline constexpr int ERR_PROGRAM = 4;

// (0, code, detail) with one ITEM_ERROR item holding the text.
std::shared_ptr<protocol::ZebResponse> make_error_reply(std::int32_t request_id, int code,
                                                        int detail, const std::string& text);
// (action, status, value) without items.
std::shared_ptr<protocol::ZebResponse> make_reply(std::int32_t request_id, std::int32_t action,
                                                  std::int32_t status, std::int32_t value);

// The server's own files in the helper folder: its executable (`exe_name`),
// its settings, string list, logs and lock, the input file it writes, and
// what setup installs beside them. A client never gets (nor deletes) these.
std::vector<std::string> server_file_names(const std::string& exe_name);
// One of them by name, compared without regard to ASCII case, or one of the
// temporary names its settings are saved under.
bool is_server_file(const std::string& name, const std::string& exe_name);

class command_set {
public:
    // helper_dir ends in "/": the input, output and result files live there,
    // beside the server's executable `exe_name`.
    command_set(zebw_target& program, std::string helper_dir, std::string exe_name = {});

    // Carries out one command (action 1) and gives its one reply. The files
    // the reply hands out stay on disk until remove_handed_out: a client
    // loses a file only with a reply accepted whole for sending.
    std::shared_ptr<protocol::ZebResponse> execute(const protocol::ZebRequest& request);
    // Deletes the files the last reply handed out.
    void remove_handed_out();

private:
    using reply_ptr = std::shared_ptr<protocol::ZebResponse>;
    // False after an error reply was made (in `reply`).
    bool write_input(const protocol::ZebRequest& request, int wparam, int lparam, reply_ptr& reply);
    bool output_failed(std::int32_t request_id, reply_ptr& reply);
    reply_ptr song_list(const protocol::ZebRequest& request, const zebw_command& row);
    reply_ptr song_text(const protocol::ZebRequest& request, const zebw_command& row);
    reply_ptr section_names(const protocol::ZebRequest& request, const zebw_command& row);
    reply_ptr track_values(const protocol::ZebRequest& request, const zebw_command& row);
    reply_ptr simple(const protocol::ZebRequest& request, const zebw_command& row);
    // Where the file a client asks for as `name` lies: its path, or empty
    // when the name is refused.
    std::string servable_path(const std::string& name) const;
    // Reads that file into `content` unless it is one of the server's own
    // (by identity) or not a regular disk file, or longer than `max_bytes`.
    platform::disk_read read_servable(const std::string& path, std::uint64_t max_bytes,
                                      std::string& content) const;
    // The requested files into the reply (each file once); false, with
    // nothing handed out, when they would not fit into one reply.
    bool add_requested_files(const protocol::ZebFileList& wanted, protocol::ZebFileList& files);

    zebw_target& program_;
    const std::string helper_dir_;
    const std::string exe_name_;
    std::vector<std::string> handed_out_; // paths in the last reply
};

} // namespace zs::zebrix
