// The resource calls over the compiled resource script that the program carries
// in its read-only data. A resource handle points at its entry's header inside
// that data; loading and locking hand out the data itself, which lives as long
// as the program.

#include "platform/linux/res_file.h"
#include "platform/linux/test_hooks.h"
#include "platform/win32.h"

extern "C" const unsigned char dfut_embedded_resources[];
extern "C" const unsigned char dfut_embedded_resources_end[];

namespace {

const unsigned char* resource_data = dfut_embedded_resources;
size_t resource_size = static_cast<size_t>(dfut_embedded_resources_end - dfut_embedded_resources);

// Re-reads the entry that a handle points at.
bool entry_at(HRSRC resource, ResEntry* entry) {
    if (resource == nullptr) {
        return false;
    }
    size_t offset = static_cast<size_t>(static_cast<const unsigned char*>(resource) - resource_data);
    return read_res_entry(resource_data, resource_size, &offset, entry);
}

}  // namespace

void dfut_platform::set_resource_data(const unsigned char* data, size_t size) {
    resource_data = data ? data : dfut_embedded_resources;
    resource_size = data ? size : static_cast<size_t>(dfut_embedded_resources_end - dfut_embedded_resources);
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    // Only the program's own module exists here.
    if (module != nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    size_t offset = 0;
    ResEntry entry;
    bool type_seen = false;
    for (size_t at = offset; read_res_entry(resource_data, resource_size, &offset, &entry); at = offset) {
        if (res_id_matches(entry.type, type)) {
            type_seen = true;
            if (res_id_matches(entry.name, name)) {
                return const_cast<unsigned char*>(resource_data + at);
            }
        }
    }
    SetLastError(type_seen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    ResEntry entry;
    if (!entry_at(resource, &entry)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return const_cast<uint8_t*>(entry.data);
}

LPVOID LockResource(HGLOBAL loaded) {
    return loaded;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    ResEntry entry;
    return entry_at(resource, &entry) ? entry.data_size : 0;
}
