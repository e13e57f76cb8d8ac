#pragma once
// Runs a function when the scope is left, by any path: flags and visible progress are put
// back even when a toolkit error ends the handler early.
#include <utility>

template <class F>
class OnExit {
public:
    explicit OnExit(F f) : f_(std::move(f)) {}
    ~OnExit() { f_(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

private:
    F f_;
};
