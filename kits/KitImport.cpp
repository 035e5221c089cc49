#include "kits/KitImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "audio/AudioData.h"
#include "midi/NoteMap.h"

namespace {

std::string TwoDigits(int row) {
    const std::string n = std::to_string(row);
    return n.size() < 2 ? "0" + n : n;
}

std::string Decibels(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dB", db);
    return text;
}

// The sample's rate, as the row's reader sees it; 0 when it cannot be read.
int SourceRate(const std::string& path, bool convert) {
    SoundRefusal refusal;
    const std::unique_ptr<SoundSource> sound = SoundSource::Open(path.c_str(), convert, &refusal);
    return sound ? sound->Info().sampleRate : 0;
}

// The largest sample of the row's part before its level and fades: what
// the level is set against. -1 when the row cannot be made.
int PartPeak(const std::string& path, VoiceOptions options, bool convert,
             const std::atomic<bool>& cancelled) {
    options.normalize = false;
    options.loudness = false;
    options.fadeInMs = 0;
    options.fadeOutMs = 0;
    std::unique_ptr<AudioData> record(new (std::nothrow) AudioData{});
    VoiceLoadOutcome outcome;
    if (!record || !LoadVoice(path.c_str(), options, convert, record.get(), &outcome, cancelled))
        return -1;
    int peak = 0;
    for (int i = 0; i < record->frames && i < MaxVoiceFrames; ++i) {
        const auto k = static_cast<size_t>(i);
        peak = std::max(peak, std::abs(int{record->left[k]}));
        if (record->channels == 2) peak = std::max(peak, std::abs(int{record->right[k]}));
    }
    return peak;
}

// The region's start, length, pitch and level as the row's options. A
// problem (a sample that cannot be read for its rate) goes to problems.
void PlanOptions(const KitRegion& region, int row, bool convert, const std::atomic<bool>& cancelled,
                 KitImportPlan* plan) {
    KitRowPlan& out = plan->rows[static_cast<size_t>(row - 1)];
    VoiceOptions& options = out.options;
    const std::string where = "row " + TwoDigits(row) + ": " + region.shown;
    if (region.offset > 0 || region.end >= 0) {
        const int rate = SourceRate(region.sample, convert);
        if (rate <= 0) {
            plan->problems.push_back(where + ": cannot be read as sound");
            return;
        }
        if (region.offset > 0) {
            options.start = VoiceOptions::Start::At;
            options.startNanoseconds = NanosecondsOfFrame(region.offset, rate);
        }
        if (region.end >= 0)
            options.lengthNanoseconds = NanosecondsOfFrame(region.end - region.offset + 1, rate);
    }
    const long cents = std::lround(region.pitchSemitones * 100);
    options.pitchCents = static_cast<int>(std::clamp<long>(cents, -MaxPitchCents, MaxPitchCents));
    if (options.pitchCents != cents)
        plan->words.push_back(where + ": pitch held at " +
                              std::to_string(options.pitchCents / 100) + " semitones");
    if (!region.hasVolume || region.volumeDb == 0) return;
    const int peak = PartPeak(region.sample, options, convert, cancelled);
    if (peak <= 0) return;  // silent stays silent; an unreadable one is told when made
    const double wanted = 20.0 * std::log10(peak / 32767.0) + region.volumeDb;
    options.normalize = true;
    options.normalizeDbfs = std::clamp(wanted, NormalizeMinDbfs, NormalizeMaxDbfs);
    if (options.normalizeDbfs != wanted)
        plan->words.push_back(where + ": volume " + Decibels(region.volumeDb) + " held at a " +
                              (wanted > 0 ? "0" : "-20") + " dBFS peak");
}

}  // namespace

bool ReadKitText(const std::string& path, std::string* text, std::string* why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > MaxKitFileBytes) {
        *why = "larger than any kit (" + std::to_string(MaxKitFileBytes) + " bytes at most)";
        return false;
    }
    // O_NONBLOCK: should a FIFO have taken the file's place since, the open
    // does not wait for a writer; fstat then refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    std::string read;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) *why = "not a regular file";
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = std::strerror(errno);
            ok = false;
        } else if (n == 0) {
            break;
        } else if (read.size() + static_cast<size_t>(n) > MaxKitFileBytes) {
            *why = "larger than any kit";
            ok = false;
        } else {
            read.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    if (ok) *text = std::move(read);
    return ok;
}

std::string SampleFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "no such file" : std::string(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? "a folder" : "not a regular file";
    return {};
}

KitImportPlan PlanKitRows(const KitContents& contents, bool convert,
                          const std::atomic<bool>& cancelled) {
    KitImportPlan plan;
    plan.bankName = contents.bankName;
    const std::vector<KitRegion>& regions = contents.regions;
    if (regions.empty()) {
        plan.error = "the kit names no sample";
        return plan;
    }
    std::array<int, KitRowCount> regionOfRow;
    regionOfRow.fill(-1);
    // Keyed regions first, lowest key first (file order among equal keys),
    // each onto the row its key plays.
    std::vector<size_t> keyed;
    for (size_t i = 0; i < regions.size(); ++i)
        if (regions[i].key >= 0) keyed.push_back(i);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&](size_t a, size_t b) { return regions[a].key < regions[b].key; });
    for (const size_t i : keyed) {
        const int row = midi::RowForNote(regions[i].key);
        int& taken = regionOfRow[static_cast<size_t>(row - 1)];
        if (taken >= 0) {
            const KitRegion& first = regions[static_cast<size_t>(taken)];
            plan.words.push_back(regions[i].shown + " (key " + std::to_string(regions[i].key) +
                                 ") is left out: row " + TwoDigits(row) + " plays " + first.shown +
                                 " (key " + std::to_string(first.key) + ")");
            continue;
        }
        taken = static_cast<int>(i);
    }
    size_t leftOut = 0;
    std::string firstLeftOut;
    size_t nextFree = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        if (regions[i].key >= 0) continue;
        while (nextFree < regionOfRow.size() && regionOfRow[nextFree] >= 0) ++nextFree;
        if (nextFree == regionOfRow.size()) {
            if (leftOut++ == 0) firstLeftOut = regions[i].shown;
            continue;
        }
        regionOfRow[nextFree] = static_cast<int>(i);
    }
    if (leftOut > 0)
        plan.words.push_back(
            std::to_string(leftOut) +
            (leftOut == 1 ? " sample without a key did" : " samples without a key did") +
            " not fit in the 16 rows and " + (leftOut == 1 ? "is" : "are") + " left out, from " +
            firstLeftOut + " on");
    if (!contents.uncarried.empty()) {
        std::string names;
        for (const std::string& name : contents.uncarried)
            names += (names.empty() ? "" : ", ") + name;
        plan.words.push_back("not carried into the rows: " + names);
    }
    for (size_t k = 0; k < regionOfRow.size(); ++k) {
        if (regionOfRow[k] < 0) continue;
        const KitRegion& region = regions[static_cast<size_t>(regionOfRow[k])];
        KitRowPlan& row = plan.rows[k];
        row.path = region.sample;
        row.shown = region.shown;
        row.key = region.key;
        if (const std::string why = SampleFileProblem(region.sample); !why.empty())
            plan.problems.push_back("row " + TwoDigits(static_cast<int>(k + 1)) + ": " +
                                    region.shown + ": " + why);
    }
    if (!plan.problems.empty()) return plan;
    for (size_t k = 0; k < regionOfRow.size() && !cancelled; ++k) {
        if (regionOfRow[k] >= 0)
            PlanOptions(regions[static_cast<size_t>(regionOfRow[k])], static_cast<int>(k + 1),
                        convert, cancelled, &plan);
    }
    return plan;
}

KitImportPlan PlanKitImport(const std::string& path, bool convert,
                            const std::atomic<bool>& cancelled) {
    KitImportPlan plan;
    KitFormat format = KitFormat::Sfz;
    if (!IsKitFileName(path, &format)) {
        plan.error = "not a kit file (.sfz or .dspreset)";
        return plan;
    }
    std::string text;
    if (!ReadKitText(path, &text, &plan.error)) return plan;
    std::string folder = std::filesystem::path(path).parent_path().string();
    const KitContents contents = ParseKit(format, text, folder);
    if (!contents.error.empty()) {
        plan.error = contents.error;
        return plan;
    }
    return PlanKitRows(contents, convert, cancelled);
}
