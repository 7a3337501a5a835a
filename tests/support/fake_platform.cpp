#include "support/fake_platform.h"

#include <algorithm>
#include <utility>

namespace plenhall::testing {

class FakeMainQueue::FakeTimer final : public MainQueue::Timer {
  public:
    FakeTimer(FakeMainQueue& queue, std::uint64_t id) : queue_(queue), id_(id) {}
    ~FakeTimer() override { queue_.timers_.erase(id_); }

  private:
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

void FakeWindow::invalidateHostedView() {
    queue->async([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock() && body) shown = body();
    });
}

void FakeWebView::loadRequest(const URLRequest& request) {
    page = request.url;
    ++loads;
    answer_.reset();
    if (answersAfter) answer_ = queue_.asyncAfter(*answersAfter, [this] { commit(), finish(); });
}

void FakeWebView::failProvisional(WebFailure failure, std::optional<std::string> url) {
    answer_.reset();
    navigation->didFailProvisionalNavigation(WebError{failure, "Fake", 1, "failed", url});
    navigation->didFinishNavigation();
}

void FakeWebView::failCommitted(WebFailure failure) {
    answer_.reset();
    navigation->didFailNavigation(WebError{failure, "Fake", 1, "failed"});
    navigation->didFinishNavigation();
}

void FakeHotKeys::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                 std::function<void(const HotKeyRegistration&)> whenDone) {
    registered.reset();
    waiting = Keys{keyCode, modifiers};
    done = std::move(whenDone);
    if (answerLater) return;
    if (std::find(taken.begin(), taken.end(), *waiting) != taken.end()) {
        answer(refusal);
    } else {
        answer(HotKeyBinding{trigger});
    }
}

bool FakeHotKeys::answer(const HotKeyRegistration& registration) {
    if (!waiting) return false;
    if (registration) registered = waiting;
    waiting.reset();
    std::exchange(done, nullptr)(registration);
    return true;
}

class FakeRequest final : public HttpClient::Request {
  public:
    FakeRequest(FakeHttpClient& client, std::uint64_t id) : client_(client), id_(id) {}
    ~FakeRequest() override { client_.waiting.erase(id_); }

  private:
    FakeHttpClient& client_;
    std::uint64_t id_;
};

std::unique_ptr<HttpClient::Request> FakeHttpClient::get(
    const HttpRequest& request, std::function<void(HttpResult)> completion) {
    sent.push_back(request);
    waiting.emplace(++next_, std::move(completion));
    return std::make_unique<FakeRequest>(*this, next_);
}

bool FakeHttpClient::answer(HttpResult result) {
    if (waiting.empty()) return false;
    auto completion = std::move(waiting.begin()->second);
    waiting.erase(waiting.begin());
    completion(std::move(result));
    return true;
}

}  // namespace plenhall::testing
