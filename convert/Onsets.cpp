#include "convert/Onsets.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "convert/PeakOverview.h"

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
    // The flux of frame f; frames must come in order, each once.
    [[nodiscard]] float Next(const std::vector<float>& samples, int64_t f);

private:
    static constexpr size_t kBins = kFrameSize / 2 + 1;
    void Transform(const std::vector<float>& samples, int64_t begin);
    [[nodiscard]] float Rise() const;
    [[nodiscard]] static bool CutOff(const std::vector<float>& samples, int64_t begin);

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

float FluxFrames::Next(const std::vector<float>& samples, int64_t f) {
    // Frame f ends at f * hop + hop: its second half is new.
    const int64_t begin = f * kHop + kHop - kFrameSize;
    Transform(samples, begin);
    const float rise = Rise();
    m_previous.swap(m_current);
    return CutOff(samples, begin) ? 0.0f : rise;
}

// The compressed magnitudes of the windowed frame from begin.
void FluxFrames::Transform(const std::vector<float>& samples, int64_t begin) {
    const auto total = static_cast<int64_t>(samples.size());
    for (size_t i = 0; i < m_frame.size(); ++i) {
        const int64_t at = begin + static_cast<int64_t>(i);
        m_frame[i] = at >= 0 && at < total ? samples[static_cast<size_t>(at)] * m_window[i] : 0.0f;
    }
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
bool FluxFrames::CutOff(const std::vector<float>& samples, int64_t begin) {
    const auto total = static_cast<int64_t>(samples.size());
    double newPower = 0.0, oldPower = 0.0;
    for (size_t i = 0; i < kHop; ++i) {
        const int64_t at = begin + static_cast<int64_t>(i);
        if (at >= 0 && at < total)
            oldPower += double{samples[static_cast<size_t>(at)]} * samples[static_cast<size_t>(at)];
        if (at + kHop >= 0 && at + kHop < total)
            newPower += double{samples[static_cast<size_t>(at + kHop)]} *
                        samples[static_cast<size_t>(at + kHop)];
    }
    return newPower < kCutOffRatio * oldPower;
}

// The flux of every analysis frame. False when cancelled or the FFT cannot
// be set up.
bool SpectralFlux(const std::vector<float>& samples, int rate, const std::atomic<bool>* cancelled,
                  std::vector<float>* flux) {
    FluxFrames frames(rate);
    if (!frames.Ready()) return false;
    const auto total = static_cast<int64_t>(samples.size());
    const int64_t count = total <= 0 ? 0 : (total + kHop - 1) / kHop;
    flux->assign(static_cast<size_t>(count), 0.0f);
    for (int64_t f = 0; f < count; ++f) {
        if ((f & 1023) == 0 && cancelled != nullptr && cancelled->load()) return false;
        (*flux)[static_cast<size_t>(f)] = frames.Next(samples, f);
    }
    return true;
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

// On the samples themselves, and failing that on their first difference: a
// soft hat on the loud tail of a kick rises only there.
float Magnitude(const std::vector<float>& samples, int64_t i, bool difference) {
    const float v = samples[static_cast<size_t>(i)];
    if (!difference) return std::fabs(v);
    return i > 0 ? 0.5f * std::fabs(v - samples[static_cast<size_t>(i - 1)]) : 0.0f;
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
    BlockPeaks(const std::vector<float>& samples, const AttackRange& range)
        : m_first(-range.beforeBlocks), m_last(range.Blocks() + 4) {
        const auto total = static_cast<int64_t>(samples.size());
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
int64_t FirstRisingSample(const std::vector<float>& samples, const AttackRange& range) {
    const auto total = static_cast<int64_t>(samples.size());
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
int64_t PowerRiseStart(const std::vector<float>& samples, const AttackRange& range,
                       int64_t frameStart) {
    const auto total = static_cast<int64_t>(samples.size());
    const int64_t from = range.from;
    const int64_t to = range.to;
    const int64_t after = 5 * range.block;
    const int64_t beforeSpan = range.beforeBlocks * range.block / 2;
    const int64_t lo = std::max<int64_t>(0, from - beforeSpan);
    const int64_t hi = std::min(total, to + after);
    std::vector<double> sums(static_cast<size_t>(hi - lo + 1), 0.0);
    for (int64_t i = lo; i < hi; ++i) {
        const double v = samples[static_cast<size_t>(i)];
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
int64_t NearestZeroCrossing(const std::vector<float>& samples, int64_t aim, int64_t reach,
                            int64_t attack, int64_t notBefore) {
    const auto total = static_cast<int64_t>(samples.size());
    int64_t best = aim;
    int64_t bestDistance = reach + 1;
    for (int64_t i = std::max(notBefore + 1, aim - reach); i <= std::min(aim + reach, attack);
         ++i) {
        if (i <= 0 || i >= total) continue;
        const float a = samples[static_cast<size_t>(i - 1)];
        const float b = samples[static_cast<size_t>(i)];
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
}  // namespace

bool OnsetAnalysis::Analyse(std::vector<float> samples, int rate,
                            const std::atomic<bool>* cancelled) {
    m_samples.clear();
    m_flux.clear();
    m_level.clear();
    m_rate = 0;
    if (rate <= 0) return false;
    try {
        std::vector<float> flux;
        if (!SpectralFlux(samples, rate, cancelled, &flux)) return false;
        std::vector<float> level = LocalLevels(flux);
        m_samples = std::move(samples);
        m_flux = std::move(flux);
        m_level = std::move(level);
        m_rate = rate;
        return true;
    } catch (const std::bad_alloc&) {
        m_samples.clear();
        m_flux.clear();
        m_level.clear();
        return false;
    }
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

int64_t OnsetAnalysis::AttackStart(int64_t frame, int64_t notBefore) const {
    const auto total = static_cast<int64_t>(m_samples.size());
    // The new half of the frame, and the half before it: where the flux saw
    // the hit begin.
    AttackRange range;
    range.from = std::max<int64_t>(notBefore, frame * kHop - kFrameSize / 2);
    range.to = std::min<int64_t>(total, frame * kHop + kHop + kHop / 2);
    if (range.from >= range.to)
        return std::max<int64_t>(notBefore, std::min(frame * kHop, total - 1));
    range.block = std::max(1, m_rate / 1000);
    range.beforeBlocks = std::max<int64_t>(1, static_cast<int64_t>(kBeforeSeconds * 1000));
    int64_t attack = FirstRisingSample(m_samples, range);
    if (attack < 0) attack = PowerRiseStart(m_samples, range, frame * kHop);
    const auto lead = static_cast<int64_t>(kLeadSeconds * m_rate);
    const auto reach = static_cast<int64_t>(kZeroCrossingSeconds * m_rate);
    const int64_t aim = std::max(notBefore, attack - lead);
    return NearestZeroCrossing(m_samples, aim, reach, attack, notBefore);
}

std::vector<int64_t> OnsetAnalysis::PlaceHits(std::vector<int64_t> frames) const {
    std::sort(frames.begin(), frames.end());
    std::vector<int64_t> starts;
    const int64_t gap = GapFrames(m_rate);
    int64_t notBefore = 0;
    for (const int64_t f : frames) {
        const int64_t start = AttackStart(f, notBefore);
        // Two flux peaks of one hit land on the same attack.
        if (!starts.empty() && start - starts.back() < gap) continue;
        starts.push_back(start);
        notBefore = start + 1;
    }
    return starts;
}

std::vector<int64_t> OnsetAnalysis::Transients(int sensitivity) const {
    const float margin = MarginFor(sensitivity);
    const float ratio = RatioFor(sensitivity);
    const int64_t gapFrames = std::max<int64_t>(1, GapFrames(m_rate) / kHop);
    std::vector<int64_t> frames;
    for (const Peak& p : Peaks()) {
        if (p.strength <= p.level * (1.0f + ratio) + margin) continue;
        if (!frames.empty() && p.frame - frames.back() <= gapFrames) continue;
        frames.push_back(p.frame);
    }
    return PlaceHits(std::move(frames));
}

std::vector<int64_t> OnsetAnalysis::Strongest(int count) const {
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
    return PlaceHits(std::move(frames));
}

std::vector<int64_t> OnsetAnalysis::SliceStarts(const SliceSettings& settings) const {
    switch (settings.mode) {
    case SliceMode::Equal:
        if (settings.tempo > 0.0)
            return TempoDivisions(Frames(), m_rate, settings.tempo, settings.note);
        return EqualDivisions(Frames(), settings.count);
    case SliceMode::Strongest: return Strongest(settings.count);
    case SliceMode::Transients: break;
    }
    return Transients(settings.sensitivity);
}

std::vector<int64_t> EqualDivisions(int64_t frames, int count) {
    std::vector<int64_t> starts;
    if (frames <= 0 || count <= 0) return starts;
    const int64_t parts = std::min<int64_t>(count, frames);
    for (int64_t i = 0; i < parts; ++i) starts.push_back(i * frames / parts);
    return starts;
}

std::vector<int64_t> TempoDivisions(int64_t frames, int rate, double tempo, NoteLength note) {
    std::vector<int64_t> starts;
    if (frames <= 0 || rate <= 0 || !(tempo > 0.0) || note.numerator <= 0 || note.denominator <= 0)
        return starts;
    // A whole note lasts four beats.
    const double step = 240.0 * rate * note.numerator / (tempo * note.denominator);
    if (!(step >= 1.0)) return starts;
    for (int64_t i = 0;; ++i) {
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
                std::vector<Slice>* slices, int* rate, std::string* why) {
    std::vector<float> samples;
    int sampleRate = 0;
    if (!ReadMonoSource(path, convert, &samples, &sampleRate, why)) return false;
    const auto frames = static_cast<int64_t>(samples.size());
    OnsetAnalysis analysis;
    if (!analysis.Analyse(std::move(samples), sampleRate)) {
        if (why != nullptr) *why = "not enough memory to find its hits";
        return false;
    }
    *slices = SlicesFromStarts(analysis.SliceStarts(settings), frames);
    if (rate != nullptr) *rate = sampleRate;
    return true;
}
