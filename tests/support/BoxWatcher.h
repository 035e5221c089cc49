#pragma once

// Answers the program's real message boxes in tests: while it lives, a
// timer looks every few milliseconds for a message box that is the active
// modal widget, hands what it shows to answer (with how many message boxes
// are open at that moment) and presses the button answer returns (the
// first button the box has when it lacks that one); NoButton leaves the box
// up, to be looked at again.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

#include "controls/MessageBox.h"

namespace testsupport {

class BoxWatcher {
public:
    // openBoxes: the message boxes visible when this one was seen (1 for a
    // box shown on its own).
    using Answer =
        std::function<QMessageBox::StandardButton(const MessageRequest& box, int openBoxes)>;

    explicit BoxWatcher(Answer answer, int intervalMs = 2) : m_answer(std::move(answer)) {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Look(); });
        m_timer.start(intervalMs);
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // What a box shows, as the request that made it.
    [[nodiscard]] static MessageRequest Read(const QMessageBox& box) {
        MessageRequest request;
        request.parent = box.parentWidget();
        request.stringId = box.property(MessageStringIdProperty).toInt();
        request.text = box.text();
        request.informativeText = box.informativeText();
        request.buttons = box.standardButtons();
        request.icon = box.icon();
        return request;
    }

private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->property("answered").toBool()) return;
        int open = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) ++open;
        const QMessageBox::StandardButton chosen = m_answer(Read(*box), open);
        if (chosen == QMessageBox::NoButton) return;
        box->setProperty("answered", true);
        QAbstractButton* button = box->button(chosen);
        if (button == nullptr && !box->buttons().isEmpty()) button = box->buttons().front();
        if (button != nullptr) button->click();
    }

    Answer m_answer;
    QTimer m_timer;
};

}  // namespace testsupport
