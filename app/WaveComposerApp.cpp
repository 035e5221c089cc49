#include "app/WaveComposerApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/PathUtils.h"
#include "app/ProfileStore.h"
#include "app/SingleInstance.h"
#include "app/TestHooks.h"
#include "app/WaveComposerDlg.h"
#include "controls/MessageBox.h"

QString CWaveComposerApp::ProfilePathFor(const QString& configHome, const QString& appName) {
    return configHome + QStringLiteral("/Vantor/") + appName + QLatin1Char('/') + appName +
           QStringLiteral(".ini");
}

bool CWaveComposerApp::BringForward(CWaveComposerDlg& window, const QString& token) {
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

int CWaveComposerApp::InitInstance() {
    SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
                            QString::fromLatin1(InstanceName));
    if (!instance.TryBecomeFirst()) {
        (void)instance.AskFirstToComeForward(qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
        return 0;
    }

    const QString appName = QCoreApplication::applicationName();
    if (appName.isEmpty()) return 0;
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString profilePath = ProfilePathFor(configHome, appName);
    // A profile path the platform cannot hold is treated like a folder that
    // could not be made: settings are then neither read nor kept.
    const QByteArray profileDir = QFile::encodeName(QFileInfo(profilePath).path());
    if (!configHome.isEmpty() && FitsPathMax(QFile::encodeName(profilePath).toStdString())) {
        (void)CreateDirectoryTree(profileDir.constData());
    }

    IniProfileStore profile(profilePath);
    CWaveComposerDlg window(&profile);
    QObject::connect(&instance, &SingleInstance::ComeForwardRequested, &window,
                     [&window](const QString& token) { BringForward(window, token); });
    const auto hooks = InstallTestHooks(window, instance);
    (void)window.DoModal();
    return 0;
}
