// The parts of a source line as a reader sees them (label, mnemonic or data, operands,
// comment), and the column layout that formatting gives them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/engine.h"

namespace tavro::lsp {

constexpr size_t STATEMENT_COLUMN = 8;  // where statements start after a label of up to 7
constexpr size_t MNEMONIC_WIDTH = 5;    // "COPY " : operands line up after the longest
constexpr size_t COMMENT_COLUMN = 28;   // where trailing comments start, when there is room

// A line cut at its blanks. Columns are byte offsets into the line; a missing part is empty.
struct LineParts {
    std::string_view label;      // the name in column 0, if any
    std::string_view statement;  // its first word: a mnemonic, RES, a number or a name
    size_t statementColumn = 0;
    std::string_view operands;  // the rest of the statement, without outer blanks
    size_t operandsColumn = 0;
    std::string_view comment;  // from ';' to the line end
    size_t commentColumn = 0;
};

// line := [LABEL] {blank} [word {blank} [operands]] {blank} [';' comment]
LineParts splitLine(std::string_view line);
// The line laid out in columns; the caller formats only lines that assemble without fault.
std::string layOutLine(std::string_view line);
// True when name is one of the 16 mnemonics (any case).
bool isMnemonic(std::string_view name);
// The whole text laid out: lines with an assembly message, a NUL byte or a byte above 0x7f
// outside a comment are kept as they are; line ends are kept.
std::string formatSource(std::string_view text);

}  // namespace tavro::lsp
