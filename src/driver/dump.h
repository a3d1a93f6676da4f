// The memory dump of the -d option.
#pragma once

#include <cstdint>

#include "common/sink.h"

namespace tavro {

// Writes the first count bytes of image in hexadecimal, 16 to a row.
void dumpMemory(const uint8_t* image, int32_t count, OutputSink& out);

}  // namespace tavro
