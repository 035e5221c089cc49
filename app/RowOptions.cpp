#include "app/RowOptions.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

#include "app/ProfileStore.h"

namespace {

const QString SectionRowOptions = QStringLiteral("RowOptions");
const QString AutoStart = QStringLiteral("auto");
constexpr int64_t NanosPerSecond = 1000000000;
constexpr int64_t MaxSeconds = 100LL * 365 * 24 * 3600;

QString StartKey(int slot) { return QString::asprintf("Start%02d", slot + 1); }
QString NormalizeKey(int slot) { return QString::asprintf("Normalize%02d", slot + 1); }
QString LoudnessKey(int slot) { return QString::asprintf("Loudness%02d", slot + 1); }

QString LevelText(double dbfs) {
    // One decimal as the editor sets it; a finer hand-edited level keeps
    // its digits.
    const double tenths = dbfs * 10.0;
    if (std::abs(tenths - std::round(tenths)) < 1e-9) return QString::number(dbfs, 'f', 1);
    return QString::number(dbfs, 'g', 17);
}

}  // namespace

QString SecondsText(int64_t nanoseconds) {
    if (nanoseconds < 0) nanoseconds = 0;
    QString text = QString::number(nanoseconds / NanosPerSecond);
    QString fraction =
        QString::asprintf("%09lld", static_cast<long long>(nanoseconds % NanosPerSecond));
    while (fraction.endsWith(QLatin1Char('0'))) fraction.chop(1);
    if (!fraction.isEmpty()) text += QLatin1Char('.') + fraction;
    return text;
}

bool ParseSeconds(const QString& text, int64_t* nanoseconds) {
    const QString trimmed = text.trimmed();
    const qsizetype dot = trimmed.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? trimmed : trimmed.left(dot);
    QString fraction = dot < 0 ? QString() : trimmed.mid(dot + 1);
    if (whole.isEmpty() && fraction.isEmpty()) return false;
    for (const QString& part : {whole, fraction}) {
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        }
    }
    // Leading zeros aside, more than 10 digits is past any century.
    const QString digits = QString(whole).remove(QRegularExpression(QStringLiteral("^0+")));
    if (digits.size() > 10) return false;
    const int64_t seconds = digits.isEmpty() ? 0 : digits.toLongLong();
    if (seconds > MaxSeconds) return false;
    fraction = fraction.left(9).leftJustified(9, QLatin1Char('0'));
    *nanoseconds = seconds * NanosPerSecond + fraction.toLongLong();
    return true;
}

VoiceOptions ReadRowOptions(ProfileStore& profile, int slot) {
    VoiceOptions options;
    const QString start = profile.GetProfileString(SectionRowOptions, StartKey(slot), QString());
    int64_t nanoseconds = 0;
    if (start.trimmed().compare(AutoStart, Qt::CaseInsensitive) == 0) {
        options.start = VoiceOptions::Start::FirstSound;
    } else if (!start.isEmpty() && ParseSeconds(start, &nanoseconds)) {
        options.start = VoiceOptions::Start::At;
        options.startNanoseconds = nanoseconds;
    }
    const QString level =
        profile.GetProfileString(SectionRowOptions, NormalizeKey(slot), QString());
    bool ok = false;
    const double dbfs = level.trimmed().toDouble(&ok);
    if (ok && std::isfinite(dbfs) && dbfs >= NormalizeMinDbfs && dbfs <= NormalizeMaxDbfs) {
        options.normalize = true;
        options.normalizeDbfs = dbfs;
    }
    const QString lufsText =
        profile.GetProfileString(SectionRowOptions, LoudnessKey(slot), QString());
    const double lufs = lufsText.trimmed().toDouble(&ok);
    if (ok && std::isfinite(lufs) && lufs >= LoudnessMinLufs && lufs <= LoudnessMaxLufs) {
        options.loudness = true;
        options.loudnessLufs = lufs;
    }
    return options;
}

void WriteRowOptions(ProfileStore& profile, int slot, const VoiceOptions& options) {
    switch (options.start) {
    case VoiceOptions::Start::Beginning:
        profile.RemoveProfileKey(SectionRowOptions, StartKey(slot));
        break;
    case VoiceOptions::Start::At:
        profile.WriteProfileString(SectionRowOptions, StartKey(slot),
                                   SecondsText(options.startNanoseconds));
        break;
    case VoiceOptions::Start::FirstSound:
        profile.WriteProfileString(SectionRowOptions, StartKey(slot), AutoStart);
        break;
    }
    if (options.normalize)
        profile.WriteProfileString(SectionRowOptions, NormalizeKey(slot),
                                   LevelText(options.normalizeDbfs));
    else
        profile.RemoveProfileKey(SectionRowOptions, NormalizeKey(slot));
    if (options.loudness)
        profile.WriteProfileString(SectionRowOptions, LoudnessKey(slot),
                                   LevelText(options.loudnessLufs));
    else
        profile.RemoveProfileKey(SectionRowOptions, LoudnessKey(slot));
}

QString DescribeRowOptions(const VoiceOptions& options, int64_t startFrame, int sourceRate,
                           const LoudnessApplied* loudness) {
    QStringList parts;
    if (options.start == VoiceOptions::Start::At) {
        parts.append(QCoreApplication::translate("RowOptions", "start %1 s")
                         .arg(static_cast<double>(options.startNanoseconds) / 1e9, 0, 'f', 3));
    } else if (options.start == VoiceOptions::Start::FirstSound) {
        const double seconds = sourceRate > 0 ? static_cast<double>(startFrame) / sourceRate : 0.0;
        parts.append(QCoreApplication::translate("RowOptions", "start %1 s (first sound)")
                         .arg(seconds, 0, 'f', 3));
    }
    if (options.normalize)
        parts.append(QCoreApplication::translate("RowOptions", "normalized to %1 dBFS")
                         .arg(options.normalizeDbfs, 0, 'f', 1));
    if (options.loudness) {
        LoudnessApplied asked;
        asked.scaled = true;
        parts.append(QString::fromStdString(DescribeLoudnessApplied(
            options.loudnessLufs, loudness != nullptr ? *loudness : asked)));
    }
    return parts.join(QStringLiteral(", "));
}
