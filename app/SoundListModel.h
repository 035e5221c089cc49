#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

#include "convert/SoundSource.h"

// A sound's length as the list shows it: minutes, seconds and tenths
// ("30:00.0"); empty for no rate.
[[nodiscard]] QString SoundLengthText(const SourceInfo& info);

// What a read of a listed file's details found.
struct SoundDetails {
    int index = 0;  // in the listing
    bool ok = false;
    bool convertible = false;  // refused, but the converter reads it
    SourceInfo info;
    QString why;
};

// The folder's files for the sound list: every file is a row at once, its
// details come when a read of the rows shown reports them. The filter
// keeps a list of the rows shown, so a folder of 100,000 files is filtered
// and shown without an item object per file.
class SoundListModel : public QAbstractTableModel {
public:
    enum Column { NameColumn, LengthColumn, ChannelsColumn, RateColumn, BitsColumn, ColumnCount };
    static constexpr int PathRole = Qt::UserRole;

    enum class State { Unread, Asked, Read };
    struct Entry {
        QString path;
        QString name;
        State state = State::Unread;
        bool refused = false;
        QString length, channels, rate, bits, why;
    };

    explicit SoundListModel(QObject* parent) : QAbstractTableModel(parent) {}

    void SetFiles(std::vector<Entry> entries);
    // Shows only the files whose names hold text (any case); empty: all.
    void SetFilter(const QString& text);

    [[nodiscard]] const std::vector<Entry>& All() const { return m_all; }
    [[nodiscard]] int IndexOfRow(int row) const;
    [[nodiscard]] int RowOfIndex(int index) const;
    // The row of path, -1 when it is not shown.
    [[nodiscard]] int RowOfPath(const QString& path) const;
    [[nodiscard]] QString PathAt(int row) const;
    // The listing's indexes of the rows first ... last not yet read, now asked.
    std::vector<int> AskUnread(int first, int last);
    void SetDetails(const SoundDetails& details, bool convertOn);

    [[nodiscard]] int rowCount(const QModelIndex& parent) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    [[nodiscard]] QStringList mimeTypes() const override;
    // The files' URLs and the browser's format; null for no rows.
    [[nodiscard]] QMimeData* mimeData(const QModelIndexList& indexes) const override;
    [[nodiscard]] Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    void Show();

    std::vector<Entry> m_all;
    std::vector<int> m_shown;  // the listing's indexes of the rows, in order
    std::vector<int> m_rowOf;  // the row of each listed file, -1 when filtered out
    QString m_filter;
};
