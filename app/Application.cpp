#include "app/Application.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSessionManager>
#include <QStandardPaths>

#include <cstdio>

#include "app/BankController.h"
#include "app/BrowseController.h"
#include "app/MainWindow.h"
#include "app/ProfileStore.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "app/WindowContext.h"
#include "controls/RepeatedKeyFilter.h"
#include "core/CardBanks.h"
#include "core/PathUtils.h"
#include "core/SlotModel.h"

namespace {

// Without a display Qt would abort; say what to do instead.
bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Ends the program as its Close button does, from outside: boxes and
// dialogs open over the window are cancelled first.
void EndLikeCloseButton(MainWindow& window) {
    for (int depth = 0; depth < 8; ++depth) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == &window) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
    window.OnCloseButton();
    // Ends every running loop and any loop started later: a signal that
    // comes while a box of the start-up is open must not leave the window
    // running once that box returns.
    QCoreApplication::exit(0);
}

QString Absolute(const QString& path) {
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

// What the command line names, absolute: the bank (the first argument that
// is no option) and the folder of "--browse DIR" or "--browse=DIR"; empty
// when none is. Options Qt did not take are skipped; "--" ends them.
struct CommandLine {
    QString bank;
    QString browse;
};

CommandLine ParseCommandLine(const QStringList& arguments) {
    static const QString browse = QStringLiteral("--browse");
    CommandLine out;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument == browse) {
            if (i + 1 < arguments.size()) out.browse = Absolute(arguments[++i]);
        } else if (!optionsEnded && argument.startsWith(browse + QLatin1Char('='))) {
            out.browse = Absolute(argument.mid(browse.size() + 1));
        } else if ((optionsEnded || !argument.startsWith(QLatin1Char('-'))) && out.bank.isEmpty()) {
            out.bank = Absolute(argument);
            if (out.bank.isEmpty()) return out;
        }
    }
    return out;
}

}  // namespace

QString ProfilePathFor(const QString& configHome, const QString& appName) {
    return configHome + QStringLiteral("/Vantor/") + appName + QLatin1Char('/') + appName +
           QStringLiteral(".ini");
}

bool BringForward(MainWindow& window, const QString& token) {
    if (window.windowTitle() != QLatin1String(MainWindowTitle)) return false;
    if (!token.isEmpty()) {
        // Wayland lets a window take the focus only with the token the
        // desktop handed to the copy the user started.
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    }
    if (window.windowState() & Qt::WindowMinimized) {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window.show();
    }
    window.raise();
    window.activateWindow();
    return true;
}

namespace {

void SayThereIsNoDisplay() {
    std::fputs(
        "gridlume-voice-manager: no display found (neither DISPLAY nor WAYLAND_DISPLAY is "
        "set).\n"
        "The window needs an X11 or Wayland desktop; without one, use glwtool "
        "to build, check and play voice banks (glwtool --help).\n",
        stderr);
}

void Warn(const QString& text) {
    std::fprintf(stderr, "gridlume-voice-manager: %s\n", text.toLocal8Bit().constData());
}

// Settings that must be made before the application object exists.
void PrepareApplication() {
    // Whole-number scaling keeps the bitmap skin crisp.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // Before Qt starts threads of its own: this sets an environment variable.
    SoundEngine::QuietSoundLibraryLogs();
}

void NameApplication() {
    // Named, not taken from the executable: the test build keeps the same
    // settings file, lock and socket as the installed program.
    QCoreApplication::setApplicationName(QStringLiteral("gridlume-voice-manager"));
    // Must match the installed desktop file, or Wayland shows no icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vantor.GridlumeVoiceManager"));
}

// A later copy: the first one comes forward and opens the bank, or else
// browses the folder. Returns the exit code; a copy that cannot be reached
// is said on stderr, never silently.
int HandOverToFirstCopy(const SingleInstance& instance, const CommandLine& line) {
    const QString& bank = line.bank;
    if (instance.AskFirstToComeForward(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"), 2000, bank,
                                       line.browse))
        return 0;
    Warn(QStringLiteral("another copy holds %1 but cannot be reached at %2%3.")
             .arg(instance.LockPath(), instance.SocketPath(),
                  bank.isEmpty() ? QString() : QStringLiteral("; %1 was not opened").arg(bank)));
    return 1;
}

// Makes the profile's folder; returns the profile's path.
QString PrepareProfile() {
    const QString appName = QCoreApplication::applicationName();
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString profilePath = ProfilePathFor(configHome, appName);
    // A profile path the platform cannot hold is treated like a folder that
    // could not be made: settings are then neither read nor kept.
    const QByteArray profileDir = QFile::encodeName(QFileInfo(profilePath).path());
    if (!configHome.isEmpty() && FitsPathMax(QFile::encodeName(profilePath).toStdString())) {
        (void)CreateDirectoryTree(profileDir.constData());
    }
    return profilePath;
}

}  // namespace

struct Program::Parts {
    std::unique_ptr<RepeatedKeyFilter> freshKeysOnly;
    std::unique_ptr<QApplication> application;
    std::unique_ptr<SingleInstance> instance;
    CommandLine line;
    std::unique_ptr<IniProfileStore> profile;
    std::unique_ptr<SlotModel> model;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<TerminationSignals> termination;

    ~Parts() {
        // The window before what it drives; the application last.
        termination.reset();
        window.reset();
        model.reset();
        profile.reset();
        instance.reset();
        if (application && freshKeysOnly) application->removeEventFilter(freshKeysOnly.get());
        application.reset();
    }
};

Program::Program(int argc, char** argv)
    : m_argc(argc), m_argv(argv), m_parts(std::make_unique<Parts>()) {}

Program::~Program() = default;

MainWindow& Program::Window() { return *m_parts->window; }

SingleInstance& Program::Instance() { return *m_parts->instance; }

int Program::Start() {
    if (!HasDisplay()) {
        SayThereIsNoDisplay();
        return 1;
    }
    Parts& parts = *m_parts;
    PrepareApplication();
    parts.application = std::make_unique<QApplication>(m_argc, m_argv);
    NameApplication();
    // A held Enter confirms once and a held Escape closes one dialog, in
    // the window and in every dialog.
    parts.freshKeysOnly = std::make_unique<RepeatedKeyFilter>();
    parts.application->installEventFilter(parts.freshKeysOnly.get());

    parts.instance = std::make_unique<SingleInstance>(
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
        QString::fromLatin1(SingleInstanceName));
    SingleInstance& instance = *parts.instance;
    parts.line = ParseCommandLine(QCoreApplication::arguments());
    switch (instance.TryBecomeFirst()) {
    case SingleInstance::Role::Later: return HandOverToFirstCopy(instance, parts.line);
    case SingleInstance::Role::Alone:
        Warn(QStringLiteral("warning: running without the single-copy lock: %1.")
                 .arg(instance.LockProblem()));
        break;
    case SingleInstance::Role::First:
        if (!instance.ListenProblem().isEmpty())
            Warn(QStringLiteral("warning: later copies cannot call this one: %1.")
                     .arg(instance.ListenProblem()));
        break;
    }

    // The wiring: the slots first, then the window that drives and shows
    // them.
    parts.profile = std::make_unique<IniProfileStore>(PrepareProfile());
    parts.model = std::make_unique<SlotModel>();
    parts.window = std::make_unique<MainWindow>(*parts.model, parts.profile.get());
    MainWindow& window = *parts.window;
    QObject::connect(&instance, &SingleInstance::ComeForwardRequested, &window,
                     [&window](const QString& token) { BringForward(window, token); });
    QObject::connect(&instance, &SingleInstance::OpenBankRequested, &window.Banks(),
                     &BankController::OpenBankLater);
    QObject::connect(&instance, &SingleInstance::BrowseRequested, &window.Browse(),
                     &BrowseController::BrowseFolder);
    if (!parts.line.bank.isEmpty()) window.Banks().OpenBankWhenShown(parts.line.bank);
    if (!parts.line.browse.isEmpty()) window.Browse().BrowseWhenShown(parts.line.browse);

    // Ended by the session or a terminal: the same road as the Close button.
    parts.termination = std::make_unique<TerminationSignals>();
    QObject::connect(parts.termination.get(), &TerminationSignals::Received, &window,
                     [&window] { EndLikeCloseButton(window); });
    QObject::connect(parts.application.get(), &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { EndLikeCloseButton(window); });
    return -1;
}

int Program::Run() {
    MainWindow& window = *m_parts->window;
    (void)window.exec();
    // A quit request ends every event loop without closing the window.
    if (!window.Context().closing) window.OnCloseButton();
    return 0;
}

int RunProgram(int argc, char** argv) {
    // Before any thread: the card view reads and checks every bank of a
    // card, and 500 banks took 9 s instead of 0.7 s while freed buffers went
    // back to the system (about 15 MB more stay resident after such a listing).
    KeepFreedBankBuffers();
    Program program(argc, argv);
    const int code = program.Start();
    return code >= 0 ? code : program.Run();
}
