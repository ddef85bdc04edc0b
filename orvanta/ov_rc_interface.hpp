#pragma once
// The reply sink of the one client that drives Orvanta: replies and events
// go through it to that client's connection.
#include "protocol/zeb_message.hpp"

#include <memory>

namespace zs::orvanta {

class ov_rc_interface {
public:
    virtual ~ov_rc_interface() = default;
    virtual void send_response(std::shared_ptr<protocol::ZebResponse> response) = 0;
};

} // namespace zs::orvanta
