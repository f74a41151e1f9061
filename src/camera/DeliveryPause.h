// Keeps the driver from writing into the raw buffer while the user-interface thread works on it or
// changes the output window: the driver fills the buffer on its own thread between two frames. Delivery
// goes on into the same buffer afterwards; acquisition does not stop.
#pragma once

#include "OcuSnap.h"

#include <cstdint>

namespace ocu {

class DeliveryPause {
public:
    DeliveryPause(OCUHANDLE device, bool snapping, uint8_t* rawBuffer)
        : m_device(snapping ? device : nullptr), m_buffer(rawBuffer) {
        if (m_device != nullptr)
            OcuStopSnap(m_device);
    }
    ~DeliveryPause() {
        if (m_device != nullptr)
            OcuStartSnap(m_device, &m_buffer, 1);
    }
    DeliveryPause(const DeliveryPause&) = delete;
    DeliveryPause& operator=(const DeliveryPause&) = delete;

private:
    OCUHANDLE m_device;
    uint8_t* m_buffer;
};

} // namespace ocu
