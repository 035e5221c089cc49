// A take onto a row: from the moment the frames that reach the threshold
// are there at the input (a capture device the benchmark feeds, looked at
// by the recording as a real one is) to the row stored from the kept take:
// the input's poll, the cut, the take written and synced into takes/, the
// row made from it (converted, from its first sound) and stored. The take's
// own length (the row's 0.97 s and a 0.1 s tail of sound after the
// threshold) comes on top when a musician records.

#include <benchmark/benchmark.h>

#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

#include "FakeCaptureDevice.h"
#include "QtBenchMain.h"
#include "SoundFileWriter.h"
#include "app/FillController.h"
#include "app/LoadController.h"
#include "app/MainWindow.h"
#include "app/ProfileStore.h"
#include "app/RecordDialog.h"

namespace {

constexpr int Rate = 48000;
constexpr int Row = 4;

void BM_ThresholdToTakeOnRow(benchmark::State& state) {
    testsupport::TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.file("data")));
    IniProfileStore profile(QString::fromStdString(dir.file("profile.ini")));
    SlotModel model;
    auto window = std::make_unique<MainWindow>(model, &profile, nullptr);
    window->show();
    window->Fill().SetTargetRow(Row);
    const std::vector<float> quiet = recordtest::Silence(Rate / 5);
    std::vector<float> take = recordtest::Silence(Rate / 100);
    const std::vector<float> hit = recordtest::Sine(Rate * 3 / 2, 220, 0.5f, Rate);
    take.insert(take.end(), hit.begin(), hit.end());
    for (auto _ : state) {
        recordtest::ResetCapture();
        // The key goes to the active window; the last dialog had it.
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window.get());
        std::chrono::steady_clock::time_point fed;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
            auto* dialog = qobject_cast<RecordDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            poll.stop();
            dialog->findChild<QPushButton*>(QStringLiteral("recordButton"))->click();
            recordtest::FeedCapture(quiet);
            fed = std::chrono::steady_clock::now();
            recordtest::FeedCapture(take);
        });
        poll.start(1);
        std::optional<bool> loaded;
        const auto connection = QObject::connect(&window->Loads(), &LoadController::RowLoadFinished,
                                                 window.get(), [&loaded](int row, bool ok) {
                                                     if (row == Row) loaded = ok;
                                                 });
        QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
        const QDeadlineTimer deadline(10000);
        while (!loaded && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const auto done = std::chrono::steady_clock::now();
        QObject::disconnect(connection);
        if (!loaded.value_or(false)) {
            state.SkipWithError("the take did not reach the row");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(done - fed).count());
    }
    window->OnCloseButton();
}
BENCHMARK(BM_ThresholdToTakeOnRow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
