#include "app/SoundList.h"

#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>
#include <utility>

#include "app/SoundListModel.h"

namespace {

bool IsMovingKey(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End: return true;
    default: return false;
    }
}

}  // namespace

SoundList::SoundList(QWidget* parent) : QTreeView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setAccessibleName(tr("Sound files"));
    m_files = new SoundListModel(this);
    setModel(m_files);
    // Fixed widths from the widest text each column takes: a column sized
    // to its contents measures every row each time a row's details come.
    QHeaderView* columns = header();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(SoundListModel::NameColumn, QHeaderView::Stretch);
    const QFontMetrics metrics(font());
    const int pad = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    const std::pair<int, QString> widest[] = {
        {SoundListModel::LengthColumn, QStringLiteral("000:00.0")},
        {SoundListModel::ChannelsColumn, tr("Ch")},
        {SoundListModel::RateColumn, QStringLiteral("000000")},
        {SoundListModel::BitsColumn, tr("Bits")}};
    for (const auto& [column, text] : widest) {
        columns->setSectionResizeMode(column, QHeaderView::Fixed);
        columns->resizeSection(column, metrics.horizontalAdvance(text) + pad);
    }
    m_holdEnd.setSingleShot(true);
    m_holdEnd.setInterval(HoldEndGraceMs);
    connect(&m_holdEnd, &QTimer::timeout, this, [this] {
        m_heldRepeated = false;
        emit HoldEnded();
    });
}

void SoundList::keyPressEvent(QKeyEvent* event) {
    // Plain keys only: Shift+arrows extend the selection as usual.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Space:
        if (!plain) break;
        emit ReplayAsked();
        return event->accept();
    case Qt::Key_Left:
    case Qt::Key_Escape:
        if (!plain) break;
        emit StopAsked();
        return event->accept();
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A held Enter puts the files on the rows once, not once a repeat.
        if (!event->isAutoRepeat()) emit EnterPressed();
        return event->accept();
    default: break;
    }
    Move move = Move::None;
    if (IsMovingKey(event->key())) {
        const bool repeat = m_repeats.IsRepeat(*event);
        move = repeat ? Move::Repeat : Move::Fresh;
        if (repeat) {
            m_holdEnd.stop();  // the release just seen was a repeat's
            m_heldRepeated = true;
        }
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        move = Move::Typing;
    }
    m_move = move;
    QTreeView::keyPressEvent(event);
    m_move = Move::None;
    // Letters and digits are the list's own: they never reach the pads.
    if (move == Move::Typing) event->accept();
}

void SoundList::keyReleaseEvent(QKeyEvent* event) {
    if (IsMovingKey(event->key())) {
        m_repeats.NoteRelease(*event);
        // Only a hold that moved silently plays where it stopped; a single
        // press played at once.
        if (!event->isAutoRepeat() && m_heldRepeated) m_holdEnd.start();
    }
    QTreeView::keyReleaseEvent(event);
}

void SoundList::mousePressEvent(QMouseEvent* event) {
    m_move = Move::Fresh;
    QTreeView::mousePressEvent(event);
    m_move = Move::None;
}

void SoundList::scrollContentsBy(int dx, int dy) {
    QTreeView::scrollContentsBy(dx, dy);
    emit ViewMoved();
}

void SoundList::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    emit ViewMoved();
}

QStringList SoundList::ListedFiles() const {
    QStringList out;
    out.reserve(static_cast<qsizetype>(m_files->All().size()));
    for (const SoundListModel::Entry& entry : m_files->All()) out.append(entry.path);
    return out;
}

QStringList SoundList::SelectedFiles() const {
    QModelIndexList rows = selectionModel()->selectedRows(SoundListModel::NameColumn);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList out;
    for (const QModelIndex& index : rows) out.append(m_files->PathAt(index.row()));
    return out;
}

QString SoundList::CurrentFile() const {
    const QModelIndex index = currentIndex();
    return m_files->PathAt(index.isValid() ? index.row() : -1);
}

bool SoundList::SelectFile(const QString& path) {
    for (int row = 0; row < m_files->rowCount({}); ++row) {
        if (m_files->PathAt(row) != path) continue;
        selectionModel()->setCurrentIndex(
            m_files->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(m_files->index(row, 0));
        return true;
    }
    return false;
}

bool SoundList::SelectFirstIfNone() {
    if (m_files->rowCount({}) == 0 || !SelectedFiles().isEmpty()) return false;
    selectionModel()->setCurrentIndex(
        m_files->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

void SoundList::SetFilter(const QString& text) {
    const QString current = CurrentFile();
    const QStringList selected = SelectedFiles();
    m_files->SetFilter(text);
    // What stays shown stays selected; no move of the musician's, no sound.
    QItemSelection keep;
    for (const QString& path : selected) {
        const int row = m_files->RowOfPath(path);
        if (row >= 0)
            keep.select(m_files->index(row, 0),
                        m_files->index(row, SoundListModel::ColumnCount - 1));
    }
    if (!keep.isEmpty()) selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
    if (!current.isEmpty()) {
        const int row = m_files->RowOfPath(current);
        if (row >= 0)
            selectionModel()->setCurrentIndex(m_files->index(row, 0),
                                              QItemSelectionModel::NoUpdate);
    }
    emit ViewMoved();
}
