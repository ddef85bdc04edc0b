#pragma once
#include "server/main_window.hpp"
