#pragma once

// A sound file opened once, for every pass the system makes over it: the
// row load, the first-sound scan, the waveform, the editor's look at its
// shape. It knows which reader serves the file (the strict reader when its
// header checks pass, else, when asked, the converter over the same open
// file) and reads frames from where it was sought to.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class ByteSource;
class FileSource;

// A sound file's shape, before any of it is made into a row.
struct SourceInfo {
    int channels = 0;       // as stored (the row keeps channels 1 and 2)
    int sampleRate = 0;     // Hz
    int64_t frames = 0;     // frames in the whole file (0 or less: not known)
    int bitsPerSample = 0;  // of the stored samples; 0 when the format has none (compressed)
};

// What the strict reader made of a file: its code and the format fields it
// found (they name the format in its reason).
struct StrictVerdict {
    int code = 0;
    int16_t channels = 0;
    int32_t sampleRate = 0;
    int16_t bitsPerSample = 0;
};

// Why a file could not be opened as sound.
struct SoundRefusal {
    StrictVerdict strict;
    // The converter's reason when it was asked and refused the file too.
    std::string convertReason;
    // Not asked to convert: whether the converter would take the file (its
    // header shows sound), so a caller can offer conversion.
    bool convertible = false;
};

// A job's cancel flag that is never set, for callers without a job.
[[nodiscard]] const std::atomic<bool>& NeverCancelled();

class SoundSource {
public:
    // Opens path once. Null when neither the strict reader nor (with
    // convert) the converter takes it; *refusal (may be null) says why.
    [[nodiscard]] static std::unique_ptr<SoundSource> Open(const char* path, bool convert,
                                                           SoundRefusal* refusal);
    ~SoundSource();
    SoundSource(const SoundSource&) = delete;
    SoundSource& operator=(const SoundSource&) = delete;

    [[nodiscard]] bool Converted() const { return m_decoder != nullptr; }
    [[nodiscard]] const SourceInfo& Info() const { return m_info; }
    // The strict reader's verdict, also when the converter serves the file.
    [[nodiscard]] const StrictVerdict& Strict() const { return m_strict; }
    // The open file's bytes, for a reader that parses them itself; frames
    // are read from a sought position again afterwards.
    [[nodiscard]] ByteSource& Bytes();

    // Hands the file to the converter (for a file the strict reader's header
    // passed but whose samples it could not read). False with the reason.
    [[nodiscard]] bool UseConverter(std::string* reason);
    // Whether the converter would take the file and its header shows sound
    // (true when it serves the file already).
    [[nodiscard]] bool ConverterTakes();

    // Moves to a frame. False when the file cannot be sought there.
    [[nodiscard]] bool Seek(int64_t frame);
    // Reads up to frames frames of every stored channel, interleaved, on
    // the 16-bit scale or with full scale 1.0. Returns the frames read;
    // fewer at the end or on a read error (ReadError then says so).
    [[nodiscard]] int64_t ReadFrames(int16_t* interleaved, int64_t frames);
    [[nodiscard]] int64_t ReadFrames(float* interleaved, int64_t frames);
    // Empty, or why the decoder stopped before the end.
    [[nodiscard]] std::string ReadError() const;

    // The first frame at -40 dBFS or more on any channel (-1 when there is
    // none), scanned from the start. False when cancelled was set meanwhile.
    [[nodiscard]] bool FindLoudFrame(int64_t* frame, const std::atomic<bool>& cancelled);

private:
    SoundSource() = default;
    bool OpenStrict();
    int64_t ReadStrict(int16_t* interleaved, int64_t frames);
    template <typename Sample, typename Loud>
    bool ScanForLoud(Loud loud, int64_t* frame, const std::atomic<bool>& cancelled);

    struct Decoder;
    std::unique_ptr<FileSource> m_file;
    std::unique_ptr<Decoder> m_decoder;  // set when the converter serves the file
    SourceInfo m_info;
    StrictVerdict m_strict;
    // The strict reader's sample data.
    uint64_t m_dataOffset = 0;
    uint64_t m_frameBytes = 0;
    int m_bitsPerSample = 0;
    int m_sourceKind = 0;
    int64_t m_position = 0;
    bool m_readFailed = false;
};
