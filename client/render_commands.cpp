// render: hand a job to the server's render queue, ask for its state, wait
// for it, fetch its result or an archive of its folder, or all of it in one
// go (run). A fetch removes the job on the server, so the output is checked
// before it and a result that cannot be written is kept in a rescue file.
#include "client/commands.hpp"
#include "client/interrupt_watch.hpp"
#include "client/progress_line.hpp"
#include "client/render_job.hpp"
#include "platform/output_file.hpp"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace zs::client {
namespace {

constexpr auto run_limit = std::chrono::seconds(400); // above the server's 300 s job limit

const char* const render_help =
    "Usage: zebrix-client [--host H] [--port N] [--password P] [--timeout MS] [--json]\n"
    "           render VERB ...\n\n"
    "Verbs:\n"
    "  submit FILE          submit FILE's text as a render job and print its id\n"
    "  status ID            print \"job ID: waiting, position P\", \"rendering\" or \"done\"\n"
    "  wait ID              poll every 500 ms, showing the state on standard error,\n"
    "                       until the job is done; gives up after 400 s\n"
    "  fetch ID -o OUT      write the job's result file to OUT\n"
    "  archive ID -o OUT    write a ZIP archive of the job's folder to OUT\n"
    "  run FILE -o OUT      submit, wait as above, then fetch the result to OUT\n\n"
    "Options (anywhere after the verb):\n"
    "  -o, --output OUT     where the result goes; '-' is standard output (the\n"
    "                       summary line then goes to standard error)\n"
    "  -h, --help           show this help\n\n"
    "A fetch removes the job on the server, so fetch, archive and run first check\n"
    "that OUT can be written, and fetch and archive first ask for the job's state:\n"
    "an unknown job (never submitted, already fetched, or dropped 60 s after it was\n"
    "done) and one still waiting or rendering are reported without fetching; a job\n"
    "whose rendering failed is reported with the renderer's text. A result that\n"
    "cannot be written after all is saved in the temporary folder instead, and the\n"
    "message names that file. Ctrl-C during run or wait leaves the job on the\n"
    "server and prints its id and the command that fetches it later.\n\n"
    "The progress line is redrawn in place on a terminal; otherwise each change of\n"
    "state is one line, \"job ID: STATE (S s)\" with the time since the start.\n"
    "Every request goes on a connection of its own (protocol 0, --password in clear\n"
    "text, in lower case); --timeout bounds each wait. Status 1 of the render\n"
    "protocol, \"being rendered or first in line\", is shown as \"rendering\". With\n"
    "--json each verb prints one JSON object, errors {\"error\",\"status\"}.\n\n"
    "Exit status: 0 success; 1 an error answer, a file that could not be read or\n"
    "written, a job that is not done or did not finish; 2 bad arguments; 130\n"
    "interrupted (Ctrl-C).\n";

struct render_args {
    std::string verb;
    std::vector<std::string> operands;
    bool has_out = false;
    std::string out;
};

bool parse_render_args(const std::vector<std::string>& args, render_args& r, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (render_output_option(arg)) {
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return false;
            }
            r.has_out = true;
            r.out = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (r.verb.empty()) {
            r.verb = arg;
        } else {
            r.operands.push_back(arg);
        }
    }
    return true;
}

int print_state(const common_options& o, std::int32_t id, const job_reply& r) {
    if (o.json) {
        std::printf("{\"id\":%d,\"status\":%d,\"position\":%d,\"state\":%s}\n", id, r.status,
                    r.status == job_waiting ? r.extra + 1 : 0, json_quote(state_text(r)).c_str());
    } else {
        std::printf("job %d: %s\n", id, state_text(r).c_str());
    }
    return 0;
}

// A status request whose failure is reported in words: an error answer means
// the server does not know the job.
bool ask_status(const common_options& o, std::int32_t id, job_reply& r, int& status) {
    std::string error;
    if (exchange(o, job_status, id, "", r, error)) {
        return true;
    }
    status = report_error(o,
                          r.status == job_error ? "job " + std::to_string(id) + ": " + error +
                                                      ": the server does not know this job "
                                                      "(never submitted, already fetched, or "
                                                      "dropped 60 s after it was done)"
                                                : error,
                          1);
    return false;
}

std::string shell_word(const std::string& text) {
    if (!text.empty() &&
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_-./=:+,@%") == std::string::npos) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string fetch_later(const common_options& o, std::int32_t id, const std::string& out) {
    return "zebrix-client --host " + shell_word(o.host) + " --port " + std::to_string(o.port) +
           " render fetch " + std::to_string(id) + " -o " + shell_word(out.empty() ? "OUT" : out);
}

int report_interrupt(const common_options& o, std::int32_t id, const std::string& out) {
    const std::string later = fetch_later(o, id, out);
    std::fprintf(stderr,
                 "zebrix-client: interrupted; job %d stays on the server. Fetch it later with\n"
                 "  %s\n"
                 "(a done job is dropped when nobody asks about it for 60 s; 'render wait %d'\n"
                 "waits for it)\n",
                 id, later.c_str(), id);
    if (o.json) {
        std::printf("{\"error\":\"interrupted\",\"status\":%d,\"id\":%d,\"fetch\":%s}\n",
                    interrupted_status, id, json_quote(later).c_str());
    }
    return interrupted_status;
}

// Polls until the job is done; 0, or the exit status of what stopped it.
int wait_done(const common_options& o, std::int32_t id, const std::string& out,
              interrupt_watch& watch) {
    progress_line progress(id);
    const auto end = std::chrono::steady_clock::now() + run_limit;
    for (;;) {
        job_reply r;
        int status = 1;
        if (!ask_status(o, id, r, status)) {
            progress.end();
            return status;
        }
        progress.show(state_text(r));
        if (r.status == job_done) {
            return 0;
        }
        if (std::chrono::steady_clock::now() >= end) {
            progress.end();
            return report_error(o, "job " + std::to_string(id) + " did not finish in time", 1);
        }
        if (watch.wait_for(poll_interval)) {
            progress.end();
            return report_interrupt(o, id, out);
        }
    }
}

int cannot_write(const common_options& o, const std::string& out, const std::string& reason) {
    return report_error(o, "cannot write " + out + ": " + reason, 1);
}

// Fetches a done job and writes it; a write that fails keeps the bytes in a
// rescue file, since the server has dropped the job by then.
int fetch_into(const common_options& o, std::int32_t type, std::int32_t id,
               const std::string& out) {
    // Once the server has sent the result it has dropped the job: Ctrl-C
    // waits until the bytes are written.
    interrupt_watch hold_interrupts;
    job_reply r;
    std::string error;
    if (!exchange(o, type, id, "", r, error)) {
        return report_error(
            o, r.status == job_error ? "job " + std::to_string(id) + " failed: " + error : error,
            1);
    }
    std::string reason;
    if (!platform::write_output(out, r.body, platform::overwrite::allowed, reason)) {
        std::string rescue_reason;
        const auto rescue =
            platform::write_rescue_file("zebrix-job-" + std::to_string(id), r.body, rescue_reason);
        return report_error(o,
                            "cannot write " + out + ": " + reason +
                                (rescue ? "; the result is saved as " + *rescue
                                        : "; the result is lost: " + rescue_reason),
                            1);
    }
    FILE* summary = out == "-" ? stderr : stdout;
    if (o.json) {
        std::fprintf(summary, "{\"id\":%d,\"bytes\":%zu,\"extra\":%d,\"file\":%s}\n", id,
                     r.body.size(), r.extra, json_quote(out).c_str());
    } else {
        std::fprintf(summary, "job %d: %zu bytes written to %s (extra %d)\n", id, r.body.size(),
                     out == "-" ? "standard output" : out.c_str(), r.extra);
    }
    return 0;
}

// fetch and archive: the output first, then the job's state, then the fetch.
int fetch_verb(const common_options& o, std::int32_t type, std::int32_t id,
               const std::string& out) {
    std::string reason;
    if (!platform::check_writable(out, platform::overwrite::allowed, reason)) {
        return cannot_write(o, out, reason);
    }
    job_reply state;
    int status = 1;
    if (!ask_status(o, id, state, status)) {
        return status;
    }
    if (state.status != job_done) {
        return report_error(o,
                            "job " + std::to_string(id) + " is not done yet (" + state_text(state) +
                                "); 'render wait " + std::to_string(id) + "' waits for it",
                            1);
    }
    return fetch_into(o, type, id, out);
}

bool submit_file(const common_options& o, const std::string& file, std::int32_t& id, int& status) {
    std::string text;
    std::string reason;
    if (!platform::read_input(file, text, reason)) {
        status = report_error(o, "cannot read " + file + ": " + reason, 1);
        return false;
    }
    job_reply r;
    std::string error;
    if (!exchange(o, job_submit, 0, text, r, error)) {
        status = report_error(o, error, 1);
        return false;
    }
    id = r.id;
    return true;
}

int run_job(const common_options& o, const std::string& file, const std::string& out) {
    std::string reason;
    if (!platform::check_writable(out, platform::overwrite::allowed, reason)) {
        return cannot_write(o, out, reason);
    }
    interrupt_watch watch;
    std::int32_t id = 0;
    int status = 1;
    if (!submit_file(o, file, id, status)) {
        return status;
    }
    if (const int waited = wait_done(o, id, out, watch); waited != 0) {
        return waited;
    }
    // The folder may have gone while the job rendered; the job then stays.
    if (!platform::check_writable(out, platform::overwrite::allowed, reason)) {
        return report_error(o,
                            "cannot write " + out + ": " + reason + "; job " + std::to_string(id) +
                                " stays on the server: " + fetch_later(o, id, out),
                            1);
    }
    return fetch_into(o, job_fetch_result, id, out);
}

int run_render(const common_options& o, const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (is_help(arg)) {
            std::fputs(render_help, stdout);
            return 0;
        }
    }
    render_args r;
    std::string error;
    if (!parse_render_args(args, r, error)) {
        return usage_error(o, "render", error);
    }
    const std::size_t n = r.operands.size();
    std::int32_t id = 0;
    const bool one_id = n == 1 && parse_job_id(r.operands[0], id);
    int status = 1;
    if (r.verb == "submit" && n == 1 && !r.has_out) {
        if (!submit_file(o, r.operands[0], id, status)) {
            return status;
        }
        if (o.json) {
            std::printf("{\"id\":%d}\n", id);
        } else {
            std::printf("%d\n", id);
        }
        return 0;
    }
    if ((r.verb == "status" || r.verb == "wait") && one_id && !r.has_out) {
        job_reply state;
        if (r.verb == "wait") {
            interrupt_watch watch;
            if (const int waited = wait_done(o, id, "", watch); waited != 0) {
                return waited;
            }
        }
        return ask_status(o, id, state, status) ? print_state(o, id, state) : status;
    }
    if ((r.verb == "fetch" || r.verb == "archive") && one_id && r.has_out) {
        return fetch_verb(o, r.verb == "fetch" ? job_fetch_result : job_fetch_archive, id, r.out);
    }
    if (r.verb == "run" && n == 1 && r.has_out) {
        return run_job(o, r.operands[0], r.out);
    }
    return usage_error(o, "render",
                       r.verb.empty() ? "missing the verb" : "bad arguments for '" + r.verb + "'");
}

const command_registration reg{
    "render", run_render,
    "render VERB ...          render jobs: submit, status, wait, fetch, archive, run", render_help};

} // namespace
} // namespace zs::client
