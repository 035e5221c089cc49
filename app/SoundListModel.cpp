#include "app/SoundListModel.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QUrl>

#include <algorithm>
#include <utility>

#include "app/SoundList.h"

QString SoundLengthText(const SourceInfo& info) {
    if (info.sampleRate <= 0) return {};
    // Tenths, rounded once, so 59.96 s reads 1:00.0 and never 0:60.0.
    const int64_t tenths = (info.frames * 10 + info.sampleRate / 2) / info.sampleRate;
    return QString::asprintf("%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                             static_cast<long long>(tenths / 10 % 60),
                             static_cast<long long>(tenths % 10));
}

void SoundListModel::SetFiles(std::vector<Entry> entries) {
    beginResetModel();
    m_all = std::move(entries);
    Show();
    endResetModel();
}

void SoundListModel::SetFilter(const QString& text) {
    if (text == m_filter) return;
    beginResetModel();
    m_filter = text;
    Show();
    endResetModel();
}

int SoundListModel::IndexOfRow(int row) const {
    return row >= 0 && row < static_cast<int>(m_shown.size()) ? m_shown[static_cast<size_t>(row)]
                                                              : -1;
}

int SoundListModel::RowOfIndex(int index) const {
    return index >= 0 && index < static_cast<int>(m_rowOf.size())
               ? m_rowOf[static_cast<size_t>(index)]
               : -1;
}

int SoundListModel::RowOfPath(const QString& path) const {
    for (size_t i = 0; i < m_all.size(); ++i)
        if (m_all[i].path == path) return RowOfIndex(static_cast<int>(i));
    return -1;
}

QString SoundListModel::PathAt(int row) const {
    const int index = IndexOfRow(row);
    return index < 0 ? QString() : m_all[static_cast<size_t>(index)].path;
}

std::vector<int> SoundListModel::AskUnread(int first, int last) {
    std::vector<int> out;
    for (int row = std::max(first, 0); row <= last && row < rowCount({}); ++row) {
        Entry& entry = m_all[static_cast<size_t>(IndexOfRow(row))];
        if (entry.state != State::Unread) continue;
        entry.state = State::Asked;
        out.push_back(IndexOfRow(row));
    }
    return out;
}

void SoundListModel::SetDetails(const SoundDetails& details, bool convertOn) {
    Entry& entry = m_all[static_cast<size_t>(details.index)];
    entry.state = State::Read;
    entry.refused = !details.ok;
    if (details.ok) {
        entry.length = SoundLengthText(details.info);
        entry.channels = QString::number(details.info.channels);
        entry.rate = QString::number(details.info.sampleRate);
        entry.bits = details.info.bitsPerSample > 0 ? QString::number(details.info.bitsPerSample)
                                                    : QString();
    } else {
        entry.why = details.why;
        // How to take it, where the converter reads it.
        if (details.convertible && !convertOn)
            entry.why += QLatin1Char('\n') + QObject::tr(
                                                 "Turn on \"Convert other formats\" (the panel's "
                                                 "right-click menu) to take this file.");
    }
    const int row = RowOfIndex(details.index);
    if (row >= 0) emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int SoundListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

int SoundListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SoundListModel::data(const QModelIndex& index, int role) const {
    const int at = IndexOfRow(index.row());
    if (at < 0) return {};
    const Entry& entry = m_all[static_cast<size_t>(at)];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn: return entry.name;
        case LengthColumn: return entry.length;
        case ChannelsColumn: return entry.channels;
        case RateColumn: return entry.rate;
        case BitsColumn: return entry.bits;
        default: return {};
        }
    case Qt::ToolTipRole:
        return entry.why.isEmpty() ? entry.path : entry.path + QLatin1Char('\n') + entry.why;
    case Qt::ForegroundRole:
        if (entry.refused)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() != NameColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case PathRole: return entry.path;
    default: return {};
    }
}

QVariant SoundListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case NameColumn: return QObject::tr("Name");
    case LengthColumn: return QObject::tr("Length");
    case ChannelsColumn: return QObject::tr("Ch");
    case RateColumn: return QObject::tr("Rate");
    case BitsColumn: return QObject::tr("Bits");
    default: return {};
    }
}

Qt::ItemFlags SoundListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

QStringList SoundListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list"), QString::fromLatin1(SoundList::BrowserFilesFormat)};
}

QMimeData* SoundListModel::mimeData(const QModelIndexList& indexes) const {
    QList<QUrl> urls;
    std::vector<bool> seen(m_shown.size(), false);
    for (const QModelIndex& index : indexes) {
        if (!index.isValid() || seen[static_cast<size_t>(index.row())]) continue;
        seen[static_cast<size_t>(index.row())] = true;
        urls.append(QUrl::fromLocalFile(PathAt(index.row())));
    }
    if (urls.isEmpty()) return nullptr;
    auto* data = new QMimeData;  // owned by the drag
    data->setUrls(urls);
    data->setData(QString::fromLatin1(SoundList::BrowserFilesFormat), QByteArray());
    return data;
}

void SoundListModel::Show() {
    m_shown.clear();
    m_rowOf.assign(m_all.size(), -1);
    for (size_t i = 0; i < m_all.size(); ++i) {
        if (!m_filter.isEmpty() && !m_all[i].name.contains(m_filter, Qt::CaseInsensitive)) continue;
        m_rowOf[i] = static_cast<int>(m_shown.size());
        m_shown.push_back(static_cast<int>(i));
    }
}
