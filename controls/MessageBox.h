#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box of the program goes through ShowMessage, so tests can
// watch and answer boxes instead of blocking in a modal loop.

// What a box would show.
struct MessageRequest {
    QWidget* parent = nullptr;
    int stringId = 0;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QString informativeText;  // the details below the text; may be empty
    QString applyText;        // the label of the Apply button, when buttons hold it
    // Enter's and Escape's button; NoButton leaves Qt's choice.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

// Answers a box in place of the user; returns the button "pressed".
using MessageResponder = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

// Shows the text of string id in a modal box with the given buttons, over
// parent (may be null). Returns the button chosen; with a responder
// installed, the responder's answer and no box is shown. An id the string
// table lacks shows an empty text.
QMessageBox::StandardButton ShowMessage(QWidget* parent, int stringId,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::Icon icon = QMessageBox::Warning);

// The same for a request filled in by the caller; its text is taken from
// the string table by stringId.
QMessageBox::StandardButton ShowMessage(MessageRequest request);

// Installs responder (an empty function restores real boxes) and returns
// the one it replaces. GUI thread only.
MessageResponder SetMessageResponder(MessageResponder responder);

// Installs a responder for its own lifetime, then puts the previous back.
class ScopedMessageResponder {
public:
    explicit ScopedMessageResponder(MessageResponder responder)
        : m_previous(SetMessageResponder(std::move(responder))) {}
    ~ScopedMessageResponder() { SetMessageResponder(std::move(m_previous)); }
    ScopedMessageResponder(const ScopedMessageResponder&) = delete;
    ScopedMessageResponder& operator=(const ScopedMessageResponder&) = delete;

private:
    MessageResponder m_previous;
};
