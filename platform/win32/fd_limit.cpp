#include "platform/fd_limit.hpp"

namespace zs::platform {

// Windows sets no per-process limit on sockets that a program could raise.
long raise_open_file_limit() {
    return 16384;
}

long open_file_limit() {
    return raise_open_file_limit();
}

} // namespace zs::platform
