#pragma once
#include "platform/posix/desktop_socket.hpp"
