// Where a long tree build tests the stop flag and lets the window system work: the flag on
// every call, the clock every 256 calls, and the yield at most every 30 ms, so that a build
// of 100,000 rows stays quick and its window stays responsive.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>

namespace qm {

class StopPoint {
public:
    void setYield(std::function<void()> yield) { yield_ = std::move(yield); }
    void setStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

    // At the start of a build.
    void restart() {
        sinceYield_ = 0;
        lastYield_ = std::chrono::steady_clock::now();
    }
    bool stopRequested() const { return stop_ && stop_->load(); }
    // Whether the build is to end; may yield first.
    bool stopped() {
        if (stopRequested()) return true;
        if (yield_ && ++sinceYield_ >= kCallsPerClockLook) {
            sinceYield_ = 0;
            const auto now = std::chrono::steady_clock::now();
            if (now - lastYield_ >= kYieldInterval) {
                lastYield_ = now;
                yield_();
            }
        }
        return stopRequested();
    }

private:
    static constexpr uint32_t kCallsPerClockLook = 256;
    static constexpr auto kYieldInterval = std::chrono::milliseconds(30);
    std::function<void()> yield_;
    const std::atomic<bool>* stop_ = nullptr;
    uint32_t sinceYield_ = 0;
    std::chrono::steady_clock::time_point lastYield_;
};

}  // namespace qm
