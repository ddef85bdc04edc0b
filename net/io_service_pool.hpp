#pragma once
// A fixed number of I/O contexts, each kept running by a work guard and run
// by one thread; connections are spread over them in rotation.
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

namespace zs::net {

class io_service_pool {
public:
    void create(std::size_t count);
    void run(); // one thread per context
    // Waits (at most `limit`) until each context has run what was posted before,
    // then stops the contexts, joins the threads and empties the pool.
    void stop(std::chrono::milliseconds limit);
    // The context at the rotation index; the index advances and wraps, and
    // survives from one start to the next.
    boost::asio::io_context& next();
    std::size_t size() const { return contexts_.size(); }

private:
    using guard = boost::asio::executor_work_guard<boost::asio::io_context::executor_type>;
    std::vector<std::shared_ptr<boost::asio::io_context>> contexts_;
    std::vector<guard> guards_;
    std::vector<std::thread> threads_;
    std::size_t rotation_ = 0;
};

} // namespace zs::net
