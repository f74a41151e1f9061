// Ownership of GLib objects and errors, so that every path lets go of them.
#pragma once

#include <glib-object.h>
#include <memory>

namespace ocusnap::detail::aravis {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) {
            g_object_unref(object);
        }
    }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// The error of one GLib call.
class GErrorHolder {
public:
    GErrorHolder() = default;
    GErrorHolder(const GErrorHolder&) = delete;
    GErrorHolder& operator=(const GErrorHolder&) = delete;
    ~GErrorHolder() { g_clear_error(&m_error); }

    // For the call's GError** argument; forgets an earlier error.
    GError** Out() {
        g_clear_error(&m_error);
        return &m_error;
    }
    explicit operator bool() const { return m_error != nullptr; }
    const GError* Get() const { return m_error; }

private:
    GError* m_error = nullptr;
};

} // namespace ocusnap::detail::aravis
