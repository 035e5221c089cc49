#include "res/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "res/DialogTemplates.h"
#include "res/SkinResources.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setFont(DialogFont());
    setWindowTitle(QString::fromLatin1(AboutTemplateCaption));
    setWindowIcon(LoadAppIcon());
    setModal(true);
    const DialogBaseUnits units = DialogBaseUnitsOf(font());
    setFixedSize(DluToPixels(AboutTemplateSize, units));
    for (const DialogItem& item : AboutTemplate) {
        const QRect rect = DluToPixels(QRect(item.x, item.y, item.w, item.h), units);
        const QString text = item.text ? QString::fromLatin1(item.text) : QString();
        switch (item.kind) {
        case DialogItemKind::Icon: {
            auto* icon = new QLabel(this);  // owned by the dialog
            icon->setPixmap(LoadAppIcon().pixmap(32, 32));
            icon->setGeometry(QRect(rect.topLeft(), QSize(32, 32)));
            break;
        }
        case DialogItemKind::DefaultButton:
        case DialogItemKind::Button: {
            auto* button = new QPushButton(text, this);
            button->setGeometry(rect);
            button->setDefault(item.kind == DialogItemKind::DefaultButton);
            if (item.role == DialogItemRole::Ok) {
                connect(button, &QPushButton::clicked, this, &QDialog::accept);
            }
            break;
        }
        default: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setGeometry(rect);
            break;
        }
        }
    }
}
