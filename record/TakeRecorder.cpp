#include "record/TakeRecorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace record {

namespace {

size_t FramesOf(double seconds, int rate) {
    return static_cast<size_t>(std::llround(std::max(0.0, seconds) * rate));
}

}  // namespace

TakeRecorder::TakeRecorder(int sampleRate)
    : m_rate(sampleRate),
      m_level(static_cast<float>(std::pow(10.0, TakeSettings{}.thresholdDbfs / 20.0))),
      m_historyFrames(FramesOf(MaxPreRollMs / 1000.0, sampleRate)),
      m_quietNeeded(FramesOf(QuietBeforeStartMs / 1000.0, sampleRate)) {}

void TakeRecorder::Arm(const TakeSettings& settings) {
    m_settings = settings;
    m_settings.preRollMs = std::clamp(settings.preRollMs, 0, MaxPreRollMs);
    const auto level = static_cast<float>(std::pow(10.0, settings.thresholdDbfs / 20.0));
    if (level != m_level) m_quiet = 0;  // quiet at another level says nothing
    m_level = level;
    m_historyFrames = FramesOf(m_settings.preRollMs / 1000.0, m_rate);
    const size_t kept = std::min(m_history.size() / 2, m_historyFrames);
    m_history.erase(m_history.begin(), m_history.end() - static_cast<ptrdiff_t>(kept * 2));
    m_armed = true;
    m_started = m_done = false;
    m_take.clear();
    m_thresholdFrame = 0;
    if (!settings.waitForThreshold) {
        m_history.clear();
        Begin(0);
    }
}

void TakeRecorder::Begin(size_t keptBefore) {
    m_started = true;
    m_endFrames = keptBefore + FramesOf(m_settings.seconds, m_rate);
    m_take.reserve(m_endFrames * 2);
    m_take.assign(m_history.end() - static_cast<ptrdiff_t>(keptBefore * 2), m_history.end());
    m_history.clear();
    m_thresholdFrame = m_settings.waitForThreshold ? keptBefore : 0;
    if (m_take.size() / 2 >= m_endFrames) m_done = true;
}

size_t TakeRecorder::Feed(const float* frames, size_t frameCount) {
    if (m_done) return 0;
    size_t before = 0;
    if (!m_started) {
        size_t first = frameCount;
        // The quiet is counted armed or not: an input quiet before arming
        // starts the take at the next sound.
        for (size_t i = 0; i < frameCount; ++i) {
            const bool loud =
                std::fabs(frames[i * 2]) >= m_level || std::fabs(frames[i * 2 + 1]) >= m_level;
            if (!loud) {
                ++m_quiet;
            } else if (m_armed && m_quiet >= m_quietNeeded) {
                first = i;
                break;
            } else {
                m_quiet = 0;
            }
        }
        m_history.insert(m_history.end(), frames, frames + first * 2);
        // Trimmed now and then rather than every call: the front is cut
        // once it holds twice what is kept.
        if (m_history.size() > m_historyFrames * 4)
            m_history.erase(m_history.begin(),
                            m_history.end() - static_cast<ptrdiff_t>(m_historyFrames * 2));
        before = first;
        if (first == frameCount) return before;
        Begin(std::min(m_history.size() / 2, m_historyFrames));
        frames += first * 2;
        frameCount -= first;
    }
    const size_t room = m_endFrames - m_take.size() / 2;
    const size_t count = std::min(room, frameCount);
    m_take.insert(m_take.end(), frames, frames + count * 2);
    if (count == room) m_done = true;
    return before;
}

void TakeRecorder::Stop() {
    if (m_started) m_done = true;
    m_armed = m_started;
}

float PeakOf(const float* samples, size_t count) {
    float peak = 0;
    for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

double ToDbfs(float level) {
    if (level <= 0) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(static_cast<double>(level));
}

}  // namespace record
