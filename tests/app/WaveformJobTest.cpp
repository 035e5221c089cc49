// The waveform job: its bins match the overview computed in place, and a
// batch that does not fit the file's length stops the job with its reason
// instead of drawing later bins in the wrong place.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <optional>

#include "SoundFileWriter.h"
#include "app/WaveformJob.h"
#include "jobs/JobRunner.h"

namespace {

// Runs the job to its end (at most 10 s); the failure, or nullopt when it
// never ended.
std::optional<QString> RunToEnd(WaveformJob& job) {
    std::optional<QString> ended;
    QObject::connect(&job, &WaveformJob::Finished, &job,
                     [&ended](const QString& failure) { ended = failure; });
    const QDeadlineTimer deadline(10000);
    while (!ended && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return ended;
}

TEST(WaveformJob, KeepsTheBinsInOrderAndStopsWithAReasonWhenABatchDoesNotFit) {
    testsupport::TempDir dir;
    const std::string path = dir.file("ramp.wav");
    constexpr size_t Frames = 200000;
    ASSERT_TRUE(testsupport::WriteFile(
        path, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, Frames))));

    std::vector<PeakBin> expected;
    ASSERT_TRUE(ComputePeakOverview(
        path.c_str(), false, 100,
        [&expected](const std::vector<PeakBin>& bins, int64_t) {
            expected.insert(expected.end(), bins.begin(), bins.end());
            return true;
        },
        nullptr));

    JobRunner jobs;
    WaveformJob whole(jobs);
    QString why;
    ASSERT_TRUE(whole.Start(path, false, Frames, 100, &why)) << why.toStdString();
    EXPECT_EQ(RunToEnd(whole), QString());
    EXPECT_EQ(*whole.Bins(), expected);

    // Told the file is a tenth of its length: the batch that overflows is
    // refused whole, what was stored stays where it belongs.
    WaveformJob shorter(jobs);
    ASSERT_TRUE(shorter.Start(path, false, Frames / 10, 100, &why));
    const std::optional<QString> failure = RunToEnd(shorter);
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->isEmpty());
    const std::vector<PeakBin>& kept = *shorter.Bins();
    EXPECT_LE(kept.size(), Frames / 10 / 100);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), expected.begin()));

    // A file that cannot be read says why.
    WaveformJob missing(jobs);
    ASSERT_TRUE(missing.Start(dir.file("none.wav"), false, Frames, 100, &why));
    const std::optional<QString> gone = RunToEnd(missing);
    ASSERT_TRUE(gone);
    EXPECT_FALSE(gone->isEmpty());
}

}  // namespace
