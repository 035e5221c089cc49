#include "convert/PeakOverview.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <memory>

#include "convert/AudioConverter.h"
#include "convert/SourceStream.h"

namespace {

// Reports come at least this often: 1/50 of the file.
constexpr int64_t kReportsPerFile = 50;

// The running bin: min and max of channels 1 and 2 in the stream's own
// sample type.
template <typename T>
struct Extremes {
    T min1, max1, min2, max2;
    void Reset() {
        min1 = min2 = std::numeric_limits<T>::max();
        max1 = max2 = std::numeric_limits<T>::lowest();
    }
};

PeakBin MakeBin(const Extremes<int16_t>& e) { return {e.min1, e.max1, e.min2, e.max2}; }

PeakBin MakeBin(const Extremes<float>& e) {
    // A bin of nothing but NaN has no extremes; it is drawn as silence.
    const auto pair = [](float lo, float hi, int16_t* outLo, int16_t* outHi) {
        if (lo > hi) {
            *outLo = *outHi = 0;
        } else {
            *outLo = ToSample(lo);
            *outHi = ToSample(hi);
        }
    };
    PeakBin bin;
    pair(e.min1, e.max1, &bin.min1, &bin.max1);
    pair(e.min2, e.max2, &bin.min2, &bin.max2);
    return bin;
}

void Scan(const StreamBlock& b, size_t from, size_t to, Extremes<int16_t>* e) {
    int16_t lo1 = e->min1, hi1 = e->max1, lo2 = e->min2, hi2 = e->max2;
    const int16_t* first = b.first;
    const int16_t* second = b.second;
    for (size_t i = from; i < to; ++i) {
        lo1 = std::min(lo1, first[i]);
        hi1 = std::max(hi1, first[i]);
    }
    if (second != first) {
        for (size_t i = from; i < to; ++i) {
            lo2 = std::min(lo2, second[i]);
            hi2 = std::max(hi2, second[i]);
        }
    } else {
        lo2 = lo1;
        hi2 = hi1;
    }
    *e = {lo1, hi1, lo2, hi2};
}

void Scan(const StreamBlock& b, size_t from, size_t to, Extremes<float>* e) {
    // Comparisons ignore NaN: a NaN sample never becomes an extreme.
    float lo1 = e->min1, hi1 = e->max1, lo2 = e->min2, hi2 = e->max2;
    const auto stride = static_cast<size_t>(b.channels);
    const float* p = b.interleaved;
    if (stride == 1) {
        for (size_t i = from; i < to; ++i) {
            lo1 = std::min(lo1, p[i]);
            hi1 = std::max(hi1, p[i]);
        }
        lo2 = lo1;
        hi2 = hi1;
    } else {
        for (size_t i = from; i < to; ++i) {
            const float a = p[i * stride];
            const float c = p[i * stride + 1];
            lo1 = std::min(lo1, a);
            hi1 = std::max(hi1, a);
            lo2 = std::min(lo2, c);
            hi2 = std::max(hi2, c);
        }
    }
    *e = {lo1, hi1, lo2, hi2};
}

template <typename T>
bool Run(SourceStream& stream, int64_t framesPerBin, const PeakSink& sink, std::string* why) {
    const int64_t total = stream.Info().frames;
    // A file that cannot tell its length reports every second of sound.
    const int64_t step = total > 0
                             ? std::max<int64_t>(1, (total + kReportsPerFile - 1) / kReportsPerFile)
                             : std::max(1, stream.Info().sampleRate);
    int64_t nextReport = step;
    int64_t done = 0;
    int64_t reported = -1;
    int64_t inBin = 0;
    Extremes<T> e;
    e.Reset();
    std::vector<PeakBin> pending;
    StreamBlock block;
    while (stream.Next(&block)) {
        size_t at = 0;
        while (at < block.frames) {
            // Up to the end of the bin, of the block or of the report.
            const int64_t take = std::min(
                {framesPerBin - inBin, static_cast<int64_t>(block.frames - at), nextReport - done});
            const size_t end = at + static_cast<size_t>(take);
            Scan(block, at, end, &e);
            at = end;
            inBin += take;
            done += take;
            if (inBin == framesPerBin) {
                pending.push_back(MakeBin(e));
                e.Reset();
                inBin = 0;
            }
            if (done == nextReport) {
                if (!sink(pending, done)) return false;
                pending.clear();
                reported = done;
                nextReport += step;
            }
        }
    }
    if (!stream.Failure().empty()) {
        *why = stream.Failure();
        return false;
    }
    if (inBin > 0) pending.push_back(MakeBin(e));
    if (!pending.empty() || reported != done) return sink(pending, done);
    return true;
}

}  // namespace

bool ProbeSoundFile(const char* path, bool convert, SourceInfo* info, std::string* why) {
    auto stream = SourceStream::Open(
        path, convert ? SourceStream::Reader::Either : SourceStream::Reader::Strict, why);
    if (!stream) return false;
    if (info != nullptr) *info = stream->Info();
    return true;
}

bool ComputePeakOverview(const char* path, bool convert, int64_t framesPerBin, const PeakSink& sink,
                         std::string* why) {
    std::string ignored;
    if (why == nullptr) why = &ignored;
    if (framesPerBin <= 0 || !sink) {
        *why = "no bin size or no receiver";
        return false;
    }
    auto stream = SourceStream::Open(
        path, convert ? SourceStream::Reader::Either : SourceStream::Reader::Strict, why);
    if (!stream) return false;
    return stream->Converted() ? Run<float>(*stream, framesPerBin, sink, why)
                               : Run<int16_t>(*stream, framesPerBin, sink, why);
}
