#pragma once
// The number of files (sockets) the process may hold open.

namespace zs::platform {

// Raises the soft limit of open files to the hard limit; returns the new soft limit.
long raise_open_file_limit();
// The soft limit as it is now; -1 when it cannot be read.
long open_file_limit();

} // namespace zs::platform
