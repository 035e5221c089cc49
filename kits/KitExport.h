#pragma once

// A bank's rows written out for other samplers: each filled row as the
// marked WAV of the exact row ("NAME NN.wav", so it loads back as that
// row), and for SFZ and Decent Sampler the kit file that plays them
// (kits/KitFile.h). glwtool export and the window's "Export bank..." both
// write through this.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioData.h"
#include "kits/KitFile.h"
#include "voicebank/BankHead.h"

struct KitExportFile {
    std::string path;
    std::vector<uint8_t> bytes;
    int row = 0;  // 1 ... 16 for a row's WAV; 0 for the kit file
};

// The files of the export into folder, the rows' WAVs first, the kit file
// (folder/NAME.sfz or .dspreset) last. voices: the bank's 16 rows (an
// empty row has channels 0). An empty list when no row is filled.
[[nodiscard]] std::vector<KitExportFile> MakeKitExport(
    const std::array<AudioData, VoiceSlotCount>& voices, const std::string& bankName,
    const std::string& folder, KitFormat format);

// The files of the list that something stands at already.
[[nodiscard]] std::vector<std::string> ExistingKitFiles(const std::vector<KitExportFile>& files);

// Makes folder (and the folders above it) and writes every file through
// the safe writer. False at the first that fails, with the reason naming
// it.
[[nodiscard]] bool WriteKitExport(const std::vector<KitExportFile>& files,
                                  const std::string& folder, std::string* why);
