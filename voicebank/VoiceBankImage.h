#pragma once

#include <array>
#include <cstdint>

#include "audio/AudioData.h"
#include "voicebank/BankHead.h"

// The in-memory image the slot store keeps: the bank's parameter head in host
// byte order (laid out by bank::HeadFields), then one record per slot. The
// file is written field by field from it, so its own layout is free.
struct VoiceBankImage {
    std::array<uint8_t, VoiceHeadBytes> head;
    std::array<AudioData, VoiceSlotCount> voices;

    friend bool operator==(const VoiceBankImage&, const VoiceBankImage&) = default;
};

// Zero-fills the whole image and writes every default of the bank's
// parameter head in host byte order. Returns false for a null image.
[[nodiscard]] bool InitVoiceBankImage(VoiceBankImage* image);
