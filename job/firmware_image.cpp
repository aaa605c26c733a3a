#include "job/firmware_image.h"

#include <cstring>

#include "common/trace.h"

void load_firmware_image(UpdateJob& job) {
    HRSRC found = FindResourceA(nullptr, "BINFILE", RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const int32_t length = found ? static_cast<int32_t>(SizeofResource(nullptr, found)) : 0;
    if (bytes == nullptr || length <= 0) {
        // Without an image every block frame would read outside the buffer.
        job.image = nullptr;
        job.image_size = 0;
        return;
    }

    job.image_size = ((length - 1) / BLOCK_SIZE + 1) * BLOCK_SIZE;
    job.image = new uint8_t[job.image_size]();
    std::memcpy(job.image, bytes, static_cast<size_t>(length));
    job.flash_base = FLASH_BASE;
    trace("\nFlash Image Base %#x\n", FLASH_BASE);
    trace("Flash Image Size %#x bytes\n", job.image_size);
}
