// A port that exists only inside the process. Its handle is the address of
// the one record below, so no tty handle can be taken for it.

#include "platform/linux/scripted_port.h"

#include <string>

#include "platform/linux/test_hooks.h"

namespace {

struct ScriptedPort {
    bool present;
    std::string name;
    dfut_platform::PortScript script;
    DCB dcb;
    COMMTIMEOUTS timeouts;
};

ScriptedPort scripted_port{};

BOOL invalid_parameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

void dfut_platform::set_port_script(const char* name, const PortScript* script) {
    if (name == nullptr || script == nullptr) {
        scripted_port = ScriptedPort{};
        return;
    }
    scripted_port = ScriptedPort{true, name, *script, DCB{}, COMMTIMEOUTS{}};
}

HANDLE open_scripted_port(LPCSTR file_name) {
    if (!scripted_port.present || scripted_port.name != file_name) {
        return nullptr;
    }
    return &scripted_port;
}

bool is_scripted_port(HANDLE handle) {
    return scripted_port.present && handle == &scripted_port;
}

BOOL read_scripted_port(LPVOID buffer, DWORD to_read, LPDWORD read) {
    if (read == nullptr || (buffer == nullptr && to_read != 0)) {
        return invalid_parameter();
    }
    const dfut_platform::PortScript& script = scripted_port.script;
    const DWORD count = script.read ? script.read(script.context, static_cast<uint8_t*>(buffer), to_read) : 0;
    // A script that claims more than it was asked for still cannot overrun the caller.
    *read = count < to_read ? count : to_read;
    return TRUE;
}

BOOL write_scripted_port(LPCVOID buffer, DWORD to_write, LPDWORD written) {
    if (written == nullptr || (buffer == nullptr && to_write != 0)) {
        return invalid_parameter();
    }
    const dfut_platform::PortScript& script = scripted_port.script;
    if (script.write) {
        script.write(script.context, static_cast<const uint8_t*>(buffer), to_write);
    }
    *written = to_write;
    return TRUE;
}

BOOL get_scripted_port_state(LPDCB dcb) {
    if (dcb == nullptr) {
        return invalid_parameter();
    }
    *dcb = scripted_port.dcb;
    return TRUE;
}

BOOL set_scripted_port_state(LPDCB dcb) {
    if (dcb == nullptr) {
        return invalid_parameter();
    }
    scripted_port.dcb = *dcb;
    return TRUE;
}

BOOL get_scripted_port_timeouts(LPCOMMTIMEOUTS timeouts) {
    if (timeouts == nullptr) {
        return invalid_parameter();
    }
    *timeouts = scripted_port.timeouts;
    return TRUE;
}

BOOL set_scripted_port_timeouts(LPCOMMTIMEOUTS timeouts) {
    if (timeouts == nullptr) {
        return invalid_parameter();
    }
    scripted_port.timeouts = *timeouts;
    return TRUE;
}
