// An open document: its text, where its lines start, and its assembly. Positions inside the
// server are byte columns, as the engine reports them; the client counts in UTF-16 code units
// unless it agreed to UTF-8, and every conversion between the two is made here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace tavro::lsp {

enum class PositionEncoding : uint8_t { Utf16, Utf8 };

// At most this many assembly messages are kept per document: a file of nothing but faults
// would otherwise flood the client.
constexpr size_t MAX_DIAGNOSTICS = 1000;

struct Document {
    std::string uri;
    int64_t version = 0;
    std::string text;
    std::vector<size_t> lineStarts;  // byte offset of each line; CR, LF and CR LF end lines
    ProgramPtr program;              // the text assembled, with its source map
};

// A place in the text as the client names it.
struct ClientPosition {
    int64_t line;       // 0-based
    int64_t character;  // code units of the negotiated encoding
};

// Replaces the whole text and indexes its lines (assembleDocument assembles it).
void setText(Document& document, std::string text);
// Replaces the text between two client positions (clamped to the text) and indexes it again.
void replaceRange(Document& document, ClientPosition start, ClientPosition end,
                  std::string_view text, PositionEncoding encoding);
// Assembles the text as it stands, keeping the source map that the features read.
void assembleDocument(Document& document);
// The 0-based line's bytes, without its line end (empty outside the text).
std::string_view lineAt(const Document& document, int64_t line);
// Byte column of a client column on a 0-based line, clamped to the line.
int32_t toByteColumn(const Document& document, int64_t line, int64_t character,
                     PositionEncoding encoding);
// Client column of a byte column on a 0-based line (clamped to the line).
int64_t toClientColumn(const Document& document, int64_t line, int32_t column,
                       PositionEncoding encoding);

}  // namespace tavro::lsp
