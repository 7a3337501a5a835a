// Observable values: a will-change signal and published properties whose subscribers receive the
// current value on subscription and every assigned value after it.
//
// Thread: main thread only. Subscribers run synchronously inside the assignment, before the new
// value is stored. A Subscription cancels itself when destroyed and may outlive its publisher.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace plenhall {

class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto c = std::exchange(cancel_, nullptr)) c();
    }

  private:
    std::function<void()> cancel_;
};

// A list of callbacks; delivery tolerates callbacks that subscribe or cancel while it runs.
template <class... Args>
class Subscribers {
  public:
    using Callback = std::function<void(const Args&...)>;

    Subscription add(Callback callback) {
        auto id = nextId_++;
        (*callbacks_)[id] = std::make_shared<Callback>(std::move(callback));
        return Subscription([weak = std::weak_ptr<Map>(callbacks_), id] {
            if (auto map = weak.lock()) map->erase(id);
        });
    }

    void send(const Args&... args) const {
        std::vector<std::pair<std::uint64_t, std::shared_ptr<Callback>>> snapshot(
            callbacks_->begin(), callbacks_->end());
        for (auto& [id, callback] : snapshot) {
            if (callbacks_->count(id)) (*callback)(args...);
        }
    }

  private:
    using Map = std::map<std::uint64_t, std::shared_ptr<Callback>>;
    std::shared_ptr<Map> callbacks_ = std::make_shared<Map>();
    std::uint64_t nextId_ = 0;
};

using WillChangeSignal = Subscribers<>;

enum class Delivery {
    currentValueFirst,  // the current value at once, then every later assignment
    laterValuesOnly,    // only assignments made after subscribing
};

template <class T>
class Published {
  public:
    explicit Published(T initial) : value_(std::move(initial)) {}

    const T& get() const { return value_; }

    // Announces `value` to the object's will-change signal, then to this property's subscribers,
    // and only then stores it, so a subscriber that reads the property sees the previous value.
    void assign(T value, const WillChangeSignal& objectWillChange) {
        objectWillChange.send();
        subscribers_.send(value);
        value_ = std::move(value);
    }

    Subscription subscribe(std::function<void(const T&)> callback,
                           Delivery delivery = Delivery::currentValueFirst) {
        if (delivery == Delivery::currentValueFirst) callback(value_);
        return subscribers_.add(std::move(callback));
    }

  private:
    T value_;
    Subscribers<T> subscribers_;
};

}  // namespace plenhall
