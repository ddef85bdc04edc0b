#include "zebrix/render_queue.hpp"

#include "core/server_log.hpp"
#include "zebrix/render_files.hpp"

#include "platform/files.hpp"
#include "zip/zip_folder.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zs::zebrix {

namespace {
constexpr std::array<const char*, 4> result_names = {"audio.mp4", "StyleList.txt", "SongList.txt",
                                                     "Song.txt"};

// What a job folder holds on disk, subfolders included.
std::uint64_t folder_bytes(const std::string& folder) {
    std::vector<platform::folder_entry> entries;
    std::uint64_t total = 0;
    if (!platform::list_folder(folder, entries)) {
        return 0;
    }
    for (const auto& e : entries) {
        const std::string path = folder + e.name;
        total += e.is_folder ? folder_bytes(path + platform::path_separator)
                             : platform::stat_path(path).size;
    }
    return total;
}
} // namespace

std::int32_t choose_job_id(const std::vector<std::int32_t>& ids, std::int32_t hint) {
    std::int32_t prev = -1;
    std::int32_t gap = -1;
    std::int32_t max = -1;
    for (const std::int32_t j : ids) {
        if (j == hint) {
            hint = -1;
        }
        if (prev != -1 && gap == -1) {
            if (j > prev + 1) {
                gap = prev + 1;
            } else if (j <= prev && j > 0) {
                gap = 0;
            }
        }
        max = std::max(max, j);
        prev = j;
    }
    if (hint != -1) {
        return hint;
    }
    if (ids.empty()) {
        return 0;
    }
    if (max + 1 < 1000 || gap == -1) {
        return max + 1;
    }
    return gap;
}

render_queue::render_queue(std::string outputs_dir, std::function<bool()> debug_mode,
                           platform::clock_source& clock, render_queue_settings settings)
    : outputs_(std::move(outputs_dir)), debug_mode_(std::move(debug_mode)), clock_(clock),
      settings_(settings) {}

render_queue::~render_queue() {
    stop();
}

bool render_queue::start() {
    if (maintenance_.joinable()) {
        return true;
    }
    {
        std::lock_guard lock(mutex_);
        hint_ = 0;
        platform::make_folders(outputs_);
        platform::delete_folder_content(outputs_, false);
    }
    {
        std::lock_guard lock(stop_mutex_);
        stop_requested_ = false;
    }
    maintenance_ = std::thread([this] { run_maintenance(); });
    return true;
}

void render_queue::stop() {
    if (!maintenance_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(stop_mutex_);
        stop_requested_ = true;
    }
    stop_signal_.notify_all();
    maintenance_.join();
    std::lock_guard lock(mutex_);
    if (!debug_mode_()) {
        platform::delete_folder_content(outputs_, false);
    }
    jobs_.clear();
    waiting_bytes_ = 0;
}

void render_queue::run_maintenance() {
    std::unique_lock lock(stop_mutex_);
    while (!stop_requested_) {
        if (!stop_signal_.wait_for(lock, settings_.maintenance_interval,
                                   [this] { return stop_requested_; })) {
            lock.unlock();
            drop_expired();
            lock.lock();
        }
    }
}

void render_queue::drop_expired() {
    std::lock_guard lock(mutex_);
    const std::uint32_t now = clock_.now_ms();
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->status == job_status::done &&
            static_cast<std::uint32_t>(now - it->time) > settings_.done_job_lifetime_ms) {
            delete_job_folder(it->id);
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
}

std::string render_queue::job_folder(std::int32_t id) const {
    char name[16];
    std::snprintf(name, sizeof name, "%03d", id);
    return outputs_ + name + platform::path_separator;
}

render_queue::job* render_queue::find(std::int32_t id) {
    auto it = std::find_if(jobs_.begin(), jobs_.end(), [id](const job& j) { return j.id == id; });
    return it == jobs_.end() ? nullptr : &*it;
}

std::int32_t render_queue::choose_id() const {
    std::vector<std::int32_t> ids;
    ids.reserve(jobs_.size());
    for (const job& j : jobs_) {
        ids.push_back(j.id);
    }
    return choose_job_id(ids, hint_);
}

void render_queue::delete_job_folder(std::int32_t id) {
    std::error_code why;
    if (!debug_mode_() && !platform::delete_folder_content(job_folder(id), true, &why)) {
        core::server_log::line("Render job folder " + job_folder(id) + " could not be deleted (" +
                               why.message() + ")");
    }
}

void render_queue::release_text(job& j) {
    waiting_bytes_ -= j.text.size();
    std::string().swap(j.text);
}

std::int32_t render_queue::add_job(std::string text, const std::string& client) {
    std::lock_guard lock(mutex_);
    std::size_t waiting = 0;
    std::size_t of_client = 0;
    for (const job& j : jobs_) {
        if (j.status == job_status::waiting) {
            ++waiting;
            of_client += j.client == client ? 1 : 0;
        }
    }
    if (waiting >= settings_.max_waiting_jobs ||
        text.size() > settings_.max_waiting_bytes - waiting_bytes_) {
        return add_queue_full;
    }
    if (of_client >= settings_.max_waiting_per_client) {
        return add_share_full;
    }
    const std::int32_t id = choose_id();
    const std::string folder = job_folder(id);
    platform::delete_folder_content(folder, true);
    std::error_code why;
    if (!platform::make_folders(folder, &why)) {
        core::server_log::line("Render job folder " + folder + " could not be made (" +
                               why.message() + "); the job was refused");
        return add_failed;
    }
    job j;
    j.id = id;
    j.text = std::move(text);
    j.client = client;
    waiting_bytes_ += j.text.size();
    jobs_.push_back(std::move(j));
    hint_ = id + 1;
    return id;
}

job_status render_queue::job_state(std::int32_t id) {
    std::lock_guard lock(mutex_);
    job* j = find(id);
    if (j == nullptr) {
        return job_status::unknown;
    }
    if (j->status == job_status::done) {
        j->time = clock_.now_ms();
    }
    return j->status;
}

int render_queue::queue_position(std::int32_t id) {
    std::lock_guard lock(mutex_);
    int ahead = 0;
    for (const job& j : jobs_) {
        if (j.id == id) {
            return j.status == job_status::waiting ? ahead + 1 : 0;
        }
        if (j.status == job_status::waiting) {
            ++ahead;
        }
    }
    return -1;
}

bool render_queue::find_job_result(std::int32_t id, std::string& path) {
    std::lock_guard lock(mutex_);
    const std::string folder = job_folder(id);
    for (const char* name : result_names) {
        if (platform::can_open_for_read(folder + name)) {
            path = platform::resolve_for_read(folder + name);
            return true;
        }
    }
    return false;
}

job_outcome render_queue::job_result(std::int32_t id, std::string& message, int& number) {
    return read_job_status(job_folder(id), message, number);
}

bool render_queue::zip_job_folder(std::int32_t id, std::string& path, std::string* reason) {
    std::string folder = job_folder(id);
    folder.pop_back();
    const std::string archive = folder + ".zip";
    std::lock_guard lock(mutex_);
    if (find(id) == nullptr) {
        return false;
    }
    path = archive;
    return zip::zip_folder(folder, archive, reason);
}

void render_queue::remove_job(std::int32_t id) {
    std::lock_guard lock(mutex_);
    if (job* j = find(id)) {
        release_text(*j);
        jobs_.remove_if([id](const job& k) { return k.id == id; });
        delete_job_folder(id);
    }
}

std::int32_t render_queue::first_waiting(std::string& text) {
    std::lock_guard lock(mutex_);
    for (job& j : jobs_) {
        if (j.status == job_status::waiting) {
            text = std::move(j.text);
            waiting_bytes_ -= text.size();
            j.text.clear();
            return j.id;
        }
    }
    return -1;
}

void render_queue::mark_running(std::int32_t id) {
    std::lock_guard lock(mutex_);
    if (job* j = find(id)) {
        j->status = job_status::running;
        j->time = clock_.now_ms();
        release_text(*j);
    }
}

void render_queue::mark_done(std::int32_t id) {
    std::lock_guard lock(mutex_);
    if (job* j = find(id)) {
        release_text(*j);
        j->status = job_status::done;
        j->time = clock_.now_ms();
        j->order = ++finished_;
        j->bytes = folder_bytes(job_folder(id));
        bound_done_jobs(id);
    }
}

// Polling keeps a done job alive, so without a bound a client could keep
// any number of them, each with its folder on disk.
void render_queue::bound_done_jobs(std::int32_t newest) {
    for (;;) {
        std::size_t count = 0;
        std::uint64_t bytes = 0;
        auto oldest = jobs_.end();
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if (it->status != job_status::done) {
                continue;
            }
            ++count;
            bytes += it->bytes;
            if (it->id != newest && (oldest == jobs_.end() || it->order < oldest->order)) {
                oldest = it;
            }
        }
        if ((count <= settings_.max_done_jobs && bytes <= settings_.max_done_bytes) ||
            oldest == jobs_.end()) {
            return;
        }
        core::server_log::line("Render job " + std::to_string(oldest->id) +
                               " was dropped unfetched: finished jobs are kept up to " +
                               std::to_string(settings_.max_done_jobs) + " and " +
                               (settings_.max_done_bytes % (1 << 20) == 0
                                    ? std::to_string(settings_.max_done_bytes >> 20) + " MiB"
                                    : std::to_string(settings_.max_done_bytes) + " bytes"));
        delete_job_folder(oldest->id);
        jobs_.erase(oldest);
    }
}

} // namespace zs::zebrix
