#pragma once
// What a remote-control client object needs of the program it drives, and
// what the program needs of the client: the Zebrix and Orvanta controllers
// implement the one, the client object's link to its session the other.
#include "protocol/zeb_message.hpp"

#include <memory>

namespace zs::protocol {

// Where the attached client's replies and events go. The programs know it
// as `zebw_rc_interface` and `ov_rc_interface`.
class rc_sink {
public:
    virtual ~rc_sink() = default;
    virtual send_outcome send_response(std::shared_ptr<ZebResponse> response) = 0;
};

// One program that at most one client controls at a time. The calls other
// than attach run on the program's worker.
class remote_program {
public:
    virtual ~remote_program() = default;
    // False, and nothing changes, while another sink is attached. Otherwise
    // stores the sink and starts the program in the background; never waits
    // for a command or the program.
    virtual bool attach_client(rc_sink* sink) = 0;
    // Releases the program (only for the sink that holds it), after a running command.
    virtual void detach_client(rc_sink* sink) = 0;
    // Runs one request; every reply and event goes to the attached sink.
    // False ends the session.
    virtual bool execute_request(const ZebRequest& request) = 0;
};

} // namespace zs::protocol
