// Time stamps along the way a line event takes to its handler, for the
// latency benchmark: each stage notes when it was last passed. Off unless
// a benchmark switches it on, and then one relaxed load per stage; a
// program that never switches it on pays nothing more. Plain C++ and
// header-only, so that the Qt-free device layer can stamp too.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace pathstamps {

enum Stage : int {
    WaitReturned,   // the event wait saw the line readable
    HandedOver,     // the event thread is about to wake the main thread
    MainWoke,       // the main thread took the batch up
    Handled,        // the batch handling returned on the main thread
    ThreadResumed,  // the event thread is running again after the hand-over
    StageCount
};

inline std::atomic<bool> enabled{false};
inline std::array<std::atomic<std::int64_t>, StageCount> last{};

inline std::int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline void Stamp(Stage stage)
{
    if (enabled.load(std::memory_order_relaxed))
        last[stage].store(Now(), std::memory_order_relaxed);
}

} // namespace pathstamps
