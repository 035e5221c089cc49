#include "kits/KitExport.h"

#include "audio/RowMark.h"
#include "voicebank/BankFolder.h"
#include "voicebank/VoiceBankBuilder.h"

namespace {

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::vector<KitExportFile> MakeKitExport(const std::array<AudioData, VoiceSlotCount>& voices,
                                         const std::string& bankName, const std::string& folder,
                                         KitFormat format) {
    std::vector<KitExportFile> files;
    std::vector<KitRowFile> rows;
    for (size_t k = 0; k < voices.size(); ++k) {
        if (voices[k].channels == 0) continue;
        const int row = static_cast<int>(k + 1);
        KitExportFile file;
        file.row = row;
        file.path = Join(folder, KitRowFileName(bankName, row));
        // Marked, so the kit's player-independent copy loads back exactly.
        file.bytes = MakeRowWavFile(voices[k], RowOrigin{bankName, row});
        if (file.bytes.empty()) continue;
        rows.push_back({row, KitRowFileName(bankName, row)});
        files.push_back(std::move(file));
    }
    if (files.empty() || format == KitFormat::Wav) return files;
    const std::string text = WriteKitText(format, bankName, rows);
    KitExportFile kit;
    kit.path = Join(folder, bankName + std::string(KitExtension(format)));
    kit.bytes.assign(text.begin(), text.end());
    files.push_back(std::move(kit));
    return files;
}

std::vector<std::string> ExistingKitFiles(const std::vector<KitExportFile>& files) {
    std::vector<std::string> existing;
    for (const KitExportFile& file : files)
        if (SomethingStandsAt(file.path)) existing.push_back(file.path);
    return existing;
}

bool WriteKitExport(const std::vector<KitExportFile>& files, const std::string& folder,
                    std::string* why) {
    if (!folder.empty() && !MakeFolderPath(folder, why)) {
        *why = "cannot create folder " + folder + ": " + *why;
        return false;
    }
    for (const KitExportFile& file : files) {
        WriteFailure failure;
        if (!WriteWholeFile(file.path.c_str(), file.bytes.data(),
                            static_cast<ptrdiff_t>(file.bytes.size()), &failure)) {
            *why = "cannot write " + file.path + ": " + failure.reason;
            return false;
        }
    }
    return true;
}
