// Hovers. On a label: its address (and the word there for a data line) and its defining line.
// On a number: whether it fits each place a number can stand. On a mnemonic: the language
// guide's summary, then the instruction. Anywhere else in an instruction: its address, its
// bytes, the fields the machine decodes from them, and the instruction as the trace shows it.
#include <cstdio>

#include "lsp/features.h"

namespace tavro::lsp {

struct Summary {
    const char* name;
    const char* text;
};

// One paragraph per mnemonic and for RES, after the language guide (sections 6 to 9).
constexpr Summary SUMMARIES[] = {
    {"END",
     "Halts the machine: the run ends with `>>> Program terminated. (Halt)`. One byte. "
     "Anything after it on the line is ignored. If a program's last instruction is not "
     "END, the assembler adds one after everything else."},
    {"COPY",
     "`COPY R, src` loads register R from a register, a constant `#n`, a word in memory "
     "(`n`, `LABEL`), `c(REG)` or `n+c(REG)`; `COPY mem, R` stores R to a word in memory. "
     "The only instruction that stores to memory or takes `c(REG)` and `n+c(REG)`. The "
     "flag is kept. 2 or 3 bytes."},
    {"ADD",
     "`ADD R, src`: R := R + src, keeping the low 16 bits (overflow wraps, never an "
     "error). src is a register, `#n` (-128 to 127), `n` or `LABEL`. The flag is kept. "
     "2 or 3 bytes."},
    {"SUB",
     "`SUB R, src`: R := R - src, keeping the low 16 bits. src is a register, `#n`, `n` "
     "or `LABEL`. The flag is kept. 2 or 3 bytes."},
    {"MUL",
     "`MUL R, src`: R := R × src, keeping the low 16 bits (300 × 300 gives 24464). src "
     "is a register, `#n`, `n` or `LABEL`. The flag is kept. 2 or 3 bytes."},
    {"DIV",
     "`DIV R, src`: R := R ÷ src, rounded towards zero; the remainder is dropped. "
     "Division by 0 ends the run with `div by zero`. src is a register, `#n`, `n` or "
     "`LABEL`. The flag is kept. 2 or 3 bytes."},
    {"CMP",
     "`CMP R, src` changes no register: it sets the below flag when R < src (signed) and "
     "clears it otherwise, for JB and JNB. src is a register, `#n`, `n` or `LABEL`. "
     "2 or 3 bytes."},
    {"JMP",
     "`JMP addr` goes to addr, a label or a number from 0 to 4095. A jump at or after "
     "the end of the program ends the next step with `out of memory`. 2 bytes."},
    {"JNB",
     "`JNB addr` goes to addr when the below flag is clear (the last CMP did not find "
     "its register below the operand). 2 bytes."},
    {"JB",
     "`JB addr` goes to addr when the below flag is set (the last CMP found its register "
     "below the operand). 2 bytes."},
    {"CALL",
     "`CALL addr` pushes the address of the next instruction and goes to addr; RTN comes "
     "back. A full stack ends the run with `illegal memory access`. 2 bytes."},
    {"RTN",
     "Pops an address from the stack and goes there: the end of a subroutine entered "
     "with CALL. An empty stack ends the run with `illegal memory access`. 1 byte."},
    {"PUSH",
     "`PUSH R`: DX := DX - 2, then the word at DX := R. DX is the stack pointer; the "
     "stack grows down from 4094 towards the program. 1 byte."},
    {"POP",
     "`POP R`: R := the word at DX, then DX := DX + 2. The last word pushed is the first "
     "popped; an empty stack ends the run with `illegal memory access`. 1 byte."},
    {"IN",
     "`IN R` prints the prompt `in ? ` on standard error and reads a number from a line "
     "of standard input into R; at the end of the input the run ends with "
     "`unexpected EOF`. 1 byte."},
    {"OUT",
     "`OUT R` prints `out: ` and the signed value of R on its own line, on standard "
     "output. 1 byte."},
    {"RES",
     "`RES n` reserves n bytes holding 0, n from 0 to 4095; a label before it names the "
     "first byte. Put data after END, where the run does not reach it."},
};

static std::string upper(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return s;
}

static const char* summaryOf(std::string_view word) {
    std::string name = upper(word);
    for (const Summary& s : SUMMARIES) {
        if (name == s.name) return s.text;
    }
    return nullptr;
}

static Json hoverResult(const Document& document, int64_t line, size_t from, size_t to,
                        const std::string& markdown, PositionEncoding encoding) {
    auto position = [&](size_t column) {
        return Json{
            {"line", line},
            {"character", toClientColumn(document, line, static_cast<int32_t>(column), encoding)}};
    };
    return {{"contents", {{"kind", "markdown"}, {"value", markdown}}},
            {"range", {{"start", position(from)}, {"end", position(to)}}}};
}

const Symbol* symbolAt(const Program& program, int64_t line, int32_t column, SymbolUse* place) {
    for (const Symbol& symbol : program.symbols) {
        auto covers = [&](const SymbolUse& use) {
            return use.line - 1 == line && column >= use.column &&
                   column <= use.column + use.length;
        };
        if (symbol.definition.line > 0 && covers(symbol.definition)) {
            *place = symbol.definition;
            return &symbol;
        }
        for (const SymbolUse& use : symbol.uses) {
            if (covers(use)) {
                *place = use;
                return &symbol;
            }
        }
    }
    return nullptr;
}

static std::string labelHover(const Document& document, const Symbol& symbol) {
    const Program& program = *document.program;
    std::string text = "**" + symbol.name + "**";
    if (symbol.name == "RANDOM" && symbol.line == 0 && symbol.defined) {
        return text +
               ": predefined, the address 4094 of the random port; every read of the "
               "word there gives a new number from 0 to 32767.";
    }
    if (!symbol.defined) {
        text += ": never defined; it gets a zero word of its own after the program";
        for (const UndefinedLabel& label : program.undefinedLabels) {
            if (label.name == symbol.name) {
                text += ", at address " + std::to_string(label.address) + " (first used on line " +
                        std::to_string(label.line) + ")";
            }
        }
        return text + ".";
    }
    text += ": address " + std::to_string(symbol.value) + ", defined on line " +
            std::to_string(symbol.line) + ".";
    // On a data line, the word it names as the image holds it.
    std::string_view defining = lineAt(document, symbol.line - 1);
    LineParts parts = splitLine(defining);
    bool data = !parts.statement.empty() && !isMnemonic(parts.statement);
    if (data && program.pass2Ran && symbol.value >= 0 && symbol.value + 1 < MEMORY_SIZE &&
        upper(parts.statement) != "RES") {
        auto address = static_cast<size_t>(symbol.value);
        int value =
            static_cast<int16_t>((program.image[address] << 8) | program.image[address + 1]);
        text += " It names a data word holding " + std::to_string(value) + ".";
    }
    return text;
}

// number := ['+' | '-'] digits, as the assembler reads it: the magnitude saturates.
static int64_t numberValue(std::string_view text) {
    bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    int64_t magnitude = 0;
    for (char c : text) {
        if (magnitude <= (int64_t{1} << 32)) magnitude = magnitude * 10 + (c - '0');
    }
    return negative ? -magnitude : magnitude;
}

static std::string numberHover(std::string_view token) {
    int64_t v = numberValue(token);
    auto fits = [](bool yes) { return std::string(yes ? "yes" : "no"); };
    std::string text = "**" + std::string(token) + "**\n\n";
    text += "- constant `#n` (-128 to 127): " + fits(v >= -128 && v <= 127) + "\n";
    bool word = v >= -32768 && v <= 32767;
    text += "- address or offset (-32768 to 32767, modulo 4096): " + fits(word);
    if (word) text += ", address " + std::to_string(((v % 4096) + 4096) % 4096);
    text += "\n- data word (-32768 to 32767): " + fits(word) + "\n";
    text += "- `RES` count (0 to 4095): " + fits(v >= 0 && v <= 4095) + "\n";
    return text;
}

static std::string hexBytes(const Program& program, int64_t address, int32_t size) {
    std::string text;
    char byte[4];
    for (int32_t i = 0; i < size && address + i < MEMORY_SIZE; i++) {
        std::snprintf(byte, sizeof byte, "%02x", program.image[static_cast<size_t>(address + i)]);
        if (!text.empty()) text += ' ';
        text += byte;
    }
    return text;
}

static std::string instructionHover(const Document& document, int64_t line) {
    const Program& program = *document.program;
    if (line < 0 || static_cast<size_t>(line) >= program.lines.size()) return {};
    const LineMap& map = program.lines[static_cast<size_t>(line)];
    if (map.size <= 0) return {};
    std::string text = "Address " + std::to_string(map.address) + ", " + std::to_string(map.size) +
                       (map.size == 1 ? " byte" : " bytes");
    if (!program.pass2Ran || program.pass2Errors > 0 || map.address + map.size > MEMORY_SIZE) {
        return text + " (the bytes are known once the whole program assembles).";
    }
    text += ": `" + hexBytes(program, map.address, map.size) + "`\n\n";
    uint8_t code[3] = {0, 0, 0};
    for (int32_t i = 0; i < map.size && i < 3; i++) {
        code[i] = program.image[static_cast<size_t>(map.address + i)];
    }
    text += instructionFields(code);
    // The trace's view of it: operands as the machine reads them.
    MachinePtr machine = makeMachine(program);
    setIp(*machine, map.address);
    std::string trace = traceLine(*machine);
    if (trace.size() > 21) {
        std::string shown = trace.substr(21, 24);
        while (!shown.empty() && shown.back() == ' ') shown.pop_back();
        text += "\n\nAs the trace shows it: `" + shown + "`";
    }
    return text;
}

static bool isNameByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

Json hoverAt(const Document& document, int64_t line, int32_t column, PositionEncoding encoding) {
    const Program& program = *document.program;
    SymbolUse place{};
    if (const Symbol* symbol = symbolAt(program, line, column, &place)) {
        return hoverResult(document, line, static_cast<size_t>(place.column),
                           static_cast<size_t>(place.column + place.length),
                           labelHover(document, *symbol), encoding);
    }
    std::string_view text = lineAt(document, line);
    LineParts parts = splitLine(text);
    auto at = static_cast<size_t>(column);
    if (at > text.size() || (!parts.comment.empty() && at > parts.commentColumn)) return nullptr;
    // The word under the position: a name, or a number with its sign.
    size_t from = at, to = at;
    while (from > 0 && isNameByte(text[from - 1])) from--;
    while (to < text.size() && isNameByte(text[to])) to++;
    std::string_view word = text.substr(from, to - from);
    bool inStatement = !parts.statement.empty() && at >= parts.statementColumn;
    if (!word.empty() && word[0] >= '0' && word[0] <= '9') {
        if (from > 0 && (text[from - 1] == '-' || text[from - 1] == '+')) from--;
        return hoverResult(document, line, from, to, numberHover(text.substr(from, to - from)),
                           encoding);
    }
    if (!word.empty() && from == parts.statementColumn && inStatement) {
        if (const char* summary = summaryOf(word)) {
            std::string markdown = "**" + upper(word) + "**: " + summary;
            std::string instruction = instructionHover(document, line);
            if (!instruction.empty() && upper(word) != "RES")
                markdown += "\n\n---\n\n" + instruction;
            return hoverResult(document, line, from, to, markdown, encoding);
        }
    }
    if (inStatement && isMnemonic(parts.statement)) {
        std::string instruction = instructionHover(document, line);
        if (instruction.empty()) return nullptr;
        size_t end = parts.operandsColumn + parts.operands.size();
        return hoverResult(document, line, parts.statementColumn, end > at ? end : at, instruction,
                           encoding);
    }
    return nullptr;
}

}  // namespace tavro::lsp
