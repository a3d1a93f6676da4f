// The assembly passes. Both passes run the same checks on every line, so both give each line the
// same address; only pass 1 defines labels and only pass 2 writes bytes. A line has at most one
// error: the first found ends its examination, and the pass reports it and goes on.
// line := [LABEL] {blank} [statement] {blank} [';' comment]   (a label starts in column 1)
// statement := instruction | RES n | n | LABEL                (the last two are data words)
#include "asm/passes.h"

#include <memory>

#include "asm/encoder.h"
#include "asm/lexer.h"
#include "asm/symbols.h"

namespace tavro {

// The state of one assembly, owned by assembleSource.
struct Assembler {
    SymbolTable symbols;
    int64_t locationCounter;  // address of the next byte to emit; exact, never capped
    int32_t lineIndex;        // 0-based index of the line being assembled
    int32_t lastOpcode;       // the last instruction's opcode, or -1
    std::vector<NameUse> uses;
};

// A failed check: its message and where in the line it stood (nullptr: not known).
struct Check {
    const char* message;
    const char* where;
};

constexpr Check PASSED{nullptr, nullptr};

// Writes one byte of pass 2 at the location counter; the image is never written past its end.
static void emitByte(Assembler& a, uint8_t* image, int32_t offset, uint8_t byte) {
    int64_t address = a.locationCounter + offset;
    if (image != nullptr && address < MEMORY_SIZE) image[address] = byte;
}

static void emitWord(Assembler& a, uint8_t* image, int64_t value) {
    emitByte(a, image, 0, static_cast<uint8_t>((value >> 8) & 0xFF));
    emitByte(a, image, 1, static_cast<uint8_t>(value & 0xFF));
    a.locationCounter += 2;
}

// Anything but a comment after a statement is an error.
static Check expectEndOfLine(const char* p) {
    int32_t length = 0;
    p = skipBlanks(p);
    if (classifyToken(p, &length) != TokenClass::EndOfLine) return {"End of line is expected", p};
    return PASSED;
}

// Assembles one line.
static Check assembleLine(Assembler& a, NameScope& scope, const char* line, int pass,
                          uint8_t* image) {
    if (line[0] == '\0' || line[0] == ';') return PASSED;

    const char* p = line;
    int32_t length = 0;
    if (!isBlank(line[0])) {
        if (classifyToken(p, &length) != TokenClass::Name) return {"Unexpected token", p};
        if (pass == 1) {
            char name[MAX_NAME_LENGTH + 1];
            copyName(name, p, length);
            switch (defineLabel(a.symbols, name, a.locationCounter, a.lineIndex)) {
                case SymbolKind::Free:
                case SymbolKind::Undefined: break;
                case SymbolKind::Label: return {"Duplicated label definitionl", p};
                case SymbolKind::Opcode:
                case SymbolKind::Register:
                case SymbolKind::Directive: return {"Unexpected token", p};
            }
        }
        p += length;
    }

    p = skipBlanks(p);
    TokenClass token = classifyToken(p, &length);
    if (token == TokenClass::EndOfLine) return PASSED;
    if (token == TokenClass::Punct) return {"Unexpected token", p};

    if (token == TokenClass::Number) {
        int32_t value = convertNumber(p, 16);
        if (value < 0) return {"Value exceeds the range", p};
        emitWord(a, image, value);
        return expectEndOfLine(p + length);
    }

    const char* statement = p;
    int64_t value = 0;
    SymbolKind kind = lookUpName(scope, p, length, &value);
    p = skipBlanks(p + length);
    switch (kind) {
        case SymbolKind::Opcode: {
            a.lastOpcode = static_cast<int32_t>(value);
            Encoding e = assembleInstruction(scope, static_cast<int>(value), p);
            if (e.message != nullptr) return {e.message, e.where};
            for (int32_t i = 0; i < e.length; i++) emitByte(a, image, i, e.bytes[i]);
            a.locationCounter += e.length;
            return PASSED;
        }
        case SymbolKind::Directive: {
            int32_t count = -1;
            if (classifyToken(p, &length) == TokenClass::Number) count = convertNumber(p, 13);
            if (count < 0) return {"Number is expected", p};
            for (int32_t i = 0; image != nullptr && i < count; i++) emitByte(a, image, i, 0);
            a.locationCounter += count;
            return expectEndOfLine(p + length);
        }
        case SymbolKind::Free:
        case SymbolKind::Label:
        case SymbolKind::Undefined:
            // In pass 2 every name here is a Label; pass 1 writes nothing and needs no value.
            emitWord(a, image, kind == SymbolKind::Label ? value : 0);
            return expectEndOfLine(p);
        case SymbolKind::Register: return {"Opcode is expected", statement};
    }
    return PASSED;
}

// Reports one faulty line.
static void report(Program& program, const AssembleOptions& options, int pass, int32_t lineIndex,
                   const char* line, Check check) {
    Diagnostic d;
    d.pass = pass;
    d.line = lineIndex + 1;
    d.column = check.where != nullptr ? static_cast<int32_t>(check.where - line) : -1;
    d.length = 0;
    if (check.where != nullptr) {
        classifyToken(check.where, &d.length);
        if (d.length == 0) d.length = 1;
        // A constant is one token to its reader: #200 is marked whole, not its # alone.
        int32_t number = 0;
        if (*check.where == '#' && classifyToken(check.where + 1, &number) == TokenClass::Number) {
            d.length += number;
        }
    }
    d.message = check.message;
    d.text = line;
    if (options.onDiagnostic != nullptr) options.onDiagnostic(d, options.context);
    if (program.diagnostics.size() < options.keepDiagnostics) {
        program.diagnostics.push_back(std::move(d));
    }
}

// Assembles every line once; returns the number of faulty lines.
static int32_t assemblePass(Assembler& a, Program& program, const AssembleOptions& options,
                            int pass) {
    const SourceText& source = program.source;
    uint8_t* image = pass == 2 ? program.image.data() : nullptr;
    bool mapping = pass == 1 && options.sourceMap;
    a.locationCounter = 0;
    a.lastOpcode = -1;
    int32_t errorCount = 0;
    int32_t lineCount = static_cast<int32_t>(source.lineStarts.size());
    for (a.lineIndex = 0; a.lineIndex < lineCount; a.lineIndex++) {
        const char* line = source.text.data() + source.lineStarts[a.lineIndex];
        if ((line[0] == '\0' || line[0] == ';') && !mapping) continue;  // emits nothing
        NameScope scope{&a.symbols, a.lineIndex, line, mapping ? &a.uses : nullptr};
        int64_t start = a.locationCounter;
        a.symbols.overflowed = false;
        Check check = assembleLine(a, scope, line, pass, image);
        // A name that found the table full was not entered; whatever the line would have said
        // after that point, this is its error.
        if (a.symbols.overflowed) check = {"Symbol table overflow", nullptr};
        if (pass == 1 && program.tooLargeLine == 0 && a.locationCounter > MAX_CODE_SIZE) {
            program.tooLargeLine = a.lineIndex + 1;
        }
        if (mapping) {
            int32_t size = static_cast<int32_t>(a.locationCounter - start);
            program.lines.push_back({start, size});
            for (int64_t address = start; address < a.locationCounter && address < MEMORY_SIZE;
                 address++) {
                program.addressLine[address] = a.lineIndex + 1;
            }
        }
        if (check.message == nullptr) continue;
        errorCount++;
        report(program, options, pass, a.lineIndex, line, check);
    }
    if (errorCount == 0 && a.lastOpcode != END) {
        emitByte(a, image, 0, 0x00);
        a.locationCounter += 1;
    }
    return errorCount;
}

// Gives each still-undefined name a word from address on, in slot order; returns the end.
static int64_t allocateUndefinedLabels(Assembler& a, Program& program, int64_t address) {
    for (SymbolEntry& entry : a.symbols.slots) {
        if (entry.kind != SymbolKind::Undefined) continue;
        program.undefinedLabels.push_back({entry.name, address, entry.line + 1});
        entry.kind = SymbolKind::Label;
        entry.value = address;
        address += 2;
    }
    return address;
}

// The labels of the table, with their uses, for the front-ends.
static void collectSymbols(const Assembler& a, Program& program) {
    std::vector<int32_t> indexOfSlot(SYMBOL_SLOTS, -1);
    for (int slot = 0; slot < SYMBOL_SLOTS; slot++) {
        const SymbolEntry& entry = a.symbols.slots[slot];
        if (entry.kind != SymbolKind::Label && entry.kind != SymbolKind::Undefined) continue;
        Symbol symbol;
        symbol.name = entry.name;
        symbol.defined = entry.kind == SymbolKind::Label;
        symbol.value = entry.kind == SymbolKind::Label ? entry.value : -1;
        symbol.line = entry.line >= 0 ? entry.line + 1 : 0;
        symbol.definition = {0, 0, 0};
        indexOfSlot[slot] = static_cast<int32_t>(program.symbols.size());
        program.symbols.push_back(std::move(symbol));
    }
    for (const UndefinedLabel& label : program.undefinedLabels) {
        for (Symbol& symbol : program.symbols) {
            if (symbol.name == label.name) symbol.defined = false;
        }
    }
    for (Symbol& symbol : program.symbols) {
        if (!symbol.defined) {
            symbol.line = 0;
        } else if (symbol.line > 0) {
            int32_t length = 0;
            classifyToken(lineText(program, symbol.line).data(), &length);
            symbol.definition = {symbol.line, 0, length};
        }
    }
    for (const NameUse& use : a.uses) {
        int32_t index = indexOfSlot[use.slot];
        if (index >= 0) {
            program.symbols[index].uses.push_back({use.line + 1, use.column, use.length});
        }
    }
}

Program assembleSource(SourceText source, const AssembleOptions& options) {
    Program program;
    program.source = std::move(source);
    auto a = std::make_unique<Assembler>();
    initSymbols(a->symbols);
    if (options.sourceMap) program.lines.reserve(program.source.lineStarts.size());
    program.pass1Errors = assemblePass(*a, program, options, 1);
    if (program.pass1Errors == 0) {
        program.codeSize = allocateUndefinedLabels(*a, program, a->locationCounter);
        program.tooLarge = program.codeSize > MAX_CODE_SIZE;
        if (program.tooLarge && program.tooLargeLine == 0) {
            program.tooLargeLine = static_cast<int32_t>(program.source.lineStarts.size());
        }
    }
    if (options.sourceMap) collectSymbols(*a, program);
    if (program.pass1Errors > 0 || program.tooLarge || options.checkOnly) return program;
    program.pass2Ran = true;
    program.pass2Errors = assemblePass(*a, program, options, 2);
    return program;
}

std::string_view lineText(const Program& program, int32_t line) {
    const SourceText& source = program.source;
    if (line < 1 || static_cast<size_t>(line) > source.lineStarts.size()) return {};
    return std::string_view(source.text.data() + source.lineStarts[static_cast<size_t>(line - 1)]);
}

}  // namespace tavro
