// The same option texts through both of their readers, the profile's and
// glwtool's: each must take or refuse a text alike and store, read back and
// describe it in the same words.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>

#include "SoundFileWriter.h"
#include "app/ProfileStore.h"
#include "app/RowOptions.h"
#include "audio/AudioData.h"
#include "cli/RowChoices.h"
#include "convert/RowOptionText.h"

namespace {

VoiceOptions StartAt(int64_t nanoseconds) {
    VoiceOptions options;
    options.start = VoiceOptions::Start::At;
    options.startNanoseconds = nanoseconds;
    return options;
}

VoiceOptions Level(double dbfs) {
    VoiceOptions options;
    options.normalize = true;
    options.normalizeDbfs = dbfs;
    return options;
}

VoiceOptions FirstSound() {
    VoiceOptions options;
    options.start = VoiceOptions::Start::FirstSound;
    return options;
}

VoiceOptions Shaped(void (*set)(VoiceOptions*)) {
    VoiceOptions options;
    set(&options);
    return options;
}

struct Case {
    const char* option;  // "--start" or "--normalize"
    const char* text;
    std::optional<VoiceOptions> read;  // nothing when refused
};

}  // namespace

TEST(RowOptionText, TheProfileAndGlwtoolReadEveryTextAlike) {
    const std::vector<Case> cases = {
        {"--start", "1.25", StartAt(1'250'000'000)},
        {"--start", ".5", StartAt(500'000'000)},
        {"--start", "5.", StartAt(5'000'000'000)},
        {"--start", "0.1234567899", StartAt(123'456'789)},  // decimals past the ninth cut
        {"--start", "0000000000001", StartAt(1'000'000'000)},
        {"--start", "3153600000", StartAt(3'153'600'000'000'000'000)},  // a century
        {"--start", "3153600001", std::nullopt},
        {"--start", "99999999999", std::nullopt},
        {"--start", "auto", FirstSound()},
        {"--start", "AUTO", FirstSound()},
        {"--start", ".", std::nullopt},
        {"--start", "1.2.3", std::nullopt},
        {"--start", "-1", std::nullopt},
        {"--start", "1e3", std::nullopt},
        {"--normalize", "-1", Level(-1.0)},
        {"--normalize", "-.5", Level(-0.5)},
        {"--normalize", "-6.", Level(-6.0)},
        {"--normalize", "-20", Level(-20.0)},
        {"--normalize", "-0.00001", Level(-0.00001)},
        {"--normalize", "-20.5", std::nullopt},
        {"--normalize", "1", std::nullopt},
        {"--normalize", "-1e0", std::nullopt},
        {"--normalize", "loud", std::nullopt},
        {"--pitch", "+12", Shaped([](VoiceOptions* o) { o->pitchCents = 1200; })},
        {"--pitch", "-0.05", Shaped([](VoiceOptions* o) { o->pitchCents = -5; })},
        {"--pitch", "-24.00", Shaped([](VoiceOptions* o) { o->pitchCents = -2400; })},
        {"--pitch", "24.01", std::nullopt},
        {"--pitch", "0.125", std::nullopt},
        {"--fade-in", "500", Shaped([](VoiceOptions* o) { o->fadeInMs = 500; })},
        {"--fade-in", "501", std::nullopt},
        {"--fade-out", "0", Shaped([](VoiceOptions* o) { o->fadeOutMs = 0; })},
        {"--fade-out", "2.5", std::nullopt},
        {"--end", "auto", Shaped([](VoiceOptions* o) { o->endAtLastSound = true; })},
        {"--end", "1", std::nullopt},
        {"--snap", "", Shaped([](VoiceOptions* o) { o->snap = true; })},
        {"--reverse", "", Shaped([](VoiceOptions* o) { o->reverse = true; })},
    };
    testsupport::TempDir dir;
    IniProfileStore profile(QString::fromStdString(dir.file("profile.ini")));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.option) + " " + c.text);
        const RowOptionText* text = FindRowOption(c.option);
        ASSERT_NE(text, nullptr);
        const QString key = QString::fromStdString(std::string(text->profileKey) + "01");
        // A switch is stored as yes and given as --snap ROW.
        const std::string stored = text->flag ? "yes" : c.text;
        ASSERT_TRUE(profile.WriteProfileString("RowOptions", key, QString::fromStdString(stored)));
        const VoiceOptions fromProfile = ReadRowOptions(profile, 0);
        profile.RemoveProfileKey("RowOptions", key);
        EXPECT_EQ(fromProfile, c.read.value_or(VoiceOptions{}));

        std::vector<glwtool::RowChoice> choices;
        std::ostringstream err;
        const bool taken = glwtool::ParseRowOptions(
            "build", {{c.option, text->flag ? std::string("1") : std::string("1=") + c.text}}, 16,
            "row", &choices, err);
        EXPECT_EQ(taken, c.read.has_value()) << err.str();
        if (taken && c.read) {
            EXPECT_EQ(choices[0].options, *c.read);
        }
    }
}

TEST(RowOptionText, BothStoreAndDescribeInTheSameWords) {
    testsupport::TempDir dir;
    IniProfileStore profile(QString::fromStdString(dir.file("profile.ini")));
    VoiceOptions options = FirstSound();
    options.normalize = true;
    options.normalizeDbfs = -0.00001;
    WriteRowOptions(profile, 2, options);
    EXPECT_EQ(profile.GetProfileString("RowOptions", "Start03", {}), "auto");
    EXPECT_EQ(profile.GetProfileString("RowOptions", "Normalize03", {}), "-0.00001");
    EXPECT_EQ(ReadRowOptions(profile, 2), options);
    WriteRowOptions(profile, 2, StartAt(750'000'000));
    EXPECT_EQ(profile.GetProfileString("RowOptions", "Start03", {}), "0.75");
    EXPECT_EQ(profile.GetProfileString("RowOptions", "Normalize03", {}), "");

    std::vector<glwtool::RowChoice> choices;
    std::ostringstream err;
    ASSERT_TRUE(glwtool::ParseRowOptions("build",
                                         {{"--start", "3=auto"}, {"--normalize", "03=-0.00001"}},
                                         16, "row", &choices, err));
    EXPECT_EQ(choices[2].options, options);
    VoiceLoadOutcome outcome;
    outcome.startFrame = 13187;
    outcome.normalized = true;
    const auto record = std::make_unique<AudioData>();
    record->sampleRate = 44100;
    const std::string words = "start 0.299 s (first sound), normalized to -0.00001 dBFS";
    EXPECT_EQ(DescribeRowOptions(options, 13187, 44100).toStdString(), words);
    EXPECT_EQ(glwtool::DescribeApplied(choices[2], outcome, *record), words + ", ");
    VoiceOptions shaped;
    shaped.pitchCents = -1250;
    shaped.reverse = true;
    shaped.fadeOutMs = 0;
    EXPECT_EQ(DescribeRowOptions(shaped, 0, 44100).toStdString(),
              "pitch -12.5 semitones, reversed, no fade-out");
    WriteRowOptions(profile, 2, shaped);
    EXPECT_EQ(profile.GetProfileString("RowOptions", "Pitch03", {}), "-12.5");
    EXPECT_EQ(profile.GetProfileString("RowOptions", "Reverse03", {}), "yes");
    EXPECT_EQ(ReadRowOptions(profile, 2), shaped);
    EXPECT_EQ(DecimalText(-1.0), "-1.0");

    // The editor's typed times: m:ss.mmm or plain seconds, exactly.
    int64_t ns = 0;
    EXPECT_TRUE(ParseClockText("54:00.000", &ns));
    EXPECT_EQ(ns, 3'240'000'000'000);
    EXPECT_TRUE(ParseClockText(" 1:05.25 ", &ns));
    EXPECT_EQ(ns, 65'250'000'000);
    EXPECT_TRUE(ParseClockText("12.5", &ns));
    EXPECT_EQ(ns, 12'500'000'000);
    for (const char* bad : {"1:5", "0:60.000", ":05", "1:05:00", "-1:00", "1:05x"})
        EXPECT_FALSE(ParseClockText(bad, &ns)) << bad;
    EXPECT_EQ(ClockText(int64_t{3240} * 96000, 96000), "54:00.000");
    EXPECT_EQ(ClockText(65'250 * 441 / 10, 44100), "1:05.250");
    EXPECT_EQ(DecimalText(-0.0), "0.0");
}
