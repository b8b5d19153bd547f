#pragma once
// Runs a clean-up however a scope is left: a log that cannot be written throws out of any handler, and
// flags, depths and half-done steps must still be put right.
#include <utility>

namespace tarnwick {

template <class Fn> class ScopeExit {
  public:
    explicit ScopeExit(Fn fn) : fn_(std::move(fn)) {}
    ~ScopeExit() {
        if (armed_) fn_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    // The step went through: nothing to put right.
    void Dismiss() { armed_ = false; }

  private:
    Fn fn_;
    bool armed_ = true;
};

// Sets value for the length of the scope and puts the old one back afterwards.
template <class T> [[nodiscard]] auto ScopedValue(T& target, T value) {
    T old = std::exchange(target, std::move(value));
    return ScopeExit([&target, old = std::move(old)]() mutable { target = std::move(old); });
}

} // namespace tarnwick
