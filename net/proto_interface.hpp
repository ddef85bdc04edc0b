#pragma once
// The session a connection hands itself to once its protocol number is read,
// and the factories that make one per protocol.
#include <functional>
#include <memory>

namespace zs::net {

class zebsock_connection;

class proto_interface {
public:
    proto_interface() = default;
    virtual ~proto_interface() = default;
    proto_interface(const proto_interface&) = delete;
    proto_interface& operator=(const proto_interface&) = delete;

    // Begins the session's exchange; runs on the connection's I/O thread.
    virtual void start() = 0;
    // The connection was closed from outside (server stop); I/O thread. The
    // session drops its reference to the connection here.
    virtual void connection_closed() = 0;
};

using session_factory =
    std::function<std::unique_ptr<proto_interface>(std::shared_ptr<zebsock_connection>)>;

// An empty factory refuses its protocol number like an unknown one.
struct session_factories {
    session_factory protocol0; // render-job protocol
    session_factory protocol1; // remote-control protocol
};

} // namespace zs::net
