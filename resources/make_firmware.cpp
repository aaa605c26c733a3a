// Writes the stand-in firmware image that the tool carries: 103,864 bytes laid
// out like a Cortex-M application linked at 0x08004000. The output depends on
// nothing but this file, so the committed image can be regenerated exactly.
//
//   make_firmware OUTPUT

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t IMAGE_LENGTH = 103864;
constexpr uint32_t LINK_ADDRESS = 0x08004000;
constexpr uint32_t STACK_TOP = 0x20005000;
constexpr uint32_t VECTOR_COUNT = 64;  // 16 core exceptions and 48 interrupts
constexpr uint32_t CODE_START = VECTOR_COUNT * 4;

void put_le32(std::vector<uint8_t>& image, uint32_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// A fixed linear congruential sequence: the same bytes on every machine.
uint32_t next_random(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// Thumb-2 style halfwords: mostly common 16-bit opcodes (push/pop, mov, ldr,
// str, add, cmp, branches) with their operand bits varied.
uint16_t code_halfword(uint32_t& state) {
    static const uint16_t opcodes[] = {0xB500, 0xBD00, 0x2000, 0x6800, 0x6000, 0x3000,
                                       0x2800, 0xD000, 0xE000, 0x4600, 0x4770, 0xF000};
    const uint32_t r = next_random(state);
    const uint16_t base = opcodes[r % (sizeof opcodes / sizeof opcodes[0])];
    return static_cast<uint16_t>(base | ((r >> 4) & 0x00FF));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_firmware OUTPUT\n");
        return 2;
    }
    std::vector<uint8_t> image(IMAGE_LENGTH, 0);

    // Vector table: initial stack pointer, then handler addresses (Thumb bit set)
    // inside the image, the reset handler first.
    put_le32(image, 0, STACK_TOP);
    for (uint32_t v = 1; v < VECTOR_COUNT; ++v) {
        const uint32_t handler = LINK_ADDRESS + CODE_START + (v == 1 ? 0 : 0x40 + 4 * v);
        put_le32(image, v * 4, handler | 1u);
    }

    uint32_t state = 0x5EED1234u;
    const uint32_t code_end = IMAGE_LENGTH - 4096;  // the tail holds constant data
    for (uint32_t at = CODE_START; at + 1 < code_end; at += 2) {
        const uint16_t half = code_halfword(state);
        image[at] = static_cast<uint8_t>(half);
        image[at + 1] = static_cast<uint8_t>(half >> 8);
    }
    for (uint32_t at = code_end; at + 3 < IMAGE_LENGTH; at += 4) {
        put_le32(image, at, next_random(state) & 0x00FFFFFFu);
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
