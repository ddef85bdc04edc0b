#include "net/io_service_pool.hpp"

#include <boost/asio/post.hpp>

#include <future>

namespace zs::net {

void io_service_pool::create(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        auto context = std::make_shared<boost::asio::io_context>(1);
        guards_.push_back(boost::asio::make_work_guard(*context));
        contexts_.push_back(std::move(context));
    }
}

void io_service_pool::run() {
    for (auto& context : contexts_) {
        threads_.emplace_back([context] { context->run(); });
    }
}

void io_service_pool::stop(std::chrono::milliseconds limit) {
    // Each context runs one thread, so a marker posted now runs after the
    // closes posted before it.
    std::vector<std::future<void>> drained;
    for (auto& context : threads_.empty() ? decltype(contexts_){} : contexts_) {
        auto done = std::make_shared<std::promise<void>>();
        drained.push_back(done->get_future());
        boost::asio::post(*context, [done] { done->set_value(); });
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (auto& f : drained) {
        f.wait_until(deadline);
    }
    guards_.clear();
    for (auto& context : contexts_) {
        context->stop();
    }
    for (auto& thread : threads_) {
        thread.join();
    }
    threads_.clear();
    contexts_.clear(); // destroys what is left pending, and with it the idle connections
}

boost::asio::io_context& io_service_pool::next() {
    auto& context = *contexts_[rotation_ % contexts_.size()];
    rotation_ = (rotation_ + 1) % contexts_.size();
    return context;
}

} // namespace zs::net
