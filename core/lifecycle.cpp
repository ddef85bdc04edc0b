#include "core/lifecycle.hpp"

#include "core/server_log.hpp"
#include "core/strings.hpp"
#include "platform/codepage.hpp"

namespace zs::core {

server_lifecycle::server_lifecycle(lifecycle_pieces pieces, shell_interface& shell)
    : pieces_(std::move(pieces)), shell_(shell) {}

int server_lifecycle::run(const std::function<bool()>& acquire_instance) {
    // The instance check comes first, so a refused second copy never touches
    // the running server's job folders or registers a window of its own.
    if (!acquire_instance()) {
        shell_.show_message(get_string(core::string_id::already_running), message_icon::warning);
        return 0;
    }
    if (pieces_.end_stale_renderer) {
        pieces_.end_stale_renderer();
    }
    if (pieces_.render_queue != nullptr) {
        pieces_.render_queue->start();
    }
    running_ = false;
    shell_.create([this](hook_code code) { return server_command_hook(code); });
    report_startup_check();
    if (!start_service()) {
        report_failed_start();
    }
    ip_text_ = pieces_.server_address();
    shell_.set_ip_text(ip_text_);
    shell_.refresh_running_state();
    if (pieces_.first_start && pieces_.first_start()) {
        shell_.show_window();
    }

    const int exit_code = shell_.run();

    if (running_) {
        stop_service();
    }
    if (pieces_.render_queue != nullptr) {
        pieces_.render_queue->stop();
    }
    return exit_code;
}

bool server_lifecycle::start_service() {
    for (auto* program : pieces_.programs) {
        program->start();
    }
    // A start that fails part-way stops what did start, in reverse.
    service_piece* order[] = {pieces_.render_worker, pieces_.tcp, pieces_.discovery};
    std::size_t started = 0;
    for (; started < std::size(order); ++started) {
        if (order[started] != nullptr && !order[started]->start()) {
            break;
        }
    }
    if (started == std::size(order)) {
        running_ = true;
        const std::string details = pieces_.start_details();
        server_log::line("Service started on " + pieces_.ports_text() +
                         (details.empty() ? "" : ": " + details));
        return true;
    }
    failure_ = order[started] != nullptr ? order[started]->failure() : std::string();
    server_log::line(get_string_utf8(core::string_id::unable_to_start) + " on " +
                     pieces_.ports_text() + (failure_.empty() ? "" : ": " + failure_));
    while (started-- > 0) {
        if (order[started] != nullptr) {
            order[started]->stop();
        }
    }
    for (auto* program : pieces_.programs) {
        program->stop();
    }
    running_ = false;
    return false;
}

void server_lifecycle::report_failed_start() {
    std::u16string text = get_string(core::string_id::unable_to_start);
    if (!failure_.empty()) {
        text += u"\n";
        text += platform::utf8_to_utf16(failure_);
    }
    shell_.show_message(text, message_icon::error);
}

void server_lifecycle::report_startup_check() {
    if (pieces_.startup_report.empty()) {
        return;
    }
    std::string text;
    for (const auto& line : pieces_.startup_report) {
        server_log::line("Start-up check: " + line);
        text += (text.empty() ? "" : "\n") + line;
    }
    shell_.set_problem_text(pieces_.startup_status);
    // Once the loop runs: a message box must not hold up the service's start.
    shell_.post([this, message = platform::utf8_to_utf16(text)] {
        shell_.show_message(message, message_icon::warning);
    });
}

void server_lifecycle::stop_service() {
    for (auto* program : pieces_.programs) {
        program->stop();
    }
    if (pieces_.tcp != nullptr) {
        pieces_.tcp->stop();
    }
    if (pieces_.discovery != nullptr) {
        pieces_.discovery->stop();
    }
    if (pieces_.render_worker != nullptr) {
        pieces_.render_worker->stop();
    }
    running_ = false;
    server_log::line("Service stopped on " + pieces_.ports_text());
}

int server_lifecycle::server_command_hook(hook_code code) {
    switch (code) {
    case hook_code::toggle:
        if (running_) {
            stop_service();
        } else if (!start_service()) {
            report_failed_start();
        }
        return running_ ? 1 : 0;
    case hook_code::job_done:
        if (pieces_.finish_current_job) {
            pieces_.finish_current_job();
        }
        return -1;
    case hook_code::query:
        return running_ ? 1 : 0;
    case hook_code::refresh_address:
        ip_text_ = pieces_.server_address();
        shell_.set_ip_text(ip_text_);
        return -1;
    }
    return -1;
}

} // namespace zs::core
