#pragma once

#include <QEvent>
#include <QString>

// The three messages a drop target sends, synchronously, to its parent.
inline constexpr QEvent::Type WM_SLOT_DRAGENTER = static_cast<QEvent::Type>(0x0465);
inline constexpr QEvent::Type WM_SLOT_DRAGLEAVE = static_cast<QEvent::Type>(0x0466);
inline constexpr QEvent::Type WM_SLOT_DROP = static_cast<QEvent::Type>(0x0467);

// A slot message. It carries the address of the sending control's index
// (read it through the pointer; check it for null and its value for range)
// and, for WM_SLOT_DROP, the address of the dropped file's full path, empty
// when the drop did not hold exactly one local file. Both belong to the
// sender and live only while the event is being handled.
class SlotMessageEvent final : public QEvent {
public:
    SlotMessageEvent(QEvent::Type type, const int* index, const QString* path)
        : QEvent(type), m_index(index), m_path(path) {}

    [[nodiscard]] const int* IndexAddress() const { return m_index; }
    [[nodiscard]] const QString* PathAddress() const { return m_path; }

private:
    const int* m_index;
    const QString* m_path;
};
