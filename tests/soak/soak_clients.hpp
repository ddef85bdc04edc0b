#pragma once
// The clients of the soak run: correct ones that count what went wrong, and
// faulty ones (random bytes, resets in the middle of a frame, slow readers,
// clients that vanish) that only have to leave the server unharmed.
#include <atomic>
#include <cstdint>
#include <random>
#include <string>

namespace zs::soak {

struct target {
    std::uint16_t tcp_port = 0;
    std::uint16_t udp_port = 0;
};

struct tally {
    std::atomic<int> clients{0};
    std::atomic<int> requests{0};
    std::atomic<int> correct_clients{0};
    std::atomic<int> errors{0};         // failures seen by correct clients
    std::atomic<int> jobs_submitted{0}; // submit slots taken (at most 12 submit)
    std::atomic<int> jobs_accepted{0};
    std::atomic<int> controlled{0}; // remote-control clients that got control
};

enum class kind {
    song_client,
    remote_control,
    job_status,
    job_submit,
    discovery,
    random_bytes,
    reset_mid_frame,
    slow_reader,
    vanish,
    count
};

const char* kind_name(kind k);

// Runs one client of that kind; correct kinds add to `errors` on any
// deviation from the protocol.
void run_client(kind k, const target& t, tally& counts, std::mt19937& random);

// A protocol-1 session as a normal client after the run: handshake, song client.
bool served_song_client(const target& t, std::string& why);
// A protocol-0 status request for an unknown job: the error reply.
bool served_job_status(const target& t, std::string& why);

} // namespace zs::soak
