#include "zip/zip_format.hpp"

#include "core/text.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <mutex>

namespace zs::zip {

namespace {

dos_stamp make_stamp(int year, unsigned month, unsigned day, long hour, long minute, long second) {
    if (year < 1980) {
        year = 1980;
        month = 1;
        day = 1;
        hour = minute = second = 0;
    } else if (year > 2107) {
        year = 2107;
        month = 12;
        day = 31;
        hour = 23;
        minute = 59;
        second = 58;
    }
    dos_stamp s;
    s.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    s.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return s;
}

} // namespace

dos_stamp dos_stamp_utc(std::time_t t) {
    using namespace std::chrono;
    const sys_seconds tp{seconds{t}};
    const auto day_point = floor<days>(tp);
    const year_month_day ymd{day_point};
    const hh_mm_ss hms{tp - day_point};
    return make_stamp(static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day()), hms.hours().count(), hms.minutes().count(),
                      static_cast<long>(hms.seconds().count()));
}

local_now local_time_now() {
    // std::localtime shares one buffer in the process.
    static std::mutex mutex;
    std::tm lt{};
    {
        std::lock_guard lock(mutex);
        const std::time_t now = std::time(nullptr);
        lt = *std::localtime(&now);
    }
    using namespace std::chrono;
    const sys_days day_point{year{lt.tm_year + 1900} / month{static_cast<unsigned>(lt.tm_mon + 1)} /
                             day{static_cast<unsigned>(lt.tm_mday)}};
    const auto as_utc = day_point + hours{lt.tm_hour} + minutes{lt.tm_min} + seconds{lt.tm_sec};
    local_now out;
    out.stamp = make_stamp(lt.tm_year + 1900, static_cast<unsigned>(lt.tm_mon + 1),
                           static_cast<unsigned>(lt.tm_mday), lt.tm_hour, lt.tm_min, lt.tm_sec);
    out.unix_time = static_cast<std::uint32_t>(as_utc.time_since_epoch().count());
    return out;
}

bool is_stored_extension(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string ext = core::ascii_lower(name.substr(dot));
    static const std::array<const char*, 8> stored = {".z",   ".zip", ".zoo", ".arc",
                                                      ".lzh", ".arj", ".gz",  ".tgz"};
    return std::any_of(stored.begin(), stored.end(), [&](const char* e) { return ext == e; });
}

} // namespace zs::zip
