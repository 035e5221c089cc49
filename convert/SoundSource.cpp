#include "convert/SoundSource.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "audio/AudioData.h"
#include "audio/AudioReader.h"
#include "audio/ByteSource.h"
#include "audio/SampleConversionDetail.h"
#include "convert/SndfileIo.h"

namespace {

// Frames decoded per pass of the strict reader's data, and samples per
// block of a scan: small enough that a cancel is seen within a millisecond.
constexpr int64_t kStrictBlockFrames = 16384;
constexpr int64_t kScanBlockSamples = 65536;

// Samples of these sizes come back from the decoder as 16-bit values
// exactly; everything else is read as float and rounded as the converter
// rounds.
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

}  // namespace

struct SoundSource::Decoder {
    SoundFile file;
    int format = 0;
};

const std::atomic<bool>& NeverCancelled() {
    static const std::atomic<bool> never{false};
    return never;
}

SoundSource::~SoundSource() = default;

ByteSource& SoundSource::Bytes() { return *m_file; }

std::unique_ptr<SoundSource> SoundSource::Open(const char* path, bool convert,
                                               SoundRefusal* refusal) {
    SoundRefusal ignored;
    if (refusal == nullptr) refusal = &ignored;
    *refusal = {};
    refusal->strict.code = ReadShort;  // as the strict reader: a file that cannot be opened
    std::unique_ptr<SoundSource> sound(new (std::nothrow) SoundSource());
    if (path == nullptr || !sound) return nullptr;
    sound->m_file = FileSource::Open(path);
    if (!sound->m_file) return nullptr;
    if (sound->OpenStrict()) return sound;
    refusal->strict = sound->m_strict;
    if (!convert) {
        refusal->convertible = sound->ConverterTakes();
        return nullptr;
    }
    if (!sound->UseConverter(&refusal->convertReason)) return nullptr;
    return sound;
}

bool SoundSource::OpenStrict() {
    // Only the record's format fields are used, so its samples are not
    // cleared first; it is too large for a worker's stack.
    const std::unique_ptr<AudioData> header(new (std::nothrow) AudioData);
    if (!header) {
        m_strict.code = ReadNoMemory;
        return false;
    }
    header->channels = 0;
    header->sampleRate = 0;
    header->bitsPerSample = 0;
    SampleWindow window;
    window.startFrame = std::numeric_limits<int64_t>::max();
    m_strict.code = ReadAudioSourceWindow(*m_file, header.get(), HostLittleEndian, &window);
    m_strict.channels = header->channels;
    m_strict.sampleRate = header->sampleRate;
    m_strict.bitsPerSample = header->bitsPerSample;
    if (m_strict.code != ReadOk) return false;
    m_info = {header->channels, header->sampleRate, window.dataFrames, header->bitsPerSample};
    m_bitsPerSample = header->bitsPerSample;
    m_frameBytes = static_cast<uint64_t>(header->channels * (header->bitsPerSample / 8));
    m_dataOffset = window.dataOffset;
    m_sourceKind = window.sourceKind;
    return Seek(0);
}

bool SoundSource::UseConverter(std::string* reason) {
    SF_INFO info{};
    SoundFile decoder = OpenConvertible(*m_file, &info, reason);
    if (!decoder) return false;
    try {
        m_decoder = std::make_unique<Decoder>(Decoder{std::move(decoder), info.format});
    } catch (const std::bad_alloc&) {
        *reason = "not enough memory to convert it";
        return false;
    }
    m_info = {info.channels, info.samplerate, info.frames, NominalBits(info.format)};
    m_position = 0;
    m_readFailed = false;
    return true;
}

bool SoundSource::ConverterTakes() {
    if (Converted()) return true;
    SF_INFO info{};
    std::string reason;
    const bool takes = OpenConvertible(*m_file, &info, &reason) != nullptr && info.frames > 0 &&
                       info.samplerate > 0 && info.channels > 0;
    (void)Seek(m_position);
    return takes;
}

bool SoundSource::Seek(int64_t frame) {
    if (frame < 0) return false;
    m_readFailed = false;
    if (Converted()) {
        if (sf_seek(m_decoder->file.get(), frame, SEEK_SET) != frame) return false;
        m_position = frame;
        return true;
    }
    if (frame > m_info.frames) return false;
    if (!m_file->SeekTo(m_dataOffset + static_cast<uint64_t>(frame) * m_frameBytes)) return false;
    m_position = frame;
    return true;
}

int64_t SoundSource::ReadStrict(int16_t* interleaved, int64_t frames) {
    const int channels = m_info.channels;
    const auto frameBytes = static_cast<size_t>(m_frameBytes);
    const bool stereo = channels == 2;
    frames = std::min(frames, m_info.frames - m_position);
    if (frames <= 0) return 0;
    // No larger than the read, and not cleared: each part is written before
    // it is read. A slicer reads a few thousand frames around each hit.
    const int64_t block = std::min(kStrictBlockFrames, frames);
    std::unique_ptr<uint8_t[]> raw;
    std::unique_ptr<int16_t[]> planar;
    try {
        raw = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(block) * frameBytes);
        planar = std::make_unique_for_overwrite<int16_t[]>(static_cast<size_t>(block) * 2);
    } catch (const std::bad_alloc&) {
        m_readFailed = true;
        return 0;
    }
    int64_t done = 0;
    while (done < frames) {
        const int64_t want = std::min(block, frames - done);
        const size_t got = m_file->Read(raw.get(), static_cast<size_t>(want) * frameBytes);
        const size_t whole = got / frameBytes;
        int16_t* first = planar.get();
        int16_t* second = first + block;
        conversion::DecodeInto(raw.get(), whole, stereo, m_bitsPerSample, m_sourceKind, first,
                               second);
        int16_t* out = interleaved + done * channels;
        for (size_t i = 0; i < whole; ++i) {
            out[i * static_cast<size_t>(channels)] = first[i];
            if (stereo) out[2 * i + 1] = second[i];
        }
        done += static_cast<int64_t>(whole);
        if (static_cast<int64_t>(whole) < want) {
            m_readFailed = true;
            break;
        }
    }
    m_position += done;
    return done;
}

int64_t SoundSource::ReadFrames(int16_t* interleaved, int64_t frames) {
    if (interleaved == nullptr || frames <= 0) return 0;
    if (!Converted()) return ReadStrict(interleaved, frames);
    sf_count_t got = 0;
    if (ReadsAsShort(m_decoder->format)) {
        got = sf_readf_short(m_decoder->file.get(), interleaved, frames);
    } else {
        // The float samples go where the 16-bit ones end up, a block at a time.
        std::vector<float> block;
        try {
            block.resize(static_cast<size_t>(std::min<int64_t>(frames, 65536) * m_info.channels));
        } catch (const std::bad_alloc&) {
            m_readFailed = true;
            return 0;
        }
        const int64_t blockFrames = static_cast<int64_t>(block.size()) / m_info.channels;
        while (got < frames) {
            const sf_count_t ask = std::min<sf_count_t>(blockFrames, frames - got);
            const sf_count_t n = sf_readf_float(m_decoder->file.get(), block.data(), ask);
            if (n <= 0 || n > ask) break;
            int16_t* out = interleaved + got * m_info.channels;
            for (sf_count_t i = 0; i < n * m_info.channels; ++i)
                out[i] = FloatToSample(block[static_cast<size_t>(i)]);
            got += n;
        }
    }
    if (got < 0 || got > frames) got = 0;
    m_position += got;
    return got;
}

int64_t SoundSource::ReadFrames(float* interleaved, int64_t frames) {
    if (interleaved == nullptr || frames <= 0) return 0;
    if (Converted()) {
        sf_count_t got = sf_readf_float(m_decoder->file.get(), interleaved, frames);
        if (got < 0 || got > frames) got = 0;
        m_position += got;
        return got;
    }
    // The strict reader's samples are 16-bit values: exact as floats.
    // Written by each read before it is used: not cleared.
    std::unique_ptr<int16_t[]> block;
    try {
        block = std::make_unique_for_overwrite<int16_t[]>(
            static_cast<size_t>(std::min(frames, kStrictBlockFrames) * m_info.channels));
    } catch (const std::bad_alloc&) {
        m_readFailed = true;
        return 0;
    }
    int64_t got = 0;
    while (got < frames) {
        const int64_t want = std::min(frames - got, kStrictBlockFrames);
        const int64_t n = ReadStrict(block.get(), want);
        float* out = interleaved + got * m_info.channels;
        for (int64_t i = 0; i < n * m_info.channels; ++i)
            out[i] = block[static_cast<size_t>(i)] / 32768.0f;
        got += n;
        if (n < want) break;
    }
    return got;
}

std::string SoundSource::ReadError() const {
    if (Converted()) {
        if (sf_error(m_decoder->file.get()) != SF_ERR_NO_ERROR)
            return sf_strerror(m_decoder->file.get());
        return {};
    }
    return m_readFailed && m_position < m_info.frames ? "the file ends before its sound does"
                                                      : std::string();
}

bool SoundSource::FindLoudFrame(int64_t* frame, const std::atomic<bool>& cancelled) {
    *frame = -1;
    // A decoder just opened stands at the start; not every one can seek.
    if (m_position != 0 && !Seek(0)) return !cancelled.load();
    // The strict reader's 16-bit samples are held to the 16-bit threshold;
    // the converter's to the level itself, before rounding.
    if (Converted())
        return ScanForLoud<float>(
            [](float v) { return std::fabs(static_cast<double>(v)) >= FirstSoundLevel; }, frame,
            cancelled);
    return ScanForLoud<int16_t>([](int16_t v) { return std::abs(int{v}) >= FirstSoundThreshold16; },
                                frame, cancelled);
}

template <typename Sample, typename Loud>
bool SoundSource::ScanForLoud(Loud loud, int64_t* frame, const std::atomic<bool>& cancelled) {
    const int channels = m_info.channels;
    const int64_t blockFrames = std::max<int64_t>(1, kScanBlockSamples / channels);
    std::vector<Sample> block;
    try {
        block.resize(static_cast<size_t>(blockFrames * channels));
    } catch (const std::bad_alloc&) {
        return !cancelled.load();
    }
    int64_t done = 0;
    for (;;) {
        if (cancelled.load()) return false;
        const int64_t got = ReadFrames(block.data(), blockFrames);
        if (got <= 0) return true;
        const Sample* samples = block.data();
        const auto count = static_cast<size_t>(got * channels);
        for (size_t i = 0; i < count; ++i) {
            if (loud(samples[i])) {
                *frame = done + static_cast<int64_t>(i) / channels;
                return true;
            }
        }
        done += got;
    }
}
