#pragma once

// Shared by the engine's test programs: a fake window for the watchers to
// call, deadline waits and sound-file fixtures.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "SoundFileWriter.h"
#include "engine/SlotPlaybackView.h"

namespace enginetest {

using Clock = std::chrono::steady_clock;

// Polls cond every millisecond until it holds or the deadline passes.
template <typename Cond>
bool WaitFor(Cond cond, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = Clock::now() + timeout;
    while (!cond()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Stands in for the main window: one play-button image per slot, either the
// stopped or the playing one, plus a record of the watchers' calls.
class FakePlaybackView final : public SlotPlaybackView {
public:
    static constexpr int Slots = 16;

    FakePlaybackView() {
        for (auto& image : m_images) image.store(&m_stoppedImage);
    }

    [[nodiscard]] const void* GetPlayButtonImage(int slot) const override {
        return InRange(slot) ? m_images[Index(slot)].load() : nullptr;
    }
    [[nodiscard]] const void* GetStoppedPlayImage() const override { return &m_stoppedImage; }

    void ShowSlotStopped(int slot) override {
        if (!InRange(slot)) return;
        const int inside = ++m_inside;
        int seen = m_maxInside.load();
        while (inside > seen && !m_maxInside.compare_exchange_weak(seen, inside)) {
        }
        if (const int ms = m_stopDelayMs.load(); ms > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
        m_images[Index(slot)].store(&m_stoppedImage);
        m_lastStop[Index(slot)].store(Clock::now().time_since_epoch().count());
        ++m_stops[Index(slot)];
        --m_inside;
    }

    // What the window does after a successful PlaySlot.
    void ShowPlaying(int slot) { m_images[Index(slot)].store(&m_playingImage); }
    [[nodiscard]] bool ShowsStopped(int slot) const {
        return m_images[Index(slot)].load() == &m_stoppedImage;
    }
    [[nodiscard]] int Stops(int slot) const { return m_stops[Index(slot)].load(); }
    [[nodiscard]] Clock::time_point LastStop(int slot) const {
        return Clock::time_point(Clock::duration(m_lastStop[Index(slot)].load()));
    }
    // Calls into ShowSlotStopped running now, and the most ever at once.
    [[nodiscard]] int Inside() const { return m_inside.load(); }
    [[nodiscard]] int MaxInside() const { return m_maxInside.load(); }
    // Makes every ShowSlotStopped take this long, which widens the window
    // in which a watcher that was not waited for would still be inside.
    void SetStopDelay(std::chrono::milliseconds delay) {
        m_stopDelayMs.store(static_cast<int>(delay.count()));
    }

private:
    static bool InRange(int slot) { return slot >= 0 && slot < Slots; }
    static size_t Index(int slot) { return static_cast<size_t>(slot); }

    const char m_stoppedImage = 's';
    const char m_playingImage = 'p';
    std::array<std::atomic<const void*>, Slots> m_images{};
    std::array<std::atomic<int>, Slots> m_stops{};
    std::array<std::atomic<Clock::rep>, Slots> m_lastStop{};
    std::atomic<int> m_inside{0};
    std::atomic<int> m_maxInside{0};
    std::atomic<int> m_stopDelayMs{0};
};

// A 16-bit WAV of distinct, recognisable samples (a ramp per channel)
// written into dir; returns its path.
inline std::string WriteRampWav(const testsupport::TempDir& dir, const std::string& name,
                                int channels, uint32_t rate, size_t frames) {
    const std::string path = dir.file(name);
    testsupport::WriteFile(path, testsupport::MakeWav(testsupport::MakeRamp(channels, 16, rate,
                                                                            frames)));
    return path;
}

}  // namespace enginetest
