#pragma once

// Shared by the engine's test programs: a listener that records stop
// reports, deadline waits and sound-file fixtures.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/SampleConversion.h"
#include "engine/SoundEngine.h"

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

// Stands in for the main window: records the engine's stop reports.
class RecordingListener final : public SoundEngine::Listener {
public:
    static constexpr int Slots = 16;

    void SlotStopped(int slot) override {
        if (slot < 0 || slot >= Slots) {
            ++m_strays;
            return;
        }
        ++m_inside;
        if (const int ms = m_stopDelayMs.load(); ms > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }
        m_lastStop[Index(slot)].store(Clock::now().time_since_epoch().count());
        ++m_stops[Index(slot)];
        --m_inside;
    }

    [[nodiscard]] int Stops(int slot) const { return m_stops[Index(slot)].load(); }
    [[nodiscard]] Clock::time_point LastStop(int slot) const {
        return Clock::time_point(Clock::duration(m_lastStop[Index(slot)].load()));
    }
    // Reports for no slot of the engine.
    [[nodiscard]] int StrayStops() const { return m_strays.load(); }
    // Reports being delivered right now.
    [[nodiscard]] int Inside() const { return m_inside.load(); }
    // Makes every report take this long, which widens the window in which
    // a report that was not waited for would still be running.
    void SetStopDelay(std::chrono::milliseconds delay) {
        m_stopDelayMs.store(static_cast<int>(delay.count()));
    }

private:
    static size_t Index(int slot) { return static_cast<size_t>(slot); }

    std::array<std::atomic<int>, Slots> m_stops{};
    std::array<std::atomic<Clock::rep>, Slots> m_lastStop{};
    std::atomic<int> m_inside{0};
    std::atomic<int> m_strays{0};
    std::atomic<int> m_stopDelayMs{0};
};

// A 16-bit WAV of distinct, recognisable samples (a ramp per channel)
// written into dir; returns its path.
inline std::string WriteRampWav(const testsupport::TempDir& dir, const std::string& name,
                                int channels, uint32_t rate, size_t frames) {
    const std::string path = dir.file(name);
    testsupport::WriteFile(path,
                           testsupport::MakeWav(testsupport::MakeRamp(channels, 16, rate, frames)));
    return path;
}

// A sound file read as a row is made of it (its last 20 ms faded); null
// when the reader refuses it.
inline std::unique_ptr<AudioData> ReadRow(const std::string& path) {
    auto row = std::make_unique<AudioData>();
    if (ReadAudioFile(path.c_str(), row.get(), HostLittleEndian) != ReadOk) return nullptr;
    if (!FadeVoiceTail(row.get())) return nullptr;
    return row;
}

// Arms the slot with the row of the file at path.
inline bool ArmFile(SoundEngine& engine, int slot, const std::string& path) {
    const std::unique_ptr<AudioData> row = ReadRow(path);
    return row != nullptr && engine.ArmSlotVoice(slot, *row);
}

}  // namespace enginetest
