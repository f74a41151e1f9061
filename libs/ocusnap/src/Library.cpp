#include "Library.h"

#include "ThreadReaper.h"

#include <cstdint>

namespace ocusnap::detail {

namespace {

// A handle is the slot index plus one in its low bits and the slot's generation above them, so a
// handle to an ended device no longer matches its slot and is refused without touching the device.
constexpr unsigned kSlotBits = 16;
constexpr uintptr_t kSlotMask = (uintptr_t{1} << kSlotBits) - 1;

struct AtExit {
    ~AtExit() {
        Library::Instance().Shutdown();
        ThreadReaper::Instance().Shutdown();
    }
};
const AtExit g_atExit;

} // namespace

Library& Library::Instance() {
    // Never destroyed: calls made by threads still running while the process exits stay safe.
    static Library* const library = new Library;
    return *library;
}

OCUHANDLE Library::HandleOf(size_t slot) const {
    const uintptr_t value = (uintptr_t{m_slots[slot].generation} << kSlotBits) | (slot + 1);
    return reinterpret_cast<OCUHANDLE>(value);
}

const Library::Slot* Library::SlotOf(OCUHANDLE handle) const {
    const auto value = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t slotPlusOne = value & kSlotMask;
    if (slotPlusOne == 0 || slotPlusOne > m_slots.size()) {
        return nullptr;
    }
    const Slot& slot = m_slots[slotPlusOne - 1];
    return slot.generation == (value >> kSlotBits) ? &slot : nullptr;
}

std::shared_ptr<Device> Library::Find(OCUHANDLE handle) const {
    std::lock_guard lock(m_mutex);
    const Slot* slot = SlotOf(handle);
    return slot ? slot->device : nullptr;
}

bool Library::CameraId(OCUHANDLE handle, std::string& id) const {
    std::lock_guard lock(m_mutex);
    const Slot* slot = SlotOf(handle);
    if (slot == nullptr || !slot->device) {
        return false;
    }
    id = slot->camera;
    return true;
}

OCUSTATUS Library::Begin(const OpenRequest& request, OCUHANDLE* handle, std::string& problem) {
    if (handle == nullptr) {
        return OCU_ERR_INVALID_ARGUMENT;
    }
    *handle = nullptr;
    DeviceFactory factory;
    {
        std::lock_guard lock(m_mutex);
        factory = m_factory;
    }
    OpenResult opened = factory ? factory(request) : OpenBackend(request);
    if (opened.status != OCU_OK) {
        problem = std::move(opened.problem);
        return opened.status;
    }
    std::shared_ptr<Device> refused;
    {
        std::lock_guard lock(m_mutex);
        for (const Slot& s : m_slots) {
            if (s.device && s.camera == opened.camera) {
                refused = std::move(opened.device); // a camera serves one opener at a time
                break;
            }
        }
        if (!refused) {
            size_t slot = 0;
            while (slot < m_slots.size() && m_slots[slot].device) {
                ++slot;
            }
            if (slot == m_slots.size()) {
                if (slot >= kSlotMask) {
                    refused = std::move(opened.device);
                } else {
                    m_slots.emplace_back();
                }
            }
            if (!refused) {
                m_slots[slot].device = std::move(opened.device);
                m_slots[slot].camera = std::move(opened.camera);
                *handle = HandleOf(slot);
                return OCU_OK;
            }
        }
    }
    return OCU_ERR_DEVICE_OPEN; // the refused device closes itself as it goes out of scope
}

OCUSTATUS Library::End(OCUHANDLE handle) {
    std::shared_ptr<Device> device = Find(handle);
    if (!device) {
        return OCU_ERR_INVALID_HANDLE;
    }
    {
        std::lock_guard lock(m_mutex);
        Slot& slot = m_slots[(reinterpret_cast<uintptr_t>(handle) & kSlotMask) - 1];
        if (slot.device != device) {
            return OCU_ERR_INVALID_HANDLE; // another thread ended it first
        }
        slot.device.reset();
        slot.camera.clear();
        // Generations skip 0 so that no handle value is ever null.
        slot.generation = (slot.generation + 1) & static_cast<uint32_t>(UINTPTR_MAX >> kSlotBits);
        if (slot.generation == 0) {
            slot.generation = 1;
        }
    }
    const OCUSTATUS status = device->End();
    ThreadReaper::Instance().Reap();
    return status;
}

bool Library::InstallFactory(DeviceFactory factory) {
    std::lock_guard lock(m_mutex);
    if (m_factory) {
        return false;
    }
    m_factory = std::move(factory);
    return true;
}

void Library::RemoveFactory() {
    std::lock_guard lock(m_mutex);
    m_factory = nullptr;
}

void Library::Shutdown() {
    EndDevices([](const Device&) { return true; });
}

void Library::EndDevices(const std::function<bool(const Device&)>& which) {
    std::vector<std::shared_ptr<Device>> open;
    {
        std::lock_guard lock(m_mutex);
        for (Slot& s : m_slots) {
            if (s.device && which(*s.device)) {
                open.push_back(std::move(s.device));
                s.camera.clear();
                ++s.generation;
            }
        }
    }
    for (const auto& device : open) {
        device->End();
    }
    ThreadReaper::Instance().Reap();
}

} // namespace ocusnap::detail
