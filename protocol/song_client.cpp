#include "protocol/song_client.hpp"

#include "protocol/proto1_client.hpp"

namespace zs::protocol {

SongClient::SongClient(proto1_client& owner) : proto1_interface(owner), owner_(owner) {}

void SongClient::start() {
    // A pending read notices the peer's close, so the connection is freed then.
    session().async_write_word(0, [this] { owner_.wait_for_peer_close(); });
}

} // namespace zs::protocol
