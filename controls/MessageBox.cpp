#include "controls/MessageBox.h"

#include "res/StringTable.h"
#include "res/VersionInfo.h"

namespace {

MessageResponder& Responder() {
    static MessageResponder responder;
    return responder;
}

}  // namespace

QMessageBox::StandardButton ShowMessage(QWidget* parent, int stringId,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::Icon icon) {
    MessageRequest request{parent, stringId, LoadResString(stringId), buttons, icon};
    if (const MessageResponder& responder = Responder()) {
        return responder(request);
    }
    QMessageBox box(icon, QString::fromLatin1(VersionFileDescription), request.text, buttons,
                    parent);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageResponder SetMessageResponder(MessageResponder responder) {
    MessageResponder previous = std::move(Responder());
    Responder() = std::move(responder);
    return previous;
}
