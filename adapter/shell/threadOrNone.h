#pragma once

#include <system_error>
#include <thread>
#include <utility>

// A thread running f(args...), or none (not joinable) where the system has no thread to give:
// each caller then does without it, rather than the adapter ending on std::system_error.
template <class F, class... Args> std::thread threadOrNone(F&& f, Args&&... args)
{
    try {
        return std::thread(std::forward<F>(f), std::forward<Args>(args)...);
    } catch (const std::system_error&) {
        return std::thread();
    }
}
