#include "platform/fd_limit.hpp"

#include <sys/resource.h>

namespace zs::platform {

long raise_open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return -1;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit wanted = limit;
        wanted.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &wanted) == 0) {
            limit = wanted;
        }
    }
    return static_cast<long>(limit.rlim_cur);
}

long open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return -1;
    }
    return limit.rlim_cur == RLIM_INFINITY ? 1L << 20 : static_cast<long>(limit.rlim_cur);
}

} // namespace zs::platform
