#include "convert/SourceStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ByteSource.h"
#include "audio/ReadFailure.h"
#include "audio/SampleConversionDetail.h"
#include "convert/AudioConverter.h"
#include "convert/SndfileSource.h"

namespace {

// Frames per block: a few hundred kilobytes of samples, so a long file
// takes few reads and the buffers stay in cache.
constexpr size_t kBlockFrames = 1 << 16;

class StrictStream final : public SourceStream {
public:
    StrictStream(std::unique_ptr<FileSource> source, const AudioData& format,
                 const SampleDataSpan& span)
        : source_(std::move(source)),
          stereo_(format.channels == 2),
          bits_(format.bitsPerSample),
          kind_(span.sourceKind),
          left_(span.frames) {
        info_.channels = format.channels;
        info_.sampleRate = format.sampleRate;
        info_.frames = span.frames;
        frameBytes_ = static_cast<size_t>(format.channels) * static_cast<size_t>(bits_ / 8);
        (void)source_->SeekTo(span.offset);
    }

    [[nodiscard]] bool Converted() const override { return false; }

    [[nodiscard]] bool Next(StreamBlock* block) override {
        if (left_ <= 0) return false;
        const size_t n = static_cast<size_t>(std::min<int64_t>(left_, kBlockFrames));
        try {
            raw_.resize(kBlockFrames * frameBytes_);
            first_.resize(kBlockFrames);
            if (stereo_) second_.resize(kBlockFrames);
        } catch (const std::bad_alloc&) {
            failure_ = "not enough memory to read it";
            return false;
        }
        if (source_->Read(raw_.data(), n * frameBytes_) != n * frameBytes_) {
            failure_ = "cannot be read to its end";
            return false;
        }
        conversion::DecodeInto(raw_.data(), n, stereo_, bits_, kind_, first_.data(),
                               second_.data());
        left_ -= static_cast<int64_t>(n);
        *block = {};
        block->frames = n;
        block->first = first_.data();
        block->second = stereo_ ? second_.data() : first_.data();
        block->channels = stereo_ ? 2 : 1;
        return true;
    }

private:
    std::unique_ptr<FileSource> source_;
    bool stereo_;
    int bits_;
    int kind_;
    int64_t left_;
    size_t frameBytes_ = 0;
    std::vector<uint8_t> raw_;
    std::vector<int16_t> first_;
    std::vector<int16_t> second_;
};

class ConvertedStream final : public SourceStream {
public:
    ConvertedStream(std::unique_ptr<FileSource> source, SoundFile file, const SF_INFO& info)
        : source_(std::move(source)), file_(std::move(file)) {
        info_.channels = info.channels;
        info_.sampleRate = info.samplerate;
        // Some formats cannot tell their length; 0 then.
        info_.frames = info.frames > 0 && info.frames != SF_COUNT_MAX ? info.frames : 0;
        block_ = std::max<size_t>(1, kBlockFrames * 2 / static_cast<size_t>(info.channels));
    }

    [[nodiscard]] bool Converted() const override { return true; }

    [[nodiscard]] bool Next(StreamBlock* block) override {
        try {
            samples_.resize(block_ * static_cast<size_t>(info_.channels));
        } catch (const std::bad_alloc&) {
            failure_ = "not enough memory to read it";
            return false;
        }
        const sf_count_t n =
            sf_readf_float(file_.get(), samples_.data(), static_cast<sf_count_t>(block_));
        if (n <= 0 || static_cast<size_t>(n) > block_) {
            if (sf_error(file_.get()) != SF_ERR_NO_ERROR) failure_ = sf_strerror(file_.get());
            return false;
        }
        *block = {};
        block->frames = static_cast<size_t>(n);
        block->interleaved = samples_.data();
        block->channels = info_.channels;
        return true;
    }

private:
    std::unique_ptr<FileSource> source_;  // outlives the file reading it
    SoundFile file_;
    size_t block_;
    std::vector<float> samples_;
};

}  // namespace

std::unique_ptr<SourceStream> SourceStream::Open(const char* path, Reader reader,
                                                 std::string* why) {
    std::string ignored;
    if (why == nullptr) why = &ignored;
    auto source = FileSource::Open(path);
    if (!source) {
        *why = path != nullptr ? DescribePathProblem(path) : "no file";
        if (why->empty()) *why = "cannot be opened";
        return nullptr;
    }
    std::unique_ptr<SourceStream> stream;
    try {
        if (reader != Reader::Converter) {
            auto format = std::make_unique<AudioData>();
            std::memset(format.get(), 0, sizeof *format);
            SampleDataSpan span;
            const int code = LocateSampleData(*source, format.get(), HostLittleEndian, &span);
            if (code == ReadOk)
                return std::make_unique<StrictStream>(std::move(source), *format, span);
            *why = DescribeReadFailure(path, code, *format);
            if (reader == Reader::Strict) return nullptr;
        }
        SF_INFO info{};
        SoundFile file = OpenSoundFile(*source, &info);
        if (!file) {
            *why = sf_strerror(nullptr);
            return nullptr;
        }
        if (info.channels < 1 || info.channels > ConvertMaxChannels ||
            info.samplerate < ConvertMinRate || info.samplerate > ConvertMaxRate) {
            *why = "unsupported format";
            return nullptr;
        }
        stream = std::make_unique<ConvertedStream>(std::move(source), std::move(file), info);
    } catch (const std::bad_alloc&) {
        *why = "not enough memory to read it";
        return nullptr;
    }
    return stream;
}
