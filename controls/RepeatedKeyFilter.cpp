#include "controls/RepeatedKeyFilter.h"

#include <QKeyEvent>

bool RepeatedKeyFilter::IsRepeatedEnter(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
}

bool RepeatedKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (IsRepeatedEnter(event)) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}
