#pragma once

// A kit file made into the rows of a bank, for glwtool import and the
// window's "Import kit...": which region goes onto which row and with
// which row options. Regions with a key go onto the row that key plays
// (note 60 onto row 1, by the note map), in order of their keys; regions
// without a key fill the free rows from row 1 in file order; what does
// not fit is left out with a word. A region's offset/end (start/end) give
// the row's start and length, its volume the row's level, its transpose
// and tune (tuning) the row's pitch.

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "convert/SoundSource.h"
#include "convert/VoiceLoad.h"
#include "kits/KitFile.h"

inline constexpr int KitRowCount = 16;
// A kit file larger than this is no kit.
inline constexpr size_t MaxKitFileBytes = 4 * 1024 * 1024;

struct KitRowPlan {
    std::string path;   // the sample as resolved; empty: the row stays empty
    std::string shown;  // the sample as the kit names it
    int key = -1;
    VoiceOptions options;
};

struct KitImportPlan {
    std::array<KitRowPlan, KitRowCount> rows;  // by slot: slot 0 is row 1
    // Lines that tell what was left out or changed: regions that did not
    // fit, opcodes no row carries, values held at a limit.
    std::vector<std::string> words;
    // Samples that are missing or no regular file, by name and row: with
    // any of these nothing is made.
    std::vector<std::string> problems;
    std::string error;     // the kit cannot be read or is no kit; empty when read
    std::string bankName;  // the bank the kit names, when it names one
};

// Reads a kit file whole: never opens anything but a regular file (a FIFO
// would block), at most MaxKitFileBytes. False with the reason.
[[nodiscard]] bool ReadKitText(const std::string& path, std::string* text, std::string* why);

// Why a sample cannot be read as a row's file: "no such file", "not a
// regular file"; empty when it is a regular file. Opens nothing.
[[nodiscard]] std::string SampleFileProblem(const std::string& path);

// Reads the kit at path and plans its rows: each placed sample checked to
// be a regular file, its source rate read when it has an offset or end,
// and, when it has a volume, the peak of its part measured so the row's
// level comes out that much louder or softer. convert: the samples may be
// in the converter's formats.
[[nodiscard]] KitImportPlan PlanKitImport(const std::string& path, bool convert,
                                          const std::atomic<bool>& cancelled = NeverCancelled());

// The same for a kit already parsed (PlanKitImport's second half).
[[nodiscard]] KitImportPlan PlanKitRows(const KitContents& contents, bool convert,
                                        const std::atomic<bool>& cancelled = NeverCancelled());
