#include "platform/linux/window_registry.h"

#include <map>

namespace {

// Keyed by handle value; handles only grow, so the order of the map is the
// order of creation and a destroyed window's handle never comes back.
std::map<uintptr_t, std::unique_ptr<WindowRecord>> windows;
uintptr_t last_handle = 0x10000;
constexpr uintptr_t handle_step = 4;

}  // namespace

WindowRecord* add_window(HWND parent) {
    last_handle += handle_step;
    auto record = std::make_unique<WindowRecord>();
    record->handle = reinterpret_cast<HWND>(last_handle);
    record->parent = parent;
    record->control_id = 0;
    record->procedure = nullptr;
    record->frame = nullptr;
    record->destroying = false;
    WindowRecord* added = record.get();
    windows[last_handle] = std::move(record);
    return added;
}

WindowRecord* find_window(HWND window) {
    const auto found = windows.find(reinterpret_cast<uintptr_t>(window));
    return found == windows.end() ? nullptr : found->second.get();
}

WindowRecord* window_or_error(HWND window) {
    WindowRecord* record = find_window(window);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return record;
}

void remove_window(HWND window) {
    windows.erase(reinterpret_cast<uintptr_t>(window));
}

std::vector<WindowRecord*> controls_of(HWND dialog) {
    std::vector<WindowRecord*> controls;
    for (const auto& entry : windows) {
        if (entry.second->parent == dialog) {
            controls.push_back(entry.second.get());
        }
    }
    return controls;
}

BOOL IsWindow(HWND window) {
    return find_window(window) != nullptr;
}
