#pragma once
// The files a zebrix or orvanta answer returns, saved inside the chosen
// folder: which names may be saved, the check made before anything is sent,
// and the saving itself.
#include "client/rc_options.hpp"
#include "protocol/zeb_message.hpp"

#include <string>

namespace zs::client {

// A file name from the server is written only inside the chosen folder.
bool safe_file_name(const std::string& name);

// Before anything is sent: every wanted file can be saved where it will go,
// without replacing an existing file unless --force. False with the reason.
bool check_save_targets(const rc_request& req, std::string& problem);

// Saves one returned file where it was asked to go; what cannot be written
// there (or would replace a file without --force) is kept in the temporary
// folder, since the server may have deleted its copy. `saved` is the path it
// went to (empty when lost); false when that is not the asked one.
bool save_returned_file(const protocol::ZebFile& f, const rc_request& req, std::string& saved);

} // namespace zs::client
