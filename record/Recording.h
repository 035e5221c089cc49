#pragma once

// One recording on a thread of its own: opens the input there, meters it
// from the first frame, and once armed cuts a take (TakeRecorder). The
// events run on that thread; a window turns them into queued signals.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "record/CaptureSource.h"
#include "record/TakeRecorder.h"

namespace record {

// How often the level is reported, at least, while frames come in.
inline constexpr int LevelReportsPerSecond = 40;

struct RecordingResult {
    enum class End {
        Whole,      // the take ran its full length
        Stopped,    // the musician stopped a started take
        Cancelled,  // stopped or closed before the take began: no take
        NoInput,    // the input could not be opened (reason says why)
        Lost,       // the input went away (reason says which): no take
    };
    End end = End::Cancelled;
    std::string reason;
    int sampleRate = 0;
    std::vector<float> take;  // interleaved stereo
    size_t thresholdFrame = 0;
    float peak = 0;
};

struct RecordingEvents {
    // The input is open at this rate.
    std::function<void(int sampleRate)> opened;
    // The largest absolute sample since the last report (0 ... 1 and above).
    std::function<void(float peak)> level;
    // The take began at the threshold (or at once).
    std::function<void()> started;
    // Runs once, last; the recording does nothing after it.
    std::function<void(RecordingResult result)> finished;
};

// Opens the input for a recording: the library's OpenCaptureSource unless a
// caller (a test, a benchmark) gives another.
using CaptureOpener = std::function<std::unique_ptr<CaptureSource>(std::string* reason)>;

class Recording {
public:
    Recording(CaptureOpener open, RecordingEvents events);
    // Ends the recording as Cancel does and waits for its thread.
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Starts the thread: the input is opened and metered. False when no
    // thread could be made.
    [[nodiscard]] bool Start();
    // Cuts a take as settings say from the next frames read.
    void Arm(const TakeSettings& settings);
    // The musician's stop: a started take ends with what it holds; before
    // that, the recording ends with no take.
    void Stop();
    // Ends the recording with no take, whatever it holds.
    void Cancel();

private:
    void Run();
    void Finish(RecordingResult result);

    const CaptureOpener m_open;
    const RecordingEvents m_handlers;
    std::mutex m_mutex;  // guards m_arm
    std::optional<TakeSettings> m_arm;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};

// The opener for a choice of input.
[[nodiscard]] CaptureOpener OpenerFor(CaptureChoice choice);

}  // namespace record
