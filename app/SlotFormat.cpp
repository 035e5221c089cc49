#include "app/SlotFormat.h"

#include "audio/AudioData.h"
#include "engine/SoundEngine.h"
#include "voicebank/VoiceBankImage.h"

bool ReadSlotFormat(const SoundEngine& engine, int slot, SlotFormat* out) {
    const VoiceBankImage* image = engine.GetImage();
    if (out == nullptr || image == nullptr || slot < 0 || slot >= VoiceSlotCount) return false;
    if (engine.IsSlotLoaded(slot) != 1) return false;
    const AudioData& record = image->voices[static_cast<size_t>(slot)];
    out->channels = record.channels;
    out->sampleRate = record.sampleRate;
    out->bitsPerSample = record.bitsPerSample;
    out->frames = record.frames;
    return true;
}
