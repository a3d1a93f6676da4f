// The language features over one assembled document. Each takes byte positions from the
// server, reads the Program's records and source map, and gives the protocol's JSON result
// with positions in the client's encoding.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "lsp/document.h"

namespace tavro::lsp {

using Json = nlohmann::json;

// Message text (as tavro prints it) to its one-line hint.
using Hints = std::map<std::string, std::string>;

// The hints of docs/hints.json, built into the server.
Hints loadHints();
// Diagnostic[] for the document: assembly errors, undefined labels, a program too large, and
// names that differ only after their seventh character.
Json diagnosticsOf(const Document& document, const Hints& hints, PositionEncoding encoding);
// The label named at a byte position (its definition or a use), and that place; or nullptr.
const Symbol* symbolAt(const Program& program, int64_t line, int32_t column, SymbolUse* place);
// Hover at a byte position, or null.
Json hoverAt(const Document& document, int64_t line, int32_t column, PositionEncoding encoding);
// Location of the label at a byte position, or null.
Json definitionAt(const Document& document, int64_t line, int32_t column,
                  PositionEncoding encoding);
// Location[] of every place that names the label at a byte position.
Json referencesAt(const Document& document, int64_t line, int32_t column, bool withDefinition,
                  PositionEncoding encoding);
// The range and name of the label at a byte position, for prepareRename, or null.
Json renameRangeAt(const Document& document, int64_t line, int32_t column,
                   PositionEncoding encoding);
// WorkspaceEdit renaming the label at a byte position; on refusal, null and *refusal says why.
Json renameAt(const Document& document, int64_t line, int32_t column, const std::string& newName,
              PositionEncoding encoding, std::string* refusal);
// DocumentSymbol[] of the labels defined in the document.
Json documentSymbols(const Document& document, PositionEncoding encoding);
// CompletionItem[] fitting the place: mnemonics and RES for a statement, registers and labels
// for an operand, nothing in a label's column or a comment.
Json completionAt(const Document& document, int64_t line, int32_t column);
// The semantic-token legend that semanticTokensOf uses.
Json semanticTokensLegend();
// SemanticTokens for labels and undefined names (what a grammar cannot know).
Json semanticTokensOf(const Document& document, PositionEncoding encoding);
// TextEdit[] that lay the document out in columns (only lines that change).
Json formattingEdits(const Document& document, PositionEncoding encoding);

}  // namespace tavro::lsp
