#pragma once

// A peak overview of a whole sound file, for drawing its waveform: per bin
// of framesPerBin source frames, the smallest and largest sample of
// channels 1 and 2, on the 16-bit scale. Computed once, in one streaming
// pass, on whatever thread calls it (no shared state), so a window can run
// it off its GUI thread and draw the bins as they arrive.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/SoundSource.h"

// One bin; channel 2 repeats channel 1 for a mono file.
struct PeakBin {
    int16_t min1 = 0;
    int16_t max1 = 0;
    int16_t min2 = 0;
    int16_t max2 = 0;

    friend bool operator==(const PeakBin&, const PeakBin&) = default;
};

// The shape of a sound file, read from its header (the strict reader's
// formats, and with convert everything the converter reads). False with
// the reason in *why (may be null) when the file cannot be read.
[[nodiscard]] bool ProbeSoundFile(const char* path, bool convert, SourceInfo* info,
                                  std::string* why);

// Receives the bins computed since the last call, in order, and how many
// source frames they cover in all. Returns false to stop the computation.
using PeakSink = std::function<bool(const std::vector<PeakBin>& newBins, int64_t framesDone)>;

// Computes the overview of the whole file in bins of framesPerBin frames
// (the last bin may cover fewer), handing them to sink every so often (at
// least once per 1/50 of the file). Returns true when the whole file was
// covered; false when it cannot be read (the reason in *why, may be null)
// or the sink asked to stop or cancelled was set (checked every block).
[[nodiscard]] bool ComputePeakOverview(const char* path, bool convert, int64_t framesPerBin,
                                       const PeakSink& sink, std::string* why,
                                       const std::atomic<bool>& cancelled = NeverCancelled());

// Channels 1 and 2 (1 twice for mono) of frames first ... first + count - 1
// of a file, interleaved on the 16-bit scale, for drawing single samples:
// frames before the file's start or past its end are 0. False when the
// file cannot be opened or sought.
[[nodiscard]] bool ReadStereoFrames(const char* path, bool convert, int64_t first, int64_t count,
                                    std::vector<int16_t>* interleaved);

// Opens a sound file for a pass (the strict reader's formats, and with
// convert everything the converter reads). Null with the reason in *why
// (may be null) when neither reader takes it.
[[nodiscard]] std::unique_ptr<SoundSource> OpenSoundFile(const char* path, bool convert,
                                                         std::string* why);
