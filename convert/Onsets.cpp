#include "convert/Onsets.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "convert/PeakOverview.h"
#include "convert/SoundSource.h"

namespace {

// Analysis frames of 1024 samples, half overlapping: about 23 ms each at
// 44.1 kHz. The flux finds which frame holds a hit; the attack is then
// found sample by sample.
constexpr int kFrameSize = 1024;
constexpr int kHop = kFrameSize / 2;
constexpr double kCutOffRatio = 0.5;
constexpr int kTopHz = 16000;
// Magnitudes are compressed as log(1 + kCompression * magnitude), so a
// hit 30 dB down still stands out and noise far below it does not.
constexpr float kCompression = 300.0f;
// The local level is the median of the flux this many frames either side
// (about 0.2 s at 44.1 kHz).
constexpr int kLevelFrames = 8;
// ... or, when higher, the mean of the flux of this many frames before.
constexpr int kRecentFrames = 4;
// At the default sensitivity a hit's flux must exceed its local level by
// half that level plus this margin (weighted log-magnitude rises); each 25
// steps of sensitivity divide or multiply the margin by ten, each 50 the
// half.
constexpr float kDefaultMargin = 1.0f;
constexpr float kDefaultRatio = 0.5f;
// -40 dBFS: how far a hit's first sample rises above the level before it.
constexpr float kAttackRise = 0.01f;
// The start lies this long before that first sample, then moves to a zero
// crossing within kZeroCrossingSeconds, so it stays at most 4 ms before it.
constexpr double kLeadSeconds = 0.003;
constexpr double kZeroCrossingSeconds = 0.001;
// The level before a hit: the largest magnitude over this time before it.
constexpr double kBeforeSeconds = 0.02;

struct FftConfigFree {
    void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};

float MarginFor(int sensitivity) {
    const int s = std::clamp(sensitivity, MinSensitivity, MaxSensitivity);
    return kDefaultMargin * std::pow(10.0f, static_cast<float>(DefaultSensitivity - s) / 25.0f);
}

// The part of the local level a hit must also rise above: a noisy tail's
// flux wavers in proportion to its level.
float RatioFor(int sensitivity) {
    const int s = std::clamp(sensitivity, MinSensitivity, MaxSensitivity);
    return kDefaultRatio * std::pow(10.0f, static_cast<float>(DefaultSensitivity - s) / 50.0f);
}

int64_t GapFrames(int rate) {
    return std::max<int64_t>(1, static_cast<int64_t>(MinHitGapSeconds * rate));
}

// What the flux is computed from, set up once per analysis: the window, the
// FFT and the bin weights, and the spectrum of the frame before.
class FluxFrames {
public:
    explicit FluxFrames(int rate);
    [[nodiscard]] bool Ready() const { return m_fft != nullptr; }
    // The flux of the next frame: kFrameSize samples, those before the
    // source's start and past its end 0. Frames must come in order, each once.
    [[nodiscard]] float Next(const float* frame);

private:
    static constexpr size_t kBins = kFrameSize / 2 + 1;
    void Transform(const float* frame);
    [[nodiscard]] float Rise() const;
    [[nodiscard]] static bool CutOff(const float* frame);

    std::unique_ptr<kiss_fftr_state, FftConfigFree> m_fft;
    std::vector<float> m_window;
    float m_scale = 0.0f;
    std::vector<float> m_weight;
    size_t m_usedBins;
    std::vector<float> m_frame;
    std::vector<kiss_fft_cpx> m_spectrum;
    std::vector<float> m_previous;
    std::vector<float> m_current;
};

FluxFrames::FluxFrames(int rate)
    : m_fft(kiss_fftr_alloc(kFrameSize, 0, nullptr, nullptr)),
      m_window(kFrameSize),
      m_weight(kBins),
      // Up to 16 kHz: above it there is little of a hit and much of its cost.
      m_usedBins(
          std::min<size_t>(kBins, static_cast<size_t>(int64_t{kTopHz} * kFrameSize / rate) + 2)),
      m_frame(kFrameSize),
      m_spectrum(kBins),
      m_previous(kBins, 0.0f),
      m_current(kBins) {
    float windowSum = 0.0f;
    for (size_t i = 0; i < m_window.size(); ++i) {
        m_window[i] = 0.5f - 0.5f * std::cos(6.2831853f * static_cast<float>(i) / kFrameSize);
        windowSum += m_window[i];
    }
    // Full scale sine -> magnitude 1, before compression.
    m_scale = 2.0f / windowSum;
    // Rises weigh 1/sqrt(bin): a kick's few low bins count about as much as
    // the hundreds a hat spreads over.
    for (size_t k = 1; k < kBins; ++k) m_weight[k] = 1.0f / std::sqrt(static_cast<float>(k));
}

float FluxFrames::Next(const float* frame) {
    Transform(frame);
    const float rise = Rise();
    m_previous.swap(m_current);
    return CutOff(frame) ? 0.0f : rise;
}

// The compressed magnitudes of the windowed frame.
void FluxFrames::Transform(const float* frame) {
    for (size_t i = 0; i < m_frame.size(); ++i) m_frame[i] = frame[i] * m_window[i];
    kiss_fftr(m_fft.get(), m_frame.data(), m_spectrum.data());
    for (size_t k = 0; k < m_usedBins; ++k) {
        const float magnitude =
            std::sqrt(m_spectrum[k].r * m_spectrum[k].r + m_spectrum[k].i * m_spectrum[k].i) *
            m_scale;
        m_current[k] = std::log(1.0f + kCompression * magnitude);
    }
}

// Each bin against the loudest of its neighbours a frame ago: the random ups
// and downs of a noisy tail stay under that, a hit's broad rise does not.
float FluxFrames::Rise() const {
    float rise = 0.0f;
    for (size_t k = 1; k + 1 < m_usedBins; ++k) {
        const float before = std::max({m_previous[k - 1], m_previous[k], m_previous[k + 1]});
        rise += m_weight[k] * std::max(0.0f, m_current[k] - before);
    }
    return rise;
}

// A sound cut off short splatters over the spectrum as a hit does, but its
// new half frame holds less power than the half before; a hit never does.
bool FluxFrames::CutOff(const float* frame) {
    double newPower = 0.0, oldPower = 0.0;
    for (size_t i = 0; i < kHop; ++i) {
        oldPower += double{frame[i]} * frame[i];
        newPower += double{frame[i + kHop]} * frame[i + kHop];
    }
    return newPower < kCutOffRatio * oldPower;
}

// The mono mix of one frame of channels (1 or more): channels 1 and 2
// summed, or their difference, clipped to full scale; NaN is silence.
float MonoSample(const float* frame, int channels, float sign, double* sumPower,
                 double* differencePower) {
    const float first = std::isnan(frame[0]) ? 0.0f : frame[0];
    const float second = channels == 1 ? first : (std::isnan(frame[1]) ? 0.0f : frame[1]);
    const float sum = 0.5f * (first + second);
    const float difference = 0.5f * (first - second);
    if (sumPower != nullptr) {
        *sumPower += double{sum} * sum;
        *differencePower += double{difference} * difference;
    }
    return std::clamp(sign > 0 ? sum : difference, -1.0f, 1.0f);
}

// The local level of each frame's flux: the median around it or, when
// higher, the mean just before it.
std::vector<float> LocalLevels(const std::vector<float>& flux) {
    const auto frames = static_cast<int64_t>(flux.size());
    std::vector<float> level(flux.size());
    std::vector<float> around;
    for (int64_t f = 0; f < frames; ++f) {
        const int64_t lo = std::max<int64_t>(0, f - kLevelFrames);
        const int64_t hi = std::min<int64_t>(frames, f + kLevelFrames + 1);
        around.assign(flux.begin() + lo, flux.begin() + hi);
        const auto middle = around.begin() + static_cast<int64_t>(around.size() / 2);
        std::nth_element(around.begin(), middle, around.end());
        // Inside a noisy sound the flux wavers around the mean of the
        // frames just before, which the median of a sparse loop misses.
        float recent = 0.0f;
        for (int64_t g = std::max<int64_t>(0, f - kRecentFrames); g < f; ++g)
            recent += flux[static_cast<size_t>(g)] / kRecentFrames;
        level[static_cast<size_t>(f)] = std::max(*middle, recent);
    }
    return level;
}

// The samples of the mono mix read for one hit: data holds frames from
// `from` on; total is the source's length.
struct SampleSpan {
    const float* data = nullptr;
    int64_t from = 0;
    int64_t size = 0;
    int64_t total = 0;
    float operator[](int64_t i) const {
        assert(i >= from && i < from + size);
        return data[i - from];
    }
};

// On the samples themselves, and failing that on their first difference: a
// soft hat on the loud tail of a kick rises only there.
float Magnitude(const SampleSpan& samples, int64_t i, bool difference) {
    const float v = samples[i];
    if (!difference) return std::fabs(v);
    return i > 0 ? 0.5f * std::fabs(v - samples[i - 1]) : 0.0f;
}

// Where a hit is looked for: from..to in blocks of a millisecond, with the
// level before it taken over beforeBlocks blocks.
struct AttackRange {
    int64_t from = 0;
    int64_t to = 0;
    int64_t block = 1;
    int64_t beforeBlocks = 1;
    [[nodiscard]] int64_t Blocks() const { return (to - from + block - 1) / block; }
};

// Block peaks from the level before the range to past its end, once per hit
// and per measure (samples, differences): block k starts at from + k * block.
class BlockPeaks {
public:
    BlockPeaks(const SampleSpan& samples, const AttackRange& range)
        : m_first(-range.beforeBlocks), m_last(range.Blocks() + 4) {
        const int64_t total = samples.total;
        for (const bool difference : {false, true}) {
            std::vector<float>& peak = m_peaks[difference ? 1 : 0];
            peak.assign(static_cast<size_t>(m_last - m_first), 0.0f);
            for (int64_t k = m_first; k < m_last; ++k) {
                const int64_t a = std::max<int64_t>(0, range.from + k * range.block);
                const int64_t b = std::min(total, range.from + (k + 1) * range.block);
                float p = 0.0f;
                for (int64_t i = a; i < b; ++i) p = std::max(p, Magnitude(samples, i, difference));
                peak[static_cast<size_t>(k - m_first)] = p;
            }
        }
    }

    // The largest peak of blocks k0 .. k1 - 1.
    [[nodiscard]] float Over(bool difference, int64_t k0, int64_t k1) const {
        const std::vector<float>& peak = m_peaks[difference ? 1 : 0];
        float p = 0.0f;
        for (int64_t k = std::max(k0, m_first); k < std::min(k1, m_last); ++k)
            p = std::max(p, peak[static_cast<size_t>(k - m_first)]);
        return p;
    }

private:
    int64_t m_first;
    int64_t m_last;
    std::vector<float> m_peaks[2];
};

// The first sample of the first block that rises 40 dB below full scale over
// the level before it and goes on to at least half the way to the loudest
// part (a lone crackle of noise is not a hit); -1 when none does.
int64_t FirstRisingSample(const SampleSpan& samples, const AttackRange& range) {
    const int64_t total = samples.total;
    const BlockPeaks peaks(samples, range);
    const int64_t blocks = range.Blocks();
    for (const bool difference : {false, true}) {
        const float loudest = peaks.Over(difference, 0, blocks);
        for (int64_t k = 0; k < blocks; ++k) {
            const float before = peaks.Over(difference, k - range.beforeBlocks, k);
            const float threshold = before + kAttackRise;
            if (peaks.Over(difference, k, k + 1) < threshold) continue;
            if (peaks.Over(difference, k, k + 4) < before + 0.5f * (loudest - before)) continue;
            const int64_t b = range.from + k * range.block;
            for (int64_t i = b; i < std::min(b + range.block, total); ++i)
                if (Magnitude(samples, i, difference) >= threshold) return i;
        }
    }
    return -1;
}

// A soft hit under a loud tail: where the power over the next 5 ms rises
// against the power over the 10 ms before, from sums of squares kept once
// for the range. Falls back to the analysis frame's own start.
int64_t PowerRiseStart(const SampleSpan& samples, const AttackRange& range, int64_t frameStart) {
    const int64_t total = samples.total;
    const int64_t from = range.from;
    const int64_t to = range.to;
    const int64_t after = 5 * range.block;
    const int64_t beforeSpan = range.beforeBlocks * range.block / 2;
    const int64_t lo = std::max<int64_t>(0, from - beforeSpan);
    const int64_t hi = std::min(total, to + after);
    std::vector<double> sums(static_cast<size_t>(hi - lo + 1), 0.0);
    for (int64_t i = lo; i < hi; ++i) {
        const double v = samples[i];
        sums[static_cast<size_t>(i - lo + 1)] = sums[static_cast<size_t>(i - lo)] + v * v;
    }
    auto power = [&](int64_t a, int64_t b) {
        a = std::clamp(a, lo, hi);
        b = std::clamp(b, lo, hi);
        return b > a ? (sums[static_cast<size_t>(b - lo)] - sums[static_cast<size_t>(a - lo)]) /
                           static_cast<double>(b - a)
                     : 0.0;
    };
    // The rise is taken where the ratio first reaches half its largest value
    // in decibels: a fading tail before the hit would otherwise pull the
    // largest ratio past the attack.
    const int64_t step = range.block / 4 + 1;
    std::vector<double> ratios;
    double best = 1.0;
    for (int64_t b = from; b < to; b += step) {
        ratios.push_back(power(b, b + after) / (power(b - beforeSpan, b) + 1e-12));
        best = std::max(best, ratios.back());
    }
    for (size_t i = 0; i < ratios.size(); ++i)
        if (ratios[i] >= std::sqrt(best)) return from + static_cast<int64_t>(i) * step;
    return std::clamp<int64_t>(frameStart, from, to - 1);
}

// The nearest zero crossing within reach of aim, never after the attack nor
// at or before the hit ahead; aim itself when there is none.
int64_t NearestZeroCrossing(const SampleSpan& samples, int64_t aim, int64_t reach, int64_t attack,
                            int64_t notBefore) {
    const int64_t total = samples.total;
    int64_t best = aim;
    int64_t bestDistance = reach + 1;
    for (int64_t i = std::max(notBefore + 1, aim - reach); i <= std::min(aim + reach, attack);
         ++i) {
        if (i <= 0 || i >= total) continue;
        const float a = samples[i - 1];
        const float b = samples[i];
        if ((a <= 0.0f && b >= 0.0f) || (a >= 0.0f && b <= 0.0f)) {
            const int64_t distance = std::abs(i - aim);
            if (distance < bestDistance) {
                best = i;
                bestDistance = distance;
            }
        }
    }
    return best;
}

// Where the attack of a hit in analysis frame `frame` is looked for: the new
// half of the frame and the half before it, where the flux saw the hit
// begin, never at or before notBefore. Empty when nothing is left there.
AttackRange AttackRangeOf(int64_t frame, int64_t notBefore, int rate, int64_t total) {
    AttackRange range;
    range.from = std::max<int64_t>(notBefore, frame * kHop - kFrameSize / 2);
    range.to = std::min<int64_t>(total, frame * kHop + kHop + kHop / 2);
    range.block = std::max(1, rate / 1000);
    range.beforeBlocks = std::max<int64_t>(1, static_cast<int64_t>(kBeforeSeconds * 1000));
    return range;
}

int64_t LeadFrames(int rate) { return static_cast<int64_t>(kLeadSeconds * rate); }
int64_t ReachFrames(int rate) { return static_cast<int64_t>(kZeroCrossingSeconds * rate); }

// The samples AttackStart may read for range: the level before it, the
// blocks and the power after it, the lead and the zero crossing's reach,
// and each sample's neighbour.
std::pair<int64_t, int64_t> SamplesRead(const AttackRange& range, int rate, int64_t total) {
    if (range.from >= range.to) return {0, 0};
    const int64_t margin =
        (range.beforeBlocks + 6) * range.block + LeadFrames(rate) + ReachFrames(rate) + 2;
    return {std::max<int64_t>(0, range.from - margin), std::min(total, range.to + margin)};
}

// Each hit's start just before its attack, from the samples around it.
int64_t AttackStart(const SampleSpan& samples, const AttackRange& range, int rate, int64_t frame,
                    int64_t notBefore) {
    const int64_t total = samples.total;
    if (range.from >= range.to)
        return std::max<int64_t>(notBefore, std::min(frame * kHop, total - 1));
    int64_t attack = FirstRisingSample(samples, range);
    if (attack < 0) attack = PowerRiseStart(samples, range, frame * kHop);
    const int64_t aim = std::max(notBefore, attack - LeadFrames(rate));
    return NearestZeroCrossing(samples, aim, ReachFrames(rate), attack, notBefore);
}

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

constexpr const char* kNoMemory = "not enough memory to find its hits";
// Samples read per block of a pass, whatever the channel count; and at
// least this many frames read at once around the hits, so that close hits
// share one read.
constexpr int64_t kBlockSamples = 131072;
constexpr int64_t kHitReadFrames = 16384;

}  // namespace

OnsetAnalysis::OnsetAnalysis() = default;
OnsetAnalysis::~OnsetAnalysis() = default;

bool OnsetAnalysis::Analyse(const char* path, bool convert, std::string* why,
                            const std::atomic<bool>& cancelled) {
    const std::lock_guard lock(m_soundLock);
    const auto clear = [this] {
        m_rate = 0;
        m_frames = 0;
        m_flux.clear();
        m_level.clear();
        m_low.clear();
        m_high.clear();
        m_sound.reset();
    };
    clear();
    try {
        m_sound = OpenSoundFile(path, convert, why);
        if (!m_sound) return false;
        m_rate = m_sound->Info().sampleRate;
        if (m_rate <= 0 || m_sound->Info().channels <= 0) {
            clear();
            return Fail(why, kNoMemory);
        }
        // Channels 1 and 2 summed; their difference instead when that holds
        // more power (a stereo file with one channel's polarity turned would
        // otherwise mix to silence). Only the first pass can tell.
        double sumPower = 0.0, differencePower = 0.0;
        m_sign = 1.0f;
        bool ok = ReadPass(cancelled, &sumPower, &differencePower, why);
        if (ok && differencePower > sumPower) {
            if (m_sound->Seek(0)) {
                m_sign = -1.0f;
                ok = ReadPass(cancelled, nullptr, nullptr, why);
            } else {
                m_soundAt = -1;
            }
        }
        if (!ok) {
            clear();
            return false;
        }
        m_level = LocalLevels(m_flux);
        return true;
    } catch (const std::bad_alloc&) {
        clear();
        return Fail(why, kNoMemory);
    }
}

// One pass over the file from its start: the flux of each analysis frame
// and the waveform, from a frame's worth of samples at a time.
bool OnsetAnalysis::ReadPass(const std::atomic<bool>& cancelled, double* sumPower,
                             double* differencePower, std::string* why) {
    FluxFrames flux(m_rate);
    if (!flux.Ready()) return Fail(why, kNoMemory);
    const int channels = m_sound->Info().channels;
    const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
    std::vector<float> block(static_cast<size_t>(blockFrames * channels));
    // The frame's old half, then its new half as far as filled; before the
    // source's start and past its end it is 0.
    std::vector<float> frame(kFrameSize, 0.0f);
    size_t filled = 0;
    m_flux.clear();
    m_low.clear();
    m_high.clear();
    m_frames = 0;
    if (const int64_t known = m_sound->Info().frames;
        known > 0 && known < std::numeric_limits<int32_t>::max()) {
        const auto frames = static_cast<size_t>(known / kHop + 1);
        m_flux.reserve(frames);
        m_low.reserve(frames);
        m_high.reserve(frames);
    }
    const auto finishFrame = [&] {
        const auto half = frame.begin() + kHop;
        const auto [low, high] = std::minmax_element(half, half + static_cast<int64_t>(filled));
        m_low.push_back(*low);
        m_high.push_back(*high);
        std::fill(half + static_cast<int64_t>(filled), frame.end(), 0.0f);
        m_flux.push_back(flux.Next(frame.data()));
        std::copy(half, frame.end(), frame.begin());
        filled = 0;
    };
    for (;;) {
        if (cancelled.load()) return Fail(why, "stopped");
        const int64_t got = m_sound->ReadFrames(block.data(), blockFrames);
        if (got <= 0) break;
        for (int64_t i = 0; i < got; ++i) {
            frame[kHop + filled] = MonoSample(block.data() + i * channels, channels, m_sign,
                                              sumPower, differencePower);
            if (++filled == kHop) finishFrame();
        }
        m_frames += got;
    }
    if (const std::string error = m_sound->ReadError(); !error.empty())
        return Fail(why, "cannot be read to its end: " + error);
    if (filled > 0) finishFrame();
    m_soundAt = m_frames;
    return true;
}

std::vector<PeakBin> OnsetAnalysis::Overview(int bins) const {
    std::vector<PeakBin> overview;
    if (m_low.empty() || bins <= 0) return overview;
    const size_t per = std::max<size_t>(
        1, (m_low.size() + static_cast<size_t>(bins) - 1) / static_cast<size_t>(bins));
    for (size_t at = 0; at < m_low.size(); at += per) {
        const auto end = static_cast<int64_t>(std::min(m_low.size(), at + per));
        const auto begin = static_cast<int64_t>(at);
        const float lo = *std::min_element(m_low.begin() + begin, m_low.begin() + end);
        const float hi = *std::max_element(m_high.begin() + begin, m_high.begin() + end);
        const auto low = static_cast<int16_t>(std::lround(lo * 32767.0f));
        const auto high = static_cast<int16_t>(std::lround(hi * 32767.0f));
        overview.push_back({low, high, low, high});
    }
    return overview;
}

// The mono mix's frames from..from + count into *out, read again from the
// open file (m_soundLock held). A decoder that cannot seek reads on from
// where it stands, or from the start.
bool OnsetAnalysis::ReadMono(int64_t from, int64_t count, std::vector<float>* out,
                             std::string* why) const {
    out->assign(static_cast<size_t>(count), 0.0f);
    SoundSource& sound = *m_sound;
    int64_t at = m_soundAt;
    m_soundAt = -1;
    if (at != from) {
        if (sound.Seek(from)) {
            at = from;
        } else if (at < 0 || at > from) {
            if (!sound.Seek(0)) return Fail(why, "cannot be read again around its hits");
            at = 0;
        }
    }
    const int channels = sound.Info().channels;
    const int64_t blockFrames = std::max<int64_t>(1, std::min(count, kBlockSamples / channels));
    std::vector<float> block(static_cast<size_t>(blockFrames * channels));
    int64_t done = 0;
    while (done < count) {
        const int64_t skip = std::max<int64_t>(0, from - at);
        const int64_t want =
            skip > 0 ? std::min(skip, blockFrames) : std::min(count - done, blockFrames);
        const int64_t got = sound.ReadFrames(block.data(), want);
        if (got <= 0) return Fail(why, "cannot be read again around its hits");
        at += got;
        if (skip > 0) continue;
        for (int64_t i = 0; i < got; ++i)
            (*out)[static_cast<size_t>(done + i)] =
                MonoSample(block.data() + i * channels, channels, m_sign, nullptr, nullptr);
        done += got;
    }
    m_soundAt = at;
    return true;
}

std::vector<OnsetAnalysis::Peak> OnsetAnalysis::Peaks() const {
    std::vector<Peak> peaks;
    const auto n = static_cast<int64_t>(m_flux.size());
    for (int64_t f = 0; f < n; ++f) {
        const float v = m_flux[static_cast<size_t>(f)];
        const bool risen = f == 0 || v > m_flux[static_cast<size_t>(f - 1)];
        const bool top = f + 1 == n || v >= m_flux[static_cast<size_t>(f + 1)];
        if (!risen || !top || v <= 0.0f) continue;
        peaks.push_back({f, v, m_level[static_cast<size_t>(f)]});
    }
    return peaks;
}

std::vector<int64_t> OnsetAnalysis::PlaceHits(std::vector<int64_t> frames, std::string* why) const {
    std::sort(frames.begin(), frames.end());
    std::vector<int64_t> starts;
    const int64_t gap = GapFrames(m_rate);
    int64_t notBefore = 0;
    const std::lock_guard lock(m_soundLock);
    if (!m_sound) return starts;
    // The samples read last, from frame `read` on: hits come in order, so
    // each read lies after the one before.
    std::vector<float> samples;
    int64_t read = 0;
    try {
        for (const int64_t f : frames) {
            const AttackRange range = AttackRangeOf(f, notBefore, m_rate, m_frames);
            const auto [first, last] = SamplesRead(range, m_rate, m_frames);
            if (first < last &&
                (first < read || last > read + static_cast<int64_t>(samples.size()))) {
                const int64_t end = std::min(m_frames, std::max(last, first + kHitReadFrames));
                if (!ReadMono(first, end - first, &samples, why)) return {};
                read = first;
            }
            const SampleSpan span{samples.data(), read, static_cast<int64_t>(samples.size()),
                                  m_frames};
            const int64_t start = AttackStart(span, range, m_rate, f, notBefore);
            // Two flux peaks of one hit land on the same attack.
            if (!starts.empty() && start - starts.back() < gap) continue;
            starts.push_back(start);
            // One more than listed says that more were found.
            if (starts.size() > static_cast<size_t>(MaxSlices)) break;
            notBefore = start + 1;
        }
    } catch (const std::bad_alloc&) {
        Fail(why, kNoMemory);
        return {};
    }
    return starts;
}

std::vector<int64_t> OnsetAnalysis::Transients(int sensitivity, std::string* why) const {
    const float margin = MarginFor(sensitivity);
    const float ratio = RatioFor(sensitivity);
    const int64_t gapFrames = std::max<int64_t>(1, GapFrames(m_rate) / kHop);
    std::vector<int64_t> frames;
    for (const Peak& p : Peaks()) {
        if (p.strength <= p.level * (1.0f + ratio) + margin) continue;
        if (!frames.empty() && p.frame - frames.back() <= gapFrames) continue;
        frames.push_back(p.frame);
    }
    return PlaceHits(std::move(frames), why);
}

std::vector<int64_t> OnsetAnalysis::Strongest(int count, std::string* why) const {
    if (count <= 0) return {};
    std::vector<Peak> peaks = Peaks();
    std::stable_sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) {
        return a.strength - a.level > b.strength - b.level;
    });
    const int64_t gapFrames = std::max<int64_t>(1, GapFrames(m_rate) / kHop);
    std::vector<int64_t> frames;
    for (const Peak& p : peaks) {
        if (static_cast<int>(frames.size()) == count || p.strength <= p.level) break;
        const bool near = std::any_of(frames.begin(), frames.end(), [&](int64_t f) {
            return std::abs(f - p.frame) <= gapFrames;
        });
        if (!near) frames.push_back(p.frame);
    }
    return PlaceHits(std::move(frames), why);
}

std::vector<int64_t> OnsetAnalysis::SliceStarts(const SliceSettings& settings,
                                                std::string* why) const {
    switch (settings.mode) {
    case SliceMode::Equal:
        if (settings.tempo > 0.0)
            return TempoDivisions(Frames(), m_rate, settings.tempo, settings.note);
        return EqualDivisions(Frames(), settings.count);
    case SliceMode::Strongest: return Strongest(settings.count, why);
    case SliceMode::Transients: break;
    }
    return Transients(settings.sensitivity, why);
}

std::vector<int64_t> EqualDivisions(int64_t frames, int count) {
    std::vector<int64_t> starts;
    if (frames <= 0 || count <= 0) return starts;
    const int64_t parts = std::min<int64_t>(count, frames);
    for (int64_t i = 0; i < parts; ++i) starts.push_back(i * frames / parts);
    return starts;
}

std::vector<int64_t> TempoDivisions(int64_t frames, int rate, double tempo, NoteLength note,
                                    int64_t limit) {
    std::vector<int64_t> starts;
    if (frames <= 0 || rate <= 0 || !(tempo > 0.0) || note.numerator <= 0 || note.denominator <= 0)
        return starts;
    // A whole note lasts four beats.
    const double step = 240.0 * rate * note.numerator / (tempo * note.denominator);
    if (!(step >= 1.0)) return starts;
    for (int64_t i = 0; i < limit; ++i) {
        const auto start = static_cast<int64_t>(std::llround(static_cast<double>(i) * step));
        if (start >= frames) break;
        if (i > 0 && static_cast<double>(frames - start) < step / 2) break;
        starts.push_back(start);
    }
    return starts;
}

bool ParseNoteLength(std::string_view text, NoteLength* note) {
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos) return false;
    int parts[2] = {0, 0};
    const std::string_view sides[2] = {text.substr(0, slash), text.substr(slash + 1)};
    for (int i = 0; i < 2; ++i) {
        if (sides[i].empty() || sides[i].size() > 3) return false;
        for (const char c : sides[i]) {
            if (c < '0' || c > '9') return false;
            parts[i] = parts[i] * 10 + (c - '0');
        }
        if (parts[i] < 1 || parts[i] > MaxNotePart) return false;
    }
    note->numerator = parts[0];
    note->denominator = parts[1];
    return true;
}

std::string NoteLengthText(NoteLength note) {
    std::string text = std::to_string(note.numerator);
    text += '/';
    text += std::to_string(note.denominator);
    return text;
}

VoiceOptions SliceVoiceOptions(const Slice& slice, int rate) {
    VoiceOptions options;
    options.start = VoiceOptions::Start::At;
    options.startNanoseconds = NanosecondsOfFrame(slice.start, rate);
    options.lengthNanoseconds = NanosecondsOfFrame(slice.length, rate);
    return options;
}

std::vector<Slice> SlicesFromStarts(std::vector<int64_t> starts, int64_t frames) {
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::vector<Slice> slices;
    for (size_t i = 0; i < starts.size(); ++i) {
        if (starts[i] < 0 || starts[i] >= frames) continue;
        const int64_t end = i + 1 < starts.size() ? std::min(starts[i + 1], frames) : frames;
        slices.push_back({starts[i], end - starts[i]});
    }
    return slices;
}

bool FindSlices(const char* path, bool convert, const SliceSettings& settings,
                std::vector<Slice>* slices, int* rate, std::string* why, bool* more) {
    OnsetAnalysis analysis;
    if (!analysis.Analyse(path, convert, why)) return false;
    std::string unread;
    std::vector<int64_t> starts = analysis.SliceStarts(settings, &unread);
    if (!unread.empty()) return Fail(why, unread);
    *slices = SlicesFromStarts(std::move(starts), analysis.Frames());
    const bool over = slices->size() > static_cast<size_t>(MaxSlices);
    if (over) slices->resize(static_cast<size_t>(MaxSlices));
    if (more != nullptr) *more = over;
    if (rate != nullptr) *rate = analysis.SampleRate();
    return true;
}
