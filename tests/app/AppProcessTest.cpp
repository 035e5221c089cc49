// The program itself, run as a child process with its own config, data and
// runtime folders: settings across processes, one copy per user, start
// without a sound device, and a bank opened from the command line.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>

#include "SoundFileWriter.h"
#include "audio/RowMark.h"
#include "voicebank/VoiceBankBuilder.h"
#include "voicebank/VoiceBankImage.h"

namespace {

namespace fs = std::filesystem;

class AppProcess : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    QString configHome;
    QString runtimeDir;
    QString dataHome;

    void SetUp() override {
        configHome = QString::fromStdString(dir.file("config"));
        dataHome = QString::fromStdString(dir.file("data"));
        runtimeDir = QString::fromStdString(dir.file("run"));
        fs::create_directories(configHome.toStdString());
        fs::create_directory(runtimeDir.toStdString());
        fs::permissions(runtimeDir.toStdString(), fs::perms::owner_all);
    }

    [[nodiscard]] QString IniPath() const {
        return configHome + "/Vantor/gridlume-voice-manager/gridlume-voice-manager.ini";
    }
    [[nodiscard]] QString Log(const char* name) const {
        return QString::fromStdString(dir.file(name));
    }

    // Starts the program; vars are added to the test's own environment.
    // ignoreHangUp: started as nohup starts it.
    std::unique_ptr<QProcess> Start(const QString& log, const QStringList& vars,
                                    bool ignoreHangUp = false, const QStringList& args = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", configHome);
        env.insert("XDG_RUNTIME_DIR", runtimeDir);
        env.insert("XDG_DATA_HOME", dataHome);
        env.insert("GLW_TEST_EVENT_LOG", log);
        env.remove("XDG_ACTIVATION_TOKEN");
        for (const QString& var : vars) {
            const qsizetype eq = var.indexOf('=');
            env.insert(var.left(eq), var.mid(eq + 1));
        }
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        if (ignoreHangUp) process->setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
        process->start(QStringLiteral(GLW_APP_EXE), args);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    // Runs the program to its end.
    void Run(const QString& log, const QStringList& vars, const QStringList& args = {}) {
        const auto process = Start(log, vars, false, args);
        ASSERT_TRUE(process->waitForFinished(30000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }

    static QList<QJsonObject> Events(const QString& log) {
        QList<QJsonObject> events;
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly)) return events;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) events.append(QJsonDocument::fromJson(line).object());
        }
        return events;
    }

    static std::optional<QJsonObject> FindEvent(const QString& log, const QString& name) {
        for (const QJsonObject& event : Events(log)) {
            if (event.value("event").toString() == name) return event;
        }
        return std::nullopt;
    }

    static std::optional<QJsonObject> WaitForEvent(const QString& log, const QString& name,
                                                   int timeoutMs = 20000) {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (auto event = FindEvent(log, name)) return event;
            QThread::msleep(10);  // polling a file another process writes
        }
        return FindEvent(log, name);
    }

    static QByteArray ReadFileBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(AppProcess, FirstRunCreatesTheProfileWithAllKeys) {
    const QString log = Log("first.log");
    Run(log, {"GLW_TEST_CLOSE_WHEN_SHOWN=escape"});
    const auto shown = FindEvent(log, "shown");
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->value("x").toInt(), 0);
    EXPECT_EQ(shown->value("y").toInt(), 0);
    EXPECT_EQ(shown->value("clientWidth").toInt(), 640);
    EXPECT_EQ(shown->value("clientHeight").toInt(), 640);
    EXPECT_EQ(shown->value("title").toString(), "GRIDLUME User Voice Manager");
    EXPECT_FALSE(FindEvent(log, "message"));
    EXPECT_EQ(FindEvent(log, "closed")->value("result").toInt(), 0);

    const QByteArray ini = ReadFileBytes(IniPath());
    int keys = 0;
    for (const QByteArray& line : ini.split('\n')) keys += line.contains('=') ? 1 : 0;
    EXPECT_EQ(keys, 19) << ini.constData();
    for (int i = 1; i <= 16; ++i) {
        EXPECT_TRUE(ini.contains(QString::asprintf("File%02d=\n", i).toLatin1()));
    }
    EXPECT_TRUE(ini.contains("PosX=0\n"));
    EXPECT_TRUE(ini.contains("Volume=\n"));
}

TEST_F(AppProcess, AwkwardPathsSurviveASaveAndARestart) {
    const QStringList names{"with space, and comma.wav", "quote\"d 'single'.wav", "a=b;c#d.wav",
                            "ünïcødé ✓ 音.wav",          "@at \\back.wav",        "tab\there.wav",
                            " lead and trail .wav"};
    const QString folder = QString::fromStdString(dir.file("sounds ä"));
    fs::create_directory(folder.toStdString());
    QStringList paths;
    for (const QString& name : names) {
        paths.append(folder + "/" + name);
        ASSERT_TRUE(testsupport::WriteFile(
            QFile::encodeName(paths.back()).toStdString(),
            testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 2000))));
    }
    const QString volume = QString::fromStdString(dir.path()) + "/card ;#=\"x\"/";
    {
        // Written by this process, read by the program.
        fs::create_directories(QFile::encodeName(IniPath()).toStdString().substr(
            0, QFile::encodeName(IniPath()).toStdString().rfind('/')));
        QSettings ini(IniPath(), QSettings::IniFormat);
        for (int i = 0; i < paths.size(); ++i) {
            ini.setValue(QString::asprintf("FilePathInfo/File%02d", i + 1), paths[i]);
        }
        ini.setValue("LoadVolumeInfo/Volume", volume);
        ini.sync();
        ASSERT_EQ(ini.status(), QSettings::NoError);
    }

    for (const char* run : {"run1.log", "run2.log"}) {
        SCOPED_TRACE(run);
        const QString log = Log(run);
        Run(log, {"GLW_TEST_CLOSE_WHEN_SHOWN=escape"});
        const auto shown = FindEvent(log, "shown");
        ASSERT_TRUE(shown);
        EXPECT_FALSE(FindEvent(log, "message"));
        const QJsonArray got = shown->value("paths").toArray();
        const QJsonArray loaded = shown->value("loaded").toArray();
        for (int i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(got[i].toString(), paths[i]);
            EXPECT_TRUE(loaded[i].toBool()) << paths[i].toStdString();
        }
        EXPECT_EQ(shown->value("labels").toArray()[3].toString(), "ünïcødé ✓ 音");
        EXPECT_EQ(shown->value("volume").toString(), volume);
    }
}

TEST_F(AppProcess, ASecondCopyAsksTheFirstToComeForwardAndExits) {
    const QString firstLog = Log("first.log");
    const auto first =
        Start(firstLog, {"GLW_TEST_MINIMIZE_WHEN_SHOWN=1", "GLW_TEST_CLOSE_AFTER_COME_FORWARD=1"});
    const auto shown = WaitForEvent(firstLog, "shown");
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->value("minimized").toBool());

    const QString secondLog = Log("second.log");
    Run(secondLog, {"XDG_ACTIVATION_TOKEN=token-42"});
    EXPECT_TRUE(Events(secondLog).isEmpty());  // no window of its own

    const auto forward = WaitForEvent(firstLog, "come-forward");
    ASSERT_TRUE(forward);
    EXPECT_FALSE(forward->value("minimized").toBool());  // restored
    EXPECT_EQ(forward->value("token").toString(), "token-42");
    ASSERT_TRUE(first->waitForFinished(30000));
    EXPECT_EQ(first->exitCode(), 0);

    // With the first copy gone, the next start is a first copy again.
    const QString thirdLog = Log("third.log");
    Run(thirdLog, {"GLW_TEST_CLOSE_WHEN_SHOWN=close"});
    EXPECT_TRUE(FindEvent(thirdLog, "shown"));
}

TEST_F(AppProcess, AFirstCopyWithoutTitleIsNotBroughtForward) {
    // Without a sound device the first copy never sets its title.
    const QString firstLog = Log("first.log");
    const auto first = Start(firstLog, {"ALSOFT_DRIVERS=none", "GLW_TEST_MINIMIZE_WHEN_SHOWN=1",
                                        "GLW_TEST_CLOSE_AFTER_COME_FORWARD=1"});
    ASSERT_TRUE(WaitForEvent(firstLog, "shown"));
    Run(Log("second.log"), {});
    EXPECT_TRUE(Events(Log("second.log")).isEmpty());
    const auto forward = WaitForEvent(firstLog, "come-forward");
    ASSERT_TRUE(forward);
    EXPECT_TRUE(forward->value("minimized").toBool());  // left as it was
    ASSERT_TRUE(first->waitForFinished(30000));
}

TEST_F(AppProcess, WithoutADisplayItSaysSoAndPointsToTheTool) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(var);
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(GLW_APP_EXE), {});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QByteArray error = process.readAllStandardError();
    EXPECT_TRUE(error.contains("no display")) << error.constData();
    EXPECT_TRUE(error.contains("glwtool")) << error.constData();
    EXPECT_FALSE(QFile::exists(IniPath()));
}

TEST_F(AppProcess, NoSoundDeviceKeepsTheStoredSettings) {
    const QByteArray stored =
        "[FilePathInfo]\nFile03=/home/someone/snare.wav\n\n[LoadVolumeInfo]\nVolume=/media/someone/"
        "CARD/\n\n"
        "[WindowInfo]\nPosX=310\nPosY=77\n";
    fs::create_directories(QFileInfo(IniPath()).path().toStdString());
    {
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(stored);
    }
    const QString log = Log("nodevice.log");
    Run(log, {"ALSOFT_DRIVERS=none", "GLW_TEST_CLOSE_WHEN_SHOWN=escape"});
    const auto message = FindEvent(log, "message");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->value("id").toInt(), 105);
    const auto shown = FindEvent(log, "shown");
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->value("title").toString(), "");  // never set
    EXPECT_FALSE(shown->value("initialised").toBool());
    EXPECT_NE(shown->value("clientWidth").toInt(), 640);  // the template's own size
    EXPECT_EQ(ReadFileBytes(IniPath()), stored);
}

TEST_F(AppProcess, DamagedSettingsStartWithDefaults) {
    // Settings that are not INI at all, hold values of the wrong type or
    // absurd ones, or cannot be read as a file: the window starts normally,
    // with defaults where needed and no message.
    struct Case {
        const char* name;
        QByteArray content;  // empty: a folder stands where the file should be
    };
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131 + 7) % 256);
    const Case cases[] = {
        {"binary", garbage},
        {"wrong-types",
         "[WindowInfo]\nPosX=left\nPosY=99999999999999999999999\n[LoadVolumeInfo]\nVolume=@Variant("
         "\\0\\0\\0\\x7f)\n"
         "[FilePathInfo]\nFile01=/\nFile02=" +
             QByteArray(9000, 'a') + "\nFile17=/x.wav\n[WindowInfo\n=\n"},
        {"absurd-position", "[WindowInfo]\nPosX=-2147483648\nPosY=2147483647\n"},
        {"folder", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(IniPath());
        QDir(IniPath()).removeRecursively();
        fs::create_directories(QFileInfo(IniPath()).path().toStdString());
        if (c.content.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(IniPath()));
        } else {
            QFile file(IniPath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        const QString log = Log((std::string(c.name) + ".log").c_str());
        Run(log, {"GLW_TEST_CLOSE_WHEN_SHOWN=escape"});
        const auto shown = FindEvent(log, "shown");
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->value("title").toString(), "GRIDLUME User Voice Manager");
        EXPECT_FALSE(FindEvent(log, "message"));
        EXPECT_EQ(shown->value("clientWidth").toInt(), 640);
        for (const auto loaded : shown->value("loaded").toArray()) EXPECT_FALSE(loaded.toBool());
        if (QByteArray(c.name) != "folder") {
            EXPECT_EQ(shown->value("x").toInt(), 0);
            EXPECT_EQ(shown->value("y").toInt(), 0);
        }
    }
    QDir(IniPath()).removeRecursively();
}

}  // namespace

namespace {

// Ended by the session (SIGTERM) or a closed terminal (SIGHUP, SIGINT), the
// program keeps what the user did, as its Close button would.
TEST_F(AppProcess, TerminationSignalsWriteTheSettingsLikeClose) {
    const std::string wav = dir.file("kept.wav");
    ASSERT_TRUE(testsupport::WriteFile(
        wav, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 2000))));
    for (const int signalNumber : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        {
            fs::create_directories(fs::path(IniPath().toStdString()).parent_path());
            QSettings ini(IniPath(), QSettings::IniFormat);
            ini.setValue("FilePathInfo/File01", QString::fromStdString(wav));
            ini.setValue("FilePathInfo/File02", QString::fromStdString(wav));
            ini.sync();
        }
        const QString log = Log("signal.log");
        QFile::remove(log);
        // Row 1 is cleared once the window shows.
        const auto process = Start(log, {"GLW_TEST_CLEAR_ROW_WHEN_SHOWN=0"});
        ASSERT_TRUE(WaitForEvent(log, "shown"));
        ASSERT_EQ(::kill(static_cast<pid_t>(process->processId()), signalNumber), 0);
        ASSERT_TRUE(process->waitForFinished(30000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
        const QByteArray ini = ReadFileBytes(IniPath());
        EXPECT_TRUE(ini.contains("File01=\n")) << ini.constData();
        EXPECT_TRUE(ini.contains("File02=" + QByteArray::fromStdString(wav) + "\n"))
            << ini.constData();
    }
}

// Started with nohup, a closed terminal does not end the program.
TEST_F(AppProcess, AnIgnoredHangUpStaysIgnored) {
    const QString log = Log("nohup.log");
    const auto process = Start(log, {}, true);
    ASSERT_TRUE(WaitForEvent(log, "shown"));
    const auto pid = static_cast<pid_t>(process->processId());
    ASSERT_EQ(::kill(pid, SIGHUP), 0);
    EXPECT_FALSE(process->waitForFinished(300));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ASSERT_TRUE(process->waitForFinished(30000));
    EXPECT_EQ(process->exitCode(), 0);
}

// The test switches live in the test build only.
TEST(InstalledProgram, HoldsNoTestSwitch) {
    QFile program(QStringLiteral(GLW_INSTALLED_APP_EXE));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    EXPECT_FALSE(program.readAll().contains("GLW_TEST"));
    QFile testBuild(QStringLiteral(GLW_APP_EXE));
    ASSERT_TRUE(testBuild.open(QIODevice::ReadOnly));
    EXPECT_TRUE(testBuild.readAll().contains("GLW_TEST"));
}

}  // namespace

namespace {

// A bank of two rows, row 1 mono and row 4 stereo, written to path (its
// folders made); returns the file's bytes.
QByteArray MakeTwoRowBank(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    auto image = std::make_unique<VoiceBankImage>();
    EXPECT_TRUE(InitVoiceBankImage(image.get()));
    const auto fill = [](AudioData& voice, int16_t channels, int32_t frames, int step) {
        voice.channels = channels;
        voice.sampleRate = 44100;
        voice.bitsPerSample = 16;
        voice.frames = frames;
        for (int32_t i = 0; i < frames; ++i) {
            voice.left[i] = static_cast<int16_t>((i * step) % 20000 - 10000);
            if (channels == 2) voice.right[i] = static_cast<int16_t>(-voice.left[i] / 2);
        }
    };
    fill(image->voices[0], 1, 1600, 7);
    fill(image->voices[3], 2, 4800, 13);
    EXPECT_TRUE(ExportImageToFile(*image, path.c_str()));
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(AppProcess, ABankGivenAsArgumentFillsTheRowsAndTheyComeBackWithoutIt) {
    const std::string bankPath = dir.file("card/gridlume/MYBANK.glw");
    const QByteArray bytes = MakeTwoRowBank(bankPath);
    ASSERT_FALSE(bytes.isEmpty());
    const QString copies =
        dataHome + QString::asprintf("/Vantor/gridlume-voice-manager/banks/MYBANK-%08x",
                                     Crc32(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                           size_t(bytes.size())));

    const auto expectBankRows = [&](const QString& log) {
        const auto shown = FindEvent(log, "shown");
        ASSERT_TRUE(shown);
        EXPECT_FALSE(FindEvent(log, "message"));
        const QJsonArray paths = shown->value("paths").toArray();
        const QJsonArray loaded = shown->value("loaded").toArray();
        for (int i = 0; i < 16; ++i) {
            const bool filled = i == 0 || i == 3;
            EXPECT_EQ(loaded[i].toBool(), filled) << i;
            EXPECT_EQ(paths[i].toString(),
                      filled ? copies + QString::asprintf("/MYBANK %02d.wav", i + 1) : QString())
                << i;
        }
        EXPECT_EQ(shown->value("labels").toArray()[3].toString(), "MYBANK 04");
        const QString tip = shown->value("tips").toArray()[3].toString();
        EXPECT_TRUE(tip.contains("Row 4 of the bank \"MYBANK\", 4800 frames")) << tip.toStdString();
    };
    Run(Log("open.log"), {"GLW_TEST_CLOSE_WHEN_SHOWN=escape"}, {QString::fromStdString(bankPath)});
    expectBankRows(Log("open.log"));

    // The card is gone; the rows load from the copies.
    ASSERT_TRUE(fs::remove(bankPath));
    Run(Log("again.log"), {"GLW_TEST_CLOSE_WHEN_SHOWN=escape"});
    expectBankRows(Log("again.log"));
}

TEST_F(AppProcess, ADamagedBankIsRefusedAndChangesNothing) {
    const std::string good = dir.file("GOOD.glw");
    QByteArray bytes = MakeTwoRowBank(good);
    bytes.chop(64);  // cut short
    const std::string damaged = dir.file("DAMAGED.glw");
    ASSERT_TRUE(testsupport::WriteFile(damaged, testsupport::Bytes(bytes.begin(), bytes.end())));
    const std::string wav = dir.file("kept.wav");
    ASSERT_TRUE(testsupport::WriteFile(
        wav, testsupport::MakeWav(testsupport::MakeRamp(2, 16, 44100, 2000))));
    fs::create_directories(fs::path(IniPath().toStdString()).parent_path());
    {
        QSettings ini(IniPath(), QSettings::IniFormat);
        ini.setValue("FilePathInfo/File02", QString::fromStdString(wav));
    }

    const QString log = Log("damaged.log");
    Run(log, {"GLW_TEST_CLOSE_WHEN_SHOWN=escape"}, {QString::fromStdString(damaged)});
    const auto message = FindEvent(log, "message");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->value("id").toInt(), 110);
    const auto shown = FindEvent(log, "shown");
    ASSERT_TRUE(shown);
    const QJsonArray loaded = shown->value("loaded").toArray();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(loaded[i].toBool(), i == 1) << i;
    EXPECT_EQ(shown->value("paths").toArray()[1].toString(), QString::fromStdString(wav));
    EXPECT_FALSE(fs::exists(dataHome.toStdString() + "/Vantor"));
}

}  // namespace
