#pragma once
// How the zebrix and orvanta subcommands print answers and events: one line
// per frame and its items in text, or one JSON array for the session.
// Returned files are saved (rc_files.hpp) or shown.
#include "client/rc_options.hpp"
#include "protocol/zeb_message.hpp"

#include <string>

namespace zs::client {

// Prints one answer or event; false when a returned file could not be saved.
bool print_rc_frame(const protocol::ZebResponse& r, const rc_request& req, bool save, bool json,
                    bool first);

// The frames after the request, printed as they come; finish() is false when
// the connection failed or an answer was an error answer or a file was not
// saved.
class frame_printer {
public:
    frame_printer(const rc_request& req, bool save, bool json);

    void print(const protocol::ZebResponse& r);
    // A failure in the middle of the output: in words on standard error, and
    // as the array's last element with --json.
    void fail(const std::string& text);
    void answer_failed() { ok_ = false; }
    bool finish();

private:
    const rc_request& req_;
    bool save_;
    bool json_;
    bool first_ = true;
    bool ok_ = true;
};

} // namespace zs::client
