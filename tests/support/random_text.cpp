#include "tests/support/random_text.h"

std::string randomText(size_t size, uint64_t seed) {
    std::string bytes(size, '\0');
    uint64_t x = seed | 1;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}
