// No Qt here: Qt's keyword macros clash with the image's field names.
#include "app/SlotFormat.h"

#include <cstring>

#include "audio/AudioData.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

bool ReadSlotFormat(const SoundEngine& engine, int slot, SlotFormat* out) {
    const VoiceBankImage* image = engine.GetImage();
    if (out == nullptr || image == nullptr || slot < 0 || slot >= VoiceSlotCount) return false;
    if (engine.IsSlotLoaded(slot) != 1) return false;
    // The record is packed: read its fields through copies.
    const AudioData& record = image->slots[slot];
    int16_t channels = 0;
    int32_t rate = 0;
    int16_t bits = 0;
    int32_t frames = 0;
    std::memcpy(&channels, &record.channels, sizeof channels);
    std::memcpy(&rate, &record.sampleRate, sizeof rate);
    std::memcpy(&bits, &record.bitsPerSample, sizeof bits);
    std::memcpy(&frames, &record.frames, sizeof frames);
    out->channels = channels;
    out->sampleRate = rate;
    out->bitsPerSample = bits;
    out->frames = frames;
    return true;
}
