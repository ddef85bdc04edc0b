#include "core/headless_shell.hpp"

#include "platform/trace.hpp"
#include "platform/user_message.hpp"

#include <boost/asio/post.hpp>
#include <csignal>
#include <cstdio>

namespace zs::core {

headless_shell::headless_shell()
    : work_(boost::asio::make_work_guard(io_)), signals_(io_, SIGINT, SIGTERM) {
#ifdef SIGUSR1
    signals_.add(SIGUSR1); // Windows has no such signal; its window closes the server there
#endif
}

void headless_shell::create(command_hook hook) {
    hook_ = std::move(hook);
    signals_.async_wait(
        [this](const boost::system::error_code& ec, int n) { handle_signal(ec, n); });
}

void headless_shell::handle_signal(const boost::system::error_code& ec,
                                   [[maybe_unused]] int signal_number) {
    if (ec) {
        return;
    }
#ifdef SIGUSR1
    if (signal_number == SIGUSR1) {
        const int running = hook_ ? hook_(hook_code::toggle) : 0;
        std::fprintf(stderr, "Zebrix Server: service %s\n", running == 1 ? "started" : "stopped");
        refresh_running_state();
        signals_.async_wait(
            [this](const boost::system::error_code& e, int n) { handle_signal(e, n); });
        return;
    }
#endif
    close();
}

void headless_shell::set_ip_text(const std::string& text) {
    ip_text_ = text;
    platform::trace("server address %s", text.c_str());
}

void headless_shell::refresh_running_state() {
    if (hook_) {
        platform::trace("running %d", hook_(hook_code::query));
    }
}

void headless_shell::show_message(const std::u16string& text, message_icon icon) {
    const auto kind = icon == message_icon::error     ? platform::message_kind::error
                      : icon == message_icon::warning ? platform::message_kind::warning
                                                      : platform::message_kind::information;
    platform::tell_user(text, kind);
}

void headless_shell::close() {
    boost::system::error_code ignored;
    signals_.cancel(ignored);
    work_.reset();
    io_.stop();
}

int headless_shell::run() {
    io_.run();
    return 0;
}

void headless_shell::post(std::function<void()> work) {
    boost::asio::post(io_, std::move(work));
}

} // namespace zs::core
