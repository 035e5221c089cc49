#include "app/WindowContext.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "app/RowsView.h"
#include "controls/MessageBox.h"
#include "controls/SlotPanel.h"
#include "core/UserData.h"
#include "voicebank/BankName.h"

WindowContext::WindowContext(SlotModel& model, SlotPanel& panel, QWidget& window, JobRunner& jobs,
                             ProfileStore* profile, const VolumeSource* volumes)
    : model(model), panel(panel), window(window), jobs(jobs), profile(profile), volumes(volumes) {}

bool WindowContext::IsRowBusy(int slot) const {
    return slot >= 0 && slot < SlotCount &&
           (restoring[static_cast<size_t>(slot)] || jobs.IsBusy(JobLane::ForRow(slot)));
}

bool WindowContext::IsBusy() const {
    return jobs.IsBusy() || !AreRowsRestored() || m_boxShowing || !m_boxes.empty();
}

bool WindowContext::AreRowsRestored() const {
    return std::none_of(restoring.begin(), restoring.end(), [](bool r) { return r; });
}

QString WindowContext::SlotPath(int slot) const { return FromModel(model.SlotPath(slot)); }

QString WindowContext::OpenedBank() const { return FromModel(bank.Opened()); }

void WindowContext::ShowLater(std::function<void()> show) {
    m_boxes.push_back(std::move(show));
    if (m_boxShowing || m_boxPosted) return;
    m_boxPosted = true;
    QTimer::singleShot(0, this, &WindowContext::ShowNextBox);
}

void WindowContext::ShowNextBox() {
    m_boxPosted = false;
    if (closing) m_boxes.clear();
    if (m_boxShowing || m_boxes.empty()) return;
    std::function<void()> show = std::move(m_boxes.front());
    m_boxes.pop_front();
    m_boxShowing = true;
    show();
    m_boxShowing = false;
    if (m_boxes.empty()) return;
    m_boxPosted = true;
    QTimer::singleShot(0, this, &WindowContext::ShowNextBox);
}

void WindowContext::SetOpeningBank(bool opening) {
    openingBank = opening;
    // The rows the bank replaces take no clicks or drops meanwhile.
    rows->UpdateAllRows();
    if (opening) {
        panel.SetSaveEnabled(false);
        window.setCursor(Qt::BusyCursor);
    } else {
        rows->UpdateSaveButton();
        window.unsetCursor();
    }
}

QString UserDataPath() { return QFile::decodeName(UserDataFolder().c_str()); }

bool IsBankFile(const QString& path) { return IsBankFileName(path.toStdString()); }

std::string ToModelPath(const QString& path) { return path.toUtf8().toStdString(); }

QString FromModel(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool AskToReplaceRows(QWidget* parent, int stringId, const QStringList& filled,
                      const QString& more) {
    MessageRequest request;
    request.parent = parent;
    request.stringId = stringId;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    request.icon = QMessageBox::Question;
    request.informativeText = QCoreApplication::translate("MainWindow", "Filled rows replaced: %1.")
                                  .arg(filled.join(QStringLiteral(", ")));
    if (!more.isEmpty()) request.informativeText += QLatin1Char(' ') + more;
    return ShowMessage(std::move(request)) == QMessageBox::Ok;
}

void ShowWithReason(QWidget* parent, int stringId, const QString& reason) {
    MessageRequest request;
    request.parent = parent;
    request.stringId = stringId;
    request.informativeText = reason;
    (void)ShowMessage(std::move(request));
}
