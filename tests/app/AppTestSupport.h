#pragma once

// Shared fixture for main-window tests: a window over an INI profile in a
// temporary folder, fake volumes, the real message boxes recorded and
// answered, and sound files made on the spot.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BoxWatcher.h"
#include "SoundFileWriter.h"
#include "app/BankController.h"
#include "app/BrowseController.h"
#include "app/EditController.h"
#include "app/FillController.h"
#include "app/HistoryController.h"
#include "app/LevelsController.h"
#include "app/LoadController.h"
#include "app/MainWindow.h"
#include "app/ProfileStore.h"
#include "app/RowsView.h"
#include "app/SaveController.h"
#include "app/SettingsController.h"
#include "app/SliceController.h"
#include "app/WindowContext.h"
#include "controls/MessageBox.h"
#include "controls/SkinButton.h"
#include "controls/SlotLabel.h"
#include "volumes/VolumeSource.h"

namespace apptest {

// How long a wait on the window gives it: only a guard against a hang. A
// sanitizer build on a loaded machine has needed more than 10 s to load
// three rows at a loudness.
inline constexpr int WaitMs = 30000;

class FakeVolumes final : public VolumeSource {
public:
    std::vector<Volume> volumes;
    [[nodiscard]] std::vector<Volume> ListVolumes() const override { return volumes; }
};

// Runs act on the first modal widget other than below once it is up
// (checked every few milliseconds, given up after WaitMs); message boxes are
// the box watcher's.
inline void WhenModalAppears(QWidget* below, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);  // deletes itself
    const QDeadlineTimer deadline(WaitMs);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, below, act = std::move(act), deadline] {
                         QWidget* modal = QApplication::activeModalWidget();
                         if (modal != nullptr && modal != below &&
                             qobject_cast<QMessageBox*>(modal) == nullptr) {
                             timer->stop();
                             timer->deleteLater();
                             act(modal);
                         } else if (deadline.hasExpired()) {
                             timer->stop();
                             timer->deleteLater();
                         }
                     });
    timer->start(5);
}

class WindowTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    FakeVolumes volumes;
    std::vector<int> messages;
    std::vector<MessageRequest> requests;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::vector<int> openBoxes;       // how many boxes were up as each was answered
    std::function<bool()> holdBoxes;  // while it says so, boxes stay up unanswered
    testsupport::BoxWatcher boxes{[this](const MessageRequest& request, int open) {
        if (holdBoxes && holdBoxes()) return QMessageBox::NoButton;
        openBoxes.push_back(open);
        messages.push_back(request.stringId);
        requests.push_back(request);
        return answer;
    }};
    std::unique_ptr<IniProfileStore> profile;
    std::unique_ptr<SlotModel> model;
    std::unique_ptr<MainWindow> window;

    [[nodiscard]] QString IniPath() const {
        return QString::fromStdString(dir.file("profile.ini"));
    }

    // Writes the profile file by hand before the window opens.
    void WriteIni(const QByteArray& text) {
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    [[nodiscard]] QByteArray ReadIni() const {
        QFile file(IniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Opens the window (initialised as on its first show) and waits for
    // the rows restored at start unless told not to.
    void Open(bool settle = true) {
        window.reset();
        profile = std::make_unique<IniProfileStore>(IniPath());
        model = std::make_unique<SlotModel>();
        window = std::make_unique<MainWindow>(*model, profile.get(), &volumes);
        window->show();
        if (settle) Settle();
    }

    // Waits (at most WaitMs) until no job of the window runs, also after the
    // events left over: a job's result handled there may start the next job.
    // Giving up is told on stderr with what was still busy, so that a stall
    // seen once on a loaded machine can be told from a slow one.
    void Settle() const {
        const QDeadlineTimer deadline(WaitMs);
        do {
            while (window->Context().IsBusy() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QCoreApplication::processEvents();
        } while (window->Context().IsBusy() && !deadline.hasExpired());
        if (window->Context().IsBusy())
            std::cerr << "Settle gave up; still busy: " << DescribeBusy() << '\n';
    }

    // The window's busy lanes ("kind:index") and rows still to be restored,
    // else whether a box is up or waiting; and how many boxes were answered.
    [[nodiscard]] std::string DescribeBusy() const {
        const WindowContext& context = window->Context();
        std::string busy;
        for (int kind = 0; kind <= static_cast<int>(JobLane::Kind::Browse); ++kind) {
            for (int index = 0; index < SlotCount; ++index) {
                if (context.jobs.IsBusy({static_cast<JobLane::Kind>(kind), index}))
                    busy += "lane " + std::to_string(kind) + ':' + std::to_string(index) + ' ';
            }
        }
        for (int slot = 0; slot < SlotCount; ++slot) {
            if (context.restoring[static_cast<size_t>(slot)])
                busy += "restoring row " + std::to_string(slot + 1) + ' ';
        }
        if (busy.empty()) busy = context.IsBusy() ? "a message box " : "nothing ";
        return busy + "(boxes answered: " + std::to_string(messages.size()) + ')';
    }

    void TearDown() override {
        window.reset();
        model.reset();
        profile.reset();
    }

    // A stereo WAV of frames frames at 44,100 Hz; returns its path.
    QString Wav(const std::string& name, int channels = 2, size_t frames = 22050) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(testsupport::WriteFile(
            path, testsupport::MakeWav(testsupport::MakeRamp(channels, 16, 44100, frames))));
        return QString::fromStdString(path);
    }

    [[nodiscard]] SkinButton* LoadButton(int slot) const {
        return window->Context().panel.LoadButton(slot);
    }
    [[nodiscard]] SkinButton* ClearButton(int slot) const {
        return window->Context().panel.ClearButton(slot);
    }
    [[nodiscard]] SkinButton* PlayButton(int slot) const {
        return window->Context().panel.PlayButton(slot);
    }
    [[nodiscard]] SkinButton* SaveButton() const { return window->Context().panel.SaveButton(); }
    [[nodiscard]] SkinButton* CloseButton() const { return window->Context().panel.CloseButton(); }
    [[nodiscard]] SlotLabel* Label(int slot) const { return window->Context().panel.Label(slot); }
    [[nodiscard]] const QPixmap* Bmp(int id) const { return window->Context().panel.Bitmap(id); }

    // Loads as the window does and waits for the row's job: true when
    // the row was loaded.
    bool Load(int slot, const QString& path, bool showErrors = true,
              const VoiceOptions& options = {}) {
        std::optional<bool> loaded;
        const QMetaObject::Connection connection =
            QObject::connect(&window->Loads(), &LoadController::RowLoadFinished, window.get(),
                             [&loaded, slot](int finished, bool ok) {
                                 if (finished == slot) loaded = ok;
                             });
        bool result = window->Loads().LoadSlot(slot, path, showErrors, options);
        if (result && !path.isEmpty()) {
            const QDeadlineTimer deadline(WaitMs);
            while (!loaded && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            result = loaded.value_or(false);
        }
        QObject::disconnect(connection);
        return result;
    }

    // Drags data onto target and drops it there.
    static void Drop(QWidget* target, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        const QPoint point(5, 5);
        QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &move);
        QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
    }
};

}  // namespace apptest
