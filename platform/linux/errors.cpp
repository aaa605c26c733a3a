#include <cerrno>

#include "platform/linux/last_error.h"
#include "platform/win32.h"

namespace {

// The thread's last error, as the system keeps it per thread.
thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError(void) {
    return last_error;
}

void SetLastError(DWORD code) {
    last_error = code;
}

DWORD win32_error_from_errno(int error_number) {
    switch (error_number) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOTTY:
    case EOPNOTSUPP:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void set_last_error_from_errno(int error_number) {
    last_error = win32_error_from_errno(error_number);
}
