#include "convert/Onsets.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <type_traits>
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
// That compression, and the levels below taken as silence, would make a
// quiet recording of a loop slice otherwise than a loud one: the mix is
// analysed as if it peaked at kAnalysedPeak (-2 dBFS), raised by kMaxGain
// (30 dB) at most so that a file of faint noise is not made loud.
constexpr float kAnalysedPeak = 0.794f;
constexpr float kMaxGain = 31.6f;
// The local level is the median of the flux this many frames either side
// (about 0.2 s at 44.1 kHz).
constexpr int kLevelFrames = 8;
// ... or, when higher, the mean of the flux of this many frames before.
constexpr int kRecentFrames = 4;
// A hit's score: how far its flux stands above the local level, as
// log2(flux / (level + kLevelOffset)), plus how far the power rises at its
// attack, in decibels over kRiseDecibels. Reverb tails and noise beds waver
// in the flux but do not rise in power; a soft hit under a loud tail rises
// little in the flux but plainly in power. At the default sensitivity a hit
// scores at least 0; each step below it asks kScoreStepDown more (0 keeps
// only the plainest hits). Above it the score asked falls with the steps
// to the power 1.5, by kScoreTopDrop at 100 (which takes every soft hit):
// tails and noise score just under the soft hits, so the steps next to the
// default are finer and a little more sensitivity finds the softest hits
// before it finds tails; each step still finds some more.
constexpr double kLevelOffset = 2.0;
// A steady noise bed's flux peaks at about 2.5 times its usual value, which
// the mix brought up to its analysed peak makes larger than kLevelOffset
// wherever the bed lies less than about 35 dB under the hits: the offset is
// then kNoiseFloorShare times the flux that kNoiseFloorQuantile of the
// frames stay under. Between a loop's hits tails hold the flux down, and
// there the bed seldom reaches it.
constexpr double kNoiseFloorQuantile = 0.3;
constexpr double kNoiseFloorShare = 1.4;
constexpr double kRiseDecibels = 20.0;
constexpr double kScoreStepDown = 0.08;
constexpr double kScoreTopDrop = 1.0;
// Yet 0 asks no more than the source's plainest hit scores less
// kPlainestMargin, the steps below the default shrinking alike: a loop
// whose hits all stand low (a loud bed, a wet room) keeps its plainest hits
// at 0 rather than none. On recorded drum loops 18 of 104 kept none at 0;
// now each keeps some, a median of a quarter of those kept at the default.
constexpr double kPlainestMargin = 1.0;
// A hit's attack is where the power over the next kAfterSeconds rises most
// against the power over the kBeforeSeconds before it, looked for in steps
// of kStepSeconds, on the samples and on their first difference.
constexpr double kAfterSeconds = 0.004;
constexpr double kBeforeSeconds = 0.012;
constexpr double kStepSeconds = 0.00025;
// Where the range holds two rises, the attack is the first that rises by
// kFirstRiseShare of the decibels of the greatest, and at least
// kFirstRiseDecibels, when it lies kFirstRiseAheadSeconds or more before it.
constexpr double kFirstRiseShare = 0.5;
constexpr double kFirstRiseDecibels = 10.0;
constexpr double kFirstRiseAheadSeconds = 0.005;
// From there back, in steps of kEnvelopeSeconds, the attack begins where the
// samples fall to the loudest of the level before it (or at the source's
// start kQuietPeak times the RMS of its quietest stretch); at most
// kBackSeconds back and kBeforeRangeSeconds before where it was looked for.
// Beyond that, while the power over the kRiseWindowSeconds before is more
// than kRiseOverLevel times that of every such window in the
// kRiseLevelSeconds before them, the hit is still rising out of the level
// before it: a recorded hit that swells out of a noise bed for a few
// milliseconds is followed down into it, where no single sample stands out.
// The loudest window, not the mean, so that the swing of a low tail is not
// taken for a rise.
constexpr double kQuietPeak = 3.0;
constexpr double kEnvelopeSeconds = 0.0002;
constexpr double kRiseWindowSeconds = 0.003;
constexpr double kRiseLevelSeconds = 0.012;
constexpr double kRiseOverLevel = 1.1;
constexpr double kBackSeconds = 0.008;
constexpr double kBeforeRangeSeconds = 0.004;
// The start aims this long before the attack, so that a first part of the
// attack lost under the level before it is still kept, and lands on the
// nearest zero crossing before that down to kZeroCrossingSeconds before the
// attack, or else after it up to kNearestSeconds before the attack; failing
// one, on the quietest sample there (by more than kQuietStep, a 16-bit step).
// A recorded hit often rises for a millisecond or two under the level
// before it, so the lead reaches well into that time.
constexpr double kLeadSeconds = 0.0022;
constexpr double kZeroCrossingSeconds = 0.003;
constexpr double kNearestSeconds = 0.0005;
// A hit whose peak over its first kPeakSeconds stands less than
// kBuriedContrast (an amplitude ratio, 10 dB) over the loudest of the level
// before it has more of its first part buried under that level: on recorded
// drum loops such an attack was found a median 1 to 2.5 ms after the hit's
// first sample, one standing higher 0.3 ms after or less. Its start aims
// kBuriedExtraSeconds further back, and its zero crossing may lie as much
// further back; more would start more hits too early than it saves from
// starting late.
constexpr double kPeakSeconds = 0.010;
constexpr double kBuriedContrast = 3.1623;
constexpr double kBuriedExtraSeconds = 0.0005;
// One standing kClearContrast (15 dB) or more over that level is seen from
// its first sample: its start aims only kClearLeadSeconds before it (on
// recorded loops 90 to 100 % of such starts then land 0 to 3 ms before the
// hit, against 88 to 91 % with the full lead).
constexpr double kClearContrast = 5.6234;
constexpr double kClearLeadSeconds = 0.0012;
// A buried attack is looked for again on what a linear prediction from the
// sound before it does not foretell (PredictedAttack).
constexpr int kPredictionOrder = 16;
constexpr double kFitSeconds = 0.012;
constexpr double kFitGapSeconds = 0.004;
// At the source's start the level before a hit is the quietest stretch of
// this long after it, and the flux, against nothing before, says nothing: a
// hit there must rise kStartRiseDecibels more.
constexpr double kQuietSeconds = 0.2;
constexpr double kStartRiseDecibels = 15.0;
constexpr float kQuietStep = 1.0f / 32768.0f;
// A drum loop's hits lie on a grid: the plain ones (scoring kGridScore or
// more) give it, and a doubtful hit within kOnGridSeconds of a line scores
// kOnGridBonus more, one kOffGridSeconds or further from every line
// kOffGridPenalty less, between the two in proportion (all by the hits'
// attacks). A bump in a ringing tail or a second strike inside one
// recording falls between the lines; a soft note a sixteenth after a loud
// one falls on a line. The reach covers a drummer's few milliseconds
// either side. A source with no steady grid scores as without it.
constexpr double kGridScore = 1.0;
// Hits scoring from kDoubtfulScore up to kGridScore say which part of the
// plain hits' pulse the soft notes fall on.
constexpr double kDoubtfulScore = -0.6;
constexpr double kOnGridSeconds = 0.012;
constexpr double kOffGridSeconds = 0.020;
constexpr double kOnGridBonus = 0.2;
constexpr double kOffGridPenalty = 1.0;
// Where no grid holds (too few plain hits, or none in step), nothing
// vouches for a doubtful hit: it scores this much less, between on and off
// the grid. Noise between a few sparse hits scores just over 0.
constexpr double kNoGridPenalty = 0.3;
// Of two hits closer than MinHitGapSeconds the later is kept instead of the
// earlier only when it scores this much more: a bump before a hit scores
// far less than the hit, the first sound of a hit about as much.
constexpr double kLaterPeakMargin = 1.0;
// A noise bed's own swells rise in power as a soft hit does. Where no grid
// holds, a hit that stands less than kStandDecibels over the quietest
// sound within kFloorSeconds either side scores up to kStandWeight less, in
// proportion: a hit between sparse ones stands well over the bed (on
// recorded kits 10 dB or more), a swell of the bed a few decibels. On a
// grid the soft notes under loud tails and over loud beds stand little
// more than that, and the grid tells most apart: there the penalty is up
// to kGridStandWeight under kGridStandDecibels.
constexpr double kFloorSeconds = 1.0;
constexpr double kStandDecibels = 12.0;
constexpr double kStandWeight = 1.5;
constexpr double kGridStandDecibels = 6.0;
constexpr double kGridStandWeight = 0.5;
// How far a hit stands: the power of its half frame (or the next, the
// louder) over that of the quietest kFloorHalfFrames half frames in a row
// (35 ms), going by the first difference of the samples. A bed swells most
// where its sound is lowest: pink or brown noise, rumble and wind rise
// there by 10 dB and more, in the first difference hardly at all, while an
// attack brings high frequencies. A hit with nothing but low frequencies (a
// synthesized kick) stands as far as it does in the samples' own power,
// less kLowStandDecibels. The floor spans several half frames because a
// rumble's power drops for a moment wherever its slow swing crosses zero.
// (A file of brown noise alone gave 15 slices; now none.)
constexpr int kFloorHalfFrames = 3;
constexpr double kLowStandDecibels = 10.0;
// Powers below -100 dBFS count as silence.
constexpr double kSilentPower = 1e-10;

struct FftConfigFree {
    void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};

// The least score a hit needs at a sensitivity, in a source whose plainest
// hit scores `plainest`.
double MinScoreFor(int sensitivity, double plainest) {
    const int s = std::clamp(sensitivity, MinSensitivity, MaxSensitivity);
    if (s > DefaultSensitivity) {
        const double up =
            static_cast<double>(s - DefaultSensitivity) / (MaxSensitivity - DefaultSensitivity);
        return -kScoreTopDrop * up * std::sqrt(up);
    }
    const double full = kScoreStepDown * (DefaultSensitivity - MinSensitivity);
    const double reach = std::clamp(plainest - kPlainestMargin, 0.0, full);
    return reach * (DefaultSensitivity - s) / (DefaultSensitivity - MinSensitivity);
}

// Up to weight for a hit that stands less than decibels over the floor.
double FloorPenalty(double stands, double decibels, double weight) {
    return weight * std::clamp(1.0 - stands / decibels, 0.0, 1.0);
}

// What the grid adds to the score of a hit whose attack is at frame,
// standing `stands` decibels over the floor around it.
double GridWeight(const BeatGrid& grid, int64_t frame, double stands) {
    const std::optional<double> distance = grid.Distance(frame);
    if (!distance) return -kNoGridPenalty - FloorPenalty(stands, kStandDecibels, kStandWeight);
    const double low = FloorPenalty(stands, kGridStandDecibels, kGridStandWeight);
    if (*distance <= kOnGridSeconds) return kOnGridBonus - low;
    if (*distance >= kOffGridSeconds) return -kOffGridPenalty - low;
    return kOnGridBonus - low -
           (kOnGridBonus + kOffGridPenalty) * (*distance - kOnGridSeconds) /
               (kOffGridSeconds - kOnGridSeconds);
}

int64_t GapFrames(int rate) {
    return std::max<int64_t>(1, static_cast<int64_t>(MinHitGapSeconds * rate));
}

// What the flux is computed from, set up once per analysis: the window, the
// FFT and the bin weights, and the spectrum of the frame before.
class FluxFrames {
public:
    // gain: what the samples are multiplied by before the transform.
    FluxFrames(int rate, float gain);
    [[nodiscard]] bool Ready() const { return m_fft != nullptr; }
    // The flux of the next frame: kFrameSize samples, those before the
    // source's start and past its end 0. Frames must come in order, each once.
    // 0 for a frame cut off: a sound cut off short splatters over the
    // spectrum as a hit does, but its new half holds less energy than the
    // half before (oldEnergy, newEnergy: sums of squares); a hit never does.
    [[nodiscard]] float Next(const float* frame, double oldEnergy, double newEnergy);

private:
    static constexpr size_t kBins = kFrameSize / 2 + 1;
    void Transform(const float* frame);
    [[nodiscard]] float Rise() const;

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

FluxFrames::FluxFrames(int rate, float gain)
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
    // Full scale sine -> magnitude 1 (times gain), before compression.
    m_scale = 2.0f * gain / windowSum;
    // Rises weigh 1/sqrt(bin): a kick's few low bins count about as much as
    // the hundreds a hat spreads over.
    for (size_t k = 1; k < kBins; ++k) m_weight[k] = 1.0f / std::sqrt(static_cast<float>(k));
}

float FluxFrames::Next(const float* frame, double oldEnergy, double newEnergy) {
    Transform(frame);
    const float rise = Rise();
    m_previous.swap(m_current);
    return newEnergy < kCutOffRatio * oldEnergy ? 0.0f : rise;
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

// The mono mix of frames frames of channels (1 or more) into out, each
// times gain: half the sum of channels 1 and 2 (sign 1) or half their
// difference (-1), clipped to full scale; NaN is silence. Branch-free
// inside its loop, with a stride known to the compiler for stereo: it runs
// over every sample of the file.
void MixMono(const float* __restrict in, int64_t frames, int channels, float sign, float gain,
             float* __restrict out) {
    const auto clean = [](float v) { return v == v ? v : 0.0f; };  // NaN never equals itself
    const auto clip = [gain](float v) { return gain * std::min(1.0f, std::max(-1.0f, v)); };
    if (channels == 1) {
        for (int64_t i = 0; i < frames; ++i) out[i] = clip(clean(in[i]));
        return;
    }
    const auto mix = [&](auto stride) {
        for (int64_t i = 0; i < frames; ++i)
            out[i] = clip(0.5f * (clean(in[i * stride]) + sign * clean(in[i * stride + 1])));
    };
    if (channels == 2)
        mix(std::integral_constant<int64_t, 2>());
    else
        mix(int64_t{channels});
}

// The smallest and largest of some samples (at least one), and their power.
struct HalfFrame {
    float low = 0.0f;
    float high = 0.0f;
    float power = 0.0f;
    float differencePower = 0.0f;  // of the first difference
};

// In one pass, with sums that do not wait on each other: it runs over every
// sample of the file. samples[-1] is the sample before the half frame.
HalfFrame LevelsOf(const float* samples, size_t count) {
    float low = samples[0], high = samples[0];
    float sums[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float differences[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        for (size_t k = 0; k < 4; ++k) {
            const float v = samples[i + k];
            const float d = v - samples[i + k - 1];
            low = std::min(low, v);
            high = std::max(high, v);
            sums[k] += v * v;
            differences[k] += d * d;
        }
    }
    for (; i < count; ++i) {
        const float d = samples[i] - samples[i - 1];
        low = std::min(low, samples[i]);
        high = std::max(high, samples[i]);
        sums[0] += samples[i] * samples[i];
        differences[0] += d * d;
    }
    const auto n = static_cast<float>(count);
    return {low, high, (sums[0] + sums[1] + sums[2] + sums[3]) / n,
            (differences[0] + differences[1] + differences[2] + differences[3]) / n};
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

// The offset of the flux's local level in a hit's score: kLevelOffset, or
// more over a loud noise bed.
double LevelOffset(const std::vector<float>& flux) {
    if (flux.empty()) return kLevelOffset;
    std::vector<float> sorted(flux);
    const auto at = sorted.begin() + static_cast<int64_t>(kNoiseFloorQuantile *
                                                          static_cast<double>(sorted.size() - 1));
    std::nth_element(sorted.begin(), at, sorted.end());
    return std::max(kLevelOffset, kNoiseFloorShare * *at);
}

// The samples of the mono mix read for one hit: data holds frames from
// `from` on; total is the source's length.
struct SampleSpan {
    const float* data = nullptr;
    int64_t from = 0;
    int64_t size = 0;
    int64_t total = 0;
    float quietStep = kQuietStep;  // a 16-bit step of the file, at the gain analysed
    float operator[](int64_t i) const {
        assert(i >= from && i < from + size);
        return data[i - from];
    }
};

// Where a hit is looked for: from..to.
struct AttackRange {
    int64_t from = 0;
    int64_t to = 0;
};

// A hit's attack: its first sample, how far the power rises there (as a
// ratio), and how plainly it stands over the level before it.
struct Attack {
    int64_t at = 0;
    double rise = 1.0;
    double contrast = 0.0;  // its peak over the loudest of the level before
};

int64_t Seconds(double seconds, int rate) {
    return std::max<int64_t>(1, static_cast<int64_t>(seconds * rate));
}

// The attack in range, on the samples themselves or on their first
// difference (where a soft hat on the loud low tail of a kick rises),
// whichever rises more: where the power rises most, then back to where the
// samples leave the level before it. At the source's start, where there is
// nothing before, the level before is the quietest stretch of the time
// after: a noise floor that starts with the file is no hit, a hit on its
// first frame is. Sums of squares of both measures are kept once per hit.
Attack FindAttack(const SampleSpan& samples, const AttackRange& range, int rate) {
    const int64_t after = Seconds(kAfterSeconds, rate);
    const int64_t before = Seconds(kBeforeSeconds, rate);
    const int64_t lo = std::max<int64_t>(1, range.from - before);
    const bool atStart = range.from - before < lo;
    const int64_t hi = std::min(
        samples.total,
        std::max(range.to + after, atStart ? lo + Seconds(kQuietSeconds, rate) + before : 0));
    if (hi - lo < 2) return {range.from, 1.0, kBuriedContrast};  // neither buried nor clear
    const auto value = [&](int64_t i, int difference) {
        return difference != 0 ? double{samples[i]} - samples[i - 1] : double{samples[i]};
    };
    // Filled here, each entry before it is read: no need to clear.
    const auto n = static_cast<size_t>(hi - lo + 1);
    const std::unique_ptr<double[]> sums[2] = {std::make_unique_for_overwrite<double[]>(n),
                                               std::make_unique_for_overwrite<double[]>(n)};
    sums[0][0] = 0.0;
    sums[1][0] = 0.0;
    for (int64_t i = lo; i < hi; ++i) {
        const auto k = static_cast<size_t>(i - lo);
        const double v = value(i, 0);
        const double d = value(i, 1);
        sums[0][k + 1] = sums[0][k] + v * v;
        sums[1][k + 1] = sums[1][k] + d * d;
    }
    const auto power = [&](int m, int64_t a, int64_t b) {
        a = std::clamp(a, lo, hi);
        b = std::clamp(b, lo, hi);
        const double* sum = sums[m].get();
        return b > a ? (sum[static_cast<size_t>(b - lo)] - sum[static_cast<size_t>(a - lo)]) /
                           static_cast<double>(b - a)
                     : 0.0;
    };
    double quiet[2] = {0.0, 0.0};
    if (atStart) {
        for (int m = 0; m < 2; ++m) {
            quiet[m] = std::numeric_limits<double>::max();
            for (int64_t k = lo; k + before <= hi; k += before / 2)
                quiet[m] = std::min(quiet[m], power(m, k, k + before));
            if (quiet[m] == std::numeric_limits<double>::max()) quiet[m] = 0.0;
        }
    }
    const auto levelBefore = [&](int m, int64_t t) {
        if (t - before >= lo) return power(m, t - before, t);
        return std::max(quiet[m], t - lo >= after ? power(m, lo, t) : 0.0);
    };
    const int64_t to = std::min(range.to, hi);
    const int64_t step = Seconds(kStepSeconds, rate);
    // The rise at each step, on the measure that rises more there.
    struct Rise {
        double ratio = 0.0;
        int measure = 0;
    };
    const auto riseAt = [&](int64_t t) {
        Rise rise;
        for (int m = 0; m < 2; ++m) {
            const double r =
                (power(m, t, t + after) + kSilentPower) / (levelBefore(m, t) + kSilentPower);
            if (r > rise.ratio) rise = {r, m};
        }
        return rise;
    };
    std::vector<Rise> rises;
    rises.reserve(static_cast<size_t>(std::max<int64_t>(0, to - range.from) / step + 1));
    for (int64_t t = range.from; t < to; t += step) rises.push_back(riseAt(t));
    size_t top = 0;
    for (size_t k = 1; k < rises.size(); ++k)
        if (rises[k].ratio > rises[top].ratio) top = k;
    // Two hits in one range (a kick and, 20 ms on, a pedal hat's chick, which
    // rises more): the first that rises plainly is where the sound begins.
    if (!rises.empty()) {
        const double topDecibels = 10.0 * std::log10(rises[top].ratio);
        const double need =
            std::pow(10.0, std::max(kFirstRiseDecibels, kFirstRiseShare * topDecibels) / 10.0);
        const auto ahead = static_cast<size_t>(Seconds(kFirstRiseAheadSeconds, rate) / step);
        for (size_t k = 0; k + ahead < top; ++k) {
            if (rises[k].ratio < need) continue;
            while (k + 1 < top && rises[k + 1].ratio >= rises[k].ratio) ++k;
            if (k + ahead < top) top = k;
            break;
        }
    }
    const int64_t best = range.from + static_cast<int64_t>(top) * step;
    const double bestRise = rises.empty() ? 0.0 : rises[top].ratio;
    const int measure = rises.empty() ? 0 : rises[top].measure;
    // Back while the peaks stay above the loudest of the level before, then
    // while the power still rises.
    const int64_t envelope = Seconds(kEnvelopeSeconds, rate);
    double floor = 0.0;
    for (int64_t i = std::max(lo, best - before); i < best - 2 * envelope; ++i)
        floor = std::max(floor, std::fabs(value(i, measure)));
    if (atStart) floor = std::max(floor, std::sqrt(quiet[measure]) * kQuietPeak);
    const int64_t limit = std::max({lo + envelope, range.from - Seconds(kBeforeRangeSeconds, rate),
                                    best - Seconds(kBackSeconds, rate)});
    const int64_t window = Seconds(kRiseWindowSeconds, rate);
    const int64_t reference = Seconds(kRiseLevelSeconds, rate);
    const auto rising = [&](int64_t t) {
        double loudest = 0.0;
        for (int64_t k = t - window - reference; k + window <= t - window;
             k += std::max<int64_t>(1, window / 2))
            loudest = std::max(loudest, power(measure, k, k + window));
        return power(measure, t - window, t) > kRiseOverLevel * loudest + kSilentPower;
    };
    int64_t at = best;
    bool overFloor = true;
    while (at - envelope >= limit) {
        if (overFloor) {
            double peak = 0.0;
            for (int64_t i = at - envelope; i < at; ++i)
                peak = std::max(peak, std::fabs(value(i, measure)));
            overFloor = peak > floor;
        }
        if (!overFloor && !rising(at)) break;
        at -= envelope;
    }
    double peak = 0.0;
    // A hit on the source's first sample may be found before lo.
    for (int64_t i = std::max(at, lo), end = std::min(hi, at + Seconds(kPeakSeconds, rate));
         i < end; ++i)
        peak = std::max(peak, std::fabs(value(i, measure)));
    return {at, bestRise, floor > 0.0 ? peak / floor : std::numeric_limits<double>::infinity()};
}

// A hit buried under a loud tail or bed often rises out of it only in what
// the tail does not foretell: the samples less a kPredictionOrder linear
// prediction fitted to the kFitSeconds ending kFitGapSeconds before the
// attack (a ringing tail and a bed's colour are foretold, a new hit is
// not). The attack is found on that residual the same way, from
// kBackSeconds before the attack found on the samples to kAfterSeconds after
// it, and is kept, never later than that one, when it stands plainer. On
// recorded drum loops 75.3 -> 76.5 % of the starts then land 0 to 3 ms
// before their hit; a plainer attack gains nothing from it.
std::optional<Attack> PredictedAttack(const SampleSpan& samples, const Attack& found,
                                      int64_t notBefore, int rate) {
    const int64_t before = Seconds(kBeforeSeconds, rate);
    const int64_t after = Seconds(kAfterSeconds, rate);
    const int64_t gap = Seconds(kFitGapSeconds, rate);
    const int64_t fitEnd = found.at - gap;
    const int64_t fitStart = fitEnd - Seconds(kFitSeconds, rate);
    const int64_t first = found.at - Seconds(kBackSeconds, rate) - before;
    const int64_t last = found.at + after + Seconds(kPeakSeconds, rate);
    if (first - kPredictionOrder < std::max<int64_t>(samples.from, 1) ||
        last > samples.from + samples.size)
        return std::nullopt;
    // The samples from first - kPredictionOrder to last, in one run.
    const int64_t origin = first - kPredictionOrder;
    const auto count = static_cast<size_t>(last - first);
    std::vector<double> x(count + kPredictionOrder);
    for (size_t i = 0; i < x.size(); ++i) x[i] = samples[origin + static_cast<int64_t>(i)];
    // Autocorrelation of the fit under a Hann window, then Levinson-Durbin.
    const auto n = static_cast<size_t>(fitEnd - fitStart);
    std::vector<double> fit(n);
    for (size_t i = 0; i < n; ++i)
        fit[i] = x[static_cast<size_t>(fitStart - origin) + i] *
                 (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                       static_cast<double>(n - 1)));
    double r[kPredictionOrder + 1];
    for (size_t k = 0; k <= kPredictionOrder; ++k) {
        r[k] = 0.0;
        for (size_t i = k; i < n; ++i) r[k] += fit[i] * fit[i - k];
    }
    r[0] = r[0] * 1.0001 + kSilentPower;
    double a[kPredictionOrder + 1] = {1.0};
    double error = r[0];
    for (int i = 1; i <= kPredictionOrder; ++i) {
        double acc = r[i];
        for (int j = 1; j < i; ++j) acc += a[j] * r[i - j];
        const double k = -acc / error;
        double previous[kPredictionOrder + 1];
        std::copy(a, a + i, previous);
        for (int j = 1; j < i; ++j) a[j] = previous[j] + k * previous[i - j];
        a[i] = k;
        error *= 1.0 - k * k;
        if (error <= 0.0) return std::nullopt;
    }
    // The residual, one tap at a time over the run (each a multiply-add
    // over samples in a row), and the running sum of its squares.
    std::vector<double> residual(x.begin() + kPredictionOrder, x.end());
    for (size_t k = 1; k <= kPredictionOrder; ++k) {
        const double tap = a[k];
        const double* from = x.data() + kPredictionOrder - k;
        for (size_t i = 0; i < count; ++i) residual[i] += tap * from[i];
    }
    std::vector<double> sums(count + 1, 0.0);
    for (size_t i = 0; i < count; ++i) sums[i + 1] = sums[i] + residual[i] * residual[i];
    const auto index = [&](int64_t t) { return static_cast<size_t>(t - first); };
    const auto power = [&](int64_t b, int64_t e) {
        return (sums[index(e)] - sums[index(b)]) / static_cast<double>(e - b);
    };
    const auto loudest = [&](int64_t b, int64_t e) {
        double peak = 0.0;
        for (int64_t t = b; t < e; ++t) peak = std::max(peak, std::fabs(residual[index(t)]));
        return peak;
    };
    int64_t best = found.at;
    double bestRise = 0.0;
    for (int64_t t = found.at - Seconds(kBackSeconds, rate); t < found.at + after;
         t += Seconds(kStepSeconds, rate)) {
        const double rise =
            (power(t, t + after) + kSilentPower) / (power(t - before, t) + kSilentPower);
        if (rise > bestRise) {
            bestRise = rise;
            best = t;
        }
    }
    const int64_t envelope = Seconds(kEnvelopeSeconds, rate);
    const double floor = loudest(best - before, best - 2 * envelope);
    const int64_t limit = std::max(notBefore + 1, best - Seconds(kBackSeconds, rate));
    int64_t start = best;
    while (start - envelope >= limit && loudest(start - envelope, start) > floor) start -= envelope;
    const double peak = loudest(start, start + Seconds(kPeakSeconds, rate));
    const double contrast = floor > 0.0 ? peak / floor : std::numeric_limits<double>::infinity();
    if (contrast <= found.contrast) return std::nullopt;
    return Attack{std::min(start, found.at), found.rise, contrast};
}

// Samples a then b cross zero (or touch it).
bool Crosses(float a, float b) { return (a <= 0.0f && b >= 0.0f) || (a >= 0.0f && b <= 0.0f); }

// The zero crossing nearest before aim down to first or, when there is
// none, nearest after it up to last; when there is none, the quietest
// sample from first to last (a low tail may cross zero only every 10 ms).
// Never at or before notBefore.
int64_t NearestZeroCrossing(const SampleSpan& samples, int64_t aim, int64_t first, int64_t last,
                            int64_t notBefore) {
    first = std::max({first, notBefore + 1, int64_t{1}});
    last = std::min(last, samples.total - 1);
    if (aim < first || aim > last) return aim;
    const auto crossing = [&](int64_t i) { return Crosses(samples[i - 1], samples[i]); };
    for (int64_t i = aim; i >= first; --i)
        if (crossing(i)) return i;
    for (int64_t i = aim + 1; i <= last; ++i)
        if (crossing(i)) return i;
    // Quieter by more than a 16-bit step, so that decoders that scale a
    // little differently agree.
    int64_t quietest = first;
    for (int64_t i = first; i <= last; ++i)
        if (std::fabs(samples[i]) + samples.quietStep < std::fabs(samples[quietest])) quietest = i;
    return quietest;
}

// Where the attack of a hit in analysis frame `frame` is looked for: the new
// half of the frame and the half before it, where the flux saw the hit
// begin, never at or before notBefore. Empty when nothing is left there.
AttackRange AttackRangeOf(int64_t frame, int64_t notBefore, int64_t total) {
    AttackRange range;
    range.from = std::max<int64_t>(notBefore, frame * kHop - kFrameSize / 2);
    range.to = std::min<int64_t>(total, frame * kHop + kHop + kHop / 2);
    return range;
}

// The samples FindAttack and the start may read for range: the level
// before it, the way back, the lead and the zero crossing's reach, and each
// sample's neighbour, or the prediction's way back and its order; after it
// the power's span and the peak's, and at the source's start
// the stretch where the quietest part is looked for.
std::pair<int64_t, int64_t> SamplesRead(const AttackRange& range, int rate, int64_t total) {
    if (range.from >= range.to) return {0, 0};
    const int64_t back =
        Seconds(kBeforeRangeSeconds + std::max(kBeforeSeconds + kLeadSeconds +
                                                   kZeroCrossingSeconds + kBuriedExtraSeconds,
                                               kBackSeconds + kBeforeSeconds),
                rate) +
        kPredictionOrder + 2;
    const int64_t before = Seconds(kBeforeSeconds, rate);
    int64_t last = range.to + Seconds(kAfterSeconds + kPeakSeconds, rate);
    if (range.from - before < 1) last = std::max(last, 1 + Seconds(kQuietSeconds, rate) + before);
    return {std::max<int64_t>(0, range.from - back), std::min(total, last + 1)};
}

// Where a hit's slice starts, where its attack is, and how far the power
// rises there.
struct HitPlace {
    int64_t start = 0;
    int64_t attack = 0;
    double rise = 1.0;
    double contrast = kBuriedContrast;  // the attack's, as in Attack
};

// A start just before attack, on a zero crossing, never at or before
// notBefore.
int64_t StartBefore(const SampleSpan& samples, const Attack& attack, int rate, int64_t notBefore) {
    const double extra = attack.contrast < kBuriedContrast ? kBuriedExtraSeconds : 0.0;
    const double lead =
        attack.contrast >= kClearContrast ? kClearLeadSeconds : kLeadSeconds + extra;
    const int64_t aim = std::max(notBefore, attack.at - Seconds(lead, rate));
    return NearestZeroCrossing(samples, aim,
                               attack.at - Seconds(kZeroCrossingSeconds + extra, rate),
                               attack.at - Seconds(kNearestSeconds, rate), notBefore);
}

// A hit's start just before its attack, from the samples around it. A
// buried attack's start may be placed better by BuriedStart.
HitPlace AttackStart(const SampleSpan& samples, const AttackRange& range, int rate, int64_t frame,
                     int64_t notBefore) {
    const int64_t total = samples.total;
    if (range.from >= range.to) {
        const int64_t at = std::max<int64_t>(notBefore, std::min(frame * kHop, total - 1));
        return {at, at, 1.0};
    }
    const Attack attack = FindAttack(samples, range, rate);
    return {StartBefore(samples, attack, rate, notBefore), attack.at, attack.rise, attack.contrast};
}

// The start of a hit whose attack (at `attack`, standing `contrast` over the
// level before) is buried, from its attack found again on the prediction's
// residual; none when that stands no plainer. Only a hit kept needs it.
// The grid and the gap between hits keep going by the attack found on the
// samples.
std::optional<int64_t> BuriedStart(const SampleSpan& samples, int64_t attack, double contrast,
                                   int rate, int64_t notBefore) {
    const std::optional<Attack> predicted =
        PredictedAttack(samples, Attack{attack, 1.0, contrast}, notBefore, rate);
    if (!predicted) return std::nullopt;
    return StartBefore(samples, *predicted, rate, notBefore);
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

// The power and peak of both mixes of a whole file.
struct MixLevels {
    double sumPower = 0.0;
    double differencePower = 0.0;
    double sumPeak = 0.0;
    double differencePeak = 0.0;
};

// NaN is silence and an infinite sample full scale: one such sample would
// make both mixes' power infinite and leave the choice between them to chance.
double Finite(float sample) {
    if (std::isnan(sample)) return 0.0;
    return std::isinf(sample) ? std::copysign(1.0, sample) : sample;
}

// Adds one block of frames to *levels, on the samples' own scale. 16-bit
// samples are summed as integers (exact, and much faster), a block at a
// time so that no sum overflows.
template <typename Sample>
void AddBlock(const Sample* block, int64_t frames, int channels, MixLevels* levels) {
    constexpr bool integral = std::is_integral_v<Sample>;
    using Value = std::conditional_t<integral, int, double>;
    using Total = std::conditional_t<integral, int64_t, double>;
    const auto value = [](Sample sample) -> Value {
        if constexpr (integral)
            return sample;
        else
            return Finite(sample);
    };
    Total sumPower = 0, differencePower = 0;
    Value sumPeak = 0, differencePeak = 0;
    for (int64_t i = 0; i < frames; ++i) {
        const Value first = value(block[i * channels]);
        const Value second = channels == 1 ? first : value(block[i * channels + 1]);
        const Value sum = first + second;
        const Value difference = first - second;
        sumPower += Total{sum} * sum;
        differencePower += Total{difference} * difference;
        sumPeak = std::max(sumPeak, std::abs(sum));
        differencePeak = std::max(differencePeak, std::abs(difference));
    }
    levels->sumPower += static_cast<double>(sumPower);
    levels->differencePower += static_cast<double>(differencePower);
    levels->sumPeak = std::max(levels->sumPeak, static_cast<double>(sumPeak));
    levels->differencePeak = std::max(levels->differencePeak, static_cast<double>(differencePeak));
}

// Reads the file to its end for the levels of both mixes (half the sum or
// difference of channels 1 and 2, on the scale of full scale 1); false
// once cancelled. The strict reader's samples are read as stored.
template <typename Sample>
bool ReadMixLevels(SoundSource& sound, const std::atomic<bool>& cancelled, MixLevels* levels) {
    const int channels = sound.Info().channels;
    const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
    std::vector<Sample> block(static_cast<size_t>(blockFrames * channels));
    *levels = MixLevels();
    for (;;) {
        if (cancelled.load()) return false;
        const int64_t got = sound.ReadFrames(block.data(), blockFrames);
        if (got <= 0) break;
        AddBlock(block.data(), got, channels, levels);
    }
    const double scale = std::is_floating_point_v<Sample> ? 0.5 : 0.5 / 32768.0;
    levels->sumPower *= scale * scale;
    levels->differencePower *= scale * scale;
    levels->sumPeak *= scale;
    levels->differencePeak *= scale;
    return true;
}

}  // namespace

OnsetAnalysis::OnsetAnalysis(int64_t keptFrames) : m_keptFrames(keptFrames) {}
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
        m_power.clear();
        m_differencePower.clear();
        m_mono.clear();
        m_sound.reset();
        m_grid = BeatGrid();
        m_placed.clear();
        m_plainest = 0.0;
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
        bool ok = MixPass(cancelled, why);
        // A decoder that cannot go back to the start reads the file anew.
        if (ok && !m_sound->Seek(0)) {
            m_sound = OpenSoundFile(path, convert, why);
            ok = m_sound != nullptr;
        }
        if (ok) ok = ReadPass(cancelled, why);
        if (!ok) {
            clear();
            return false;
        }
        m_level = LocalLevels(m_flux);
        m_levelOffset = LevelOffset(m_flux);
        // Once for every sensitivity. Samples that cannot be read again
        // leave no grid here and fail each listing of the hits.
        std::string unread;
        std::vector<int64_t> doubtful;
        const std::vector<int64_t> plain =
            PlaceHits(CandidateFrames(), kGridScore, nullptr, &unread, HitPoint::Attack, &doubtful,
                      &cancelled);
        if (cancelled.load()) {
            clear();
            return Fail(why, "stopped");
        }
        std::sort(doubtful.begin(), doubtful.end());
        m_grid = BeatGrid::Find(plain, doubtful, m_frames, m_rate);
        // Every candidate has been scored, and no grid weighs them yet.
        for (const Placed& placed : m_placed) m_plainest = std::max(m_plainest, placed.score);
        return true;
    } catch (const std::bad_alloc&) {
        clear();
        return Fail(why, kNoMemory);
    }
}

// A first pass over the file: which mix is analysed, channels 1 and 2
// summed, or their difference when that holds more power (a stereo file
// with one channel's polarity turned would otherwise mix to silence); and
// the gain it is analysed at, from its peak.
bool OnsetAnalysis::MixPass(const std::atomic<bool>& cancelled, std::string* why) {
    MixLevels levels;
    const bool read = m_sound->Converted() ? ReadMixLevels<float>(*m_sound, cancelled, &levels)
                                           : ReadMixLevels<int16_t>(*m_sound, cancelled, &levels);
    if (!read) return Fail(why, "stopped");
    if (const std::string error = m_sound->ReadError(); !error.empty())
        return Fail(why, "cannot be read to its end: " + error);
    m_sign = levels.differencePower > levels.sumPower ? -1.0f : 1.0f;
    const auto peak =
        static_cast<float>(std::min(1.0, m_sign > 0 ? levels.sumPeak : levels.differencePeak));
    m_gain = peak > 0.0f ? std::min(kMaxGain, kAnalysedPeak / peak) : 1.0f;
    return true;
}

// One pass over the file from its start: the flux of each analysis frame
// and the waveform, from a frame's worth of samples at a time.
bool OnsetAnalysis::ReadPass(const std::atomic<bool>& cancelled, std::string* why) {
    // The waveform is kept as the file holds it: the gain goes to the flux.
    FluxFrames flux(m_rate, m_gain);
    if (!flux.Ready()) return Fail(why, kNoMemory);
    const int channels = m_sound->Info().channels;
    const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
    std::vector<float> block(static_cast<size_t>(blockFrames * channels));
    std::vector<float> mono(static_cast<size_t>(blockFrames));
    // The frame's old half, then its new half as far as filled; before the
    // source's start and past its end it is 0.
    std::vector<float> frame(kFrameSize, 0.0f);
    size_t filled = 0;
    m_flux.clear();
    m_low.clear();
    m_high.clear();
    m_power.clear();
    m_differencePower.clear();
    m_mono.clear();
    m_frames = 0;
    const int64_t known = m_sound->Info().frames;
    if (known > 0 && known < std::numeric_limits<int32_t>::max()) {
        const auto frames = static_cast<size_t>(known / kHop + 1);
        m_flux.reserve(frames);
        m_low.reserve(frames);
        m_high.reserve(frames);
        m_power.reserve(frames);
        m_differencePower.reserve(frames);
    }
    // A decoder may not know its length: the mix is kept until it grows
    // past m_keptFrames.
    bool keep = known <= m_keptFrames;
    if (keep && known > 0) m_mono.reserve(static_cast<size_t>(known));
    double oldEnergy = 0.0;  // of the frame's old half
    const auto finishFrame = [&] {
        const auto half = frame.begin() + kHop;
        const HalfFrame levels = LevelsOf(frame.data() + kHop, filled);
        m_low.push_back(levels.low);
        m_high.push_back(levels.high);
        m_power.push_back(levels.power * m_gain * m_gain);
        m_differencePower.push_back(levels.differencePower * m_gain * m_gain);
        std::fill(half + static_cast<int64_t>(filled), frame.end(), 0.0f);
        const double newEnergy = double{levels.power} * static_cast<double>(filled);
        m_flux.push_back(flux.Next(frame.data(), oldEnergy, newEnergy));
        oldEnergy = newEnergy;
        std::copy(half, frame.end(), frame.begin());
        filled = 0;
    };
    for (;;) {
        if (cancelled.load()) return Fail(why, "stopped");
        const int64_t got = m_sound->ReadFrames(block.data(), blockFrames);
        if (got <= 0) break;
        MixMono(block.data(), got, channels, m_sign, 1.0f, mono.data());
        if (keep) {
            if (m_frames + got > m_keptFrames) {
                keep = false;
                m_mono = std::vector<float>();
            } else {
                const size_t at = m_mono.size();
                m_mono.resize(at + static_cast<size_t>(got));
                for (size_t i = 0; i < static_cast<size_t>(got); ++i)
                    m_mono[at + i] = m_gain * mono[i];
            }
        }
        for (int64_t i = 0; i < got;) {
            const int64_t n = std::min<int64_t>(got - i, static_cast<int64_t>(kHop - filled));
            std::copy_n(mono.begin() + i, n, frame.begin() + static_cast<int64_t>(kHop + filled));
            filled += static_cast<size_t>(n);
            i += n;
            if (filled == kHop) finishFrame();
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
    // Every frame is filled below or the read fails: no need to clear.
    out->resize(static_cast<size_t>(count));
    if (!m_mono.empty()) {
        if (from < 0 || from + count > static_cast<int64_t>(m_mono.size()))
            return Fail(why, "cannot be read again around its hits");
        std::copy_n(m_mono.begin() + from, count, out->begin());
        return true;
    }
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
    // Filled by each read before it is used.
    const auto block =
        std::make_unique_for_overwrite<float[]>(static_cast<size_t>(blockFrames * channels));
    int64_t done = 0;
    while (done < count) {
        const int64_t skip = std::max<int64_t>(0, from - at);
        const int64_t want =
            skip > 0 ? std::min(skip, blockFrames) : std::min(count - done, blockFrames);
        const int64_t got = sound.ReadFrames(block.get(), want);
        if (got <= 0) return Fail(why, "cannot be read again around its hits");
        at += got;
        if (skip > 0) continue;
        MixMono(block.get(), got, channels, m_sign, m_gain, out->data() + done);
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

double OnsetAnalysis::Score(int64_t frame, int64_t rangeFrom, double rise) const {
    const double riseDecibels = 10.0 * std::log10(rise);
    if (rangeFrom <= Seconds(kBeforeSeconds, m_rate))
        return (riseDecibels - kStartRiseDecibels) / kRiseDecibels;
    const auto k = static_cast<size_t>(frame);
    return std::log2(m_flux[k] / (m_level[k] + m_levelOffset)) + riseDecibels / kRiseDecibels;
}

double OnsetAnalysis::Stands(int64_t attack) const {
    const auto n = static_cast<int64_t>(m_power.size());
    const int64_t at = attack / kHop;
    if (at < 0 || at >= n) return kStandDecibels;
    const int64_t reach = std::max<int64_t>(1, Seconds(kFloorSeconds, m_rate) / kHop);
    const int64_t first = std::max<int64_t>(0, at - reach);
    const int64_t end = std::min(n, at + reach + 1);
    const int64_t span = std::min<int64_t>(kFloorHalfFrames, end - first);
    const auto stands = [&](const std::vector<float>& powers) {
        double floor = std::numeric_limits<double>::max();
        for (int64_t i = first; i + span <= end; ++i) {
            double sum = 0.0;
            for (int64_t k = i; k < i + span; ++k) sum += powers[static_cast<size_t>(k)];
            floor = std::min(floor, sum / static_cast<double>(span));
        }
        const double power =
            *std::max_element(powers.begin() + at, powers.begin() + std::min(n, at + 2));
        return 10.0 * std::log10((power + kSilentPower) / (floor + kSilentPower));
    };
    return std::max(stands(m_differencePower), stands(m_power) - kLowStandDecibels);
}

std::vector<int64_t> OnsetAnalysis::PlaceHits(std::vector<int64_t> frames, double minScore,
                                              const BeatGrid* grid, std::string* why,
                                              HitPoint point, std::vector<int64_t>* doubtful,
                                              const std::atomic<bool>* cancelled) const {
    std::sort(frames.begin(), frames.end());
    std::vector<int64_t> starts;
    const int64_t gap = GapFrames(m_rate);
    int64_t notBefore = 0;
    if (!m_sound) return starts;
    // The samples read last, from frame `read` on: hits come in order, so
    // each read lies after the one before.
    std::vector<float> samples;
    int64_t read = 0;
    double lastScore = 0.0;
    int64_t lastAttack = 0;
    const auto readFor = [&](const AttackRange& range) {
        const auto [first, last] = SamplesRead(range, m_rate, m_frames);
        if (first < last && (first < read || last > read + static_cast<int64_t>(samples.size()))) {
            const int64_t end = std::min(m_frames, std::max(last, first + kHitReadFrames));
            if (!ReadMono(first, end - first, &samples, why)) return false;
            read = first;
        }
        return true;
    };
    const auto span = [&] {
        return SampleSpan{samples.data(), read, static_cast<int64_t>(samples.size()), m_frames,
                          kQuietStep * m_gain};
    };
    try {
        for (const int64_t f : frames) {
            if (cancelled != nullptr && cancelled->load()) return {};
            const AttackRange range = AttackRangeOf(f, notBefore, m_frames);
            // The hit ahead bounds this one only when it lies where this
            // one's samples are read; else the attack is the same whatever
            // came before, and is found once.
            const int64_t bound =
                notBefore > SamplesRead(AttackRangeOf(f, 0, m_frames), m_rate, m_frames).first
                    ? notBefore
                    : -1;
            auto known = std::lower_bound(m_placed.begin(), m_placed.end(), std::pair{f, bound},
                                          [](const Placed& p, std::pair<int64_t, int64_t> key) {
                                              return std::pair{p.frame, p.bound} < key;
                                          });
            if (known == m_placed.end() || known->frame != f || known->bound != bound) {
                if (!readFor(range)) return {};
                const HitPlace hit = AttackStart(span(), range, m_rate, f, notBefore);
                known = m_placed.insert(
                    known,
                    Placed{f, bound, hit.start, hit.attack, Score(f, range.from, hit.rise),
                           Stands(hit.attack), hit.contrast, hit.contrast >= kBuriedContrast});
            }
            // Nothing is inserted again before the next hit, so this stays valid.
            Placed& placed = *known;
            // The grid and the gap between hits go by the attacks: how
            // far a start lies ahead of its attack says nothing of the hit.
            const int64_t attack = placed.attack;
            const double score =
                placed.score + (grid != nullptr ? GridWeight(*grid, attack, placed.stands) : 0.0);
            if (doubtful != nullptr && score < minScore && score >= kDoubtfulScore)
                doubtful->push_back(attack);
            if (score < minScore) continue;
            // Two flux peaks of one hit land close: the earlier, where the
            // sound begins, unless the later scores plainly more.
            if (!starts.empty() && attack - lastAttack < gap) {
                if (score <= lastScore + kLaterPeakMargin) continue;
                starts.pop_back();
            }
            if (!placed.settled) {
                if (!readFor(range)) return {};
                if (const std::optional<int64_t> better =
                        BuriedStart(span(), attack, placed.contrast, m_rate, notBefore))
                    placed.start = *better;
                placed.settled = true;
            }
            const int64_t start = placed.start;
            starts.push_back(point == HitPoint::Attack ? attack : start);
            lastScore = score;
            lastAttack = attack;
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

std::vector<int64_t> OnsetAnalysis::CandidateFrames() const {
    std::vector<int64_t> frames;
    // A flux peak under its local level is never a hit.
    for (const Peak& p : Peaks())
        if (p.strength > p.level) frames.push_back(p.frame);
    return frames;
}

std::vector<int64_t> OnsetAnalysis::Transients(int sensitivity, std::string* why) const {
    const std::lock_guard lock(m_soundLock);
    return PlaceHits(CandidateFrames(), MinScoreFor(sensitivity, m_plainest), &m_grid, why);
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
    const std::lock_guard lock(m_soundLock);
    return PlaceHits(std::move(frames), -std::numeric_limits<double>::infinity(), nullptr, why);
}

std::optional<int64_t> OnsetAnalysis::HitStartNear(int64_t frame, int64_t reach,
                                                   const std::vector<int64_t>& marked,
                                                   std::string* why) const {
    const int64_t gap = GapFrames(m_rate);
    const auto isMarked = [&](int64_t start) {
        const auto after = std::lower_bound(marked.begin(), marked.end(), start);
        return (after != marked.end() && *after - start < gap) ||
               (after != marked.begin() && start - *std::prev(after) < gap);
    };
    // Only a hit the default takes, grid and all: with the bar lower, a
    // marker put by a soft note buried under a tail went to some bump of
    // the tail about as often as to the note.
    const double minScore = MinScoreFor(DefaultSensitivity, m_plainest);
    const std::lock_guard lock(m_soundLock);
    std::optional<int64_t> nearest;
    int64_t distance = reach + 1;
    for (const Peak& p : Peaks()) {
        const AttackRange range = AttackRangeOf(p.frame, 0, m_frames);
        if (range.to <= frame - reach || range.from > frame + reach) continue;
        // Each peak alone, so that no hit ahead of it bounds its attack.
        const std::vector<int64_t> attack =
            PlaceHits({p.frame}, minScore, &m_grid, why, HitPoint::Attack);
        if (attack.empty() || std::abs(attack.front() - frame) >= distance) continue;
        const std::vector<int64_t> start = PlaceHits({p.frame}, minScore, &m_grid, why);
        if (start.empty() || isMarked(start.front())) continue;
        nearest = start.front();
        distance = std::abs(attack.front() - frame);
    }
    return nearest;
}

std::optional<int64_t> OnsetAnalysis::ZeroCrossingNear(int64_t frame, int64_t reach,
                                                       std::string* why) const {
    const int64_t first = std::max<int64_t>(1, frame - reach);
    const int64_t last = std::min(m_frames - 1, frame + reach);
    if (first > frame || frame > last) return frame;
    const std::lock_guard lock(m_soundLock);
    std::vector<float> samples;
    if (!ReadMono(first - 1, last - first + 2, &samples, why)) return std::nullopt;
    const auto crossing = [&](int64_t i) {
        return Crosses(samples[static_cast<size_t>(i - first)],
                       samples[static_cast<size_t>(i - first + 1)]);
    };
    for (int64_t d = 0; d <= reach; ++d) {
        if (frame - d >= first && crossing(frame - d)) return frame - d;
        if (d > 0 && frame + d <= last && crossing(frame + d)) return frame + d;
    }
    return frame;
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
