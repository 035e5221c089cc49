#include "app/ProfileStore.h"

#include <QStringList>
#include <QVariant>

#include <limits>

namespace {

QString KeyPath(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

}  // namespace

int ParseProfileInt(const QString& text, int fallback) {
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    if (end < trimmed.size() &&
        (trimmed[end] == QLatin1Char('-') || trimmed[end] == QLatin1Char('+')))
        ++end;
    const qsizetype digitsStart = end;
    while (end < trimmed.size() && trimmed[end].isDigit() && trimmed[end].unicode() < 128) ++end;
    if (end == digitsStart) return fallback;
    bool ok = false;
    const qlonglong value = trimmed.left(end).toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return fallback;
    }
    return static_cast<int>(value);
}

IniProfileStore::IniProfileStore(const QString& iniPath)
    : m_settings(iniPath, QSettings::IniFormat) {}

int IniProfileStore::GetProfileInt(const QString& section, const QString& key, int fallback) {
    const QVariant value = m_settings.value(KeyPath(section, key));
    if (!value.isValid()) return fallback;
    return ParseProfileInt(value.toString(), fallback);
}

QString IniProfileStore::GetProfileString(const QString& section, const QString& key,
                                          const QString& fallback) {
    const QVariant value = m_settings.value(KeyPath(section, key));
    if (!value.isValid()) return fallback;
    // An unquoted comma in a hand-edited file reads as a list: join it back.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

bool IniProfileStore::WriteProfileInt(const QString& section, const QString& key, int value) {
    m_settings.setValue(KeyPath(section, key), value);
    return m_settings.isWritable();
}

bool IniProfileStore::WriteProfileString(const QString& section, const QString& key,
                                         const QString& value) {
    // Never a null string: that would be stored as an invalid value.
    m_settings.setValue(KeyPath(section, key), value.isNull() ? QStringLiteral("") : value);
    return m_settings.isWritable();
}

bool IniProfileStore::RemoveProfileKey(const QString& section, const QString& key) {
    // A missing key leaves the file untouched.
    if (m_settings.contains(KeyPath(section, key))) m_settings.remove(KeyPath(section, key));
    return m_settings.isWritable();
}

bool IniProfileStore::Flush() {
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
