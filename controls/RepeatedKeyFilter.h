#pragma once

#include <QObject>

// Swallows auto-repeated Enter and Return presses for the objects it is
// installed on (or, installed on the application, for every widget), so a
// held key confirms at most once: a repeat that began in one dialog never
// confirms the next one. Space needs no help: buttons click on its fresh
// release.
class RepeatedKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit RepeatedKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

    [[nodiscard]] static bool IsRepeatedEnter(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
