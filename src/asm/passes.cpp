// The assembly passes. Both passes run the same checks on every line, so both give each line the
// same address; only pass 1 defines labels and only pass 2 writes bytes. A line has at most one
// error: the first found ends its examination, and the pass prints it with the line and goes on.
// line := [LABEL] {blank} [statement] {blank} [';' comment]   (a label starts in column 1)
// statement := instruction | RES n | n | LABEL                (the last two are data words)
#include "asm/passes.h"

#include "asm/encoder.h"
#include "asm/lexer.h"
#include "asm/symbols.h"
#include "common/console.h"
#include "common/tavro.h"

AssemblerState assembler;

void resetAssembler() {
    assembler.locationCounter = 0;
    assembler.lineIndex = 0;
}

static void advanceLocation(int32_t bytes) {
    int32_t room = LOCATION_LIMIT - assembler.locationCounter;
    assembler.locationCounter = bytes < room ? assembler.locationCounter + bytes : LOCATION_LIMIT;
}

// Writes one byte of pass 2 at the location counter; the image is never written past its end.
static void emitByte(uint8_t* image, int32_t offset, uint8_t byte) {
    int32_t address = assembler.locationCounter + offset;
    if (image != nullptr && address < MEMORY_SIZE) image[address] = byte;
}

static void emitWord(uint8_t* image, int32_t value) {
    emitByte(image, 0, static_cast<uint8_t>((value >> 8) & 0xFF));
    emitByte(image, 1, static_cast<uint8_t>(value & 0xFF));
    advanceLocation(2);
}

// Anything but a comment after a statement is an error.
static const char* expectEndOfLine(const char* p) {
    int32_t length = 0;
    if (classifyToken(skipBlanks(p), &length) != TokenClass::EndOfLine) {
        return "End of line is expected";
    }
    return nullptr;
}

// Assembles one line; returns its error message, or nullptr.
static const char* assembleLine(const char* line, int pass, uint8_t* image, int32_t* lastOpcode) {
    if (line[0] == '\0' || line[0] == ';') return nullptr;

    const char* p = line;
    int32_t length = 0;
    char name[MAX_NAME_LENGTH + 1];
    if (!isBlank(line[0])) {
        if (classifyToken(p, &length) != TokenClass::Name) return "Unexpected token";
        if (pass == 1) {
            copyName(name, p, length);
            switch (defineLabel(name, assembler.locationCounter)) {
                case SymbolKind::Free:
                case SymbolKind::Undefined: break;
                case SymbolKind::Label: return "Duplicated label definitionl";
                case SymbolKind::Opcode:
                case SymbolKind::Register:
                case SymbolKind::Directive: return "Unexpected token";
            }
        }
        p += length;
    }

    p = skipBlanks(p);
    TokenClass token = classifyToken(p, &length);
    if (token == TokenClass::EndOfLine) return nullptr;
    if (token == TokenClass::Punct) return "Unexpected token";

    if (token == TokenClass::Number) {
        int32_t value = convertNumber(p, 16);
        if (value < 0) return "Value exceeds the range";
        emitWord(image, value);
        return expectEndOfLine(p + length);
    }

    copyName(name, p, length);
    int32_t value = 0;
    SymbolKind kind = referenceSymbol(name, assembler.lineIndex, &value);
    p = skipBlanks(p + length);
    switch (kind) {
        case SymbolKind::Opcode: {
            *lastOpcode = value;
            uint8_t scratch[3];
            bool inImage = image != nullptr && assembler.locationCounter <= MEMORY_SIZE - 3;
            uint8_t* output = inImage ? image + assembler.locationCounter : scratch;
            int32_t instructionLength = 0;
            const char* message = assembleInstruction(value, p, output, &instructionLength);
            if (message != nullptr) return message;
            if (image != nullptr && !inImage) {
                for (int32_t i = 0; i < instructionLength; i++) emitByte(image, i, scratch[i]);
            }
            advanceLocation(instructionLength);
            return nullptr;
        }
        case SymbolKind::Directive: {
            int32_t count = -1;
            if (classifyToken(p, &length) == TokenClass::Number) count = convertNumber(p, 13);
            if (count < 0) return "Number is expected";
            for (int32_t i = 0; image != nullptr && i < count; i++) emitByte(image, i, 0);
            advanceLocation(count);
            return expectEndOfLine(p + length);
        }
        case SymbolKind::Free:
        case SymbolKind::Label:
        case SymbolKind::Undefined:
            // In pass 2 every name here is a Label; pass 1 writes nothing and needs no value.
            emitWord(image, kind == SymbolKind::Label ? value : 0);
            return expectEndOfLine(p);
        case SymbolKind::Register: return "Opcode is expected";
    }
    return nullptr;
}

int32_t assemblePass(char* const* lines, int32_t lineCount, int pass, uint8_t* image) {
    resetAssembler();
    int32_t errorCount = 0;
    int32_t lastOpcode = -1;
    for (; assembler.lineIndex < lineCount; assembler.lineIndex++) {
        const char* line = lines[assembler.lineIndex];
        symbolTable.overflowed = false;
        const char* message = assembleLine(line, pass, image, &lastOpcode);
        // A name that found the table full was not entered; whatever the line would have said
        // after that point, this is its error.
        if (symbolTable.overflowed) message = "Symbol table overflow";
        if (message == nullptr) continue;
        errorCount++;
        consolePrintf(Stream::Err, "*pass=%d, %s\n%7ld>%s\n", pass, message,
                      static_cast<long>(assembler.lineIndex) + 1, line);
    }
    if (errorCount == 0 && lastOpcode != END) {
        emitByte(image, 0, 0x00);
        advanceLocation(1);
    }
    return errorCount;
}

int32_t allocateUndefinedLabels(int32_t address) {
    for (SymbolEntry& entry : symbolTable.slots) {
        if (entry.kind != SymbolKind::Undefined) continue;
        consolePrintf(Stream::Err, "!!Undefined Label ... Memory allocated: %s = [%ld], Line=%ld\n",
                      entry.name, static_cast<long>(address), static_cast<long>(entry.value) + 1);
        entry.kind = SymbolKind::Label;
        entry.value = address;
        address += 2;
    }
    return address;
}
