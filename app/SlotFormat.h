#pragma once

#include <cstdint>

class SoundEngine;

// What a loaded slot holds: the source's channels, rate and sample size,
// and the stored length in frames at 44,100 Hz.
struct SlotFormat {
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int frames = 0;
};

// Reads the slot's record from the engine's image. Returns false, leaving
// out untouched, for a closed engine, a bad slot or an empty slot.
[[nodiscard]] bool ReadSlotFormat(const SoundEngine& engine, int slot, SlotFormat* out);
