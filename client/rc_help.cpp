#include "client/rc_help.hpp"

#include <algorithm>

namespace zs::client {

std::string rc_options_help(const char* out_default) {
    return std::string("Options:\n"
                       "  --first N     the command's first argument (param1; default 0)\n"
                       "  --second N    the command's second argument (param2; default 0)\n"
                       "  --text T      send T as an ITEM_DATA item, the program's input text\n"
                       "  --want NAME   ask for file NAME back in an ITEM_FILE item; repeatable;\n"
                       "                plain names only\n"
                       "  --events N    after the answer, wait for N events and print them\n"
                       "                (each wait is bounded by --timeout); --events 0 prints\n"
                       "                events until Ctrl-C\n"
                       "  --out DIR     save the returned files in DIR (default: ") +
           out_default +
           ")\n"
           "  --force       let saved files replace existing ones; without it an existing\n"
           "                file is an error before anything is sent\n"
           "  --action N    the request's action word (default 1, a command; 0 ends the\n"
           "                session at once; any other value is answered with error 3)\n"
           "  -h, --help    show this help\n\n"
           "Output: one line per frame, \"reply id=I action=A status=S value=V\" or\n"
           "\"event id=I action=A status=S value=V\", then its items (data, error, file);\n"
           "with --json an array of {\"kind\",\"request_id\",\"action\",\"status\",\"value\",\n"
           "\"items\"}, errors {\"error\",\"status\"}. Binary data is shown in hexadecimal.\n"
           "A file that cannot be saved where asked is kept in the temporary folder and\n"
           "the message names it.\n\n"
           "Exit status: 0 success; 1 an error answer, a file that could not be saved or a\n"
           "lost connection; 2 bad arguments; 3 the login failed or the program is held by\n"
           "another client. The command codes: docs/protocol.md.\n";
}

std::string rc_names_help(std::span<const rc_name> names) {
    std::string text = "Named commands:\n";
    for (const auto& n : names) {
        std::string shown = std::string(n.name) + (n.takes_number ? " N" : "");
        std::string code = std::to_string(n.code) + (n.takes_number ? " --first N" : "") +
                           (n.second != 0 ? " --second " + std::to_string(n.second) : "");
        shown.resize(std::max<std::size_t>(shown.size(), 12), ' ');
        text += "  " + shown + "  " + n.meaning + " (" + code + ")\n";
    }
    return text + "\n";
}

} // namespace zs::client
