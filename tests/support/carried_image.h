#pragma once

// The image the program carries, as it sends it: the embedded file zero-padded
// to whole 1024-byte blocks. The target defines DFUT_FIRMWARE_FILE, the file
// the build embedded.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

inline std::vector<uint8_t> carried_image() {
    std::ifstream file(DFUT_FIRMWARE_FILE, std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    image.resize((image.size() + 1023) / 1024 * 1024, 0);
    return image;
}
