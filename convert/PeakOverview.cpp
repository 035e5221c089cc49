#include "convert/PeakOverview.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ReadFailure.h"
#include "convert/AudioConverter.h"

namespace {

// The sample size a file stores; 0 for compressed formats, which have none.
int BitsOfSubtype(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    default: return 0;
    }
}

// Samples per read, whatever the channel count: 64k frames of stereo.
constexpr int64_t kBlockSamples = 131072;
// The sink hears from the pass at least this often, in parts of the file.
constexpr int64_t kReportsPerFile = 50;

struct SoundFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

bool Fail(std::string* why, std::string text) {
    if (why != nullptr) *why = std::move(text);
    return false;
}

// The strict reader's own header checks decide, so exactly the files it
// loads are taken (it reads at most the first second).
bool StrictReaderTakes(const char* path, std::string* why) {
    std::unique_ptr<AudioData> record;
    try {
        record = std::make_unique<AudioData>();
    } catch (const std::bad_alloc&) {
        return Fail(why, "not enough memory to read it");
    }
    const int code = ReadAudioFile(path, record.get(), HostLittleEndian);
    if (code != ReadOk) return Fail(why, DescribeReadFailure(path, code, *record));
    return true;
}

// Opens the file for the pass once it is known to be one this mode reads.
SoundFile OpenChecked(const char* path, bool convert, SF_INFO* info, std::string* why) {
    if (path == nullptr) {
        Fail(why, "no file given");
        return nullptr;
    }
    if (const std::string problem = DescribePathProblem(path); !problem.empty()) {
        Fail(why, problem);
        return nullptr;
    }
    if (!convert && !StrictReaderTakes(path, why)) return nullptr;
    *info = {};
    SoundFile file(sf_open(path, SFM_READ, info));
    if (!file) {
        Fail(why, std::string("cannot be read: ") + sf_strerror(nullptr));
        return nullptr;
    }
    if (info->channels < 1 || info->channels > ConvertMaxChannels) {
        Fail(why, "unsupported channel count " + std::to_string(info->channels));
        return nullptr;
    }
    if (info->samplerate < ConvertMinRate || info->samplerate > ConvertMaxRate) {
        Fail(why, "unsupported sample rate " + std::to_string(info->samplerate) + " Hz");
        return nullptr;
    }
    return file;
}

// Samples of these sizes come back from libsndfile as 16-bit values exactly;
// everything else is read as float and rounded the way the converter does.
bool ReadsAsShort(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return true;
    default: return false;
    }
}

// Full scale 1.0; rounded to nearest, clipped, NaN is silence.
int16_t FloatToSample(float v) {
    if (std::isnan(v)) return 0;
    const float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<int16_t>(std::lrint(scaled));
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

bool RunPass(SNDFILE* file, const SF_INFO& info, int64_t framesPerBin, const PeakSink& sink,
             std::string* why) {
    const int channels = info.channels;
    const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
    const bool asShort = ReadsAsShort(info.format);
    // Unknown lengths are reported on every block.
    const bool lengthKnown =
        info.frames > 0 && info.frames < std::numeric_limits<sf_count_t>::max();
    const int64_t step =
        lengthKnown ? std::max<int64_t>(1, info.frames / kReportsPerFile) : blockFrames;

    std::vector<int16_t> samples(static_cast<size_t>(blockFrames * channels));
    std::vector<float> floats;
    if (!asShort) floats.resize(samples.size());
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
        sf_count_t got = 0;
        if (asShort) {
            got = sf_readf_short(file, samples.data(), ask);
        } else {
            got = sf_readf_float(file, floats.data(), ask);
            for (sf_count_t i = 0; i < got * channels; ++i)
                samples[static_cast<size_t>(i)] = FloatToSample(floats[static_cast<size_t>(i)]);
        }
        if (got <= 0 || got > ask) break;
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
    if (sf_error(file) != SF_ERR_NO_ERROR)
        return Fail(why, std::string("cannot be read to its end: ") + sf_strerror(file));
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
    SF_INFO sf{};
    if (!OpenChecked(path, convert, &sf, why)) return false;
    info->channels = sf.channels;
    info->sampleRate = sf.samplerate;
    info->frames = sf.frames;
    info->bitsPerSample = BitsOfSubtype(sf.format & SF_FORMAT_SUBMASK);
    return true;
}

bool ComputePeakOverview(const char* path, bool convert, int64_t framesPerBin, const PeakSink& sink,
                         std::string* why) {
    if (framesPerBin < 1) return Fail(why, "a bin must cover at least one frame");
    if (!sink) return Fail(why, "nothing receives the bins");
    SF_INFO info{};
    SoundFile file = OpenChecked(path, convert, &info, why);
    if (!file) return false;
    try {
        return RunPass(file.get(), info, framesPerBin, sink, why);
    } catch (const std::bad_alloc&) {
        return Fail(why, "not enough memory for the overview");
    }
}

bool ReadMonoSource(const char* path, bool convert, std::vector<float>* samples, int* rate,
                    std::string* why, const std::atomic<bool>* cancelled) {
    if (samples == nullptr || rate == nullptr) return Fail(why, "nothing to fill");
    SF_INFO info{};
    SoundFile file = OpenChecked(path, convert, &info, why);
    if (!file) return false;
    const int channels = info.channels;
    const int64_t blockFrames = std::max<int64_t>(1, kBlockSamples / channels);
    // Channels 1 and 2 summed; their difference instead when that holds
    // more power (a stereo file with one channel's polarity turned would
    // otherwise mix to silence).
    double sumPower = 0.0, differencePower = 0.0;
    for (const float sign : {1.0f, -1.0f}) {
        try {
            samples->clear();
            if (info.frames > 0 && info.frames < std::numeric_limits<int32_t>::max())
                samples->reserve(static_cast<size_t>(info.frames));
            std::vector<float> block(static_cast<size_t>(blockFrames * channels));
            for (;;) {
                if (cancelled != nullptr && cancelled->load()) return Fail(why, "stopped");
                const sf_count_t got = sf_readf_float(file.get(), block.data(), blockFrames);
                if (got <= 0 || got > blockFrames) break;
                for (sf_count_t i = 0; i < got; ++i) {
                    const float* frame = block.data() + i * channels;
                    const float first = std::isnan(frame[0]) ? 0.0f : frame[0];
                    const float second =
                        channels == 1 ? first : (std::isnan(frame[1]) ? 0.0f : frame[1]);
                    const float sum = 0.5f * (first + second);
                    const float difference = 0.5f * (first - second);
                    sumPower += double{sum} * sum;
                    differencePower += double{difference} * difference;
                    samples->push_back(std::clamp(sign > 0 ? sum : difference, -1.0f, 1.0f));
                }
            }
        } catch (const std::bad_alloc&) {
            return Fail(why, "not enough memory to read it");
        }
        if (sf_error(file.get()) != SF_ERR_NO_ERROR)
            return Fail(why, std::string("cannot be read to its end: ") + sf_strerror(file.get()));
        if (sign < 0 || differencePower <= sumPower) break;
        if (sf_seek(file.get(), 0, SEEK_SET) != 0) break;
        sumPower = differencePower = 0.0;
    }
    *rate = info.samplerate;
    return true;
}
