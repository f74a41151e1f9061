// A window manager that gives every window the whole screen and answers no request to change its size,
// not even with the notice the X conventions ask for: what sway's X window manager does with a tiled
// window. sway itself will not run as root, as the tests may.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {

using Reply = std::unique_ptr<void, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto length = static_cast<uint16_t>(std::strlen(name));
    const Reply reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, length, name), nullptr), &std::free);
    return reply ? static_cast<xcb_intern_atom_reply_t*>(reply.get())->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

int main() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "silent-tiler: no X server\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    const Reply refused(
        xcb_request_check(connection, xcb_change_window_attributes_checked(connection, screen->root,
                                                                           XCB_CW_EVENT_MASK, &events)),
        &std::free);
    if (refused) {
        std::fprintf(stderr, "silent-tiler: another window manager runs\n");
        return 1;
    }
    // The list of managed windows, empty: the tests wait for it before they start a program.
    const xcb_atom_t list = Atom(connection, "_NET_CLIENT_LIST_STACKING");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root, list, XCB_ATOM_WINDOW, 32, 0,
                        nullptr);
    xcb_flush(connection);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        const Reply owned(event, &std::free);
        if ((event->response_type & 0x7F) == XCB_MAP_REQUEST) {
            const xcb_window_t window = reinterpret_cast<xcb_map_request_event_t*>(event)->window;
            const uint32_t tile[] = {0, 0, screen->width_in_pixels, screen->height_in_pixels};
            xcb_configure_window(connection, window,
                                 XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                     XCB_CONFIG_WINDOW_HEIGHT,
                                 tile);
            xcb_map_window(connection, window);
            xcb_flush(connection);
        }
        // A configure request is left unanswered.
    }
    return 0;
}
