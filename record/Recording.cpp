#include "record/Recording.h"

#include <algorithm>
#include <deque>
#include <system_error>
#include <utility>

namespace record {

namespace {

// The longest wait for frames before the stop and cancel flags are looked
// at again.
constexpr auto WaitSlice = std::chrono::milliseconds(10);

// The level reports, paced: an input that delivers its frames in blocks
// longer than a report (a sound server's 50 ms fragments) still gets one
// every 1/LevelReportsPerSecond s, each part of a block in turn.
class LevelPacer {
public:
    explicit LevelPacer(int rate)
        : m_partFrames(static_cast<size_t>(std::max(1, rate / LevelReportsPerSecond))) {}

    void Add(const float* stereo, size_t frames) {
        while (frames > 0) {
            const size_t count = std::min(frames, m_partFrames - m_frames);
            m_peak = std::max(m_peak, PeakOf(stereo, count * 2));
            m_frames += count;
            stereo += count * 2;
            frames -= count;
            if (m_frames == m_partFrames) {
                m_parts.push_back(m_peak);
                m_frames = 0;
                m_peak = 0;
            }
        }
    }

    // The report due now, if any. A backlog is never let grow: the meter
    // shows the input as it is, not a while ago.
    [[nodiscard]] std::optional<float> Due(std::chrono::steady_clock::time_point now) {
        if (m_parts.empty()) return std::nullopt;
        if (m_parts.size() <= MaxBacklog && now - m_last < MinGap) return std::nullopt;
        float peak = m_parts.front();
        m_parts.pop_front();
        while (m_parts.size() > MaxBacklog) {
            peak = std::max(peak, m_parts.front());
            m_parts.pop_front();
        }
        m_last = now;
        return peak;
    }

private:
    static constexpr size_t MaxBacklog = 2;
    // A little under a report's time: the loop looks every few milliseconds.
    static constexpr auto MinGap = std::chrono::milliseconds(800 / LevelReportsPerSecond);

    const size_t m_partFrames;
    size_t m_frames = 0;
    float m_peak = 0;
    std::deque<float> m_parts;
    std::chrono::steady_clock::time_point m_last;
};

}  // namespace

CaptureOpener OpenerFor(CaptureChoice choice) {
    return [choice = std::move(choice)](std::string* reason) {
        return OpenCaptureSource(choice, reason);
    };
}

Recording::Recording(CaptureOpener open, RecordingEvents events)
    : m_open(std::move(open)), m_handlers(std::move(events)) {}

Recording::~Recording() {
    Cancel();
    if (m_thread.joinable()) m_thread.join();
}

bool Recording::Start() {
    try {
        m_thread = std::thread(&Recording::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Recording::Arm(const TakeSettings& settings) {
    const std::lock_guard lock(m_mutex);
    m_arm = settings;
}

void Recording::Stop() { m_stop.store(true); }

void Recording::Cancel() { m_cancel.store(true); }

void Recording::Finish(RecordingResult result) {
    if (m_handlers.finished) m_handlers.finished(std::move(result));
}

void Recording::Run() {
    RecordingResult result;
    std::unique_ptr<CaptureSource> source = m_open(&result.reason);
    if (source == nullptr) {
        result.end = RecordingResult::End::NoInput;
        Finish(std::move(result));
        return;
    }
    const int rate = source->SampleRate();
    result.sampleRate = rate;
    if (m_handlers.opened) m_handlers.opened(rate);
    TakeRecorder recorder(rate);
    LevelPacer levels(rate);
    std::vector<float> frames;
    bool lost = false;
    bool stopped = false;
    while (!m_cancel.load() && !recorder.Done() && !lost) {
        if (m_stop.load()) {
            recorder.Stop();
            stopped = true;
            break;
        }
        source->Wait(WaitSlice);
        frames.clear();
        lost = !source->Read(&frames);
        // Armed after the read: frames fed after Arm returned are cut as
        // it says.
        {
            const std::lock_guard lock(m_mutex);
            if (m_arm) {
                recorder.Arm(*m_arm);
                m_arm.reset();
                if (recorder.Started() && m_handlers.started) m_handlers.started();
            }
        }
        const size_t count = frames.size() / 2;
        levels.Add(frames.data(), count);
        if (const std::optional<float> peak = levels.Due(std::chrono::steady_clock::now());
            peak && m_handlers.level)
            m_handlers.level(*peak);
        if (count == 0) continue;
        const bool wasStarted = recorder.Started();
        (void)recorder.Feed(frames.data(), count);
        if (!wasStarted && recorder.Started() && m_handlers.started) m_handlers.started();
    }
    source.reset();  // the input is let go before anyone hears the end
    if (m_cancel.load() || !recorder.Started()) {
        result.end = lost ? RecordingResult::End::Lost : RecordingResult::End::Cancelled;
        if (lost) result.reason = "the input went away";
        Finish(std::move(result));
        return;
    }
    if (stopped) {
        result.end = RecordingResult::End::Stopped;
    } else if (recorder.Done()) {
        result.end = RecordingResult::End::Whole;
    } else {
        // Half a take from a failing input is not kept.
        result.end = RecordingResult::End::Lost;
        result.reason = "the input went away";
        Finish(std::move(result));
        return;
    }
    result.thresholdFrame = recorder.ThresholdFrame();
    result.take = recorder.TakeAway();
    result.peak = PeakOf(result.take.data(), result.take.size());
    Finish(std::move(result));
}

}  // namespace record
