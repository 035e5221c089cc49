#pragma once

// Finding the hits of a loop or phrase, so that each can fill a row. The
// detector works on a mono mix of the whole source: spectral flux on
// overlapping frames against an adaptive threshold, then each hit is moved
// back to just before its attack, so a row made from there keeps the whole
// attack and nothing of the hit before it. Pure computation on whatever
// thread calls it; a window runs it on a worker.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/VoiceLoad.h"

// How the slice points are chosen.
enum class SliceMode {
    Transients,  // every hit the sensitivity lets through
    Equal,       // count equal parts of the whole source, or one part per note at a tempo
    Strongest,   // the count strongest hits
};

// A note's length as a part of a whole note: 1/16 is a sixteenth, 1/12 an
// eighth-note triplet, 3/16 a dotted eighth.
struct NoteLength {
    int numerator = 1;
    int denominator = 16;

    friend bool operator==(const NoteLength&, const NoteLength&) = default;
};

inline constexpr int MinSensitivity = 0;
inline constexpr int MaxSensitivity = 100;
inline constexpr int DefaultSensitivity = 50;
inline constexpr int DefaultSliceCount = 16;
// Two hits closer than this are one hit.
inline constexpr double MinHitGapSeconds = 0.03;

inline constexpr double MinTempo = 20.0;
inline constexpr double MaxTempo = 999.0;
inline constexpr int MaxNotePart = 128;

struct SliceSettings {
    SliceMode mode = SliceMode::Transients;
    int sensitivity = DefaultSensitivity;  // Transients: 0 finds only the plainest hits
    int count = DefaultSliceCount;         // Equal without a tempo, Strongest
    // Equal: when above 0, one part per note of that length at this many
    // quarter notes a minute, instead of count parts.
    double tempo = 0.0;
    NoteLength note;
};

// "A/B" with A and B whole numbers from 1 to 128, e.g. "1/16" or "3/16".
[[nodiscard]] bool ParseNoteLength(std::string_view text, NoteLength* note);
[[nodiscard]] std::string NoteLengthText(NoteLength note);

// One slice, in frames of the source file.
struct Slice {
    int64_t start = 0;
    int64_t length = 0;

    friend bool operator==(const Slice&, const Slice&) = default;
};

// The analysis of one source: the mono samples and their onset strength per
// frame, computed once; finding the hits for a sensitivity is then cheap, so
// a dialog can follow a slider.
class OnsetAnalysis {
public:
    OnsetAnalysis() = default;
    // Analyses samples (mono, -1 ... 1) at rate. False when cancelled is set
    // part way (may be null) or memory runs out; the analysis is then empty.
    [[nodiscard]] bool Analyse(std::vector<float> samples, int rate,
                               const std::atomic<bool>* cancelled = nullptr);

    [[nodiscard]] int SampleRate() const { return m_rate; }
    [[nodiscard]] int64_t Frames() const { return static_cast<int64_t>(m_samples.size()); }
    [[nodiscard]] const std::vector<float>& Samples() const { return m_samples; }

    // Where the slices begin, ascending: each hit's start just before its
    // attack (at most 5 ms before the first sample that rises 40 dB below
    // full scale above the level before it, on a zero crossing within 1 ms
    // when there is one), never at or before the hit ahead of it.
    [[nodiscard]] std::vector<int64_t> Transients(int sensitivity) const;
    [[nodiscard]] std::vector<int64_t> Strongest(int count) const;
    [[nodiscard]] std::vector<int64_t> SliceStarts(const SliceSettings& settings) const;

private:
    struct Peak {
        int64_t frame;  // analysis frame
        float strength;
        float level;  // the local level
    };
    [[nodiscard]] std::vector<Peak> Peaks() const;
    [[nodiscard]] std::vector<int64_t> PlaceHits(std::vector<int64_t> frames) const;
    [[nodiscard]] int64_t AttackStart(int64_t frame, int64_t notBefore) const;

    std::vector<float> m_samples;
    int m_rate = 0;
    std::vector<float> m_flux;   // onset strength per analysis frame
    std::vector<float> m_level;  // its local median
};

// count equal parts of frames frames (fewer when frames is smaller).
[[nodiscard]] std::vector<int64_t> EqualDivisions(int64_t frames, int count);

// One part per note of note's length at tempo (quarter notes a minute)
// from the first frame, each start rounded to the nearest frame so that
// parts never drift off the beat. A rest shorter than half a note at the
// end stays with the part before it.
[[nodiscard]] std::vector<int64_t> TempoDivisions(int64_t frames, int rate, double tempo,
                                                  NoteLength note);

// The row options that make a slice of a source at rate into a row: its
// start and its length, exactly to the frame.
[[nodiscard]] VoiceOptions SliceVoiceOptions(const Slice& slice, int rate);

// Slices from their starts (sorted, duplicates dropped): each runs to the
// next start, the last to the end of frames.
[[nodiscard]] std::vector<Slice> SlicesFromStarts(std::vector<int64_t> starts, int64_t frames);

// The slices of a sound file as settings choose them. False with the reason
// in *why when the file cannot be read.
[[nodiscard]] bool FindSlices(const char* path, bool convert, const SliceSettings& settings,
                              std::vector<Slice>* slices, int* rate, std::string* why);
