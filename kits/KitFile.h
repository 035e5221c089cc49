#pragma once

// Kit files other samplers read: SFZ (text, <region> headers with
// opcode=value) and Decent Sampler presets (XML, <sample> elements in
// <group>s). Parsing gives each region the sample path as the format
// resolves it, its key and what of it a row can carry; writing gives the
// kit of a bank, one key per row (note 59 + row), each row played whole,
// once, velocity setting the level as the pads do. No file is opened here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class KitFormat { Sfz, Dspreset, Wav };

// "sfz", "dspreset", "wav"; false for anything else.
[[nodiscard]] bool ParseKitFormat(std::string_view text, KitFormat* format);
// The kit file's extension, with its dot (".sfz"); empty for Wav.
[[nodiscard]] std::string_view KitExtension(KitFormat format);
// A path whose name ends in .sfz or .dspreset (any case); *format (may be
// null) says which.
[[nodiscard]] bool IsKitFileName(std::string_view path, KitFormat* format = nullptr);

// One region (SFZ) or sample (Decent Sampler) as a row can take it.
struct KitRegion {
    std::string sample;  // the path as the kit resolves it (kit folder, default_path, '/')
    std::string shown;   // the sample as the kit names it, for messages
    int key = -1;        // the one key that plays it; -1 when none or a range
    int64_t offset = 0;  // first source frame
    int64_t end = -1;    // last source frame played (inclusive); -1: to the file's end
    bool hasVolume = false;
    double volumeDb = 0.0;  // gain in dB
    double pitchSemitones = 0.0;
};

struct KitContents {
    std::vector<KitRegion> regions;  // in file order
    // Opcodes or attributes a row cannot carry, each named once, in the
    // order first met ("lovel", "cutoff").
    std::vector<std::string> uncarried;
    std::string bankName;  // the bank a kit of ours names; empty otherwise
    std::string error;     // why the text is no kit; empty when it is
};

// folder: the kit file's folder, which relative sample paths start from.
// Neither ever fails on any input; a text that is no kit has error set.
[[nodiscard]] KitContents ParseSfz(std::string_view text, const std::string& folder);
[[nodiscard]] KitContents ParseDspreset(std::string_view text, const std::string& folder);
[[nodiscard]] KitContents ParseKit(KitFormat format, std::string_view text,
                                   const std::string& folder);

// A filled row of a bank for its kit: the row (1 ... 16) and its WAV's
// name beside the kit file.
struct KitRowFile {
    int row = 0;
    std::string fileName;  // "DRUMS 03.wav"
};

// The row WAV's name: "NAME NN.wav".
[[nodiscard]] std::string KitRowFileName(const std::string& bankName, int row);
// The key a row plays on in a kit: 59 + row (row 1 is note 60).
[[nodiscard]] constexpr int KitKeyOfRow(int row) { return 59 + row; }

// The kit's text for the bank's filled rows; empty for Wav.
[[nodiscard]] std::string WriteKitText(KitFormat format, const std::string& bankName,
                                       const std::vector<KitRowFile>& rows);
