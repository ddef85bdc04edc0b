#pragma once
// The remote-control commands of zebw.exe: each client command code follows
// the pattern its row of the command table names.
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

// The largest file a client gets through command 2 or 3.
inline constexpr std::uint64_t max_served_file_bytes = std::uint64_t{16} << 20;

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

    // Carries out one command (action 1) and gives its one reply.
    std::shared_ptr<protocol::ZebResponse> execute(const protocol::ZebRequest& request);

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
    // Reads the file a client may have for `name` into `content`: its path,
    // or empty when it is refused or cannot be read.
    std::string read_servable_file(const std::string& name, std::string& content) const;

    zebw_target& program_;
    const std::string helper_dir_;
    const std::string exe_name_;
};

} // namespace zs::zebrix
