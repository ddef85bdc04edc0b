#pragma once
// The shell without a display: the main thread runs an event loop; SIGINT
// and SIGTERM close it, SIGUSR1 toggles the service as the Start/Stop button
// does, and message-box texts go to standard error.
#include "core/shell_interface.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

namespace zs::core {

class headless_shell final : public shell_interface {
public:
    headless_shell();

    void create(command_hook hook) override;
    void set_ip_text(const std::string& text) override;
    void refresh_running_state() override;
    void show_message(const std::u16string& text, message_icon icon) override;
    void close() override;
    int run() override;
    void post(std::function<void()> work) override;

    boost::asio::io_context& context() { return io_; }

private:
    void handle_signal(const boost::system::error_code& ec, int signal_number);

    boost::asio::io_context io_;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
    boost::asio::signal_set signals_;
    command_hook hook_;
    std::string ip_text_;
};

} // namespace zs::core
