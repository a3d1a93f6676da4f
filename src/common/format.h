// The machine-code format of the Tavro machine: written by the encoder, read by the simulator.
// This header is the only place that knows where the bits of an instruction or a word lie.
//
// An instruction is 1 to 3 bytes; bits 7-4 of byte 0 always hold the opcode.
//
//            byte 0              byte 1                        byte 2
//          7   4 3  2 1  0     7   6   5  4  3    0
// END,RTN  |opcd| 0000 |
// PUSH..   |opcd| 00 | r  |                                      r: register 0 AX .. 3 DX
// JMP..    |opcd| a11-8    | |      a7-0         |               a: 12-bit absolute target
// COPY..   |opcd|mode| r  | |        k7-0         |              mode 0: k = 8-bit constant
// CMP      |opcd|mode| r  | |i |d | s  | 0000 |                 mode 1: i=0 register s, i=1 c(s)
//          |opcd|mode| r  | |0 |d | 00 | a11-8| |   a7-0   |    mode 2: direct address a
//          |opcd|mode| r  | |1 |d | s  | o11-8| |   o7-0   |    mode 3: offset o plus c(s)
//
// d, the direction bit, is 1 only in a COPY store: the memory operand then receives register r.
// Words in memory are 16 bits, big-endian, signed.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/tavro.h"

namespace tavro {

enum AddressingMode : uint8_t {
    MODE_IMMEDIATE = 0,
    MODE_REGISTER = 1,  // register or indirect, told apart by the indirect bit
    MODE_DIRECT = 2,
    MODE_INDEXED = 3,
};

constexpr uint8_t INDIRECT_BIT = 0x80;   // in byte 1, modes 1 and 3
constexpr uint8_t DIRECTION_BIT = 0x40;  // in byte 1, modes 1 to 3
constexpr int NIBBLE_INDIRECT = INDIRECT_BIT >> 4;    // the same bits in byte 1's high nibble
constexpr int NIBBLE_DIRECTION = DIRECTION_BIT >> 4;

// ---- Getters ----
constexpr int opcodeField(uint8_t b0) { return b0 >> 4; }
constexpr int modeField(uint8_t b0) { return (b0 >> 2) & 3; }
constexpr int registerField(uint8_t b0) { return b0 & 3; }
// Byte 1's high nibble: indirect bit, direction bit, second register.
constexpr int highNibble(uint8_t b1) { return b1 >> 4; }
constexpr int secondRegisterField(uint8_t b1) { return (b1 >> 4) & 3; }
// The fields of that nibble: the second register, the indirect bit and the direction bit.
constexpr int nibbleRegister(int nibble) { return nibble & 3; }
constexpr bool nibbleIndirect(int nibble) { return (nibble & NIBBLE_INDIRECT) != 0; }
constexpr bool nibbleDirection(int nibble) { return (nibble & NIBBLE_DIRECTION) != 0; }
// The 12-bit address, offset or jump target held in the low nibble of one byte and the next byte.
constexpr int addressField(uint8_t high, uint8_t low) { return ((high & 0x0F) << 8) | low; }
// The same field read from memory, p pointing at the byte with the high nibble.
inline int32_t addressFieldAt(const uint8_t* p);

// ---- Writers ----
constexpr uint8_t firstByte(int opcode, int mode, int reg) {
    return static_cast<uint8_t>((opcode << 4) | (mode << 2) | reg);
}
// A jump's first byte: the opcode and bits 11-8 of its target.
constexpr uint8_t jumpFirstByte(int opcode, int32_t target) {
    return static_cast<uint8_t>((opcode << 4) | ((target >> 8) & 0x0F));
}
// Byte 1 of modes 1 to 3: indirect bit, direction bit, second register, bits 11-8 of an address.
constexpr uint8_t secondByte(bool indirect, bool direction, int secondRegister,
                             int32_t address = 0) {
    return static_cast<uint8_t>((indirect ? INDIRECT_BIT : 0) | (direction ? DIRECTION_BIT : 0) |
                                ((secondRegister & 3) << 4) | ((address >> 8) & 0x0F));
}
// The low byte of an address, an offset or a constant.
constexpr uint8_t lowByte(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

// ---- Words ----
// Reads the big-endian 16 bits at p, unsigned (a word, or an address field with its nibble).
inline uint32_t loadBigEndian16(const uint8_t* p) {
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint16_t raw;
    std::memcpy(&raw, p, 2);
    return __builtin_bswap16(raw);
#else
    return static_cast<uint32_t>((p[0] << 8) | p[1]);
#endif
}
inline int32_t addressFieldAt(const uint8_t* p) {
    return static_cast<int32_t>(loadBigEndian16(p) & 0x0FFF);
}

// Reads the signed machine word at p.
inline int32_t readWord(const uint8_t* p) { return static_cast<int16_t>(loadBigEndian16(p)); }
// Writes the low 16 bits of value as the machine word at p.
inline void writeWord(uint8_t* p, int32_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

// ---- The stack ----
// It grows down from 4094 in even-aligned words. PUSH and CALL write the word below DX
// (rounded down to even), which must lie above the code: codeSize < slot <= 4094. POP and RTN
// read the word at DX (rounded down), which must lie below the random port: 0 <= slot <= 4093.
constexpr int32_t pushSlot(int32_t dx) { return (dx & ~1) - 2; }
constexpr int32_t popSlot(int32_t dx) { return dx & ~1; }
constexpr bool isPushSlot(int32_t slot, int32_t codeSize) {
    return slot > codeSize && slot <= RANDOM_ADDRESS;
}
constexpr bool isPopSlot(int32_t slot) { return slot >= 0 && slot < RANDOM_ADDRESS; }
// The same with DX's 16 bits taken unsigned (the fast path's way): a negative DX gives a slot
// from 32766 up, which the checks refuse as they refuse a negative one, and a DX of 0 or 1 a
// push slot that wraps past 2^32 - 3.
constexpr uint32_t unsignedPushSlot(uint16_t dx) { return (dx & ~1u) - 2u; }
constexpr uint32_t unsignedPopSlot(uint16_t dx) { return dx & ~1u; }
constexpr bool isUnsignedPushSlot(uint32_t slot, int32_t codeSize) {
    return slot > static_cast<uint32_t>(codeSize) && slot <= RANDOM_ADDRESS;
}
constexpr bool isUnsignedPopSlot(uint32_t slot) { return slot < RANDOM_ADDRESS; }

}  // namespace tavro
