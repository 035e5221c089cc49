// Row options: a start gives exactly the row of the file cut at that frame,
// whichever reader makes it; the first-sound rule and the peak level; a
// start past the end is refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SndfileWriter.h"
#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "audio/RowMark.h"
#include "convert/VoiceLoad.h"

using namespace testsupport;

namespace {

struct Made {
    bool ok = false;
    VoiceLoadOutcome outcome;
    std::unique_ptr<AudioData> record = std::make_unique<AudioData>();
};

Made Load(const std::string& path, const VoiceOptions& options, bool convert = false) {
    Made m;
    m.ok = LoadVoice(path.c_str(), options, convert, m.record.get(), &m.outcome);
    return m;
}

VoiceOptions StartAt(int64_t nanoseconds) {
    VoiceOptions o;
    o.start = VoiceOptions::Start::At;
    o.startNanoseconds = nanoseconds;
    return o;
}

// The same sound with its first `frames` frames taken off.
Pcm CutAt(const Pcm& pcm, size_t frames) {
    Pcm cut = pcm;
    cut.samples.erase(cut.samples.begin(),
                      cut.samples.begin() + static_cast<ptrdiff_t>(frames) * pcm.channels);
    return cut;
}

bool SameRow(const AudioData& a, const AudioData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class VoiceOptionsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(VoiceOptionsTest, AStartGivesTheRowOfTheFileCutThere) {
    struct Case {
        const char* name;
        Pcm pcm;
        int64_t nanoseconds;
        size_t frame;
        bool aiff;
    };
    const Case cases[] = {
        {"a.wav", MakeRamp(1, 16, 44100, 3 * 44100), 500'000'000, 22050, false},
        {"b.wav", MakeRamp(2, 16, 48000, 2 * 48000), 700'000'000, 33600, false},
        {"c.aif", MakeRamp(2, 8, 22050, 40000), 1'000'000'001, 22050, true},
    };
    for (const Case& c : cases) {
        const std::string whole = dir.file(c.name);
        const std::string cut = dir.file(std::string("cut-") + c.name);
        ASSERT_TRUE(WriteFile(whole, c.aiff ? MakeAiff(c.pcm) : MakeWav(c.pcm)));
        const Pcm rest = CutAt(c.pcm, c.frame);
        ASSERT_TRUE(WriteFile(cut, c.aiff ? MakeAiff(rest) : MakeWav(rest)));
        const Made started = Load(whole, StartAt(c.nanoseconds));
        const Made plain = Load(cut, {});
        ASSERT_TRUE(started.ok) << c.name;
        ASSERT_TRUE(plain.ok) << c.name;
        EXPECT_EQ(started.outcome.startFrame, static_cast<int64_t>(c.frame)) << c.name;
        EXPECT_TRUE(SameRow(*started.record, *plain.record)) << c.name;
    }

    // A converted file: the same, through the converter.
    std::vector<int> deep;
    for (unsigned i = 0; i < 3 * 96000; ++i)
        deep.push_back((static_cast<int>(i * 7919u % 65536u) - 32768) * 65536);
    const std::string flac = dir.file("deep.flac");
    const std::string flacCut = dir.file("deep-cut.flac");
    ASSERT_TRUE(WriteSoundFileInt(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1, deep));
    ASSERT_TRUE(WriteSoundFileInt(flacCut, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1,
                                  std::vector<int>(deep.begin() + 120000, deep.end())));
    const Made started = Load(flac, StartAt(1'250'000'000), true);
    const Made plain = Load(flacCut, {}, true);
    ASSERT_TRUE(started.ok);
    EXPECT_TRUE(started.outcome.converter.converted);
    EXPECT_EQ(started.outcome.startFrame, 120000);
    EXPECT_TRUE(SameRow(*started.record, *plain.record));

    // At or past the end: nothing is made, and the reason is the start.
    const Made late = Load(dir.file("a.wav"), StartAt(3'000'000'000));
    EXPECT_FALSE(late.ok);
    EXPECT_EQ(late.outcome.code, 0);
    EXPECT_TRUE(late.outcome.startPastEnd);
    const Made lateFlac = Load(flac, StartAt(5'000'000'000), true);
    EXPECT_FALSE(lateFlac.ok);
    EXPECT_TRUE(lateFlac.outcome.startPastEnd);
}

// A length keeps that much of the source from the start: the row of a file
// that ends there, for the strict reader's rates and through the converter.
TEST_F(VoiceOptionsTest, ALengthGivesTheRowOfTheFileEndingThere) {
    struct Case {
        const char* name;
        Pcm pcm;
        int64_t startNs;
        int64_t lengthNs;
        size_t first;
        size_t count;
    };
    const Case cases[] = {
        {"a.wav", MakeRamp(1, 16, 44100, 3 * 44100), 0, 250'000'000, 0, 11025},
        {"b.wav", MakeRamp(2, 16, 48000, 2 * 48000), 500'000'000, 100'000'000, 24000, 4800},
        {"c.wav", MakeRamp(2, 16, 44100, 44100), 0, 2'000'000'000, 0, 44100},
    };
    for (const Case& c : cases) {
        const std::string whole = dir.file(c.name);
        const std::string cut = dir.file(std::string("cut-") + c.name);
        ASSERT_TRUE(WriteFile(whole, MakeWav(c.pcm)));
        Pcm part = CutAt(c.pcm, c.first);
        part.samples.resize(c.count * static_cast<size_t>(c.pcm.channels));
        ASSERT_TRUE(WriteFile(cut, MakeWav(part)));
        VoiceOptions options = StartAt(c.startNs);
        options.lengthNanoseconds = c.lengthNs;
        const Made sliced = Load(whole, options);
        const Made plain = Load(cut, {});
        ASSERT_TRUE(sliced.ok) << c.name;
        ASSERT_TRUE(plain.ok) << c.name;
        EXPECT_TRUE(SameRow(*sliced.record, *plain.record)) << c.name;
    }

    std::vector<int> deep;
    for (unsigned i = 0; i < 96000; ++i)
        deep.push_back((static_cast<int>(i * 7919u % 65536u) - 32768) * 65536);
    const std::string flac = dir.file("deep.flac");
    const std::string flacCut = dir.file("deep-cut.flac");
    ASSERT_TRUE(WriteSoundFileInt(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1, deep));
    ASSERT_TRUE(WriteSoundFileInt(flacCut, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 1,
                                  std::vector<int>(deep.begin(), deep.begin() + 9600)));
    VoiceOptions options;
    options.lengthNanoseconds = 100'000'000;
    const Made sliced = Load(flac, options, true);
    const Made plain = Load(flacCut, {}, true);
    ASSERT_TRUE(sliced.ok);
    ASSERT_TRUE(plain.ok);
    EXPECT_TRUE(SameRow(*sliced.record, *plain.record));
}

TEST_F(VoiceOptionsTest, FirstSoundAndPeakLevel) {
    // 0.3 s of silence, then a sound; samples just below -40 dBFS before it.
    Pcm pcm;
    pcm.sampleRate = 44100;
    pcm.samples.assign(13230, 0);
    pcm.samples[5000] = 327;  // below the threshold of 327.68
    for (int i = 0; i < 20000; ++i)
        pcm.samples.push_back(static_cast<int16_t>(std::lround(9000 * std::sin(i * 0.05))));
    pcm.samples[13231] = -400;  // the first frame that reaches it
    const std::string path = dir.file("hit.wav");
    ASSERT_TRUE(WriteFile(path, MakeWav(pcm)));

    VoiceOptions first;
    first.start = VoiceOptions::Start::FirstSound;
    const Made a = Load(path, first);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.outcome.startFrame, 13231 - 44);  // 1 ms before it
    int64_t found = -1;
    int rate = 0;
    ASSERT_TRUE(FindFirstSound(path.c_str(), false, &found, &rate));
    EXPECT_EQ(found, a.outcome.startFrame);
    EXPECT_EQ(rate, 44100);
    const int16_t* row = a.record->left;
    const auto loud = std::find_if(row, row + a.record->frames,
                                   [](int16_t s) { return std::abs(int{s}) >= 328; });
    EXPECT_EQ(loud - row, 44);

    // -1 dBFS: the largest magnitude becomes 29,204 (before the fade, which
    // a row of 882 frames or fewer does not get).
    Pcm shortHit;
    shortHit.sampleRate = 44100;
    shortHit.samples = {100, -2000, 1000, 0};
    shortHit.samples.resize(800, 7);
    const std::string shortPath = dir.file("short.wav");
    ASSERT_TRUE(WriteFile(shortPath, MakeWav(shortHit)));
    VoiceOptions level;
    level.normalize = true;
    level.normalizeDbfs = -1.0;
    const Made b = Load(shortPath, level);
    ASSERT_TRUE(b.ok);
    EXPECT_TRUE(b.outcome.normalized);
    EXPECT_EQ(b.record->left[1], -29204);
    EXPECT_EQ(b.record->left[0], 1460);  // 100 * 29204 / 2000
    EXPECT_EQ(b.record->left[2], 14602);
    EXPECT_EQ(b.record->left[799], 102);  // 7 * 14.602, rounded

    // A silent row stays silent.
    Pcm silence;
    silence.sampleRate = 44100;
    silence.samples.assign(1000, 0);
    const std::string quiet = dir.file("quiet.wav");
    ASSERT_TRUE(WriteFile(quiet, MakeWav(silence)));
    const Made c = Load(quiet, level);
    ASSERT_TRUE(c.ok);
    EXPECT_FALSE(c.outcome.normalized);
    EXPECT_TRUE(std::all_of(c.record->left, c.record->left + c.record->frames,
                            [](int16_t s) { return s == 0; }));
}

}  // namespace

// A row file is kept as it stands only when its mark covers the whole data
// chunk: one that holds more sound than its mark says is loaded as any
// other file, faded.
TEST_F(VoiceOptionsTest, AMarkCountsOnlyForTheWholeDataChunk) {
    auto row = std::make_unique<AudioData>();
    row->channels = 2;
    row->sampleRate = 44100;
    row->bitsPerSample = 16;
    row->frames = MaxVoiceFrames;
    std::fill(std::begin(row->left), std::end(row->left), int16_t{10000});
    std::fill(std::begin(row->right), std::end(row->right), int16_t{-10000});
    Bytes wave = MakeRowWavFile(*row, RowOrigin{"DRUMS", 3});
    ASSERT_TRUE(WriteFile(dir.file("row.wav"), wave));
    const Made kept = Load(dir.file("row.wav"), {});
    ASSERT_TRUE(kept.ok);
    EXPECT_TRUE(kept.outcome.exactRow);
    EXPECT_TRUE(SameRow(*kept.record, *row));

    // 50,000 frames of data behind a mark for 42,768: the mark's CRC still
    // matches the first 42,768, which is all the reader takes.
    const size_t extraBytes = (50000 - MaxVoiceFrames) * 4;
    for (size_t i = 0; i < extraBytes; i += 2) {
        wave.push_back(0x10);
        wave.push_back(0x27);
    }
    const auto putLe32 = [&](size_t at, size_t value) {
        for (size_t i = 0; i < 4; ++i) wave[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    const size_t dataSizeAt = wave.size() - extraBytes - MaxVoiceFrames * 4 - 4;
    ASSERT_EQ(std::memcmp(&wave[dataSizeAt - 4], "data", 4), 0);
    putLe32(dataSizeAt, 50000 * 4);
    putLe32(4, wave.size() - 8);
    ASSERT_TRUE(WriteFile(dir.file("forged.wav"), wave));
    const Made forged = Load(dir.file("forged.wav"), {});
    ASSERT_TRUE(forged.ok);
    EXPECT_FALSE(forged.outcome.exactRow);
    EXPECT_EQ(forged.record->frames, MaxVoiceFrames);
    EXPECT_LT(std::abs(forged.record->left[MaxVoiceFrames - 1]), 1000) << "not faded";
}
