#pragma once

// Writes test sounds in the formats only the converter reads (24-bit,
// float, FLAC, Ogg, AIFC, many channels) with libsndfile. Header-only, so
// only the targets that link libsndfile pull it in.

#include <sndfile.h>

#include <string>
#include <vector>

namespace testsupport {

namespace detail {

template <typename Sample>
bool WriteFrames(const std::string& path, int format, int rate, int channels,
                 const std::vector<Sample>& samples,
                 sf_count_t (*write)(SNDFILE*, const Sample*, sf_count_t)) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return false;
    // Float samples into integer formats give exactly the value written.
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels));
    const bool ok = write(f, samples.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

}  // namespace detail

// format: SF_FORMAT_* major | subtype; samples interleaved, full scale 1.0.
// Returns false when libsndfile refuses the format or the write.
inline bool WriteSoundFile(const std::string& path, int format, int rate, int channels,
                           const std::vector<float>& samples) {
    return detail::WriteFrames(path, format, rate, channels, samples, sf_writef_float);
}

// Same, with 32-bit integer samples (left-justified: a 24-bit value v is v << 8).
inline bool WriteSoundFileInt(const std::string& path, int format, int rate, int channels,
                              const std::vector<int>& samples) {
    return detail::WriteFrames(path, format, rate, channels, samples, sf_writef_int);
}

}  // namespace testsupport
