#include "zip/parallel_deflate.hpp"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace zs::zip {

namespace {

constexpr std::size_t window_size = 32 * 1024;
constexpr unsigned max_threads = 8;
constexpr unsigned blocks_per_thread = 4; // in flight: bounds the memory held

Bytef* bytes(std::string& s) {
    return reinterpret_cast<Bytef*>(s.data());
}

uInt size_of(const std::string& s) {
    return static_cast<uInt>(s.size());
}

// One block: its input and the window before it, then what became of it.
struct block {
    std::string input;
    std::string dictionary;
    bool last = false;
    std::string output;
    std::uint32_t crc = 0;
    bool ok = false;
    bool done = false; // under the pool's mutex while its threads run
};

// Raw deflate at level 8 with the tuned match parameters, a block at a time.
class deflater {
public:
    deflater() {
        ready_ = deflateInit2(&stream_, 8, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~deflater() {
        if (ready_) {
            deflateEnd(&stream_);
        }
    }
    deflater(const deflater&) = delete;
    deflater& operator=(const deflater&) = delete;

    void run(block& b) {
        b.crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), bytes(b.input), size_of(b.input)));
        b.ok = ready_ && compress(b);
    }

private:
    bool compress(block& b) {
        // A reset brings back the level's own match parameters.
        if (deflateReset(&stream_) != Z_OK || deflateTune(&stream_, 32, 128, 258, 1024) != Z_OK) {
            return false;
        }
        if (!b.dictionary.empty() &&
            deflateSetDictionary(&stream_, bytes(b.dictionary), size_of(b.dictionary)) != Z_OK) {
            return false;
        }
        // A sync flush ends the block on a byte boundary without ending the stream.
        const int flush = b.last ? Z_FINISH : Z_SYNC_FLUSH;
        stream_.next_in = bytes(b.input);
        stream_.avail_in = size_of(b.input);
        b.output.resize(deflateBound(&stream_, b.input.size()) + 16);
        std::size_t used = 0;
        for (;;) {
            stream_.next_out = reinterpret_cast<Bytef*>(b.output.data() + used);
            stream_.avail_out = static_cast<uInt>(b.output.size() - used);
            const int rc = deflate(&stream_, flush);
            used = b.output.size() - stream_.avail_out;
            if (rc == Z_STREAM_ERROR) {
                return false;
            }
            if (b.last ? rc == Z_STREAM_END : stream_.avail_out != 0) {
                break;
            }
            b.output.resize(b.output.size() * 2);
        }
        b.output.resize(used);
        return true;
    }

    z_stream stream_{};
    bool ready_ = false;
};

// The blocks in flight, in a ring, and the threads that deflate them in the
// order they come. Without threads a block is deflated as it is submitted.
class block_pool {
public:
    explicit block_pool(unsigned threads) : wanted_(threads), ring_(threads * blocks_per_thread) {}
    ~block_pool() { stop(); }
    block_pool(const block_pool&) = delete;
    block_pool& operator=(const block_pool&) = delete;

    std::uint64_t capacity() const { return ring_.size(); }
    block& at(std::uint64_t index) { return ring_[index % ring_.size()]; }

    void submit(std::uint64_t index) {
        block& b = at(index);
        // A stream of one block is not worth a thread.
        if (!started_ && !b.last && wanted_ > 1) {
            start();
        }
        if (threads_.empty()) {
            here_.run(b);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            b.done = false;
            ++submitted_;
        }
        queued_.notify_one();
    }

    // Returns once the block is deflated: a submitted block always is.
    block& wait(std::uint64_t index) {
        block& b = at(index);
        if (!threads_.empty()) {
            std::unique_lock<std::mutex> lock(mutex_);
            finished_.wait(lock, [&] { return b.done; });
        }
        return b;
    }

private:
    void start() {
        started_ = true;
        for (unsigned i = 0; i < wanted_; ++i) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break; // the ones started do the work
            }
        }
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_all();
        for (std::thread& t : threads_) {
            t.join();
        }
        threads_.clear();
    }

    void work() {
        deflater z;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return stopping_ || taken_ < submitted_; });
            if (stopping_) {
                return;
            }
            block& b = at(taken_++);
            lock.unlock();
            z.run(b);
            lock.lock();
            b.done = true;
            finished_.notify_one();
        }
    }

    const unsigned wanted_;
    std::vector<block> ring_;
    deflater here_;
    bool started_ = false;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::uint64_t submitted_ = 0;
    std::uint64_t taken_ = 0;
    bool stopping_ = false;
};

// Up to a block of input into buffer; at_end when the input ended on the way.
// A short read is no end of input: only a read of nothing is.
bool read_block(const deflate_read& read, std::string& buffer, bool& at_end) {
    buffer.resize(deflate_block_size);
    std::size_t got = 0;
    at_end = false;
    while (got < buffer.size() && !at_end) {
        std::size_t n = 0;
        if (!read(buffer.data() + got, buffer.size() - got, n)) {
            return false;
        }
        got += n;
        at_end = n == 0;
    }
    buffer.resize(got);
    return true;
}

unsigned thread_count(unsigned threads) {
    if (threads == 0) {
        threads = std::thread::hardware_concurrency();
    }
    return std::clamp(threads, 1u, max_threads);
}

} // namespace

deflate_status deflate_stream(const deflate_read& read, const deflate_write& write,
                              unsigned threads, deflate_totals& totals) {
    totals = {};
    block_pool pool(thread_count(threads));
    // The next block is read before this one is submitted, to know whether
    // this one ends the stream.
    std::string ahead;
    bool ahead_ends = false;
    if (!read_block(read, ahead, ahead_ends)) {
        return deflate_status::read_failed;
    }
    std::string window;
    bool input_done = false;
    std::uint64_t submitted = 0;
    std::uint64_t written = 0;
    while (!input_done || written < submitted) {
        while (!input_done && submitted - written < pool.capacity()) {
            block& b = pool.at(submitted);
            b.input.swap(ahead);
            b.last = ahead_ends;
            if (!b.last) {
                if (!read_block(read, ahead, ahead_ends)) {
                    return deflate_status::read_failed;
                }
                b.last = ahead.empty() && ahead_ends;
            }
            // Every block but the last is whole, longer than the window.
            b.dictionary.swap(window);
            window.assign(b.input, b.input.size() - std::min(window_size, b.input.size()));
            input_done = b.last;
            pool.submit(submitted++);
        }
        const block& b = pool.wait(written++);
        if (!b.ok) {
            return deflate_status::flate_failed;
        }
        totals.crc = static_cast<std::uint32_t>(
            crc32_combine(totals.crc, b.crc, static_cast<z_off_t>(b.input.size())));
        totals.in += b.input.size();
        totals.out += b.output.size();
        if (!write(b.output.data(), b.output.size())) {
            return deflate_status::write_failed;
        }
    }
    return deflate_status::ok;
}

} // namespace zs::zip
