#pragma once
// Wrong passwords, per client address: each refusal is answered later than
// the one before, and after a run of them the address is locked out for a
// while (its logins are refused unchecked, the right password too). Other
// addresses are never affected. The log gets the first refusal of an address
// at once and then one summary line per address and period.
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace zs::protocol {

// Every constant of the slow-down in one place; tests shorten them.
struct login_guard_settings {
    std::chrono::milliseconds first_delay{250}; // before the first refusal is answered
    std::chrono::milliseconds max_delay{4000};  // each refusal doubles it up to this
    int lockout_after = 10;                     // wrong passwords in a row
    std::chrono::milliseconds lockout{60000};
    std::chrono::milliseconds forget_after{600000}; // a run ends after this without one
    std::function<std::chrono::steady_clock::time_point()> now = [] {
        return std::chrono::steady_clock::now();
    };
};

enum class login_kind { login, render_job };

class login_guard {
public:
    explicit login_guard(login_guard_settings settings = {});

    // False while the address is locked out: its password is not checked.
    bool may_check(const std::string& address);
    // A refused login (`checked`: a wrong password; else locked out). Returns
    // how long the refusal waits before it is answered. `peer` names the
    // address and port for the log.
    std::chrono::milliseconds refused(const std::string& address, login_kind kind,
                                      const std::string& peer, bool checked);
    void accepted(const std::string& address); // the run of the address ends
    // One line per address and kind for the refusals since the last call.
    void write_summaries();

private:
    using time_point = std::chrono::steady_clock::time_point;
    struct run {
        int wrong = 0; // in a row
        time_point last{};
        time_point locked_until{};
    };
    bool locked(const run& r, time_point now) const { return r.locked_until > now; }

    const login_guard_settings settings_;
    std::mutex mutex_; // sessions of every I/O thread report here
    std::map<std::string, run> runs_;
    // Refusals not yet in the log, per address and kind.
    std::map<std::pair<std::string, login_kind>, std::size_t> unlogged_;
};

} // namespace zs::protocol
