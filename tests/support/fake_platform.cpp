#include "support/fake_platform.h"

namespace plenhall::testing {

struct FakeMainQueue::FakeTimer final : MainQueue::Timer {
    FakeTimer(FakeMainQueue& queue, std::uint64_t id) : queue_(queue), id_(id) {}
    ~FakeTimer() override { queue_.timers_.erase(id_); }
    FakeMainQueue& queue_;
    std::uint64_t id_;
};

std::unique_ptr<MainQueue::Timer> FakeMainQueue::asyncAfter(std::chrono::milliseconds delay,
                                                            std::function<void()> work) {
    timers_.emplace(++next_, std::pair(steady_ + std::max(delay, {}), std::move(work)));
    return std::make_unique<FakeTimer>(*this, next_);
}

int FakeMainQueue::drain() {
    int ran = 0;
    for (; !pending_.empty(); ++ran) {
        auto work = std::move(pending_.front());
        pending_.pop_front();
        work();
    }
    return ran;
}

void FakeMainQueue::elapse(std::chrono::milliseconds elapsed) {
    const auto end = steady_ + std::max(elapsed, {});
    for (;;) {
        // The earliest due, ties in the order made; its work may add or cancel timers.
        auto next = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
            return a.second.first < b.second.first;
        });
        if (next == timers_.end() || next->second.first > end) break;
        steady_ = std::max(steady_, next->second.first);
        auto work = std::move(next->second.second);
        timers_.erase(next);
        work();
    }
    steady_ = end;
}

// Cancelled by its owner: a request destroyed before its answer never hears one.
struct FakeRequest final : HttpClient::Request {
    FakeRequest(FakeHttpClient& client, std::uint64_t id) : client_(client), id_(id) {}
    ~FakeRequest() override { client_.waiting.erase(id_); }
    FakeHttpClient& client_;
    std::uint64_t id_;
};

std::unique_ptr<HttpClient::Request> FakeHttpClient::get(
    const HttpRequest& request, std::function<void(HttpResult)> completion) {
    sent.push_back(request);
    waiting.emplace(sent.size(), std::move(completion));
    return std::make_unique<FakeRequest>(*this, sent.size());
}

}  // namespace plenhall::testing
