#pragma once
// zebrix-client against a private staged server: runs with the server's
// environment and an empty configuration home (no user settings leak in),
// on a pipe or on a pseudo-terminal.
#include "tests/e2e/zebrix_e2e.hpp"
#include "tests/support/temp_folder.hpp"

namespace zs::test {

class client_e2e : public zebrix_e2e {
protected:
    void TearDown() override {
        zebrix_e2e::TearDown();
        for (const auto& w : platform::enumerate_windows(server.desktop())) {
            if (w.class_name == "TOrvantaWindow") {
                platform::terminate_process(static_cast<platform::process_id>(w.pid), 5s);
            }
        }
    }

    std::vector<std::string> client_env(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> env = server.environment();
        env.push_back("XDG_CONFIG_HOME=" + config_home.path());
        env.push_back("ZEBRIX_PASSWORD=");
        env.insert(env.end(), extra.begin(), extra.end());
        return env;
    }

    // A run that meets the previous one still holding the program is repeated.
    int client(std::vector<std::string> args, std::string& out, std::string& err,
               const std::vector<std::string>& extra_env = {}) {
        args.insert(args.begin(), server.client_path());
        int code = -1;
        for (int attempt = 0; attempt < 50; ++attempt) {
            code = run_program(args, client_env(extra_env), out, err);
            if (code != 3 || err.find("held by another client") == std::string::npos) {
                break;
            }
            std::this_thread::sleep_for(100ms);
        }
        return code;
    }

    // Runs the client on a pseudo-terminal; `steps` are pty_run.py's
    // --expect/--send/--interrupt arguments. `screen` is what a user saw.
    int on_terminal(const std::vector<std::string>& steps, const std::vector<std::string>& args,
                    std::string& screen) {
        std::vector<std::string> argv = {"/usr/bin/python3", ZS_PTY_RUN, "--limit", "40"};
        argv.insert(argv.end(), steps.begin(), steps.end());
        argv.push_back("--");
        argv.push_back(server.client_path());
        argv.insert(argv.end(), args.begin(), args.end());
        std::string err;
        const int code = run_program(argv, client_env(), screen, err);
        screen += err;
        return code;
    }

    std::string port() const { return std::to_string(server.tcp_port()); }

    temp_folder config_home{"zc-config"};
};

} // namespace zs::test
