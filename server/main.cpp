// The server's entry: the folder layout, the configuration, the string
// table, then the start-up order with every subsystem plugged in.
#include "core/config_store.hpp"
#include "core/headless_shell.hpp"
#include "core/lifecycle.hpp"
#include "core/path_layout.hpp"
#include "core/server_address.hpp"
#include "core/server_log.hpp"
#include "core/startup_check.hpp"
#include "core/strings.hpp"
#include "core/version.hpp"
#include "orvanta/orvanta_controller.hpp"
#include "orvanta/ov_driver.hpp"
#include "platform/clock.hpp"
#include "platform/codepage.hpp"
#include "platform/env.hpp"
#include "platform/exe_path.hpp"
#include "platform/fd_limit.hpp"
#include "platform/files.hpp"
#include "platform/instance_lock.hpp"
#include "platform/memory.hpp"
#include "protocol/network_service.hpp"
#include "protocol/program_worker.hpp"
#include "protocol/proto0_client.hpp"
#include "protocol/rc_client.hpp"
#include "server/main_window.hpp"
#include "zebrix/command_set.hpp"
#include "zebrix/render_control.hpp"
#include "zebrix/render_queue.hpp"
#include "zebrix/render_worker.hpp"
#include "zebrix/zebrix_controller.hpp"
#include "zebrix/zebw_driver.hpp"
#if ZS_QT_SHELL
#include "shell/qt_shell.hpp"
#endif
#if ZS_WIN32_SHELL
#include "shell/win32/win32_shell.hpp"
#endif

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

void print_help() {
    std::printf("Usage: ZebrixServer [--headless] [--version] [--help]\n"
                "\n"
                "Lets remote client applications use Zebrix and Orvanta on this machine:\n"
                "remote control and render jobs on TCP port 6789, discovery on UDP port 6790.\n"
                "Runs with a window and a tray icon when a display is available, else headless.\n"
                "\n"
                "  --headless  run without the window; SIGINT or SIGTERM stop the server,\n"
                "              SIGUSR1 starts or stops the network service\n"
                "  --version   print the version and exit\n"
                "  --help      print this text and exit\n"
                "\n"
                "Environment: ZEBRIX_DESKTOP, ZEBRIX_TCP_PORT, ZEBRIX_UDP_PORT, ZEBRIX_TRACE,\n"
                "ZEBRIX_CODEPAGE, ZEBRIX_SEND_TIMEOUT_MS.\n");
}

} // namespace

int main(int argc, char** argv) {
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", zs::core::version_line);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            print_help();
            return 0;
        }
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else {
            std::fprintf(stderr, "ZebrixServer: unknown option %s\n", argv[i]);
            print_help();
            return 2;
        }
    }

    using namespace zs;
    platform::return_large_blocks_when_freed();
    core::path_layout layout =
        core::path_layout::from_executable(platform::executable_path(), platform::current_folder());
    // Where the server cannot write is found out before the first log line,
    // which goes to the user's own folder when the helper folder is shut.
    core::startup_check check;
    check.check_program(layout.zebw_path(), layout.zebrix_dir());
    const std::string log_folder =
        core::choose_log_folder(check, layout.helper_dir(), platform::user_state_dir());
    if (!log_folder.empty()) {
        core::server_log::open(log_folder);
        if (log_folder != layout.helper_dir()) {
            check.note_log_file(log_folder + core::server_log::file_name);
        }
    }
    const bool config_existed = platform::file_exists(layout.helper_dir() + "config.txt");
    core::config_store config;
    if (!config.load(layout.helper_dir())) {
        // Defaults would switch password checking off: never run on them.
        core::server_log::line(config.load_error() + "; the server stops");
        return 1;
    }
    // The setting is in the machine's code page; paths here are UTF-8.
    layout.set_orvanta_folder_source(
        [&config] { return platform::ansi_to_utf8(config.orvanta_folder()); });
    core::install_string_table(layout.helper_dir());
    check.check_folder(layout.outputs_dir());
    if (platform::file_exists(layout.zebw_path())) {
        check.check_file(layout.zebrix_input_path());
    }
    check.note_config(config.save_failure(), config_existed);

    // The window and tray icon when a display is there; Qt starts only then.
    std::unique_ptr<core::shell_interface> shell;
#if ZS_QT_SHELL
    std::string display_problem;
    if (!headless && shell::display_available(&display_problem)) {
        shell = std::make_unique<shell::qt_shell>(config, argc, argv);
    } else if (!display_problem.empty()) {
        std::fprintf(stderr, "ZebrixServer: %s; running headless\n", display_problem.c_str());
    }
#endif
    // Windows: the shell's skinned window is the programs' notification
    // target; its procedure hands their messages to `window` below.
    std::function<std::int64_t(const platform::window_message&)> notify;
#if ZS_WIN32_SHELL
    shell::win32::win32_shell* win32_shell = nullptr;
    if (!headless) {
        auto windowed = std::make_unique<shell::win32::win32_shell>(
            config, [&notify](const platform::window_message& m) { return notify(m); });
        win32_shell = windowed.get();
        shell = std::move(windowed);
    }
#endif
    (void)headless; // without a windowed shell every run is headless
    if (!shell) {
        shell = std::make_unique<core::headless_shell>();
    }
    // A settings file left as it is keeps a default in use; say so once the
    // shell runs (a save that failed is told by the start-up check).
    if (std::string failure = config.load_notice(); !failure.empty()) {
        core::shell_interface& s = *shell;
        s.post([&s, text = std::move(failure)] {
            s.show_message(platform::utf8_to_utf16(text), core::message_icon::warning);
        });
    }

    // The programs' notification target. Drivers take main_window_handle and
    // add their hooks to window.events() before the instance check creates it.
    server::main_window window(*shell, {});
    notify = [&window](const platform::window_message& m) { return window.handle_message(m); };
#if ZS_WIN32_SHELL
    // The shell's window when there is one, else the plain desktop window.
    const std::function<platform::window_handle()> main_window_handle = [&window, win32_shell] {
        return win32_shell != nullptr ? win32_shell->handle() : window.handle();
    };
    const bool plain_window = win32_shell == nullptr;
#else
    const std::function<platform::window_handle()> main_window_handle = [&window] {
        return window.handle();
    };
    const bool plain_window = true;
#endif
    // WM_CLOSE (taskkill without /F, a session's end) closes as the shell's own close does.
    window.events().close_requested = [&shell] { shell->close(); };

    protocol::proto1_clients clients; // client types 1 and 2, filled below
    std::vector<core::service_piece*> program_workers;
    // Zebrix remote control: one driver, one controller, kept until exit.
    zebrix::ZEBW zebw(layout.zebrix_dir(), zebrix::make_desktop_system());
    zebw.set_notify_window(main_window_handle);
    const std::string exe_path = platform::executable_path();
    zebrix::command_set zebw_commands(
        zebw, layout.helper_dir(), exe_path.substr(exe_path.rfind(platform::path_separator) + 1));
    zebrix::zebrix_controller zebrix_control(zebw, zebw_commands);
    // Commands run here, off the I/O threads; declared after what it uses.
    protocol::program_worker zebrix_worker(
        [&zebw](bool stop) { stop ? zebw.stop() : zebw.resume(); });
    program_workers.push_back(&zebrix_worker);
    // After the running command, as its replies come first; never blocks the window.
    window.events().zebrix_event = [&zebrix_control, &zebrix_worker](std::int64_t wparam,
                                                                     std::int64_t lparam) {
        zebrix_control.notify(zebrix_worker, wparam, lparam);
    };
    clients[protocol::CLIENT_ZEBRIX_RC] =
        protocol::make_rc_client_factory(zebrix_control, zebrix_worker);
    // Orvanta remote control: its own driver and binding, beside Zebrix's.
    const auto ov_desktop = orvanta::make_system_desktop();
    orvanta::OV ov(
        *ov_desktop, [&layout] { return layout.orvanta_dir(); }, main_window_handle);
    orvanta::orvanta_controller orvanta_control(ov, layout);
    protocol::program_worker orvanta_worker([&ov](bool stop) { stop ? ov.stop() : ov.resume(); });
    program_workers.push_back(&orvanta_worker);
    window.events().orvanta_event = [&orvanta_control](int code, std::int64_t wparam,
                                                       std::int64_t lparam) {
        orvanta_control.forward_event(code, wparam, lparam);
    };
    clients[protocol::CLIENT_ORVANTA_RC] =
        protocol::make_ov_client_factory(orvanta_control, orvanta_worker);

    core::lifecycle_pieces pieces;
    pieces.server_address = [] { return core::server_ip_text(); };
    pieces.programs = program_workers;
    pieces.ports_text = [] {
        return "TCP port " + std::to_string(platform::tcp_port()) + ", UDP port " +
               std::to_string(platform::udp_port());
    };
    pieces.start_details = [&layout, &config] {
        std::string text =
            std::string("version ") + core::version_line + ", helper folder " + layout.helper_dir();
        if (const std::string desktop = platform::desktop_dir(); !desktop.empty()) {
            text += ", desktop folder " + desktop;
        }
        if (config.password() == core::default_password) {
            text += "; the factory password is in use, so password checking is off and anyone "
                    "on the network can connect";
        }
        return text;
    };
    // Render jobs: the queue lives from the instance check to exit, the
    // worker runs with the network service.
    platform::system_clock_source render_clock;
    zebrix::render_queue render_queue(
        layout.outputs_dir(), [&config] { return config.debug_mode(); }, render_clock);
    zebrix::desktop_zebw3_control zebw3_control;
    zebrix::render_worker render_worker(render_queue, layout, config, zebw3_control, render_clock,
                                        main_window_handle);
    pieces.render_queue = &render_queue;
    pieces.render_worker = &render_worker;
    pieces.finish_current_job = [&render_worker] { render_worker.finish_current_job(); };
    pieces.end_stale_renderer = [&render_worker] { render_worker.end_stale_renderer(); };
    platform::raise_open_file_limit(); // one descriptor per client connection
    protocol::network_service network(config);
    pieces.tcp = &network.tcp();
    pieces.discovery = &network.discovery();
    network.set_clients(clients);
    protocol::proto0_settings render_protocol;
    render_protocol.queue = &render_queue;
    render_protocol.password = [&config] { return config.password(); };
    render_protocol.guard = &network.guard();
    network.set_protocol0(protocol::make_proto0_factory(render_protocol));

    pieces.startup_report = check.report_lines();
    pieces.startup_status = check.status_text();
    pieces.first_start = [&layout] { return core::take_first_start_flag(layout.helper_dir()); };
    core::server_lifecycle lifecycle(pieces, *shell);
    window.events().render_done = [&lifecycle] {
        lifecycle.server_command_hook(core::hook_code::job_done);
    };
    platform::instance_lock instance;
    platform::file_lock installation;
    const std::string desktop = platform::desktop_dir();
    return lifecycle.run([&] {
        if (!instance.acquire(desktop)) {
            if (instance.error()) {
                std::fprintf(stderr, "ZebrixServer: cannot make the instance guard: %s\n",
                             instance.error().message().c_str());
            }
            return false;
        }
        // One installation, one server: a second desktop's server would empty
        // this one's job folders. A folder that cannot hold the lock is no refusal.
        if (installation.acquire(layout.in_helper(core::installation_lock_file)) ==
            platform::file_lock::result::held_elsewhere) {
            return false;
        }
        // Only the instance that runs shows a window to the programs.
        if (plain_window && !window.create(desktop)) {
            std::fprintf(stderr, "ZebrixServer: cannot register the main window on %s: %s\n",
                         desktop.c_str(), window.error().message().c_str());
        }
        return true;
    });
}
