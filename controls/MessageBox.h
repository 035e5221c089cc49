#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box of the program goes through ShowMessage: one look,
// texts from the string table, file names shown as they are.

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

// The property of a shown box that holds its string id, for tests that
// answer boxes.
inline constexpr const char* MessageStringIdProperty = "stringId";

// Shows the text of string id in a modal box with the given buttons, over
// parent (may be null). Returns the button chosen. An id the string table
// lacks shows an empty text.
QMessageBox::StandardButton ShowMessage(QWidget* parent, int stringId,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::Icon icon = QMessageBox::Warning);

// The same for a request filled in by the caller; its text is taken from
// the string table by stringId.
QMessageBox::StandardButton ShowMessage(MessageRequest request);
