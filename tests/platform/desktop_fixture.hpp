#pragma once
// A private desktop for one test, set in the environment so child processes
// share it, and a private copy of a program that registers a window.
#include "platform/desktop.hpp"
#include "platform/process.hpp"
#include "tests/support/staged_server.hpp"
#include "tests/support/temp_folder.hpp"

#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

namespace zs::test {

class desktop_fixture : public ::testing::Test {
protected:
    desktop_fixture() : desktop_("zs-desk"), programs_("zs-prog") {
        ::setenv("ZEBRIX_DESKTOP", desktop_.path().c_str(), 1);
    }
    ~desktop_fixture() override {
        for (auto pid : started_) {
            platform::terminate_process(pid, std::chrono::seconds(5));
        }
        ::unsetenv("ZEBRIX_DESKTOP");
    }
    // A copy of the window program named name (its log and behaviour stay private).
    std::string program(const std::string& name = "zebw.exe") {
        std::string out;
        std::string err;
        const std::string path = programs_ / name;
        if (run_program({"/bin/cp", ZS_WINDOW_PROGRAM, path}, {}, out, err) != 0) {
            throw std::runtime_error("cannot copy the window program: " + err);
        }
        return path;
    }
    platform::process_id start(const std::string& path) {
        const auto r =
            platform::start_process(path, {}, programs_.path(), std::chrono::seconds(10));
        if (r.pid != 0) {
            started_.push_back(r.pid);
        }
        return r.pid;
    }
    platform::window_handle window_of(platform::process_id pid) {
        for (const auto& w : platform::enumerate_windows()) {
            if (static_cast<platform::process_id>(w.pid) == pid) {
                return w.handle;
            }
        }
        return 0;
    }

    temp_folder desktop_;
    temp_folder programs_;
    std::vector<platform::process_id> started_;
};

} // namespace zs::test
