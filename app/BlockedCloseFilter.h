#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>

#include <cstdint>
#include <functional>

class QWidget;

// Qt drops the window manager's request to close a window while a modal
// dialog blocks it, so the close button would do nothing. Installed on the
// application, this hears that request for one window (on X11; elsewhere
// it hears nothing) and hands it to onBlockedClose from the event loop,
// after the request has been dropped.
class BlockedCloseFilter : public QAbstractNativeEventFilter {
public:
    BlockedCloseFilter(QWidget* window, std::function<void()> onBlockedClose);
    ~BlockedCloseFilter() override;
    BlockedCloseFilter(const BlockedCloseFilter&) = delete;
    BlockedCloseFilter& operator=(const BlockedCloseFilter&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_onBlockedClose;
    uint32_t m_protocolsAtom = 0;  // 0: not on X11
    uint32_t m_deleteAtom = 0;
};
