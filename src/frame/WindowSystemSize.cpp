#include "frame/WindowSystemSize.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace ocu {

std::optional<QSize> WindowSystemSize(const QWidget& window) {
    const auto* x11 =
        qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    const WId id = window.internalWinId();
    if (x11 == nullptr || x11->connection() == nullptr || id == 0)
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> reply(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, static_cast<xcb_window_t>(id)),
                               nullptr),
        &std::free);
    if (!reply)
        return std::nullopt;
    return QSize(reply->width, reply->height);
}

} // namespace ocu
