// A datagram arriving on the discovery port, with a server name taken from
// the same bytes. Only a well-formed request is answered, and the answer
// carries the layout clients read: header words, identity, zeros, name.
#include "fuzz/fuzz_check.hpp"
#include "net/discovery_responder.hpp"
#include "net/wire.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

using namespace zs;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // First byte: name length; the name is read from the end of the input.
    const std::size_t name_length = std::min<std::size_t>(data[0], size - 1);
    const std::string name(reinterpret_cast<const char*>(data + size - name_length), name_length);
    const std::uint8_t* request = data + 1;
    const std::size_t request_size = size - 1;
    std::array<std::uint8_t, 16> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i) {
        identity[i] = static_cast<std::uint8_t>(i * 17 + 3);
    }
    const auto reply = net::build_discovery_reply(request, request_size, identity, name);

    const bool is_request = request_size >= 116 && net::read_word(request) == 0 &&
                            net::read_word(request + 4) == 3 && net::read_word(request + 8) == 0 &&
                            net::read_word(request + 12) == 0 && net::read_word(request + 16) == 10;
    ZS_FUZZ_CHECK(reply.empty() == !is_request);
    if (!is_request) {
        return 0;
    }
    const std::string sent = name.substr(0, name.find('\0')); // the name as a C text
    ZS_FUZZ_CHECK(reply.size() == std::min<std::size_t>(116 + sent.size(), 65535));
    ZS_FUZZ_CHECK(net::read_word(reply.data()) == 0 && net::read_word(reply.data() + 4) == 3);
    ZS_FUZZ_CHECK(net::read_word(reply.data() + 8) == 0);
    ZS_FUZZ_CHECK(net::read_word(reply.data() + 12) == static_cast<std::int32_t>(sent.size()));
    ZS_FUZZ_CHECK(net::read_word(reply.data() + 16) == 22 &&
                  net::read_word(reply.data() + 20) == 3);
    ZS_FUZZ_CHECK(std::equal(identity.begin(), identity.end(), reply.begin() + 24));
    ZS_FUZZ_CHECK(
        std::all_of(reply.begin() + 40, reply.begin() + 116, [](auto b) { return b == 0; }));
    ZS_FUZZ_CHECK(std::memcmp(reply.data() + 116, sent.data(), sent.size()) == 0);
    return 0;
}
