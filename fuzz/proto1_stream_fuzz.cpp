// The protocol-1 request stream after the handshake, driven through the real
// connection and session code over a socket pair. The session's client
// object echoes each request. Whatever the bytes, the server must answer
// exactly the requests that a correct reading of the stream finds, in order
// and unchanged, then close and leave no connection behind.
#include "fuzz/fuzz_check.hpp"
#include "fuzz/socket_pump.hpp"
#include "net/wire.hpp"
#include "protocol/proto1_client.hpp"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using namespace zs;
using namespace zs::protocol;

namespace {

const std::string identity = "0f8fad5b-d9cb-469f-a165-70867728950e";
const std::string name = "Fuzz";

// Answers every request with its own items; action 0 ends the session. Odd
// commands finish later through the session's I/O thread, as a program
// worker's answer does.
class echo_client final : public proto1_interface {
public:
    using proto1_interface::proto1_interface;
    void start() override {
        session().async_write_word(1, [this] { session().read_request(); });
    }
    void handle_request(std::shared_ptr<ZebRequest> request) override {
        auto r = std::make_shared<ZebResponse>();
        r->request_id = request->header.request_id;
        r->action = 1;
        r->status = request->header.action == 0 ? 0 : 1;
        r->value = request->header.command;
        for (const auto& item : request->items()) {
            if (item.type == ITEM_FILE) {
                const auto& in = static_cast<const ZebFileList&>(*item.payload);
                auto* out = r->add_file_list();
                out->names = in.names;
                for (const auto& f : in.files) {
                    out->add_file(f->name)->content = f->content;
                }
            } else {
                r->add_data(item.type, static_cast<const ZebRawData&>(*item.payload).data);
            }
        }
        session().send_response(std::move(r));
        const bool keep = request->header.action != 0;
        if (request->header.command % 2 != 0) {
            session().post_work([this, keep] { session().request_done(keep); });
        } else {
            session().request_done(keep);
        }
    }
};

struct expected_reply {
    REQUEST_HEADER header;
    std::vector<std::uint8_t> body;
};

// The requests a correct reader finds, up to the first frame that ends the session.
std::vector<expected_reply> expected_replies(const std::uint8_t* data, std::size_t size) {
    std::vector<expected_reply> out;
    std::size_t at = 0;
    while (size - at >= request_header_size) {
        const REQUEST_HEADER h = REQUEST_HEADER::from_bytes(data + at);
        at += request_header_size;
        if (h.body_length < 0 || h.body_length > max_body_length ||
            size - at < static_cast<std::size_t>(h.body_length)) {
            break;
        }
        ZebRequest r;
        if (h.body_length > 0 &&
            !r.parse_body(data + at, static_cast<std::size_t>(h.body_length))) {
            break;
        }
        at += static_cast<std::size_t>(h.body_length);
        if (h.kind != MSG_REQUEST) {
            continue;
        }
        std::vector<std::uint8_t> body(r.body_length());
        r.write_body(body.data());
        out.push_back({h, std::move(body)});
        if (h.action == 0) {
            break;
        }
    }
    return out;
}

std::string word(std::int32_t v) {
    std::string s(4, '\0');
    net::write_word(reinterpret_cast<std::uint8_t*>(s.data()), v);
    return s;
}

// Runs the server side until it has closed; returns every byte it sent.
std::string run_session(const std::string& to_send) {
    static auto settings = [] {
        auto s = std::make_shared<proto1_settings>();
        s->password = [] { return std::string("kxvwq"); };
        s->identity_text = [] { return identity; };
        s->server_name = [] { return name; };
        s->clients[CLIENT_ZEBRIX_RC] =
            [](proto1_session& owner) -> std::unique_ptr<proto1_interface> {
            return std::make_unique<echo_client>(owner);
        };
        s->close_pause = std::chrono::milliseconds(0);
        return std::shared_ptr<const proto1_settings>(s);
    }();
    static const net::session_factories factories{{}, make_proto1_factory(settings)};
    return fuzz::run_exchange(factories, to_send);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Protocol 1, any answer (the default password accepts it), client type 1.
    const std::string opening = word(1) + std::string(16, '\x5a') + word(CLIENT_ZEBRIX_RC);
    const std::string out =
        run_session(opening + std::string(reinterpret_cast<const char*>(data), size));

    std::string head = word(1);
    ZS_FUZZ_CHECK(out.compare(0, 4, head) == 0);
    std::size_t at = 4 + 16; // the challenge, any bytes
    const std::string greeting = word(1) + word(36) + identity + word(4) + name + word(1);
    ZS_FUZZ_CHECK(out.compare(at, greeting.size(), greeting) == 0);
    at += greeting.size();

    const auto expected = expected_replies(data, size);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(out.data());
    for (const auto& want : expected) {
        ZS_FUZZ_CHECK(out.size() - at >= response_header_size);
        const RESPONSE_HEADER h = RESPONSE_HEADER::from_bytes(bytes + at);
        at += response_header_size;
        ZS_FUZZ_CHECK(h.kind == MSG_RESPONSE && h.request_id == want.header.request_id);
        ZS_FUZZ_CHECK(h.action == 1 && h.status == (want.header.action == 0 ? 0 : 1));
        ZS_FUZZ_CHECK(h.value == want.header.command);
        ZS_FUZZ_CHECK(h.body_length >= 0 &&
                      out.size() - at >= static_cast<std::size_t>(h.body_length));
        const std::vector<std::uint8_t> body(bytes + at, bytes + at + h.body_length);
        ZS_FUZZ_CHECK(body == want.body);
        ZebResponse parsed;
        ZS_FUZZ_CHECK(parse_response_body(parsed, body.data(), body.size()));
        at += static_cast<std::size_t>(h.body_length);
    }
    ZS_FUZZ_CHECK(at == out.size()); // nothing but the expected frames
    return 0;
}
