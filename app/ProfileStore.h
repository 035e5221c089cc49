#pragma once

#include <QSettings>
#include <QString>

// Where the main window reads and writes its settings: sections of keys
// with integer or string values. The program uses an INI file; tests may
// give the window an INI file in a temporary folder.
class ProfileStore {
public:
    ProfileStore() = default;
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;
    virtual ~ProfileStore() = default;

    // The integer stored under section/key, or fallback when the key is
    // missing or does not begin with a decimal number.
    [[nodiscard]] virtual int GetProfileInt(const QString& section, const QString& key,
                                            int fallback) = 0;
    // The string stored under section/key, or fallback when missing.
    [[nodiscard]] virtual QString GetProfileString(const QString& section, const QString& key,
                                                   const QString& fallback) = 0;
    // Store a value; false when the store cannot be written.
    virtual bool WriteProfileInt(const QString& section, const QString& key, int value) = 0;
    virtual bool WriteProfileString(const QString& section, const QString& key,
                                    const QString& value) = 0;
    // Removes section/key (nothing when it is missing); false when the
    // store cannot be written.
    virtual bool RemoveProfileKey(const QString& section, const QString& key) = 0;
    // Writes pending values out; false when the file could not be written.
    virtual bool Flush() = 0;
};

// A profile in an INI file. Values that need it are quoted, so paths with
// commas, quotes, '=', ';', '#' or non-ASCII characters read back as written.
class IniProfileStore final : public ProfileStore {
public:
    explicit IniProfileStore(const QString& iniPath);

    [[nodiscard]] int GetProfileInt(const QString& section, const QString& key,
                                    int fallback) override;
    [[nodiscard]] QString GetProfileString(const QString& section, const QString& key,
                                           const QString& fallback) override;
    bool WriteProfileInt(const QString& section, const QString& key, int value) override;
    bool WriteProfileString(const QString& section, const QString& key,
                            const QString& value) override;
    bool RemoveProfileKey(const QString& section, const QString& key) override;
    bool Flush() override;

    [[nodiscard]] QString FileName() const { return m_settings.fileName(); }

private:
    QSettings m_settings;
};

// Reads a leading signed decimal integer ("  -12px" gives -12), as a
// hand-edited profile may hold; fallback when there is none or it overflows.
[[nodiscard]] int ParseProfileInt(const QString& text, int fallback);
