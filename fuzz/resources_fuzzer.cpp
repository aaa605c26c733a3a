// The compiled resources as the Linux layer reads them. The input stands in for
// the .res data that the program carries: finding, loading and sizing
// "BINFILE", loading the firmware image from it, and reading the dialog
// template "QZD" must each either succeed within the input's bytes or fail
// plainly. The template parser also reads the input itself, so that template
// bytes reach it without a .res wrapping.

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "job/firmware_image.h"
#include "platform/linux/dialog_template.h"
#include "platform/linux/test_hooks.h"
#include "platform/win32.h"

namespace {

// The smallest item: help id, styles, position, size and id (24 bytes), then
// an empty class, an empty title and no creation data (2 bytes each).
constexpr size_t SMALLEST_ITEM = 30;

bool lies_within(const uint8_t* bytes, size_t count, const uint8_t* data, size_t size) {
    return bytes >= data && count <= size && bytes - data <= static_cast<ptrdiff_t>(size - count);
}

// Reads every byte, so that the sanitizer sees any that lie outside the input;
// the sum goes where the compiler cannot drop the reads.
volatile uint8_t touched_sum;

void touch(const uint8_t* bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    touched_sum = sum;
}

void check_firmware(const uint8_t* data, size_t size) {
    const HRSRC found = FindResourceA(nullptr, "BINFILE", RT_RCDATA);
    if (found == nullptr) {
        const DWORD error = GetLastError();
        require(error == ERROR_RESOURCE_TYPE_NOT_FOUND || error == ERROR_RESOURCE_NAME_NOT_FOUND,
                "a missing resource says which part is missing");
        return;
    }
    const HGLOBAL loaded = LoadResource(nullptr, found);
    require(loaded != nullptr, "a resource that was found loads");
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(loaded));
    const DWORD length = SizeofResource(nullptr, found);
    require(lies_within(bytes, length, data, size), "a resource's bytes lie inside the resource data");
    touch(bytes, length);

    UpdateJob job{};
    load_firmware_image(job);
    if (length == 0) {
        require(job.image == nullptr && job.image_size == 0, "an empty image is no image");
        return;
    }
    require(job.image != nullptr && job.image_size % BLOCK_SIZE == 0 &&
                static_cast<DWORD>(job.image_size) >= length &&
                static_cast<DWORD>(job.image_size) - length < static_cast<DWORD>(BLOCK_SIZE),
            "the image is the resource padded to whole blocks");
    require(std::memcmp(job.image, bytes, length) == 0, "the image starts with the resource's bytes");
    for (int32_t i = static_cast<int32_t>(length); i < job.image_size; ++i) {
        require(job.image[i] == 0, "the image is padded with zeros");
    }
    delete[] job.image;
}

void check_dialog_template(const uint8_t* bytes, size_t count) {
    DialogTemplate dialog;
    if (parse_dialog_template(bytes, count, &dialog)) {
        require(dialog.items.size() <= count / SMALLEST_ITEM, "every item read takes its bytes");
    }
}

void check_dialog(const uint8_t* data, size_t size) {
    const HRSRC found = FindResourceA(nullptr, "QZD", RT_DIALOG);
    if (found == nullptr) {
        return;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    const DWORD length = SizeofResource(nullptr, found);
    require(bytes != nullptr && lies_within(bytes, length, data, size),
            "a resource's bytes lie inside the resource data");
    check_dialog_template(bytes, length);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Loading the image traces its base and size.
    return std::freopen("/dev/null", "w", stdout) == nullptr ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A null pointer would bring back the program's own resources.
    static const uint8_t no_bytes = 0;
    if (data == nullptr) {
        data = &no_bytes;
    }
    dfut_platform::set_resource_data(data, size);
    check_firmware(data, size);
    check_dialog(data, size);
    check_dialog_template(data, size);
    dfut_platform::set_resource_data(nullptr, 0);
    return 0;
}
