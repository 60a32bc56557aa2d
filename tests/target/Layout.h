#ifndef OVIX_TESTS_LAYOUT_H
#define OVIX_TESTS_LAYOUT_H

#include <sys/types.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

// How the running machine lays out data: byte order and the widths in bits
// of the types whose size differs between the build machine and the board.
inline std::string DataLayout() {
    const uint32_t word = 0x01020304;
    unsigned char first = 0;
    std::memcpy(&first, &word, 1);
    std::string text = first == 0x01 ? "big-endian" : first == 0x04 ? "little-endian" : "mixed";
    auto bits = [](const char* name, size_t size) {
        return std::string(" ") + name + "=" + std::to_string(size * 8);
    };
    text += bits("long", sizeof(long));
    text += bits("pointer", sizeof(void*));
    text += bits("size_t", sizeof(size_t));
    text += bits("time_t", sizeof(time_t));
    text += bits("off_t", sizeof(off_t));
    return text;
}

#endif
