#include "app/BlockedCloseFilter.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <utility>

#ifdef GLW_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace {

#ifdef GLW_HAVE_XCB
uint32_t InternAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(
        connection, 1, static_cast<uint16_t>(std::char_traits<char>::length(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : 0;
}
#endif

}  // namespace

BlockedCloseFilter::BlockedCloseFilter(QWidget* window, std::function<void()> onBlockedClose)
    : m_window(window), m_onBlockedClose(std::move(onBlockedClose)) {
#ifdef GLW_HAVE_XCB
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return;
    m_protocolsAtom = InternAtom(x11->connection(), "WM_PROTOCOLS");
    m_deleteAtom = InternAtom(x11->connection(), "WM_DELETE_WINDOW");
#endif
    if (m_protocolsAtom != 0 && m_deleteAtom != 0) qApp->installNativeEventFilter(this);
}

BlockedCloseFilter::~BlockedCloseFilter() {
    if (qApp != nullptr) qApp->removeNativeEventFilter(this);
}

bool BlockedCloseFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                           qintptr* /*result*/) {
#ifdef GLW_HAVE_XCB
    if (eventType != "xcb_generic_event_t" || m_window == nullptr) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->format != 32 || client->type != m_protocolsAtom ||
        client->data.data32[0] != m_deleteAtom || !m_window->isWindow() ||
        client->window != static_cast<xcb_window_t>(m_window->winId()))
        return false;
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == m_window) return false;  // Qt delivers it itself
    QTimer::singleShot(0, m_window, m_onBlockedClose);
#else
    (void)eventType;
    (void)message;
#endif
    return false;
}
