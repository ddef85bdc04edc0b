#pragma once
// At most one remote-control client drives zebw.exe at a time. The
// controller holds that client's reply sink, runs its commands one at a time
// under the command lock and turns the program's notifications into events.
#include "protocol/program_worker.hpp"
#include "protocol/remote_program.hpp"
#include "zebrix/command_set.hpp"
#include "zebrix/zebw_driver.hpp"

#include <cstdint>
#include <memory>
#include <mutex>

namespace zs::zebrix {

// The attached client's reply sink: the one sink interface of both programs.
using zebw_rc_interface = protocol::rc_sink;

class zebrix_controller final : public protocol::remote_program {
public:
    // The driver is released when the client detaches; the commands run against it.
    zebrix_controller(ZEBW& driver, command_set& commands);

    // False, and nothing changes, while another sink is attached. Otherwise
    // stores the sink and starts the program in the background. Never waits
    // for a command or the program.
    bool attach_client(zebw_rc_interface* sink) override;
    // Releases the program and then frees the controller (only for the sink
    // that holds it); after a running command.
    void detach_client(zebw_rc_interface* sink) override;
    // An event with the next event id for the attached client; dropped (the
    // id still advances) when none is attached.
    void forward_event(std::int64_t wparam, std::int64_t lparam);
    // A notification from the window's thread: numbered at once, in arrival
    // order, then delivered on the worker after the running command. One the
    // full queue cannot take keeps its id, so the client sees the gap; each
    // such drop is logged once.
    void notify(protocol::program_worker& worker, std::int64_t wparam, std::int64_t lparam);
    // By the request's action: 0 empty reply and false (the session ends),
    // 1 the command, anything else "Unknown command".
    bool execute_request(const protocol::ZebRequest& request) override;

    bool attached();

private:
    std::int32_t take_event_id();
    void forward_event(std::int32_t id, std::int64_t wparam, std::int64_t lparam);
    protocol::send_outcome deliver(std::shared_ptr<protocol::ZebResponse> response);
    // The command's reply; its files go once the reply is accepted whole.
    void run_command(const protocol::ZebRequest& request);

    ZEBW& driver_;
    command_set& commands_;
    std::mutex command_lock_; // always taken before the driver's own lock
    std::mutex sink_lock_;    // guards the two below; held for no wait
    zebw_rc_interface* sink_ = nullptr;
    std::int32_t event_counter_ = 0;

    std::mutex drops_lock_; // guards the run of dropped events below
    std::int32_t first_dropped_ = 0;
    std::int64_t dropped_ = 0; // in the current run; 0 when events get through
};

} // namespace zs::zebrix
