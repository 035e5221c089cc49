#include "record/Recording.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace record {

namespace {

// The longest wait for frames before the stop and cancel flags are looked
// at again.
constexpr auto WaitSlice = std::chrono::milliseconds(10);

}  // namespace

CaptureOpener OpenerFor(CaptureChoice choice) {
    return [choice = std::move(choice)](std::string* reason) {
        return OpenCaptureSource(choice, reason);
    };
}

Recording::Recording(CaptureOpener open, RecordingEvents events)
    : m_open(std::move(open)), m_events(std::move(events)) {}

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
    if (m_events.finished) m_events.finished(std::move(result));
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
    if (m_events.opened) m_events.opened(rate);
    TakeRecorder recorder(rate);
    const size_t reportFrames = static_cast<size_t>(rate / LevelReportsPerSecond);
    size_t sinceReport = 0;
    float reportPeak = 0;
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
                if (recorder.Started() && m_events.started) m_events.started();
            }
        }
        const size_t count = frames.size() / 2;
        if (count == 0) continue;
        const bool wasStarted = recorder.Started();
        (void)recorder.Feed(frames.data(), count);
        if (!wasStarted && recorder.Started() && m_events.started) m_events.started();
        reportPeak = std::max(reportPeak, PeakOf(frames.data(), frames.size()));
        sinceReport += count;
        if (sinceReport >= reportFrames) {
            if (m_events.level) m_events.level(reportPeak);
            sinceReport = 0;
            reportPeak = 0;
        }
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
