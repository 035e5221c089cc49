#pragma once

// How loud a row is and how to make it as loud as asked: K-weighted
// loudness (libebur128) as the largest momentary loudness, the 400 ms window
// stepped by 10 ms over the row with silence before and after it, and the
// largest sample; apart, the true peak (the peak of the wave a converter
// rebuilds between the samples, 8 times oversampled), which the ceiling is
// kept against. One-second hits have too little length for an
// integrated loudness to mean much; their loudest 400 ms is what is heard.

#include <optional>
#include <string>
#include <vector>

struct AudioData;
struct VoiceOptions;

// Targets a row's loudness may be set to, in LUFS.
inline constexpr double LoudnessMinLufs = -40.0;
inline constexpr double LoudnessMaxLufs = 0.0;
// The true peak no loudness target may push a row past, in dBTP: the
// samples may sit lower while the wave between them overshoots.
inline constexpr double LoudnessCeilingDbtp = -1.0;

// A row's level. Silence (or an empty row) has no loudness.
struct RowLevel {
    bool sounding = false;
    double loudnessLufs = 0.0;  // the largest momentary loudness
    int peak = 0;               // the largest absolute sample
    double peakDbfs = 0.0;      // peak against 32767, as "Normalize to" counts
};

// Measures a made row (44,100 Hz; a mono row counts as heard on both
// speakers, so it measures as a stereo row with the same two channels).
// False only when the measurement could not be set up (no memory).
[[nodiscard]] bool MeasureRow(const AudioData& record, RowLevel* level);

// The row's true peak, 1.0 being full scale. False only without memory.
[[nodiscard]] bool MeasureTruePeak(const AudioData& record, double* truePeak);

// What scaling a row to a loudness did.
struct LoudnessApplied {
    bool scaled = false;     // false for a silent row, left as it was
    bool atCeiling = false;  // the peak held the row below the target
    RowLevel level;          // the row as it now is
};

// Scales the made row so that its loudness is targetLufs, unless its true
// peak would then pass the ceiling: then the true peak lies at or just under
// the ceiling, below the target. Samples are rounded to the nearest value (halves away from
// zero), without dither, so the same row always gives the same result.
[[nodiscard]] bool ScaleRowToLoudness(AudioData* record, double targetLufs,
                                      LoudnessApplied* applied);

// "loudness -16.2 LUFS, peak -1.0 dBFS", or "silent".
[[nodiscard]] std::string DescribeRowLevel(const RowLevel& level);
// What a loudness target made of a row: "loudness -16.0 LUFS", or, held
// below it, "loudness -18.3 LUFS, held at the -1.0 dBTP ceiling (-16.0
// asked)"; "silent, loudness not set" for a silent row.
[[nodiscard]] std::string DescribeLoudnessApplied(double targetLufs,
                                                  const LoudnessApplied& applied);

// "-16.0 LUFS", with " (the median of the rows)" when it is that.
[[nodiscard]] std::string DescribeLoudnessTarget(double targetLufs, bool median);

// One row to be matched: its level, and the group it belongs to (rows of
// one source file keep their level differences).
struct MatchRow {
    RowLevel level;
    std::string group;
};

// A level rounded to a tenth, as options are stored and shown.
[[nodiscard]] double RoundToTenth(double value);
// The median loudness of the sounding rows, to a tenth; nullopt when none
// sounds.
[[nodiscard]] std::optional<double> MedianLoudness(const std::vector<MatchRow>& rows);

// What matching makes of one row.
struct LoudnessMatch {
    enum class Step {
        Silent,   // no loudness: left as it is
        AsIs,     // already at its level, which no option can name: left as it is
        Set,      // to be set to lufs
        Outside,  // would need lufs, outside LoudnessMinLufs ... LoudnessMaxLufs
    };
    Step step = Step::Silent;
    double lufs = 0.0;  // to a tenth; the row's own level for AsIs
};
// The loudness each row is to have so the rows meet at target: a row's own
// target, or, with keepGroups, that of its group, whose loudest row meets
// the target and the others keep their distance to it. A level past
// LoudnessMinLufs ... LoudnessMaxLufs is never replaced by the nearest one
// allowed: a row already there stays as it is, any other is Outside and
// the match cannot be made as asked.
[[nodiscard]] std::vector<LoudnessMatch> MatchLoudness(const std::vector<MatchRow>& rows,
                                                       double target, bool keepGroups);
// The options a row takes from its match, in the window and in glwtool:
// a row Set takes that loudness; a row left AsIs keeps no loudness (it is
// matched as measured); a Silent or Outside row keeps its options.
[[nodiscard]] VoiceOptions MatchedRowOptions(const VoiceOptions& options,
                                             const LoudnessMatch& match);
// The group a row's source file puts it in: the file's path made absolute
// and free of "." and "..", so two spellings of one file are one group.
[[nodiscard]] std::string SourceGroup(const std::string& path);
