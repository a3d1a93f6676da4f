// tavro-list's text, which the page shows too. The listing: one row per source line, then rows
// for what the assembler adds after the last line (an END when the program does not end with
// one, and a zero word for each undefined name), then the symbol table. Addresses are decimal, as tavro prints them everywhere; bytes
// are hexadecimal, as its dump shows them. The source column starts at column 24, a multiple
// of 8, so that tabs in a line line up as they do in the file.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "engine/engine.h"

namespace tavro {

// A row shows at most this many bytes; a longer line (only RES makes one) shows its first two
// and "..", and the next row's address tells where it ends.
constexpr int32_t ROW_BYTES = 3;

// ADDR right-aligned in 4, BYTES left-aligned in 8, LINE right-aligned in 5, then the source.
static void appendRow(std::string& text, const char* address, const char* bytes, const char* line,
                      std::string_view source) {
    char prefix[64];
    int n = std::snprintf(prefix, sizeof prefix, "%4s  %-8s  %5s", address, bytes, line);
    text.append(prefix, static_cast<size_t>(n));
    if (!source.empty()) {
        text += "   ";
        text += source;
    }
    text += '\n';
}

// The row of size bytes of the image from address (no address or bytes when size is 0).
static void appendCodeRow(std::string& text, const Program& program, int64_t address, int32_t size,
                          const char* line, std::string_view source) {
    char where[24] = "";
    char bytes[16] = "";
    if (size > 0) {
        std::snprintf(where, sizeof where, "%" PRId64, address);
        int32_t shown = size > ROW_BYTES ? ROW_BYTES - 1 : size;
        char* p = bytes;
        for (int32_t i = 0; i < shown && address + i < MEMORY_SIZE; i++) {
            p += std::snprintf(p, 4, i == 0 ? "%02x" : " %02x",
                               program.image[static_cast<size_t>(address + i)]);
        }
        if (size > ROW_BYTES) std::snprintf(p, 4, " ..");
    }
    appendRow(text, where, bytes, line, source);
}

static void appendSourceRows(std::string& text, const Program& program) {
    int32_t count = static_cast<int32_t>(program.lines.size());
    // A file that ends with a line end has an empty last line that no editor shows.
    if (count > 1 && lineText(program, count).empty()) count--;
    for (int32_t i = 0; i < count; i++) {
        const LineMap& map = program.lines[static_cast<size_t>(i)];
        char number[16];
        std::snprintf(number, sizeof number, "%" PRId32, i + 1);
        appendCodeRow(text, program, map.address, map.size, number, lineText(program, i + 1));
    }
}

// What the assembler places after the last line: an END when the last instruction is not one,
// then the undefined names' words. Their rows are written as the source that would make them.
static void appendAddedRows(std::string& text, const Program& program) {
    int64_t end = 0;
    if (!program.lines.empty()) end = program.lines.back().address + program.lines.back().size;
    int64_t wordsStart =
        program.codeSize - 2 * static_cast<int64_t>(program.undefinedLabels.size());
    if (wordsStart > end) appendCodeRow(text, program, end, 1, "", " END ; added");
    for (const UndefinedLabel& label : program.undefinedLabels) {
        appendCodeRow(text, program, label.address, 2, "", label.name + " 0 ; undefined");
    }
}

// NAME left-aligned in 7, ADDR right-aligned in 4, DEFINED left-aligned in 10, then the lines
// that name the symbol, each once.
static void appendSymbolRow(std::string& text, const Symbol& symbol) {
    char defined[24];
    if (!symbol.defined) {
        std::snprintf(defined, sizeof defined, "undefined");
    } else if (symbol.line == 0) {
        std::snprintf(defined, sizeof defined, "predefined");
    } else {
        std::snprintf(defined, sizeof defined, "%" PRId32, symbol.line);
    }
    char row[96];
    int n = std::snprintf(row, sizeof row, "%-7s  %4" PRId64 "  %-10s", symbol.name.c_str(),
                          symbol.value, defined);
    text.append(row, static_cast<size_t>(n));
    int32_t last = 0;
    for (const SymbolUse& use : symbol.uses) {
        if (use.line == last) continue;
        text += last == 0 ? "  " : " ";
        text += std::to_string(use.line);
        last = use.line;
    }
    if (last == 0) {
        while (!text.empty() && text.back() == ' ') text.pop_back();
    }
    text += '\n';
}

std::string renderListing(const Program& program) {
    std::string text;
    appendRow(text, "ADDR", "BYTES", "LINE", "SOURCE");
    appendSourceRows(text, program);
    appendAddedRows(text, program);
    text += "\nNAME     ADDR  DEFINED     USED ON LINES\n";
    std::vector<const Symbol*> symbols;
    for (const Symbol& symbol : program.symbols) symbols.push_back(&symbol);
    std::sort(symbols.begin(), symbols.end(),
              [](const Symbol* a, const Symbol* b) { return a->name < b->name; });
    for (const Symbol* symbol : symbols) appendSymbolRow(text, *symbol);
    return text;
}

}  // namespace tavro
