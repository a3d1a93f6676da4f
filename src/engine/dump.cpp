// tavro -d's memory dump: a header, rows of 16 bytes as " %02x" with one more blank after the 8th,
// and a footer. There is no address column: a byte's address follows from row and column.
#include "engine/engine.h"

namespace tavro {

void dumpMemory(const uint8_t* image, int32_t count, OutputSink& out) {
    static constexpr char HEX_DIGITS[] = "0123456789abcdef";
    sinkWrite(out, "----- MEMORY DUMP -----\n");
    char row[64];
    char* p = row;
    for (int32_t i = 0; i < count; i++) {
        *p++ = ' ';
        *p++ = HEX_DIGITS[image[i] >> 4];
        *p++ = HEX_DIGITS[image[i] & 15];
        if (i % 16 == 7) *p++ = ' ';
        if (i % 16 == 15 || i == count - 1) {
            *p++ = '\n';
            sinkWrite(out, row, static_cast<size_t>(p - row));
            p = row;
        }
    }
    sinkWrite(out, "-----\n");
}

}  // namespace tavro
