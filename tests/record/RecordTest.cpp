// Recording a take: where the threshold and pre-roll put the sound, how long
// a take runs, the file it is kept in, a lost or closed input, and glwtool
// record, all over a capture device the test feeds.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <future>
#include <memory>
#include <sstream>

#include "FakeCaptureDevice.h"
#include "SoundFileWriter.h"
#include "audio/AudioData.h"
#include "cli/RecordCommand.h"
#include "cli/Tool.h"
#include "convert/VoiceLoad.h"
#include "record/Recording.h"
#include "record/TakeFile.h"

using namespace recordtest;
using record::RecordingResult;

namespace {

constexpr int Rate = 48000;  // what the OpenAL source asks the device for
constexpr size_t PreRoll = Rate * 20 / 1000;

// silence, a sound below -40 dBFS, then a step to 0.5 at frame onset and a
// sine after it; enough frames for any take of the test.
std::vector<float> StreamWithOnset(size_t onset, size_t total) {
    std::vector<float> stream = Silence(onset);
    for (size_t i = onset / 2; i < onset; ++i) stream[i * 2] = stream[i * 2 + 1] = 0.005f;
    std::vector<float> sound = Sine(total - onset, 440, 0.5f, Rate);
    sound[0] = sound[1] = 0.5f;
    stream.insert(stream.end(), sound.begin(), sound.end());
    return stream;
}

// Runs a recording over the fed device to its end (10 s at most).
RecordingResult Record(const record::TakeSettings& settings) {
    std::promise<RecordingResult> ended;
    record::RecordingEvents events;
    events.finished = [&ended](RecordingResult result) { ended.set_value(std::move(result)); };
    record::Recording recording(record::OpenerFor({}), std::move(events));
    recording.Arm(settings);
    EXPECT_TRUE(recording.Start());
    auto future = ended.get_future();
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the recording did not end";
        recording.Cancel();
    }
    return future.get();
}

class RecordTest : public ::testing::Test {
protected:
    void SetUp() override { ResetCapture(); }
    void TearDown() override { ResetCapture(); }
};

}  // namespace

// The take begins the pre-roll before the first frame that reaches the
// threshold (whatever the input's blocks), holds the frames as they came and
// ends the set time after that frame; a softer sound never starts it, nor
// one already going on when the input began; a pre-roll longer than the
// input has run keeps what there is.
TEST_F(RecordTest, ThresholdAndPreRollPlaceTheSound) {
    const size_t onset = 7000;
    const std::vector<float> stream = StreamWithOnset(onset, 100000);
    record::TakeRecorder recorder(Rate);
    recorder.Arm({});
    for (size_t at = 0; at < stream.size() / 2 && !recorder.Done(); at += 333)
        (void)recorder.Feed(stream.data() + at * 2, std::min<size_t>(333, stream.size() / 2 - at));
    ASSERT_TRUE(recorder.Done());
    EXPECT_EQ(recorder.ThresholdFrame(), PreRoll);
    ASSERT_EQ(recorder.TakeFrames(), PreRoll + Rate * 3 / 2);
    const std::vector<float>& take = recorder.Take();
    EXPECT_TRUE(std::equal(take.begin(), take.end(),
                           stream.begin() + static_cast<ptrdiff_t>((onset - PreRoll) * 2)));

    record::TakeRecorder early(Rate);
    early.Arm({.waitForThreshold = true, .thresholdDbfs = -40, .preRollMs = 20, .seconds = 0.5});
    const std::vector<float> soon = StreamWithOnset(600, Rate);
    (void)early.Feed(soon.data(), soon.size() / 2);
    EXPECT_EQ(early.ThresholdFrame(), 600u);
    EXPECT_EQ(early.TakeFrames(), 600u + Rate / 2);

    // Mid-sound at the start (a held tone's zero crossings are no quiet):
    // the take begins at the next sound after a gap.
    record::TakeRecorder late(Rate);
    late.Arm({});
    std::vector<float> held = Sine(Rate / 10, 50, 0.5f, Rate);
    const std::vector<float> next = StreamWithOnset(Rate / 10, Rate * 2);
    held.insert(held.end(), next.begin(), next.end());
    (void)late.Feed(held.data(), held.size() / 2);
    ASSERT_TRUE(late.Done());
    EXPECT_EQ(late.Take()[PreRoll * 2], 0.5f);
    EXPECT_EQ(late.Take()[0], 0.005f);

    // Stopped before anything reached the threshold: no take.
    record::TakeRecorder quiet(Rate);
    quiet.Arm({});
    const std::vector<float> hush = Silence(Rate);
    (void)quiet.Feed(hush.data(), Rate);
    quiet.Stop();
    EXPECT_FALSE(quiet.Started());
    EXPECT_EQ(quiet.TakeFrames(), 0u);
}

// Over the device: a take of the row's length plus a tail is written as a
// stereo 32-bit float WAV at the input's rate, and a row made from it with
// the start at the first sound begins 1 ms before the onset.
TEST_F(RecordTest, TakeFileAtInputRateMakesTheRowFromTheOnset) {
    const size_t onset = 30000;
    FeedCapture(StreamWithOnset(onset, onset + 2 * Rate));
    RecordingResult result = Record({.seconds = 1.07});
    ASSERT_EQ(result.end, RecordingResult::End::Whole) << result.reason;
    EXPECT_FALSE(CaptureOpen());  // let go once the take is whole
    ASSERT_EQ(result.sampleRate, Rate);
    EXPECT_EQ(result.thresholdFrame, PreRoll);
    EXPECT_FLOAT_EQ(result.peak, 0.5f);
    const size_t frames = PreRoll + static_cast<size_t>(Rate * 1.07);
    ASSERT_EQ(result.take.size(), frames * 2);

    testsupport::TempDir dir;
    const std::string path = dir.file("take.wav");
    std::string reason;
    ASSERT_TRUE(record::WriteTakeFile(path, result.take, result.sampleRate, &reason)) << reason;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, Rate);
    ASSERT_EQ(info.frames, static_cast<sf_count_t>(frames));
    std::vector<float> back(frames * 2);
    EXPECT_EQ(sf_readf_float(file, back.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_EQ(back, result.take);

    VoiceOptions options;
    options.start = VoiceOptions::Start::FirstSound;
    AudioData row{};
    VoiceLoadOutcome outcome;
    ASSERT_TRUE(LoadVoice(path.c_str(), options, true, &row, &outcome)) << outcome.code;
    EXPECT_EQ(outcome.startFrame, static_cast<int64_t>(PreRoll - Rate / 1000));
}

// An input that goes away mid-take ends the recording as lost, not as a
// take; one closed while it waits for the threshold ends at once, with none.
TEST_F(RecordTest, LostOrClosedInputEndsWithoutATake) {
    FeedCapture(StreamWithOnset(2000, 10000));
    UnplugCapture();
    const RecordingResult lost = Record({});
    EXPECT_EQ(lost.end, RecordingResult::End::Lost);
    EXPECT_TRUE(lost.take.empty());
    EXPECT_FALSE(lost.reason.empty());
    EXPECT_FALSE(CaptureOpen());

    ResetCapture();
    std::promise<RecordingResult> ended;
    std::promise<void> opened;
    record::RecordingEvents events;
    events.opened = [&opened](int) { opened.set_value(); };
    events.finished = [&ended](RecordingResult result) { ended.set_value(std::move(result)); };
    {
        record::Recording recording(record::OpenerFor({}), std::move(events));
        recording.Arm({});
        ASSERT_TRUE(recording.Start());
        ASSERT_EQ(opened.get_future().wait_for(std::chrono::seconds(10)),
                  std::future_status::ready);
    }  // closed while waiting
    EXPECT_EQ(ended.get_future().get().end, RecordingResult::End::Cancelled);
    EXPECT_FALSE(CaptureOpen());
}

// glwtool record prints where the sound starts and its peak; an input that
// does not exist is exit code 3.
TEST_F(RecordTest, GlwtoolRecordReportsTheTakeAndRefusesAMissingInput) {
    testsupport::TempDir dir;
    const std::string out = dir.file("out.wav");
    FeedCapture(StreamWithOnset(10000, 10000 + Rate));
    std::ostringstream text;
    std::ostringstream err;
    ASSERT_EQ(glwtool::RunRecord({out, "--seconds", "0.5", "--threshold", "-30", "--pre-roll", "5"},
                                 text, err),
              glwtool::ExitOk)
        << err.str();
    EXPECT_EQ(text.str(), out +
                              ": 24240 frames at 48000 Hz (505.0 ms), 32-bit float, stereo\n"
                              "peak: -6.0 dBFS\n"
                              "sound starts: 5.0 ms (frame 240)\n");

    std::ostringstream none;
    EXPECT_EQ(glwtool::RunRecord({dir.file("x.wav"), "--input", "No such device"}, none, none),
              glwtool::ExitNoSoundDevice);
    EXPECT_NE(none.str().find("no capture device named \"No such device\""), std::string::npos);
}
