#pragma once

// A take cut from a stream of stereo frames: once armed it waits for the
// input to reach a threshold (or starts at once), keeps the pre-roll before
// that frame so the attack is whole, and ends a set time after it or when
// stopped. Pure bookkeeping: the frames come from whatever thread reads the
// input.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace record {

// The longest pre-roll a take may keep, in milliseconds.
inline constexpr int MaxPreRollMs = 500;
// How long the input must stay below the threshold before reaching it
// starts a take: a sound already going on when the take is armed (or the
// input connected) is not its start; the next one is. Long enough that no
// zero crossing of a held tone passes for quiet.
inline constexpr int QuietBeforeStartMs = 10;

struct TakeSettings {
    // Wait for a sample (either channel) of at least thresholdDbfs after
    // QuietBeforeStartMs below it; else the take starts at the first frame
    // after arming, with no pre-roll.
    bool waitForThreshold = true;
    double thresholdDbfs = -40.0;
    int preRollMs = 20;    // 0 ... MaxPreRollMs
    double seconds = 1.5;  // from the threshold's frame (or the start) to the end
};

class TakeRecorder {
public:
    explicit TakeRecorder(int sampleRate);

    // From the next frame fed, the take is cut as settings say.
    void Arm(const TakeSettings& settings);
    // Feeds frames (interleaved stereo); those past the take's end are not
    // kept. Returns the frames of this call that came before the take
    // began (all of them while it waits), for a caller that times the start.
    size_t Feed(const float* frames, size_t frameCount);
    // The musician's stop: a started take ends here; an unstarted one stays
    // empty.
    void Stop();

    [[nodiscard]] bool Armed() const { return m_armed; }
    [[nodiscard]] bool Started() const { return m_started; }
    [[nodiscard]] bool Done() const { return m_done; }
    [[nodiscard]] int SampleRate() const { return m_rate; }
    // The take, interleaved stereo.
    [[nodiscard]] const std::vector<float>& Take() const { return m_take; }
    [[nodiscard]] std::vector<float> TakeAway() { return std::move(m_take); }
    [[nodiscard]] size_t TakeFrames() const { return m_take.size() / 2; }
    // The frame of the take that reached the threshold (the pre-roll's
    // length, or less when the input had not run that long); 0 without a
    // threshold.
    [[nodiscard]] size_t ThresholdFrame() const { return m_thresholdFrame; }

private:
    void Begin(size_t keptBefore);

    int m_rate;
    TakeSettings m_settings;
    float m_level;  // the threshold as a sample value
    bool m_armed = false;
    bool m_started = false;
    bool m_done = false;
    std::vector<float> m_history;  // the latest frames before the start
    size_t m_historyFrames = 0;    // how many of them a pre-roll may keep
    size_t m_quietNeeded;          // QuietBeforeStartMs in frames
    size_t m_quiet = 0;            // frames below the threshold up to now
    std::vector<float> m_take;
    size_t m_endFrames = 0;  // the take's length once started
    size_t m_thresholdFrame = 0;
};

// The largest absolute sample of interleaved frames, 0 for none.
[[nodiscard]] float PeakOf(const float* samples, size_t count);
// A sample level in dBFS; -inf for 0.
[[nodiscard]] double ToDbfs(float level);

}  // namespace record
