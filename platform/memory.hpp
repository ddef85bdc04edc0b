#pragma once
// How the process's heap gives memory back to the system.

namespace zs::platform {

// Large blocks (job texts of up to 16 MiB) are mapped on their own and go
// back to the system when freed, instead of staying in the heap once the
// queue that held them has emptied.
void return_large_blocks_when_freed();

} // namespace zs::platform
