#pragma once
// Client type 0: answers the word 0 and then only waits for the peer to leave.
#include "protocol/proto1_interface.hpp"

namespace zs::protocol {

class proto1_client;

class SongClient final : public proto1_interface {
public:
    explicit SongClient(proto1_client& owner);
    void start() override;
    // Never reads requests; one that came would end the session.
    void handle_request(std::shared_ptr<ZebRequest>) override { session().request_done(false); }

private:
    proto1_client& owner_;
};

} // namespace zs::protocol
