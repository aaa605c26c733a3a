// The serial file calls over a tty. The handle points at a SerialPort; reads
// keep Windows time-out rules with deadlines on the monotonic clock (VTIME
// counts in tenths of a second, far too coarse for a 20 ms interval). Tests
// and fuzzers may set up a scripted port instead (test_hooks.h): every call
// hands its handle on to scripted_port.cpp first.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <new>
#include <string>

#include "platform/linux/last_error.h"
#include "platform/linux/port_names.h"
#include "platform/linux/scripted_port.h"
#include "platform/linux/serial_line_settings.h"
#include "platform/win32.h"

namespace {

struct SerialPort {
    int fd;
    bool exclusive;  // holds TIOCEXCL, to be given back before the close
    DCB dcb;
    COMMTIMEOUTS timeouts;
};

SerialPort* serial_port(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<SerialPort*>(handle);
}

BOOL fail_with(DWORD code) {
    SetLastError(code);
    return FALSE;
}

BOOL fail_with_errno(int error_number) {
    set_last_error_from_errno(error_number);
    return FALSE;
}

// Monotonic time in nanoseconds; deadlines are points on this clock.
using Nanoseconds = int64_t;
constexpr Nanoseconds no_deadline = INT64_MAX;
constexpr Nanoseconds nanoseconds_per_ms = 1000000;
// Beyond this a time-out is as good as none (about 290 years).
constexpr uint64_t longest_timeout_ms = static_cast<uint64_t>(INT64_MAX / nanoseconds_per_ms) / 1000;

Nanoseconds monotonic_now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<Nanoseconds>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

Nanoseconds after(Nanoseconds start, uint64_t milliseconds) {
    if (milliseconds > longest_timeout_ms) {
        return no_deadline;
    }
    return start + static_cast<Nanoseconds>(milliseconds) * nanoseconds_per_ms;
}

enum class WaitResult { ready, timed_out, hung_up, failed };

// Waits until `events` are possible on fd or the deadline passes. Interrupted
// waits go on with the time that is left.
WaitResult wait_for(int fd, short events, Nanoseconds deadline) {
    for (;;) {
        timespec remaining{};
        const timespec* timeout = nullptr;
        if (deadline != no_deadline) {
            const Nanoseconds left = deadline - monotonic_now();
            if (left <= 0) {
                return WaitResult::timed_out;
            }
            remaining.tv_sec = static_cast<time_t>(left / 1000000000);
            remaining.tv_nsec = static_cast<long>(left % 1000000000);
            timeout = &remaining;
        }
        pollfd watched{fd, events, 0};
        const int result = ppoll(&watched, 1, timeout, nullptr);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WaitResult::failed;
        }
        if (result == 0) {
            return WaitResult::timed_out;
        }
        if (watched.revents & events) {
            return WaitResult::ready;
        }
        if (watched.revents & POLLNVAL) {
            errno = EBADF;
            return WaitResult::failed;
        }
        return WaitResult::hung_up;  // POLLHUP or POLLERR, and nothing to do
    }
}

// When a read stops waiting, by the Windows rules for COMMTIMEOUTS.
struct ReadLimits {
    bool only_waiting_bytes;   // interval MAXDWORD, totals 0: return at once
    bool end_at_first_bytes;   // interval and multiplier MAXDWORD: any bytes end it
    uint64_t interval_ms;      // after each byte, once one has come; 0 for none
    uint64_t total_ms;         // since the read began; 0 for none
};

ReadLimits read_limits(const COMMTIMEOUTS& timeouts, DWORD count) {
    ReadLimits limits{};
    const bool interval_is_max = timeouts.ReadIntervalTimeout == MAXDWORD;
    if (interval_is_max && timeouts.ReadTotalTimeoutMultiplier == 0 &&
        timeouts.ReadTotalTimeoutConstant == 0) {
        limits.only_waiting_bytes = true;
        return limits;
    }
    if (interval_is_max && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant != 0 && timeouts.ReadTotalTimeoutConstant != MAXDWORD) {
        limits.end_at_first_bytes = true;
        limits.total_ms = timeouts.ReadTotalTimeoutConstant;
        return limits;
    }
    limits.interval_ms = timeouts.ReadIntervalTimeout;
    limits.total_ms = static_cast<uint64_t>(timeouts.ReadTotalTimeoutMultiplier) * count +
                      timeouts.ReadTotalTimeoutConstant;
    return limits;
}

// Raises or drops the modem control lines that the DCB holds steady. A pty has
// no such lines and says so; that is no failure.
bool change_modem_lines(int fd, unsigned long request, int lines) {
    return lines == 0 || ioctl(fd, request, &lines) == 0 || errno == ENOTTY || errno == EINVAL;
}

bool set_modem_lines(int fd, const DCB& dcb) {
    int raise = 0;
    int drop = 0;
    if (dcb.fDtrControl == DTR_CONTROL_DISABLE) {
        drop |= TIOCM_DTR;
    } else if (dcb.fDtrControl == DTR_CONTROL_ENABLE) {
        raise |= TIOCM_DTR;
    }
    if (dcb.fRtsControl == RTS_CONTROL_DISABLE) {
        drop |= TIOCM_RTS;
    } else if (dcb.fRtsControl == RTS_CONTROL_ENABLE) {
        raise |= TIOCM_RTS;
    }
    return change_modem_lines(fd, TIOCMBIC, drop) && change_modem_lines(fd, TIOCMBIS, raise);
}

}  // namespace

HANDLE CreateFileA(LPCSTR file_name, DWORD desired_access, DWORD share_mode,
                   LPSECURITY_ATTRIBUTES, DWORD creation, DWORD, HANDLE) {
    if (file_name == nullptr || creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (HANDLE scripted = open_scripted_port(file_name)) {
        return scripted;
    }
    const std::string path = device_path_for(file_name);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    const bool reads = (desired_access & GENERIC_READ) != 0;
    const bool writes = (desired_access & GENERIC_WRITE) != 0;
    const int access = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    const int fd = open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        set_last_error_from_errno(errno);
        return INVALID_HANDLE_VALUE;
    }

    // No sharing: the lock keeps out every other opener, root included; TIOCEXCL
    // also keeps out programs that open the tty without taking the lock.
    bool exclusive = false;
    if (share_mode == 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error_number = errno;
            close(fd);
            set_last_error_from_errno(error_number);
            return INVALID_HANDLE_VALUE;
        }
        exclusive = ioctl(fd, TIOCEXCL) == 0;
    }

    // A Windows port has no line discipline: from the open on, bytes pass as
    // they are. Anything that is not a tty keeps an empty DCB.
    DCB dcb{};
    termios settings;
    if (tcgetattr(fd, &settings) == 0) {
        make_raw(settings);
        tcsetattr(fd, TCSANOW, &settings);
        tcgetattr(fd, &settings);
        dcb = dcb_from_termios(settings);
    }

    SerialPort* port = new (std::nothrow) SerialPort{fd, exclusive, dcb, COMMTIMEOUTS{}};
    if (port == nullptr) {
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return port;
}

BOOL CloseHandle(HANDLE object) {
    if (is_scripted_port(object)) {
        return TRUE;
    }
    SerialPort* port = serial_port(object);
    if (port == nullptr) {
        return FALSE;
    }
    if (port->exclusive) {
        ioctl(port->fd, TIOCNXCL);
    }
    const int result = close(port->fd);  // gives the lock back with it
    const int error_number = errno;
    delete port;
    return result == 0 ? TRUE : fail_with_errno(error_number);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read != nullptr) {
        *read = 0;  // as the system does, before any check
    }
    if (is_scripted_port(file)) {
        return read_scripted_port(buffer, to_read, read);
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (read == nullptr || overlapped != nullptr || (buffer == nullptr && to_read != 0)) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }

    const ReadLimits limits = read_limits(port->timeouts, to_read);
    const Nanoseconds began = monotonic_now();
    const Nanoseconds total_deadline = limits.total_ms == 0 ? no_deadline : after(began, limits.total_ms);
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    DWORD received = 0;
    Nanoseconds last_byte_at = began;
    bool peer_gone = false;
    int error_number = 0;

    while (received < to_read) {
        const ssize_t count = ::read(port->fd, bytes + received, to_read - received);
        if (count > 0) {
            received += static_cast<DWORD>(count);
            last_byte_at = monotonic_now();
            continue;
        }
        if (count == 0 || errno == EIO) {
            peer_gone = true;
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            error_number = errno;
            break;
        }
        if (limits.only_waiting_bytes || (limits.end_at_first_bytes && received > 0)) {
            break;
        }
        Nanoseconds deadline = total_deadline;
        if (received > 0 && limits.interval_ms != 0) {
            const Nanoseconds interval_deadline = after(last_byte_at, limits.interval_ms);
            deadline = interval_deadline < deadline ? interval_deadline : deadline;
        }
        const WaitResult waited = wait_for(port->fd, POLLIN, deadline);
        if (waited == WaitResult::timed_out) {
            break;
        }
        if (waited == WaitResult::hung_up) {
            peer_gone = true;
            break;
        }
        if (waited == WaitResult::failed) {
            error_number = errno;
            break;
        }
    }

    *read = received;
    if (error_number != 0) {
        return fail_with_errno(error_number);
    }
    if (peer_gone && received == 0) {
        return fail_with_errno(EIO);
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written, LPOVERLAPPED overlapped) {
    if (written != nullptr) {
        *written = 0;
    }
    if (is_scripted_port(file)) {
        return write_scripted_port(buffer, to_write, written);
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (written == nullptr || overlapped != nullptr || (buffer == nullptr && to_write != 0)) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }

    // No time-out: the call returns once the port has taken every byte, or
    // when the device has gone.
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    DWORD sent = 0;
    int error_number = 0;
    while (sent < to_write) {
        const ssize_t count = write(port->fd, bytes + sent, to_write - sent);
        if (count > 0) {
            sent += static_cast<DWORD>(count);
            continue;
        }
        if (count == 0) {
            error_number = EIO;
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            error_number = errno;
            break;
        }
        const WaitResult waited = wait_for(port->fd, POLLOUT, no_deadline);
        if (waited == WaitResult::hung_up) {
            error_number = EIO;
            break;
        }
        if (waited == WaitResult::failed) {
            error_number = errno;
            break;
        }
    }
    *written = sent;
    return error_number == 0 ? TRUE : fail_with_errno(error_number);
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
    if (is_scripted_port(file)) {
        return get_scripted_port_state(dcb);
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (dcb == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    termios settings;
    if (tcgetattr(port->fd, &settings) != 0) {
        return fail_with_errno(errno);
    }
    *dcb = port->dcb;
    return TRUE;
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
    if (is_scripted_port(file)) {
        return set_scripted_port_state(dcb);
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (dcb == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    termios requested;
    if (tcgetattr(port->fd, &requested) != 0) {
        return fail_with_errno(errno);
    }
    if (!apply_dcb(*dcb, requested)) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    if (tcsetattr(port->fd, TCSANOW, &requested) != 0) {
        // A pty drops the parity bit and then refuses a request that changes
        // nothing else; what it did take is all a pty can take.
        const int error_number = errno;
        termios applied;
        if (error_number != EINVAL || tcgetattr(port->fd, &applied) != 0 ||
            !same_apart_from_character_format(requested, applied)) {
            return fail_with_errno(error_number);
        }
    }
    if (!set_modem_lines(port->fd, *dcb)) {
        return fail_with_errno(errno);
    }
    port->dcb = *dcb;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    if (is_scripted_port(file)) {
        return get_scripted_port_timeouts(timeouts);
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    if (is_scripted_port(file)) {
        return set_scripted_port_timeouts(timeouts);
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    port->timeouts = *timeouts;
    return TRUE;
}

BOOL SetCommMask(HANDLE file, DWORD event_mask) {
    if (is_scripted_port(file)) {
        return TRUE;
    }
    if (serial_port(file) == nullptr) {
        return FALSE;
    }
    // Nothing here waits for communication events, so only "none" can be honoured.
    return event_mask == 0 ? TRUE : fail_with(ERROR_NOT_SUPPORTED);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
    if (is_scripted_port(file)) {
        return TRUE;
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    // Every call here is synchronous, so there is never an operation to abort.
    const bool receive = (flags & PURGE_RXCLEAR) != 0;
    const bool transmit = (flags & PURGE_TXCLEAR) != 0;
    if (!receive && !transmit) {
        return TRUE;
    }
    const int queue = receive && transmit ? TCIOFLUSH : receive ? TCIFLUSH : TCOFLUSH;
    return tcflush(port->fd, queue) == 0 ? TRUE : fail_with_errno(errno);
}

BOOL FlushFileBuffers(HANDLE file) {
    if (is_scripted_port(file)) {
        return TRUE;
    }
    SerialPort* port = serial_port(file);
    if (port == nullptr) {
        return FALSE;
    }
    // Waits only while the driver still has bytes for the line: a pty passes
    // them straight to the other side, and a hung-up tty answers at once.
    return tcdrain(port->fd) == 0 ? TRUE : fail_with_errno(errno);
}
