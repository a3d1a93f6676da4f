// The document store's text handling. The text is whatever the client sent (valid UTF-8 by
// the time JSON has carried it, though NUL bytes may be in it); columns in UTF-16 are counted
// by decoding each line's UTF-8, where a malformed byte counts as one unit, as its
// replacement character would. Every change reassembles the whole document: the assembler
// reads several megabytes a second, and a whole assembly is what gives tavro's exact messages.
#include "lsp/document.h"

namespace tavro::lsp {

static void indexLines(Document& document) {
    const std::string& text = document.text;
    document.lineStarts.clear();
    document.lineStarts.push_back(0);
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c != '\n' && c != '\r') continue;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') i++;
        document.lineStarts.push_back(i + 1);
    }
}

void assembleDocument(Document& document) {
    AssembleOptions options;
    options.keepDiagnostics = MAX_DIAGNOSTICS;
    document.program = assemble(std::string_view(document.text), options);
}

void setText(Document& document, std::string text) {
    document.text = std::move(text);
    indexLines(document);
}

std::string_view lineAt(const Document& document, int64_t line) {
    if (line < 0 || static_cast<size_t>(line) >= document.lineStarts.size()) return {};
    size_t start = document.lineStarts[static_cast<size_t>(line)];
    size_t end = static_cast<size_t>(line) + 1 < document.lineStarts.size()
                     ? document.lineStarts[static_cast<size_t>(line) + 1]
                     : document.text.size();
    std::string_view text = std::string_view(document.text).substr(start, end - start);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Bytes of the UTF-8 sequence that starts with lead (1 for a malformed or continuation byte),
// and the UTF-16 units it stands for.
static int sequenceLength(std::string_view text, size_t i, int* units) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    int length = lead < 0x80                   ? 1
                 : lead >= 0xF0 && lead < 0xF5 ? 4
                 : lead >= 0xE0                ? 3
                 : lead >= 0xC2                ? 2
                                               : 1;
    if (lead >= 0xF5) length = 1;
    for (int k = 1; k < length; k++) {
        if (i + static_cast<size_t>(k) >= text.size() ||
            (byte(i + static_cast<size_t>(k)) & 0xC0) != 0x80) {
            length = 1;
            break;
        }
    }
    *units = length == 4 ? 2 : 1;
    return length;
}

int32_t toByteColumn(const Document& document, int64_t line, int64_t character,
                     PositionEncoding encoding) {
    std::string_view text = lineAt(document, line);
    if (character <= 0) return 0;
    if (encoding == PositionEncoding::Utf8) {
        // A position inside a character stands for the character's start.
        size_t i = static_cast<size_t>(character) < text.size() ? static_cast<size_t>(character)
                                                                : text.size();
        while (i > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            i--;
        return static_cast<int32_t>(i);
    }
    int64_t units = 0;
    size_t i = 0;
    while (i < text.size() && units < character) {
        int n = 0;
        int length = sequenceLength(text, i, &n);
        // A position inside a surrogate pair stands for the character's start.
        if (units + n > character) break;
        units += n;
        i += static_cast<size_t>(length);
    }
    return static_cast<int32_t>(i);
}

int64_t toClientColumn(const Document& document, int64_t line, int32_t column,
                       PositionEncoding encoding) {
    std::string_view text = lineAt(document, line);
    size_t end = column < 0 ? 0 : static_cast<size_t>(column);
    if (end > text.size()) end = text.size();
    if (encoding == PositionEncoding::Utf8) {
        // The engine counts a byte above 0x7f as a token of its own: a range ending inside a
        // character ends after it.
        while (end > 0 && end < text.size() &&
               (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            end++;
        return static_cast<int64_t>(end);
    }
    int64_t units = 0;
    size_t i = 0;
    while (i < end) {
        int n = 0;
        i += static_cast<size_t>(sequenceLength(text, i, &n));
        units += n;
    }
    return units;
}

// The byte offset of a client position in the text.
static size_t toOffset(const Document& document, ClientPosition position,
                       PositionEncoding encoding) {
    if (position.line < 0) return 0;
    if (static_cast<size_t>(position.line) >= document.lineStarts.size())
        return document.text.size();
    size_t start = document.lineStarts[static_cast<size_t>(position.line)];
    return start +
           static_cast<size_t>(toByteColumn(document, position.line, position.character, encoding));
}

void replaceRange(Document& document, ClientPosition start, ClientPosition end,
                  std::string_view text, PositionEncoding encoding) {
    size_t from = toOffset(document, start, encoding);
    size_t to = toOffset(document, end, encoding);
    if (to < from) to = from;
    document.text.replace(from, to - from, text);
    indexLines(document);
}

}  // namespace tavro::lsp
