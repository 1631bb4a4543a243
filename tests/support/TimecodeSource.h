#pragma once

#include "net/ArtNetPacket.h"
#include "support/UdpTestSupport.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <thread>

namespace orvelo::test {

// A show controller: ArtTimeCode at the start of each frame, from a thread of its own, running
// from a frame of the day that the test may move or silence.
class TimecodeSource {
public:
    using Clock = std::chrono::steady_clock;

    TimecodeSource(std::uint16_t port, int fps) : port_(port), fps_(fps)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~TimecodeSource()
    {
        stop_ = true;
        thread_.join();
    }
    // From the next frame on, counting from `frame`.
    void rollFrom(long long frame) { nextOrigin_ = frame; }
    void silence(bool quiet) { quiet_ = quiet; }
    // The frame the timecode names now, with the fraction of it that has passed.
    double now() const
    {
        std::lock_guard lock(mutex_);
        return static_cast<double>(origin_) + std::chrono::duration<double>(Clock::now() - since_).count() * fps_;
    }

private:
    void run()
    {
        UdpPeer socket;
        const std::uint8_t type = fps_ == 30 ? 3 : 1;
        const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps_));
        long long frame = 0;
        for (auto tick = Clock::now(); !stop_; tick += period) {
            std::this_thread::sleep_until(tick);
            if (const long long origin = nextOrigin_.exchange(-1); origin >= 0) {
                std::lock_guard lock(mutex_);
                origin_ = origin;
                since_ = tick;
            }
            {
                std::lock_guard lock(mutex_);
                frame = origin_ + std::llround(std::chrono::duration<double>(tick - since_).count() * fps_);
            }
            if (quiet_)
                continue;
            const long long s = frame / fps_;
            socket.sendTo(port_, artnet::encodeTimeCode(
                                     static_cast<std::uint8_t>(s / 3600 % 24), static_cast<std::uint8_t>(s / 60 % 60),
                                     static_cast<std::uint8_t>(s % 60), static_cast<std::uint8_t>(frame % fps_), type));
        }
    }

    std::uint16_t port_;
    int fps_;
    mutable std::mutex mutex_;
    long long origin_ = 0;
    Clock::time_point since_ = Clock::now();
    std::atomic<long long> nextOrigin_{-1};
    std::atomic<bool> quiet_{true};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace orvelo::test
