// Bytes that do not repeat (xorshift from a seed), so that content-defined chunks are all different,
// and the same seed gives the same bytes in every test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

std::string randomText(size_t size, uint64_t seed);
