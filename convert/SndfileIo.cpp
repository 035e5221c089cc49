#include "convert/SndfileIo.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include "audio/ByteSource.h"
#include "convert/AudioConverter.h"

namespace {

// Seeks are clamped to the source, reads are bounded by it; nothing is
// ever written.
sf_count_t VioLength(void* user) {
    const uint64_t size = static_cast<ByteSource*>(user)->Size();
    return static_cast<sf_count_t>(
        std::min<uint64_t>(size, static_cast<uint64_t>(std::numeric_limits<sf_count_t>::max())));
}

sf_count_t VioTell(void* user) {
    return static_cast<sf_count_t>(static_cast<ByteSource*>(user)->Position());
}

sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
    auto* source = static_cast<ByteSource*>(user);
    const sf_count_t size = VioLength(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = VioTell(user);
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return VioTell(user);
    // Saturating base + offset, then clamped into [0, size].
    sf_count_t target = 0;
    if (offset > 0 && base > size - offset)
        target = size;
    else
        target = std::clamp<sf_count_t>(base + offset, 0, size);
    (void)source->SeekTo(static_cast<uint64_t>(target));
    return VioTell(user);
}

sf_count_t VioRead(void* dst, sf_count_t count, void* user) {
    if (dst == nullptr || count <= 0) return 0;
    return static_cast<sf_count_t>(
        static_cast<ByteSource*>(user)->Read(dst, static_cast<size_t>(count)));
}

sf_count_t VioWrite(const void*, sf_count_t, void*) { return 0; }

}  // namespace

SoundFile OpenSoundFile(ByteSource& source, SF_INFO* info) {
    *info = {};
    if (!source.SeekTo(0)) return nullptr;
    // Static: the decoder outlives this call, so its callbacks must too.
    static SF_VIRTUAL_IO io{VioLength, VioSeek, VioRead, VioWrite, VioTell};
    return SoundFile(sf_open_virtual(&io, SFM_READ, info, &source));
}

SoundFile OpenConvertible(ByteSource& source, SF_INFO* info, std::string* reason) {
    SoundFile file = OpenSoundFile(source, info);
    if (!file) {
        *reason = sf_strerror(nullptr);
        return nullptr;
    }
    if (info->channels < 1 || info->channels > ConvertMaxChannels) {
        *reason = "unsupported channel count " + std::to_string(info->channels) +
                  " (the converter takes 1 to " + std::to_string(ConvertMaxChannels) + ")";
        return nullptr;
    }
    if (info->samplerate < ConvertMinRate || info->samplerate > ConvertMaxRate) {
        *reason = "unsupported sample rate " + std::to_string(info->samplerate) +
                  " Hz (the converter takes " + std::to_string(ConvertMinRate) + " to " +
                  std::to_string(ConvertMaxRate) + ")";
        return nullptr;
    }
    return file;
}

int16_t NominalBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_DPCM_8: return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ALAC_16: return 16;
    case SF_FORMAT_ALAC_20: return 20;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_ALAC_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_ALAC_32: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    case SF_FORMAT_DWVW_12: return 12;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_G721_32: return 4;
    case SF_FORMAT_G723_24: return 3;
    case SF_FORMAT_G723_40: return 5;
    default: return 0;
    }
}
