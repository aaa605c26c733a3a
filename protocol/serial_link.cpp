#include "protocol/serial_link.h"

#include <cstdio>

HANDLE port_open(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

int configure_port(HANDLE port, int32_t baud_rate, uint32_t interval_ms) {
    DCB dcb;
    if (!GetCommState(port, &dcb)) {
        std::fputs("Could not get Port State\n", stderr);
        return -1;
    }
    COMMTIMEOUTS timeouts;
    if (!GetCommTimeouts(port, &timeouts)) {
        std::fputs("Could not read comm timeouts\n", stderr);
        return -1;
    }

    dcb.BaudRate = static_cast<DWORD>(baud_rate);
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;

    timeouts.ReadIntervalTimeout = interval_ms;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;

    SetCommState(port, &dcb);
    SetCommTimeouts(port, &timeouts);
    SetCommMask(port, 0);
    return 0;
}

int32_t port_write(HANDLE port, const uint8_t* data, int32_t count) {
    DWORD written = 0;
    WriteFile(port, data, static_cast<DWORD>(count), &written, nullptr);
    return static_cast<int32_t>(written);
}

int32_t port_read(HANDLE port, uint8_t* buffer, uint32_t capacity) {
    DWORD received = 0;
    ReadFile(port, buffer, capacity, &received, nullptr);
    return static_cast<int32_t>(received);
}

void port_purge(HANDLE port) {
    PurgeComm(port, PURGE_TXCLEAR | PURGE_RXCLEAR);
    FlushFileBuffers(port);
}

void port_close(HANDLE port) {
    CloseHandle(port);
}
