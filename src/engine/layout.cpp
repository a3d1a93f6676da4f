// The parts of a source line and the column layout that formatting gives them: for tavro-lsp's
// hovers, completion and formatting, and the page's Format, which must agree. Formatting only
// moves blanks: a label stays in column 0, a statement keeps at least one blank before it,
// blanks around the comma of two operands are allowed there, and a comment is kept byte for
// byte. A line the assembler faults is never touched, so its message and bytes stay the same.
#include <vector>

#include "engine/engine.h"

namespace tavro {

// Where statements, operands and trailing comments start.
constexpr size_t STATEMENT_COLUMN = 8;  // after a label of up to 7
constexpr size_t MNEMONIC_WIDTH = 5;    // "COPY " : operands line up after the longest
constexpr size_t COMMENT_COLUMN = 28;   // where trailing comments start, when there is room

static std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

LineParts splitLine(std::string_view line) {
    LineParts parts;
    size_t semicolon = line.find(';');
    size_t end = semicolon == std::string_view::npos ? line.size() : semicolon;
    if (semicolon != std::string_view::npos) {
        parts.comment = line.substr(semicolon);
        parts.commentColumn = semicolon;
    }
    size_t i = 0;
    while (i < end && !isBlank(line[i])) i++;
    parts.label = line.substr(0, i);
    while (i < end && isBlank(line[i])) i++;
    size_t start = i;
    while (i < end && !isBlank(line[i])) i++;
    parts.statement = line.substr(start, i - start);
    parts.statementColumn = start;
    while (i < end && isBlank(line[i])) i++;
    parts.operands = trimBlanks(line.substr(i, end - i));
    parts.operandsColumn = i;
    return parts;
}

bool isMnemonic(std::string_view name) {
    for (const char* mnemonic : MNEMONIC_NAMES) {
        std::string_view m(mnemonic);
        if (m.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < m.size() && same; k++) {
            char c = name[k];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            same = c == m[k];
        }
        if (same) return true;
    }
    return false;
}

// "X , Y" becomes "X, Y"; an operand itself keeps its inner blanks (c( BX ) and TABLE + c(CX)
// are valid as written). END and RTN ignore the rest of their line, which stays as written.
static std::string operandText(const LineParts& parts) {
    std::string_view operands = parts.operands;
    size_t comma = operands.find(',');
    std::string word(parts.statement);
    for (char& c : word) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    bool ignoresRest = word == "END" || word == "RTN";
    if (comma == std::string_view::npos || ignoresRest) return std::string(operands);
    return std::string(trimBlanks(operands.substr(0, comma))) + ", " +
           std::string(trimBlanks(operands.substr(comma + 1)));
}

static void padTo(std::string& text, size_t column) {
    if (text.size() < column) {
        text.append(column - text.size(), ' ');
    } else if (!text.empty() && !isBlank(text.back())) {
        text += ' ';
    }
}

// The line laid out in columns; the caller formats only lines that assemble without fault.
static std::string layOutLine(std::string_view line) {
    LineParts parts = splitLine(line);
    std::string out(parts.label);
    if (!parts.statement.empty()) {
        padTo(out, STATEMENT_COLUMN);
        out += parts.statement;
        if (!parts.operands.empty()) {
            padTo(out, out.size() - parts.statement.size() + MNEMONIC_WIDTH);
            out += operandText(parts);
        }
    }
    if (!parts.comment.empty()) {
        // A comment alone on its line stays where it was written.
        if (out.empty()) {
            out = line.substr(0, parts.commentColumn);
        } else {
            padTo(out, COMMENT_COLUMN);
        }
        out += parts.comment;
    }
    while (!out.empty() && isBlank(out.back())) out.pop_back();
    return out;
}

// True when the line has a byte that formatting must not move past: a NUL (it cuts the line
// for the assembler) or a byte above 0x7f before the comment.
static bool untouchable(std::string_view line) {
    bool inComment = false;
    for (char c : line) {
        if (c == ';') inComment = true;
        if (c == '\0' || (!inComment && static_cast<unsigned char>(c) >= 0x80)) return true;
    }
    return false;
}

std::string formatSource(std::string_view text) {
    ProgramPtr assembled = assemble(text);
    const Program& program = *assembled;
    std::vector<bool> faulty(program.source.lineStarts.size() + 1, false);
    for (const Diagnostic& d : program.diagnostics) {
        if (d.line >= 1 && static_cast<size_t>(d.line) < faulty.size())
            faulty[static_cast<size_t>(d.line)] = true;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    size_t start = 0;
    size_t lineNumber = 1;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') end++;
        size_t next = end;
        if (next < text.size())
            next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;
        std::string_view line = text.substr(start, end - start);
        bool keep = (lineNumber < faulty.size() && faulty[lineNumber]) || untouchable(line);
        out += keep ? std::string(line) : layOutLine(line);
        out += text.substr(end, next - end);
        if (end == text.size()) break;
        start = next;
        lineNumber++;
    }
    return out;
}

}  // namespace tavro
