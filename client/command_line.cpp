#include "client/command_line.hpp"

#include "client/client_settings.hpp"
#include "client/rc_options.hpp"
#include "client/render_job.hpp"
#include "client/whole_number.hpp"
#include "platform/files.hpp"
#include "platform/output_file.hpp"
#include "platform/terminal.hpp"

namespace zs::client {
namespace {

// Options of the commands that take a value: the value is passed on as it
// stands, even when it looks like an option.
bool command_option_with_value(const std::string& arg) {
    return rc_option_with_value(arg) || render_output_option(arg);
}

} // namespace

command_line parse_command_line(int argc, char** argv) {
    command_line line;
    for (int i = 1; i < argc && line.problem.empty(); ++i) {
        const std::string arg = argv[i];
        const bool takes_value = arg == "--host" || arg == "--port" || arg == "--udp-port" ||
                                 arg == "--password" || arg == "--timeout";
        if (takes_value && i + 1 >= argc) {
            line.problem = "option " + arg + " needs a value";
            break;
        }
        if (arg == "--json") {
            line.json = true;
        } else if (arg == "--host") {
            line.host = argv[++i];
        } else if (arg == "--port" || arg == "--udp-port") {
            const auto number = parse_whole(argv[++i], 1, 65535);
            if (!number) {
                line.problem = "bad port " + std::string(argv[i]);
            }
            (arg == "--port" ? line.port : line.udp_port) = number;
        } else if (arg == "--password") {
            line.password = argv[++i];
        } else if (arg == "--timeout") {
            line.timeout_ms = parse_whole(argv[++i], 1, max_timeout_ms);
            if (!line.timeout_ms) {
                line.problem = "bad time-out " + std::string(argv[i]);
            }
        } else if (!line.rest.empty()) {
            // The command's own arguments; --help there asks for its help.
            line.rest.push_back(arg);
            if (command_option_with_value(arg) && i + 1 < argc) {
                line.rest.push_back(argv[++i]);
            }
        } else if (is_help(arg)) {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg.rfind("-", 0) == 0) {
            line.problem = "unknown option " + arg;
        } else {
            line.rest.push_back(arg);
        }
    }
    return line;
}

bool settle_options(const command_line& line, common_options& options) {
    options.json = line.json;
    std::vector<std::string> problems;
    const std::string config = config_path();
    std::string text;
    std::string reason;
    if (!config.empty() && platform::file_exists(config)) {
        if (!platform::read_input(config, text, reason)) {
            report_error(options, "cannot read " + config + ": " + reason, 2);
            return false;
        }
        apply_config_text(text, options, problems);
        for (auto& p : problems) {
            p = config + ":" + p;
        }
    }
    apply_environment(options, problems);
    if (!problems.empty()) {
        report_error(options, problems.front(), 2);
        return false;
    }
    options.host = line.host.value_or(options.host);
    options.password = line.password.value_or(options.password);
    options.port = static_cast<std::uint16_t>(line.port.value_or(options.port));
    options.udp_port = static_cast<std::uint16_t>(line.udp_port.value_or(options.udp_port));
    options.timeout_ms = static_cast<int>(line.timeout_ms.value_or(options.timeout_ms));
    if (line.password == "-") {
        const auto typed = platform::read_secret_line("Password: ");
        if (!typed) {
            report_error(options, "no password on standard input", 2);
            return false;
        }
        options.password = *typed;
    }
    options.password = stored_password(options.password);
    return true;
}

} // namespace zs::client
