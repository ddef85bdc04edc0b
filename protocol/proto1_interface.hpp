#pragma once
// The client objects a protocol-1 session hands the connection to once the
// client type is known (song client, Zebrix and Orvanta remote control), and
// what the owning session offers them.
#include "protocol/zeb_message.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace zs::protocol {

// The owning protocol-1 session as the client objects see it.
class proto1_session {
public:
    virtual ~proto1_session() = default;
    // Queues one response frame; callable from any thread. Frames never
    // interleave; a response after the session closed is dropped.
    virtual send_outcome send_response(std::shared_ptr<ZebResponse> response) = 0;
    // Issues the read of the next request (the request loop); I/O thread only.
    virtual void read_request() = 0;
    // Closes after the 500 ms pause (a timer); I/O thread only.
    virtual void close_session() = 0;
    // Runs close_session later on the session's I/O thread; callable from any thread.
    virtual void post_close_session() = 0;
    // Writes one word; on_written runs on the I/O thread once it is sent.
    // A failed write closes the session itself and on_written is not called.
    virtual void async_write_word(std::int32_t value, std::function<void()> on_written) = 0;
    // Runs work later on the session's I/O thread, or drops it when the
    // session has closed meanwhile; callable from any thread.
    virtual void post_work(std::function<void()> work) = 0;
    // The current request is answered: true reads the next one, false
    // closes. I/O thread only.
    virtual void request_done(bool keep) = 0;
};

class proto1_interface {
public:
    explicit proto1_interface(proto1_session& session) : session_(session) {}
    virtual ~proto1_interface() = default;
    proto1_interface(const proto1_interface&) = delete;
    proto1_interface& operator=(const proto1_interface&) = delete;

    // Called once, on the I/O thread, right after the object is chosen; owns
    // the client's own opening records and then calls session().read_request().
    virtual void start() = 0;
    // Takes one request on the I/O thread and returns at once; the next
    // request is read only after session().request_done() for this one.
    virtual void handle_request(std::shared_ptr<ZebRequest> request) = 0;

protected:
    proto1_session& session() { return session_; }

private:
    proto1_session& session_;
};

inline constexpr std::int32_t CLIENT_SONG = 0;
inline constexpr std::int32_t CLIENT_ZEBRIX_RC = 1;
inline constexpr std::int32_t CLIENT_ORVANTA_RC = 2;

// Makes the client object of one type for a session.
using client_factory = std::function<std::unique_ptr<proto1_interface>(proto1_session&)>;

// The factory of each client type other than 0, registered by the server
// entry; a type without one is refused as unknown.
using proto1_clients = std::map<std::int32_t, client_factory>;

} // namespace zs::protocol
