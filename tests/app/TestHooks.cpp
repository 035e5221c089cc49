#include "TestHooks.h"

#include <QDialog>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTimer>

#include <functional>
#include <memory>

#include <unistd.h>

#include "BoxWatcher.h"
#include "app/BankController.h"
#include "app/LoadController.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/WindowContext.h"

namespace {

void AppendEvent(const QString& logPath, const QJsonObject& event) {
    QFile file(logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write(QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
}

// Resident memory of this process in KiB, or -1.
qint64 ResidentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    bool ok = false;
    const qint64 pages = fields.value(1).toLongLong(&ok);
    return ok ? pages * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

QJsonObject WindowState(MainWindow& window) {
    QJsonArray paths;
    QJsonArray loaded;
    QJsonArray labels;
    QJsonArray tips;
    for (int i = 0; i < SlotCount; ++i) {
        tips.append(window.Context().panel.Label(i)->toolTip());
        paths.append(window.Context().SlotPath(i));
        loaded.append(window.Context().model.IsSlotLoaded(i));
        labels.append(window.Context().panel.Label(i)->text());
    }
    return QJsonObject{{"x", window.pos().x()},
                       {"y", window.pos().y()},
                       {"clientWidth", window.width()},
                       {"clientHeight", window.height()},
                       {"title", window.windowTitle()},
                       {"initialised", window.Context().initialised},
                       {"minimized", window.isMinimized()},
                       {"volume", window.Context().lastVolume},
                       {"paths", paths},
                       {"loaded", loaded},
                       {"labels", labels},
                       {"tips", tips},
                       {"residentKiB", ResidentKiB()}};
}

// Runs act once the window opens no bank any more.
void AfterBankOpened(MainWindow& window, const std::function<void()>& act) {
    QTimer::singleShot(window.Banks().IsOpeningBank() ? 10 : 0, &window, [&window, act] {
        if (window.Banks().IsOpeningBank()) {
            AfterBankOpened(window, act);
        } else {
            act();
        }
    });
}

// Milliseconds since this process started, from its start time in jiffies.
qint64 MsSinceStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name (which may hold spaces); the start
    // time is field 22, the 20th after it.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double started = fields.value(19).toDouble() / static_cast<double>(sysconf(_SC_CLK_TCK));
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return static_cast<qint64>((now - started) * 1000);
}

}  // namespace

std::unique_ptr<testsupport::BoxWatcher> InstallTestHooks(MainWindow& window,
                                                          SingleInstance& instance) {
    const QString logPath = qEnvironmentVariable("GLW_TEST_EVENT_LOG");
    const QString closeWhenShown = qEnvironmentVariable("GLW_TEST_CLOSE_WHEN_SHOWN");
    const bool minimizeWhenShown =
        qEnvironmentVariableIntValue("GLW_TEST_MINIMIZE_WHEN_SHOWN") == 1;
    const bool closeAfterComeForward =
        qEnvironmentVariableIntValue("GLW_TEST_CLOSE_AFTER_COME_FORWARD") == 1;
    bool clearRowSet = false;
    const int clearRow =
        qEnvironmentVariableIntValue("GLW_TEST_CLEAR_ROW_WHEN_SHOWN", &clearRowSet);

    std::unique_ptr<testsupport::BoxWatcher> boxes;
    if (!logPath.isEmpty()) {
        // Boxes never block a child process: each is answered as soon as it
        // is up. A question is answered with its safe choice, so a stray
        // variable can never replace a bank unasked.
        boxes = std::make_unique<testsupport::BoxWatcher>(
            [logPath](const MessageRequest& request, int) {
                AppendEvent(logPath, QJsonObject{{"event", "message"}, {"id", request.stringId}});
                return request.buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
                                                                     : QMessageBox::Ok;
            });
        QObject::connect(&window, &QDialog::finished, &window, [logPath](int result) {
            AppendEvent(logPath, QJsonObject{{"event", "closed"}, {"result", result}});
        });
    }
    // "shown" once the rows restored at start are in; "mapped" as soon as
    // the window is up, with the milliseconds since the process started.
    const auto whenShown = [&window, logPath, closeWhenShown, minimizeWhenShown, clearRowSet,
                            clearRow] {
        if (clearRowSet) (void)window.Loads().ClearSlotRow(clearRow);
        if (minimizeWhenShown) window.showMinimized();
        if (!logPath.isEmpty()) {
            QJsonObject event = WindowState(window);
            event.insert("event", "shown");
            AppendEvent(logPath, event);
        }
        if (closeWhenShown == QLatin1String("escape")) window.reject();
        if (closeWhenShown == QLatin1String("close")) window.close();
    };
    QObject::connect(&window, &MainWindow::Shown, &window, [&window, logPath, whenShown] {
        if (!logPath.isEmpty())
            AppendEvent(logPath, QJsonObject{{"event", "mapped"}, {"ms", MsSinceStart()}});
        // After the show has finished, the rows restored at start are in and
        // the bank named on the command line has been opened.
        QTimer::singleShot(0, &window, [&window, whenShown] {
            const auto afterBank = [&window, whenShown] { AfterBankOpened(window, whenShown); };
            if (window.Context().AreRowsRestored()) {
                afterBank();
            } else {
                QObject::connect(&window.Loads(), &LoadController::RowsRestored, &window, afterBank,
                                 Qt::SingleShotConnection);
            }
        });
    });
    QObject::connect(&instance, &SingleInstance::ComeForwardRequested, &window,
                     [&window, logPath, closeAfterComeForward](const QString& token) {
                         if (!logPath.isEmpty()) {
                             QJsonObject event = WindowState(window);
                             event.insert("event", "come-forward");
                             event.insert("token", token);
                             AppendEvent(logPath, event);
                         }
                         if (closeAfterComeForward)
                             QTimer::singleShot(0, &window, [&window] { window.reject(); });
                     });
    return boxes;
}
