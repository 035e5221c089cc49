#include "controls/MessageBox.h"

#include <QAbstractButton>
#include <QLabel>

#include "res/StringTable.h"
#include "res/VersionInfo.h"

QMessageBox::StandardButton ShowMessage(QWidget* parent, int stringId,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::Icon icon) {
    MessageRequest request;
    request.parent = parent;
    request.stringId = stringId;
    request.buttons = buttons;
    request.icon = icon;
    return ShowMessage(std::move(request));
}

QMessageBox::StandardButton ShowMessage(MessageRequest request) {
    request.text = LoadResString(request.stringId);
    QMessageBox box(request.icon, QString::fromLatin1(VersionFileDescription), request.text,
                    request.buttons, request.parent);
    box.setTextFormat(Qt::PlainText);
    box.setProperty(MessageStringIdProperty, request.stringId);
    if (!request.informativeText.isEmpty()) {
        box.setInformativeText(request.informativeText);
        // A file name in the details must show as it is, never as markup.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    if (QAbstractButton* apply = box.button(QMessageBox::Apply);
        apply != nullptr && !request.applyText.isEmpty()) {
        apply->setText(request.applyText);
    }
    if (request.defaultButton != QMessageBox::NoButton) box.setDefaultButton(request.defaultButton);
    if (request.escapeButton != QMessageBox::NoButton) box.setEscapeButton(request.escapeButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
