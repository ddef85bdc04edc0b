#include "protocol/login_guard.hpp"

#include "core/server_log.hpp"

#include <algorithm>

namespace zs::protocol {

namespace {

std::string noun(login_kind kind) {
    return kind == login_kind::login ? "login" : "render-job request";
}

} // namespace

login_guard::login_guard(login_guard_settings settings) : settings_(std::move(settings)) {}

bool login_guard::may_check(const std::string& address) {
    std::lock_guard lock(mutex_);
    const auto it = runs_.find(address);
    return it == runs_.end() || !locked(it->second, settings_.now());
}

std::chrono::milliseconds login_guard::refused(const std::string& address, login_kind kind,
                                               const std::string& peer, bool checked) {
    std::lock_guard lock(mutex_);
    const time_point now = settings_.now();
    run& r = runs_[address];
    std::chrono::milliseconds delay = settings_.max_delay;
    if (checked) {
        if (now - r.last > settings_.forget_after) {
            r.wrong = 0;
        }
        r.last = now;
        const int doublings = std::min(r.wrong, 20);
        delay =
            std::min(settings_.first_delay * (std::int64_t{1} << doublings), settings_.max_delay);
        if (++r.wrong >= settings_.lockout_after) {
            r.locked_until = now + settings_.lockout;
            r.wrong = 0;
        }
    }
    const auto key = std::make_pair(address, kind);
    if (const auto it = unlogged_.find(key); it != unlogged_.end()) {
        ++it->second; // summed up in the next summary
    } else {
        unlogged_.emplace(key, 0);
        core::server_log::line("Refused a " + noun(kind) +
                               (checked ? " with a wrong password from " + peer
                                        : " from " + peer + ": the address is locked out"));
    }
    return delay;
}

void login_guard::accepted(const std::string& address) {
    std::lock_guard lock(mutex_);
    runs_.erase(address);
}

void login_guard::write_summaries() {
    std::lock_guard lock(mutex_);
    const time_point now = settings_.now();
    for (auto it = unlogged_.begin(); it != unlogged_.end();) {
        const std::size_t more = it->second;
        if (more == 0) {
            it = unlogged_.erase(it); // the next refusal is logged at once again
            continue;
        }
        const std::string& address = it->first.first;
        const auto r = runs_.find(address);
        const bool is_locked = r != runs_.end() && locked(r->second, now);
        core::server_log::line(
            "Refused " + std::to_string(more) + " more " + noun(it->first.second) +
            (more == 1 ? "" : "s") + " from " + address + " in the last minute" +
            (is_locked ? "; the address is locked out for " +
                             std::to_string(settings_.lockout.count() / 1000) + " s after " +
                             std::to_string(settings_.lockout_after) + " wrong passwords in a row"
                       : std::string()));
        it->second = 0;
        ++it;
    }
    for (auto it = runs_.begin(); it != runs_.end();) {
        if (!locked(it->second, now) && now - it->second.last > settings_.forget_after) {
            it = runs_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace zs::protocol
