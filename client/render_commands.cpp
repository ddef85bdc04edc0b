// render: hand a job to the server's render queue, ask for its state, fetch
// its result or an archive of its folder, or all of it in one go (run).
#include "client/commands.hpp"
#include "platform/files.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace zs::client {
namespace {

constexpr std::int32_t job_submit = 0;
constexpr std::int32_t job_fetch_result = 1;
constexpr std::int32_t job_status = 2;
constexpr std::int32_t job_fetch_archive = 4;
constexpr auto poll_interval = std::chrono::milliseconds(500);
constexpr auto run_limit = std::chrono::seconds(400); // above the server's 300 s job limit

const char* const render_help =
    "Usage: zebrix-client [--host H] [--port N] [--password P] [--timeout MS] [--json]\n"
    "           render VERB ...\n\n"
    "Verbs:\n"
    "  submit FILE          submit FILE's text as a render job and print its id\n"
    "  status ID            print \"job ID: waiting, position P\", \"rendering\" or \"done\"\n"
    "  fetch ID -o OUT      write the job's result file to OUT\n"
    "  archive ID -o OUT    write a ZIP archive of the job's folder to OUT\n"
    "  run FILE -o OUT      submit, poll every 500 ms showing the state on standard\n"
    "                       error, then fetch the result to OUT; gives up after 400 s\n\n"
    "Every request goes on a connection of its own (protocol 0, --password in clear\n"
    "text); --timeout bounds each wait. Status 1 of the render protocol, \"being\n"
    "rendered or first in line\", is shown as \"rendering\". With --json each verb\n"
    "prints one JSON object.\n\n"
    "Exit status: 0 success; 1 an error answer, a file that could not be read or\n"
    "written, or a job that did not finish; 2 bad arguments.\n";

struct job_reply {
    std::int32_t status = -1;
    std::int32_t id = -1;
    std::int32_t extra = 0;
    std::string body;
};

std::int32_t word_at(const std::vector<std::uint8_t>& b, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | b[offset + static_cast<std::size_t>(i)];
    }
    return static_cast<std::int32_t>(v);
}

// One request on its own connection, as the protocol wants.
bool exchange(const common_options& o, std::int32_t type, std::int32_t id, const std::string& body,
              job_reply& reply, std::string& error) {
    session s(std::chrono::milliseconds(o.timeout_ms));
    std::vector<std::uint8_t> header(112, 0);
    const std::int32_t words[3] = {type, id, static_cast<std::int32_t>(body.size())};
    for (std::size_t w = 0; w < 3; ++w) {
        for (std::size_t i = 0; i < 4; ++i) {
            header[w * 4 + i] =
                static_cast<std::uint8_t>(static_cast<std::uint32_t>(words[w]) >> (8 * i));
        }
    }
    std::memcpy(header.data() + 48, o.password.data(),
                std::min<std::size_t>(64, o.password.size()));
    if (!s.connect(o.host, o.port) || !s.write_word(0) ||
        !s.write_bytes(header.data(), header.size()) ||
        (!body.empty() && !s.write_bytes(body.data(), body.size()))) {
        error = s.error();
        return false;
    }
    const auto password_ok = s.read_word();
    if (!password_ok || *password_ok == 0) {
        error = password_ok ? "wrong password" : s.error();
        return false;
    }
    const auto response = s.read_exact(116);
    if (!response) {
        error = s.error();
        return false;
    }
    reply.status = word_at(*response, 4);
    reply.id = word_at(*response, 8);
    const std::int32_t length = word_at(*response, 12);
    reply.extra = word_at(*response, 16);
    if (length > 0) {
        const auto data = s.read_exact(static_cast<std::size_t>(length));
        if (!data) {
            error = s.error();
            return false;
        }
        reply.body.assign(data->begin(), data->end());
    }
    if (reply.status == -1) {
        error = reply.body;
        return false;
    }
    return true;
}

bool parse_id(const std::string& text, std::int32_t& id) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > INT32_MAX) {
        return false;
    }
    id = static_cast<std::int32_t>(value);
    return true;
}

// "-o OUT" after the first argument.
bool parse_out(const std::vector<std::string>& args, std::string& out) {
    if (args.size() == 4 && args[2] == "-o") {
        out = args[3];
        return true;
    }
    return false;
}

int fail(const std::string& error) {
    std::fprintf(stderr, "zebrix-client: render: %s\n", error.c_str());
    return 1;
}

std::string state_text(const job_reply& r) {
    if (r.status == 2) {
        return "waiting, position " + std::to_string(r.extra + 1);
    }
    return r.status == 1 ? "rendering" : "done";
}

int print_state(const common_options& o, std::int32_t id, const job_reply& r) {
    if (o.json) {
        std::printf("{\"id\":%d,\"status\":%d,\"position\":%d,\"state\":%s}\n", id, r.status,
                    r.status == 2 ? r.extra + 1 : 0, json_quote(state_text(r)).c_str());
    } else {
        std::printf("job %d: %s\n", id, state_text(r).c_str());
    }
    return 0;
}

int fetch_into(const common_options& o, std::int32_t type, std::int32_t id,
               const std::string& out) {
    job_reply r;
    std::string error;
    if (!exchange(o, type, id, "", r, error)) {
        return fail(error);
    }
    if (!platform::write_file(out, r.body)) {
        return fail("cannot write " + out);
    }
    if (o.json) {
        std::printf("{\"id\":%d,\"bytes\":%zu,\"extra\":%d,\"file\":%s}\n", id, r.body.size(),
                    r.extra, json_quote(out).c_str());
    } else {
        std::printf("job %d: %zu bytes written to %s (extra %d)\n", id, r.body.size(), out.c_str(),
                    r.extra);
    }
    return 0;
}

bool submit_file(const common_options& o, const std::string& file, std::int32_t& id) {
    std::string text;
    if (!platform::read_file(file, text)) {
        fail("cannot read " + file);
        return false;
    }
    job_reply r;
    std::string error;
    if (!exchange(o, job_submit, 0, text, r, error)) {
        fail(error);
        return false;
    }
    id = r.id;
    return true;
}

int run_job(const common_options& o, const std::string& file, const std::string& out) {
    std::int32_t id = 0;
    if (!submit_file(o, file, id)) {
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + run_limit;
    std::string last;
    for (;;) {
        job_reply r;
        std::string error;
        if (!exchange(o, job_status, id, "", r, error)) {
            std::fprintf(stderr, "\n");
            return fail(error);
        }
        const std::string line = "job " + std::to_string(id) + ": " + state_text(r);
        if (line != last) {
            std::fprintf(stderr, "\r%-40s", line.c_str());
            last = line;
        }
        if (r.status == 0) {
            std::fprintf(stderr, "\n");
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            std::fprintf(stderr, "\n");
            return fail("job " + std::to_string(id) + " did not finish in time");
        }
        std::this_thread::sleep_for(poll_interval);
    }
    return fetch_into(o, job_fetch_result, id, out);
}

int run_render(const common_options& o, const std::vector<std::string>& args) {
    if ((!args.empty() && is_help(args[0])) || (args.size() >= 2 && is_help(args[1]))) {
        std::fputs(render_help, stdout);
        return 0;
    }
    const std::string verb = args.empty() ? "" : args[0];
    std::int32_t id = 0;
    std::string out;
    if (verb == "submit" && args.size() == 2) {
        if (!submit_file(o, args[1], id)) {
            return 1;
        }
        if (o.json) {
            std::printf("{\"id\":%d}\n", id);
        } else {
            std::printf("%d\n", id);
        }
        return 0;
    }
    if (verb == "status" && args.size() == 2 && parse_id(args[1], id)) {
        job_reply r;
        std::string error;
        if (!exchange(o, job_status, id, "", r, error)) {
            return fail(error);
        }
        return print_state(o, id, r);
    }
    if ((verb == "fetch" || verb == "archive") && parse_out(args, out) && parse_id(args[1], id)) {
        return fetch_into(o, verb == "fetch" ? job_fetch_result : job_fetch_archive, id, out);
    }
    if (verb == "run" && parse_out(args, out)) {
        return run_job(o, args[1], out);
    }
    return usage_error("render",
                       verb.empty() ? "missing the verb" : "bad arguments for '" + verb + "'");
}

const command_registration reg{
    "render", run_render,
    "render VERB ...          render jobs: submit, status, fetch, archive, run", render_help};

} // namespace
} // namespace zs::client
