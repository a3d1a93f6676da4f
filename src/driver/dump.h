// The memory dump of the -d option.
#pragma once

#include <cstdint>

// Prints the first count bytes of image in hexadecimal, 16 to a row, on standard output.
void dumpMemory(const uint8_t* image, int32_t count);
