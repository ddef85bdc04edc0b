#include "protocol/rc_client.hpp"

#include "protocol/reply_texts.hpp"

namespace zs::protocol {

remote_client::remote_client(proto1_session& owner, remote_program& program, program_worker& worker)
    : proto1_interface(owner), program_(program), worker_(worker),
      link_(std::make_shared<link>(owner)) {}

remote_client::~remote_client() {
    link_->cut();
    if (attached_) {
        // After any command of this client still queued; the link outlives
        // this object in the work, so the program never holds a dangling sink.
        worker_.post_always(
            [&program = program_, sink = link_] { program.detach_client(sink.get()); });
    }
}

void remote_client::start() {
    session().async_write_word(1, [this] { handle_greeting_written(); });
}

void remote_client::handle_greeting_written() {
    // Never waits for the program: attaching only starts it in the background.
    attached_ = program_.attach_client(link_.get());
    session().async_write_word(attached_ ? 1 : 0, [this] { handle_verdict_written(); });
}

void remote_client::handle_verdict_written() {
    if (attached_) {
        session().read_request();
    } else {
        session().post_close_session();
    }
}

namespace {
std::shared_ptr<ZebResponse> server_error(std::int32_t id, const std::string& text) {
    auto r = std::make_shared<ZebResponse>();
    r->kind = MSG_RESPONSE;
    r->request_id = id;
    r->action = 0;
    r->status = ERR_SERVER;
    r->add_data(ITEM_ERROR, text);
    return r;
}
} // namespace

void remote_client::handle_request(std::shared_ptr<ZebRequest> request) {
    const std::int32_t id = request->header.request_id;
    // `this` is used on the I/O thread only while the session lives.
    const bool queued = worker_.post(
        [&program = program_, sink = link_, request = std::move(request), this] {
            const bool keep = program.execute_request(*request);
            if (!keep) {
                // The client has said goodbye: the next client need not wait for the close.
                program.detach_client(sink.get());
            }
            sink->post_work([this, keep] { handle_answered(keep); });
        },
        [sink = link_, id, this](const std::string& what) {
            sink->send_response(server_error(id, TEXT_COMMAND_FAILED + what));
            sink->post_work([this] { handle_answered(true); });
        });
    if (!queued) {
        // The program's queue is full (a flood of notifications): this
        // request is refused, the session goes on.
        session().send_response(server_error(id, TEXT_SERVER_BUSY));
        session().request_done(true);
    }
}

void remote_client::handle_answered(bool keep) {
    if (!keep) {
        attached_ = false;
    }
    session().request_done(keep);
}

namespace {
template <class Client>
client_factory make_factory(remote_program& program, program_worker& worker) {
    return [&program, &worker](proto1_session& owner) -> std::unique_ptr<proto1_interface> {
        return std::make_unique<Client>(owner, program, worker);
    };
}
} // namespace

client_factory make_rc_client_factory(remote_program& zebrix, program_worker& worker) {
    return make_factory<RCClient>(zebrix, worker);
}

client_factory make_ov_client_factory(remote_program& orvanta, program_worker& worker) {
    return make_factory<OvClient>(orvanta, worker);
}

} // namespace zs::protocol
