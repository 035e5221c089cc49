#include "convert/PeakOverview.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ReadFailure.h"
#include "convert/ConvertingReader.h"

namespace {

// Samples per read, whatever the channel count: 64k frames of stereo.
constexpr int64_t kBlockSamples = 131072;
// The sink hears from the pass at least this often, in parts of the file.
constexpr int64_t kReportsPerFile = 50;

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

// Opens the file for a pass, with the reason when neither reader takes it.
std::unique_ptr<SoundSource> OpenChecked(const char* path, bool convert, std::string* why) {
    if (path == nullptr) {
        Fail(why, "no file given");
        return nullptr;
    }
    if (const std::string problem = DescribePathProblem(path); !problem.empty()) {
        Fail(why, problem);
        return nullptr;
    }
    SoundRefusal refusal;
    auto sound = SoundSource::Open(path, convert, &refusal);
    if (!sound) {
        // The format fields name what the strict reader found.
        const std::unique_ptr<AudioData> header(new (std::nothrow) AudioData());
        if (!header) {
            Fail(why, "not enough memory to read it");
            return nullptr;
        }
        header->channels = refusal.strict.channels;
        header->sampleRate = refusal.strict.sampleRate;
        header->bitsPerSample = refusal.strict.bitsPerSample;
        std::string text = DescribeReadFailure(path, refusal.strict.code, *header);
        ConvertOutcome converter;
        converter.convertReason = refusal.convertReason;
        if (const std::string more = DescribeConverterRefusal(converter); !more.empty()) {
            text += "; ";
            text += more;
        }
        Fail(why, std::move(text));
    }
    return sound;
}

struct BinBuilder {
    PeakBin bin;
    int64_t filled = 0;

    void Reset() {
        bin = {std::numeric_limits<int16_t>::max(), std::numeric_limits<int16_t>::min(),
               std::numeric_limits<int16_t>::max(), std::numeric_limits<int16_t>::min()};
        filled = 0;
    }

    // count frames of `channels` interleaved samples; channel 2 is channel 1
    // for mono.
    void Add(const int16_t* p, int64_t count, int channels) {
        int16_t lo1 = bin.min1, hi1 = bin.max1, lo2 = bin.min2, hi2 = bin.max2;
        if (channels == 1) {
            for (int64_t i = 0; i < count; ++i) {
                lo1 = std::min(lo1, p[i]);
                hi1 = std::max(hi1, p[i]);
            }
            lo2 = lo1;
            hi2 = hi1;
        } else if (channels == 2) {
            for (int64_t i = 0; i < count; ++i) {
                lo1 = std::min(lo1, p[2 * i]);
                hi1 = std::max(hi1, p[2 * i]);
                lo2 = std::min(lo2, p[2 * i + 1]);
                hi2 = std::max(hi2, p[2 * i + 1]);
            }
        } else {
            for (int64_t i = 0; i < count; ++i) {
                const int16_t* frame = p + i * channels;
                lo1 = std::min(lo1, frame[0]);
                hi1 = std::max(hi1, frame[0]);
                lo2 = std::min(lo2, frame[1]);
                hi2 = std::max(hi2, frame[1]);
            }
        }
        bin = {lo1, hi1, lo2, hi2};
        filled += count;
    }
};

bool RunPass(SoundSource& sound, int64_t framesPerBin, const PeakSink& sink,
             const std::atomic<bool>& cancelled, std::string* why) {
    const int channels = sound.Info().channels;
    const int64_t frames = sound.Info().frames;
    const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
    // Unknown lengths are reported on every block.
    const bool lengthKnown = frames > 0 && frames < std::numeric_limits<int64_t>::max();
    const int64_t step = lengthKnown ? std::max<int64_t>(1, frames / kReportsPerFile) : blockFrames;

    std::vector<int16_t> samples(static_cast<size_t>(blockFrames * channels));
    std::vector<PeakBin> bins;
    BinBuilder builder;
    builder.Reset();
    int64_t read = 0;
    int64_t covered = 0;  // frames in the bins handed to the sink or waiting
    int64_t handed = 0;   // frames in the bins handed to the sink
    int64_t nextReport = step;

    for (;;) {
        // Reads stop at each report point, so a report is never late.
        const int64_t ask = std::min(blockFrames, nextReport - read);
        if (cancelled.load()) return Fail(why, "the overview was stopped");
        const int64_t got = sound.ReadFrames(samples.data(), ask);
        if (got <= 0) break;
        const int16_t* p = samples.data();
        int64_t left = got;
        while (left > 0) {
            const int64_t take = std::min(left, framesPerBin - builder.filled);
            builder.Add(p, take, channels);
            p += take * channels;
            left -= take;
            if (builder.filled == framesPerBin) {
                bins.push_back(builder.bin);
                covered += framesPerBin;
                builder.Reset();
            }
        }
        read += got;
        if (read >= nextReport) {
            if (!sink(bins, covered)) return Fail(why, "the overview was stopped");
            bins.clear();
            handed = covered;
            nextReport = read + step;
        }
    }
    // A decoder that fails part way leaves the rest of the file unseen.
    if (const std::string error = sound.ReadError(); !error.empty())
        return Fail(why, "cannot be read to its end: " + error);
    if (builder.filled > 0) {
        bins.push_back(builder.bin);
        covered += builder.filled;
    }
    if ((covered > handed || !bins.empty() || read == 0) && !sink(bins, covered))
        return Fail(why, "the overview was stopped");
    return true;
}

}  // namespace

bool ProbeSoundFile(const char* path, bool convert, SourceInfo* info, std::string* why) {
    if (info == nullptr) return Fail(why, "nothing to fill");
    const auto sound = OpenChecked(path, convert, why);
    if (!sound) return false;
    *info = sound->Info();
    return true;
}

bool ComputePeakOverview(const char* path, bool convert, int64_t framesPerBin, const PeakSink& sink,
                         std::string* why, const std::atomic<bool>& cancelled) {
    if (framesPerBin < 1) return Fail(why, "a bin must cover at least one frame");
    if (!sink) return Fail(why, "nothing receives the bins");
    const auto sound = OpenChecked(path, convert, why);
    if (!sound) return false;
    try {
        return RunPass(*sound, framesPerBin, sink, cancelled, why);
    } catch (const std::bad_alloc&) {
        return Fail(why, "not enough memory for the overview");
    }
}

std::unique_ptr<SoundSource> OpenSoundFile(const char* path, bool convert, std::string* why) {
    return OpenChecked(path, convert, why);
}

bool ReadStereoFrames(const char* path, bool convert, int64_t first, int64_t count,
                      std::vector<int16_t>* interleaved) {
    if (path == nullptr || interleaved == nullptr || count < 0) return false;
    const auto sound = OpenSoundFile(path, convert, nullptr);
    if (!sound) return false;
    const int channels = std::max(sound->Info().channels, 1);
    try {
        interleaved->assign(static_cast<size_t>(count) * 2, 0);
        const int64_t from = std::max<int64_t>(first, 0);
        if (from >= first + count) return true;
        if (!sound->Seek(from)) return false;
        std::vector<int16_t> read(static_cast<size_t>(first + count - from) *
                                  static_cast<size_t>(channels));
        const int64_t got = sound->ReadFrames(read.data(), first + count - from);
        for (int64_t i = 0; i < got; ++i) {
            const size_t at = static_cast<size_t>(from - first + i) * 2;
            const size_t frame = static_cast<size_t>(i) * static_cast<size_t>(channels);
            (*interleaved)[at] = read[frame];
            (*interleaved)[at + 1] = read[frame + (channels > 1 ? 1 : 0)];
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
