// The assembly of a whole source: pass 1 measures every line and defines labels, the names
// never defined get words after the program, the size is checked, and pass 2 writes the image.
// The result is a record of data; front-ends render it (tavro prints it as it always has).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "asm/source.h"
#include "common/tavro.h"

namespace tavro {

// One faulty line, as the pass that found it reported it.
struct Diagnostic {
    int pass;            // 1 or 2
    int32_t line;        // 1-based line number
    int32_t column;      // 0-based byte column of the failing check, or -1 where it is not known
    int32_t length;      // bytes of the failing token from column (at least 1 when column >= 0)
    const char* message;  // the fixed message text, as tavro prints it
    std::string text;     // the line's raw text
};

// A name used but never defined; it gets a zero word of its own after the program.
struct UndefinedLabel {
    std::string name;  // upper case, at most 7 characters
    int64_t address;   // the word given to it (may lie beyond the 4 KB memory)
    int32_t line;      // 1-based line of its first use
};

// One place where a label is named in the source.
struct SymbolUse {
    int32_t line;    // 1-based
    int32_t column;  // 0-based byte column of the name
    int32_t length;  // bytes of the name as written (it may be longer than 7 characters)
};

// A label of the program (predefined RANDOM included).
struct Symbol {
    std::string name;      // upper case, at most 7 characters
    int64_t value;         // its address
    int32_t line;          // 1-based defining line; 0 for RANDOM and for undefined names
    bool defined;          // false: it got a word after the program (see UndefinedLabel)
    std::vector<SymbolUse> uses;  // where it is named in operands and data words, in order
    SymbolUse definition;  // where it is defined (line 0 when it is not)
};

// Where each line's bytes went.
struct LineMap {
    int64_t address;  // the location counter at the start of the line
    int32_t size;     // bytes the line emitted
};

struct AssembleOptions {
    bool checkOnly = false;  // stop after pass 1 and the label words (tavro -c)
    bool sourceMap = true;   // fill Program::lines, addressLine and the symbols' uses
    // Keep at most this many diagnostics in the Program; every one still reaches onDiagnostic
    // and the counts stay exact.
    size_t keepDiagnostics = SIZE_MAX;
    // Called for each diagnostic as the pass finds it (tavro prints them this way).
    void (*onDiagnostic)(const Diagnostic& diagnostic, void* context) = nullptr;
    void* context = nullptr;
};

struct Program {
    std::array<uint8_t, MEMORY_SIZE> image{};  // pass 2's bytes, zero-filled elsewhere
    int64_t codeSize = 0;     // bytes of code, data and label words; exact, even beyond 4 KB
    int32_t pass1Errors = 0;  // faulty lines of pass 1
    int32_t pass2Errors = 0;  // faulty lines of pass 2 (it runs after a clean pass 1 only)
    bool pass2Ran = false;
    bool tooLarge = false;        // a clean pass 1 whose size exceeds 4093 bytes
    int32_t tooLargeLine = 0;     // 1-based line whose bytes first cross 4093, or the last line
    std::vector<Diagnostic> diagnostics;  // in the order found, up to keepDiagnostics
    std::vector<UndefinedLabel> undefinedLabels;  // in the order tavro prints them
    std::vector<Symbol> symbols;                  // labels, in symbol-table slot order
    std::vector<LineMap> lines;                   // one per source line (with sourceMap)
    std::array<int32_t, MEMORY_SIZE> addressLine{};  // 1-based line that emitted a byte, or 0
    SourceText source;                            // the lines, each NUL-terminated
};

// An assembled program as the engine hands it out: shared and read-only, so that no front-end
// writes the assembler's records.
using ProgramPtr = std::shared_ptr<const Program>;

// Assembles split source lines (see splitSource).
Program assembleSource(SourceText source, const AssembleOptions& options);
// The text of a 1-based source line (empty outside the source).
std::string_view lineText(const Program& program, int32_t line);

}  // namespace tavro
