// Start-up of the desktop app with 16 stereo rows restored from the
// profile, and its resident memory with those rows loaded.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <filesystem>
#include <memory>

#include <unistd.h>

#include "QtBenchMain.h"
#include "SoundFileWriter.h"
#include "app/MainWindow.h"
#include "app/ProfileStore.h"
#include "app/WindowContext.h"

namespace {

namespace fs = std::filesystem;

double ResidentMiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const double pages = statm.readAll().split(' ').value(1).toDouble();
    return pages * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A profile naming 16 one-second stereo files.
struct SixteenRows {
    testsupport::TempDir dir;
    QString ini;
    SixteenRows() {
        const testsupport::Bytes wav =
            testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 44100));
        ini = QString::fromStdString(
            dir.file("config/Vantor/gridlume-voice-manager/gridlume-voice-manager.ini"));
        fs::create_directories(dir.file("config/Vantor/gridlume-voice-manager"));
        QSettings settings(ini, QSettings::IniFormat);
        for (int i = 0; i < SlotCount; ++i) {
            const std::string path = dir.file("voice" + std::to_string(i) + ".wav");
            testsupport::WriteFile(path, wav);
            settings.setValue(QString::asprintf("FilePathInfo/File%02d", i + 1),
                              QString::fromStdString(path));
        }
        settings.sync();
    }
};

void BM_WindowShownWithSixteenRows(benchmark::State& state) {
    SixteenRows rows;
    const double before = ResidentMiB();
    double loaded = 0;
    for (auto _ : state) {
        IniProfileStore profile(rows.ini);
        SlotModel model;
        auto window = std::make_unique<MainWindow>(model, &profile);
        bool shown = false;
        QObject::connect(window.get(), &MainWindow::Shown, [&shown] { shown = true; });
        window->show();
        // Rows are restored on workers after the window shows: the time
        // runs until every row sounds.
        while (!shown || !window->Context().AreRowsRestored()) QCoreApplication::processEvents();
        if (window->Context().model.CountLoadedSlots() != SlotCount)
            state.SkipWithError("rows not restored");
        state.PauseTiming();
        loaded = ResidentMiB();
        window->reject();
        window.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_16_rows_MiB"] = loaded;
}
BENCHMARK(BM_WindowShownWithSixteenRows)->Unit(benchmark::kMillisecond)->Iterations(10);

// The real program from process start to its window shown, polled through
// its event log.
void BM_ProgramStartToShown(benchmark::State& state) {
    SixteenRows rows;
    const QString runtime = QString::fromStdString(rows.dir.file("run"));
    fs::create_directory(runtime.toStdString());
    fs::permissions(runtime.toStdString(), fs::perms::owner_all);
    const QString log = QString::fromStdString(rows.dir.file("events.log"));
    double residentKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(log);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(rows.dir.file("config")));
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("GLW_TEST_EVENT_LOG", log);
        env.insert("GLW_TEST_CLOSE_WHEN_SHOWN", "escape");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        state.ResumeTiming();
        process.start(QStringLiteral(GLW_APP_EXE), {});
        const QDeadlineTimer deadline(30000);
        QByteArray line;
        while (!deadline.hasExpired()) {
            QFile file(log);
            // "mapped" comes first; "shown" once the rows are in.
            if (file.open(QIODevice::ReadOnly)) {
                for (const QByteArray& event : file.readAll().split('\n'))
                    if (event.contains("\"shown\"")) line = event;
            }
            if (!line.isEmpty()) break;
            QThread::usleep(200);
        }
        state.PauseTiming();
        process.waitForFinished(30000);
        const QJsonObject shown = QJsonDocument::fromJson(line).object();
        residentKiB = shown.value("residentKiB").toDouble();
        if (shown.value("loaded").toVariant().toList().count(true) != SlotCount) {
            state.SkipWithError("rows not restored");
        }
        state.ResumeTiming();
    }
    state.counters["program_rss_16_rows_MiB"] = residentKiB / 1024.0;
}
BENCHMARK(BM_ProgramStartToShown)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
