// Fuzz target for the kit parsers behind `glwtool import` and the window's
// "Import kit...": the input is read as SFZ and as a Decent Sampler preset.
// Beyond "no crash": what a region carries stays in range, the rows it is
// planned onto follow the note map, and a kit written for rows named from
// the input reads back as those rows.

#include <cmath>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "kits/KitFile.h"
#include "kits/KitImport.h"
#include "midi/NoteMap.h"

namespace {

void CheckContents(KitContents contents) {
    for (const KitRegion& region : contents.regions) {
        FuzzCheck(region.key >= -1 && region.key <= 127, "key in range");
        FuzzCheck(region.offset >= 0, "offset not negative");
        FuzzCheck(region.end == -1 || region.end >= region.offset, "end after offset");
        FuzzCheck(std::isfinite(region.volumeDb) && std::isfinite(region.pitchSemitones),
                  "finite volume and pitch");
    }
    if (!contents.error.empty()) return;
    // Placement without touching real files: every sample is missing.
    for (KitRegion& region : contents.regions) region.sample = "/nonexistent-kit-sample/x.wav";
    const KitImportPlan plan = PlanKitRows(contents, false);
    size_t placed = 0;
    for (size_t k = 0; k < plan.rows.size(); ++k) {
        const KitRowPlan& row = plan.rows[k];
        if (row.path.empty()) continue;
        ++placed;
        FuzzCheck(row.key < 0 || midi::RowForNote(row.key) == static_cast<int>(k + 1),
                  "a keyed region lies on its key's row");
    }
    FuzzCheck(plan.problems.size() == placed, "each placed missing sample is named once");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckContents(ParseSfz(text, "kit"));
    CheckContents(ParseDspreset(text, "kit"));

    // A bank name of the input's first bytes: the Decent Sampler kit written
    // for rows 1 and 16 reads back as those rows whatever the name holds
    // (XML escapes it); the SFZ kit, which has no escapes, with the name an
    // export gives it (letters, digits and hyphens).
    std::string raw;
    std::string clean;
    for (const char c : text.substr(0, 16)) {
        if (c != '/' && c != '\\' && c != '\0') raw += c;  // paths take either slash
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
            clean += c;
    }
    for (const KitFormat format : {KitFormat::Sfz, KitFormat::Dspreset}) {
        std::string name = format == KitFormat::Sfz ? clean : raw;
        if (name.empty()) name = "x";
        const std::vector<KitRowFile> rows = {{1, KitRowFileName(name, 1)},
                                              {16, KitRowFileName(name, 16)}};
        const KitContents back = ParseKit(format, WriteKitText(format, name, rows), "");
        FuzzCheck(back.error.empty() && back.regions.size() == 2 && back.uncarried.empty(),
                  "a written kit reads back whole");
        FuzzCheck(back.regions[0].key == 60 && back.regions[1].key == 75, "keys written back");
        FuzzCheck(back.regions[0].sample == rows[0].fileName, "sample names written back");
    }
    return 0;
}
