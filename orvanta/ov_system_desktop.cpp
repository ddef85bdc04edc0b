#include "orvanta/ov_desktop.hpp"
#include "platform/files.hpp"

namespace zs::orvanta {

namespace {

class system_desktop final : public ov_desktop {
public:
    platform::process_id find_process(const std::string& exe_name) override {
        return platform::find_process(exe_name, platform::name_match::ignore_case);
    }
    platform::start_result start_process(const std::string& path,
                                         const std::vector<std::string>& args,
                                         std::chrono::milliseconds wait) override {
        // The server's own current folder, as the program was always started.
        return platform::start_process(path, args, platform::current_folder(), wait);
    }
    bool process_runs(platform::process_id pid) override { return platform::process_runs(pid); }
    std::vector<platform::window_info> windows(platform::process_id pid) override {
        return platform::windows_of_process(pid);
    }
    std::int64_t send(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
                      std::int64_t lparam) override {
        return platform::send_message(window, message, wparam, lparam, cancel_);
    }
    bool post(platform::window_handle window, std::uint32_t message, std::int64_t wparam,
              std::int64_t lparam) override {
        return platform::post_message(window, message, wparam, lparam, cancel_);
    }
    void cancel_sends(bool on) override { cancel_.set(on); }

private:
    platform::send_cancel cancel_;
};

} // namespace

std::unique_ptr<ov_desktop> make_system_desktop() {
    return std::make_unique<system_desktop>();
}

} // namespace zs::orvanta
