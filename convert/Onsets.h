#pragma once

// Finding the hits of a loop or phrase, so that each can fill a row. The
// detector works on a mono mix of the source, read in blocks: spectral flux
// on overlapping frames against the local level finds where hits may be;
// the samples around each say whether the power rises there (a reverb
// tail or a noise bed does not) and where the attack begins, and the hit is
// moved to just before it, so a row made from there keeps the whole attack
// and nothing of the hit before it. Of a long source only six numbers
// per analysis frame are kept (about a 100th of its samples), and each
// possible hit's start and score once found; the attack is found in the
// samples around each hit, read again from the open file. A drum loop's
// plain hits give the grid it is played on, and a doubtful hit between the
// grid's lines counts for less than one on them; one that stands little
// over the quietest sound around it, in its high frequencies, counts for
// less, most where no grid holds. Computation on whatever thread calls it;
// a window runs it on a worker.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/BeatGrid.h"
#include "convert/PeakOverview.h"
#include "convert/SoundSource.h"
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

// At most this many slices are listed or shown; of a source with more, the
// first this many are kept and the caller says that more were found.
inline constexpr int MaxSlices = 10000;

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

// The analysis of one source: its onset strength per analysis frame,
// computed once in a pass over the file after a quick one for its level
// (a quiet recording slices as a loud one); finding the hits for a
// sensitivity is then cheap, so a dialog can follow a slider. The file
// stays open to read the samples around the hits (a short file's mix is
// kept instead); one lock keeps calls from several threads apart.
class OnsetAnalysis {
public:
    // The analysed mix of a source of up to keptFrames frames is kept from
    // the pass, so that the samples around its hits are not read again.
    static constexpr int64_t kKeptFrames = int64_t{1} << 21;  // 8 MB, 47 s at 44.1 kHz
    explicit OnsetAnalysis(int64_t keptFrames = kKeptFrames);
    ~OnsetAnalysis();
    OnsetAnalysis(const OnsetAnalysis&) = delete;
    OnsetAnalysis& operator=(const OnsetAnalysis&) = delete;

    // Opens path (with convert, also the formats the converter reads) and
    // analyses the mono mix of its first two channels at its own rate.
    // False with the reason in *why (may be null) when it cannot be read,
    // memory runs out or cancelled is set; the analysis is then empty.
    [[nodiscard]] bool Analyse(const char* path, bool convert, std::string* why,
                               const std::atomic<bool>& cancelled = NeverCancelled());

    [[nodiscard]] int SampleRate() const { return m_rate; }
    [[nodiscard]] int64_t Frames() const { return m_frames; }
    // The mono mix's waveform in at most bins bins, for drawing.
    [[nodiscard]] std::vector<PeakBin> Overview(int bins) const;

    // Where the slices begin, ascending: each hit's start 0.5 to 3 ms
    // before its attack (where the samples leave the level before it, or
    // for a buried attack the part of them that the sound before does not
    // foretell, when that stands plainer), on
    // a zero crossing when there is one there, never at or before the hit
    // ahead of it. A hit is a flux peak whose flux stands above the local
    // level and whose power rises at its attack; at most MaxSlices + 1
    // starts: one more than MaxSlices says that more were found. Empty with
    // the reason in *why (may be null) when the samples around a hit cannot
    // be read again.
    [[nodiscard]] std::vector<int64_t> Transients(int sensitivity,
                                                  std::string* why = nullptr) const;
    [[nodiscard]] std::vector<int64_t> Strongest(int count, std::string* why = nullptr) const;
    [[nodiscard]] std::vector<int64_t> SliceStarts(const SliceSettings& settings,
                                                   std::string* why = nullptr) const;
    // The start, placed as Transients places it, of the hit whose attack
    // lies nearest frame and at most reach frames from it, of those that
    // the default sensitivity takes and that start MinHitGapSeconds or more
    // from every start in marked (ascending): where a marker put by hand
    // near a hit belongs. None when no such hit is there or its samples
    // cannot be read again (the reason in *why, may be null).
    [[nodiscard]] std::optional<int64_t> HitStartNear(int64_t frame, int64_t reach,
                                                      const std::vector<int64_t>& marked,
                                                      std::string* why = nullptr) const;
    // The zero crossing of the analysed mix nearest frame, at most reach
    // frames from it (of two as near, the earlier); frame itself when there
    // is none. None when the samples cannot be read again (the reason in
    // *why, may be null).
    [[nodiscard]] std::optional<int64_t> ZeroCrossingNear(int64_t frame, int64_t reach,
                                                          std::string* why = nullptr) const;

private:
    struct Peak {
        int64_t frame;  // analysis frame
        float strength;
        float level;  // the local level
    };
    [[nodiscard]] std::vector<Peak> Peaks() const;
    // How plainly the flux peak at frame, its attack looked for from
    // rangeFrom on and rising there by rise (a power ratio), is a hit.
    [[nodiscard]] double Score(int64_t frame, int64_t rangeFrom, double rise) const;
    // How far the power at frame `attack` stands over the quietest sound
    // around it, in decibels, going by its high frequencies.
    [[nodiscard]] double Stands(int64_t attack) const;
    // The flux peaks above their local level: where hits may be.
    [[nodiscard]] std::vector<int64_t> CandidateFrames() const;
    // Which point of each hit PlaceHits lists: where its slice starts, or
    // its attack (what the grid is fitted to).
    enum class HitPoint { Start, Attack };
    // The starts (or attacks) of the hits at frames that score minScore or
    // more, a hit whose attack lies on or off grid (may be null) scoring
    // more or less; the attacks of the doubtful ones, scoring less but not
    // much less, into *doubtful (may be null). Empty once *cancelled (may be
    // null) is set. m_soundLock held.
    [[nodiscard]] std::vector<int64_t> PlaceHits(
        std::vector<int64_t> frames, double minScore, const BeatGrid* grid, std::string* why,
        HitPoint point = HitPoint::Start, std::vector<int64_t>* doubtful = nullptr,
        const std::atomic<bool>* cancelled = nullptr) const;
    [[nodiscard]] bool MixPass(const std::atomic<bool>& cancelled, std::string* why);
    [[nodiscard]] bool ReadPass(const std::atomic<bool>& cancelled, std::string* why);
    [[nodiscard]] bool ReadMono(int64_t from, int64_t count, std::vector<float>* out,
                                std::string* why) const;

    int m_rate = 0;
    int64_t m_frames = 0;
    // Which mix of channels 1 and 2: their sum (1) or their difference (-1).
    float m_sign = 1.0f;
    // What the mix is multiplied by where it is analysed.
    float m_gain = 1.0f;
    std::vector<float> m_flux;   // onset strength per analysis frame
    std::vector<float> m_level;  // its local median
    double m_levelOffset = 0.0;  // added to the local level where a hit is scored
    BeatGrid m_grid;             // the grid the plain hits lie on
    // Each hit placed so far (a flux peak's frame, the start of the hit
    // ahead where it bounds this one, else -1), by frame: a slider moved
    // in a dialog places them again without reading the file (under
    // m_soundLock).
    struct Placed {
        int64_t frame = 0;
        int64_t bound = -1;
        int64_t start = 0;
        int64_t attack = 0;
        double score = 0.0;
        double stands = 0.0;    // Stands(attack)
        double contrast = 0.0;  // how plainly the attack stands over the level before
        bool settled = false;   // else a kept hit's start is placed again (BuriedStart)
    };
    mutable std::vector<Placed> m_placed;
    double m_plainest = 0.0;  // the highest score of a hit, on no grid
    // The smallest and largest sample of each analysis frame's new half,
    // and its power and that of its first difference at the gain analysed.
    std::vector<float> m_low;
    std::vector<float> m_high;
    std::vector<float> m_power;
    std::vector<float> m_differencePower;
    // The analysed mix (times m_gain) of a source of up to m_keptFrames
    // frames; else empty, and the samples are read from the file.
    const int64_t m_keptFrames;
    std::vector<float> m_mono;
    // The open file; reading moves it, so every use holds the lock.
    mutable std::mutex m_soundLock;
    std::unique_ptr<SoundSource> m_sound;
    mutable int64_t m_soundAt = -1;  // the frame m_sound reads next; -1 when not known
};

// count equal parts of frames frames (fewer when frames is smaller).
[[nodiscard]] std::vector<int64_t> EqualDivisions(int64_t frames, int count);

// One part per note of note's length at tempo (quarter notes a minute)
// from the first frame, each start rounded to the nearest frame so that
// parts never drift off the beat. A rest shorter than half a note at the
// end stays with the part before it. At most limit starts.
[[nodiscard]] std::vector<int64_t> TempoDivisions(int64_t frames, int rate, double tempo,
                                                  NoteLength note, int64_t limit = MaxSlices + 1);

// The row options that make a slice of a source at rate into a row: its
// start and its length, exactly to the frame.
[[nodiscard]] VoiceOptions SliceVoiceOptions(const Slice& slice, int rate);

// Slices from their starts (sorted, duplicates dropped): each runs to the
// next start, the last to the end of frames.
[[nodiscard]] std::vector<Slice> SlicesFromStarts(std::vector<int64_t> starts, int64_t frames);

// The slices of a sound file as settings choose them, at most MaxSlices;
// *more (may be null) says whether more were found. False with the reason
// in *why when the file cannot be read.
[[nodiscard]] bool FindSlices(const char* path, bool convert, const SliceSettings& settings,
                              std::vector<Slice>* slices, int* rate, std::string* why,
                              bool* more = nullptr);
