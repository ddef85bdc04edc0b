// One protocol-0 connection: the 112-byte request header and its body as a
// client may send them, through the real session code and a real render
// queue in a scratch folder. The server must answer with the password word
// and, for a known request type, one well-formed 116-byte header whose body
// length matches what follows, then close; a submitted job must be queued.
#include "fuzz/fuzz_check.hpp"
#include "fuzz/fuzz_dir.hpp"
#include "fuzz/socket_pump.hpp"
#include "net/wire.hpp"
#include "platform/clock.hpp"
#include "protocol/proto0_client.hpp"
#include "zebrix/render_queue.hpp"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

using namespace zs;

namespace {

struct rig {
    platform::system_clock_source clock;
    zebrix::render_queue queue{fuzz::scratch_dir("proto0"), [] { return false; }, clock};
    protocol::proto0_settings settings;
    net::session_factories factories;
    rig() {
        settings.queue = &queue;
        settings.password = [] { return std::string("kxvwq"); };
        settings.close_pause = std::chrono::milliseconds(0);
        factories.protocol0 = protocol::make_proto0_factory(settings);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rig r;
    std::string request(4, '\0'); // protocol 0
    request.append(reinterpret_cast<const char*>(data), size);
    const std::string out = fuzz::run_exchange(r.factories, request);
    if (size < protocol::job_request_size) {
        ZS_FUZZ_CHECK(out.empty()); // nothing is answered before the whole header
        return 0;
    }
    const auto header = *protocol::JOB_REQUEST_HEADER::from_bytes(std::span(data, size));
    const std::int32_t type = header.type;
    const std::int32_t length = header.body_length;
    const std::size_t body_available = size - protocol::job_request_size;
    const auto* answer = reinterpret_cast<const std::uint8_t*>(out.data());
    ZS_FUZZ_CHECK(out.size() >= 4 && net::read_word(answer) == 1); // any password passes
    const bool known = type == protocol::JOB_SUBMIT || type == protocol::JOB_FETCH_RESULT ||
                       type == protocol::JOB_STATUS || type == protocol::JOB_FETCH_ARCHIVE;
    const bool body_arrives = length <= 0 || length > protocol::max_job_body ||
                              static_cast<std::size_t>(length) <= body_available;
    if (!body_arrives || (!known && length >= 0 && length <= protocol::max_job_body)) {
        ZS_FUZZ_CHECK(out.size() == 4); // the body never came, or nothing to answer
        return 0;
    }
    ZS_FUZZ_CHECK(out.size() >= 4 + protocol::job_response_size);
    const auto reply = *protocol::JOB_RESPONSE_HEADER::from_bytes(
        std::span(answer + 4, protocol::job_response_size));
    const std::int32_t status = reply.status;
    const std::int32_t id = reply.id;
    const std::int32_t reply_length = reply.body_length;
    ZS_FUZZ_CHECK(net::read_word(answer + 4) == 0);
    ZS_FUZZ_CHECK(status >= -1 && status <= 2);
    ZS_FUZZ_CHECK(reply_length >= 0);
    ZS_FUZZ_CHECK(out.size() ==
                  4 + protocol::job_response_size + static_cast<std::size_t>(reply_length));
    for (std::size_t i = 24; i < 4 + protocol::job_response_size; ++i) {
        ZS_FUZZ_CHECK(out[i] == '\0');
    }
    if (status == -1) {
        ZS_FUZZ_CHECK(id == -1 && reply.extra == 0 && reply_length > 0);
        return 0;
    }
    if (type == protocol::JOB_SUBMIT) {
        ZS_FUZZ_CHECK(status == 1 && id >= 0 && reply_length == 0);
        ZS_FUZZ_CHECK(r.queue.job_state(id) == protocol::job_status::waiting);
        r.queue.remove_job(id); // keeps the queue small across runs
    }
    return 0;
}
