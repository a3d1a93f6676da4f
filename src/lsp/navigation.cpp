// Navigation and editing over labels: definition, references, rename, document symbols,
// completion, semantic tokens and formatting. A label is known by its symbol-table name (upper
// case, 7 characters), so every spelling that the assembler takes for it is found.
#include <algorithm>

#include "lsp/features.h"

namespace tavro::lsp {

// LSP SymbolKind and CompletionItemKind values used here.
constexpr int SYMBOL_FUNCTION = 12, SYMBOL_VARIABLE = 13, SYMBOL_KEY = 20;
constexpr int COMPLETION_KEYWORD = 14, COMPLETION_REFERENCE = 18, COMPLETION_CONSTANT = 21;

static Json position(const Document& document, int64_t line, int32_t column,
                     PositionEncoding encoding) {
    return {{"line", line}, {"character", toClientColumn(document, line, column, encoding)}};
}

static Json rangeOfUse(const Document& document, const SymbolUse& use, PositionEncoding encoding) {
    return {{"start", position(document, use.line - 1, use.column, encoding)},
            {"end", position(document, use.line - 1, use.column + use.length, encoding)}};
}

static Json location(const Document& document, const SymbolUse& use, PositionEncoding encoding) {
    return {{"uri", document.uri}, {"range", rangeOfUse(document, use, encoding)}};
}

Json definitionAt(const Document& document, int64_t line, int32_t column,
                  PositionEncoding encoding) {
    SymbolUse place{};
    const Symbol* symbol = symbolAt(*document.program, line, column, &place);
    if (symbol == nullptr || symbol->definition.line <= 0) return nullptr;
    return location(document, symbol->definition, encoding);
}

Json referencesAt(const Document& document, int64_t line, int32_t column, bool withDefinition,
                  PositionEncoding encoding) {
    SymbolUse place{};
    const Symbol* symbol = symbolAt(*document.program, line, column, &place);
    Json out = Json::array();
    if (symbol == nullptr) return out;
    if (withDefinition && symbol->definition.line > 0) {
        out.push_back(location(document, symbol->definition, encoding));
    }
    for (const SymbolUse& use : symbol->uses) out.push_back(location(document, use, encoding));
    return out;
}

// RANDOM, the mnemonics, the registers and RES cannot be labels.
static bool reserved(const std::string& key) {
    if (key == "RANDOM" || key == "RES" || isMnemonic(key)) return true;
    return std::any_of(std::begin(REGISTER_NAMES), std::end(REGISTER_NAMES),
                       [&](const char* r) { return key == r; });
}

static bool predefined(const Symbol& symbol) { return symbol.defined && symbol.line == 0; }

Json renameRangeAt(const Document& document, int64_t line, int32_t column,
                   PositionEncoding encoding) {
    SymbolUse place{};
    const Symbol* symbol = symbolAt(*document.program, line, column, &place);
    if (symbol == nullptr || predefined(*symbol)) return nullptr;
    std::string_view text = lineAt(document, line);
    if (static_cast<size_t>(place.column) > text.size()) return nullptr;
    std::string placeholder(
        text.substr(static_cast<size_t>(place.column), static_cast<size_t>(place.length)));
    return {{"range", rangeOfUse(document, place, encoding)}, {"placeholder", placeholder}};
}

Json renameAt(const Document& document, int64_t line, int32_t column, const std::string& newName,
              PositionEncoding encoding, std::string* refusal) {
    SymbolUse place{};
    const Symbol* symbol = symbolAt(*document.program, line, column, &place);
    if (symbol == nullptr) {
        *refusal = "Only labels can be renamed.";
        return nullptr;
    }
    if (predefined(*symbol)) {
        *refusal = symbol->name + " is predefined and cannot be renamed.";
        return nullptr;
    }
    bool valid =
        !newName.empty() && ((newName[0] | 0x20) >= 'a' && (newName[0] | 0x20) <= 'z') &&
        std::all_of(newName.begin(), newName.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        });
    if (!valid) {
        *refusal = "A name is a letter followed by letters and digits.";
        return nullptr;
    }
    std::string key;
    for (size_t i = 0; i < newName.size() && i < MAX_NAME_LENGTH; i++) {
        char c = newName[i];
        key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    if (reserved(key)) {
        *refusal = newName + " is reserved: it cannot name a label.";
        return nullptr;
    }
    for (const Symbol& other : document.program->symbols) {
        if (&other != symbol && other.name == key) {
            *refusal = newName + " would be the label " + other.name +
                       " (names count to 7 characters): choose another name.";
            return nullptr;
        }
    }
    Json edits = Json::array();
    auto edit = [&](const SymbolUse& use) {
        edits.push_back({{"range", rangeOfUse(document, use, encoding)}, {"newText", newName}});
    };
    if (symbol->definition.line > 0) edit(symbol->definition);
    for (const SymbolUse& use : symbol->uses) edit(use);
    return {{"changes", {{document.uri, edits}}}};
}

// Whether any CALL names the label: then it is a subroutine.
static bool called(const Document& document, const Symbol& symbol) {
    for (const SymbolUse& use : symbol.uses) {
        LineParts parts = splitLine(lineAt(document, use.line - 1));
        std::string word(parts.statement);
        for (char& c : word) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        if (word == "CALL") return true;
    }
    return false;
}

Json documentSymbols(const Document& document, PositionEncoding encoding) {
    std::vector<const Symbol*> defined;
    for (const Symbol& symbol : document.program->symbols) {
        if (symbol.definition.line > 0) defined.push_back(&symbol);
    }
    std::sort(defined.begin(), defined.end(), [](const Symbol* a, const Symbol* b) {
        return a->definition.line < b->definition.line;
    });
    Json out = Json::array();
    for (const Symbol* symbol : defined) {
        int64_t line = symbol->definition.line - 1;
        std::string_view text = lineAt(document, line);
        LineParts parts = splitLine(text);
        bool data = !parts.statement.empty() && !isMnemonic(parts.statement);
        int kind = called(document, *symbol) ? SYMBOL_FUNCTION
                   : data                    ? SYMBOL_VARIABLE
                                             : SYMBOL_KEY;
        Json whole = {
            {"start", position(document, line, 0, encoding)},
            {"end", position(document, line, static_cast<int32_t>(text.size()), encoding)}};
        out.push_back({{"name", std::string(parts.label)},
                       {"detail", "address " + std::to_string(symbol->value)},
                       {"kind", kind},
                       {"range", whole},
                       {"selectionRange", rangeOfUse(document, symbol->definition, encoding)}});
    }
    return out;
}

Json completionAt(const Document& document, int64_t line, int32_t column) {
    std::string_view text = lineAt(document, line);
    auto at = static_cast<size_t>(column) < text.size() ? static_cast<size_t>(column) : text.size();
    std::string_view before = text.substr(0, at);
    Json items = Json::array();
    // In a label's column or a comment, nothing fits.
    if (before.find(';') != std::string_view::npos) return items;
    size_t i = 0;
    while (i < before.size() && !isBlank(before[i])) i++;
    if (i == before.size()) return items;
    while (i < before.size() && isBlank(before[i])) i++;
    while (i < before.size() && !isBlank(before[i])) i++;
    if (i == before.size()) {
        for (const char* mnemonic : MNEMONIC_NAMES) {
            items.push_back(
                {{"label", mnemonic}, {"kind", COMPLETION_KEYWORD}, {"detail", "instruction"}});
        }
        items.push_back(
            {{"label", "RES"}, {"kind", COMPLETION_KEYWORD}, {"detail", "reserve bytes"}});
        return items;
    }
    for (const char* reg : REGISTER_NAMES) {
        items.push_back({{"label", reg}, {"kind", COMPLETION_CONSTANT}, {"detail", "register"}});
    }
    for (const Symbol& symbol : document.program->symbols) {
        std::string detail = symbol.defined ? "label, address " + std::to_string(symbol.value)
                                            : std::string("undefined name");
        items.push_back(
            {{"label", symbol.name}, {"kind", COMPLETION_REFERENCE}, {"detail", detail}});
    }
    return items;
}

// Token types and modifiers, in legend order.
constexpr int TOKEN_LABEL = 0, TOKEN_VARIABLE = 1;
constexpr int MODIFIER_DECLARATION = 1, MODIFIER_DEFAULT_LIBRARY = 2;

Json semanticTokensLegend() {
    return {{"tokenTypes", {"label", "variable"}},
            {"tokenModifiers", {"declaration", "defaultLibrary"}}};
}

Json semanticTokensOf(const Document& document, PositionEncoding encoding) {
    struct Token {
        int32_t line, column, length;
        int type, modifiers;
    };
    std::vector<Token> tokens;
    for (const Symbol& symbol : document.program->symbols) {
        int type = symbol.defined ? TOKEN_LABEL : TOKEN_VARIABLE;
        int modifiers = predefined(symbol) ? MODIFIER_DEFAULT_LIBRARY : 0;
        if (symbol.definition.line > 0) {
            tokens.push_back({symbol.definition.line - 1, symbol.definition.column,
                              symbol.definition.length, type, MODIFIER_DECLARATION});
        }
        for (const SymbolUse& use : symbol.uses) {
            tokens.push_back({use.line - 1, use.column, use.length, type, modifiers});
        }
    }
    std::sort(tokens.begin(), tokens.end(), [](const Token& a, const Token& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    std::vector<int64_t> data;
    data.reserve(tokens.size() * 5);
    int64_t lastLine = 0, lastStart = 0;
    for (const Token& token : tokens) {
        int64_t start = toClientColumn(document, token.line, token.column, encoding);
        int64_t end = toClientColumn(document, token.line, token.column + token.length, encoding);
        data.push_back(token.line - lastLine);
        data.push_back(token.line == lastLine ? start - lastStart : start);
        data.push_back(end - start);
        data.push_back(token.type);
        data.push_back(token.modifiers);
        lastLine = token.line;
        lastStart = start;
    }
    return {{"data", data}};
}

Json formattingEdits(const Document& document, PositionEncoding encoding) {
    std::string formatted = formatSource(document.text);
    Json edits = Json::array();
    // formatSource keeps every line end, so its lines pair with the document's one by one.
    size_t start = 0;
    for (size_t line = 0; line < document.lineStarts.size(); line++) {
        std::string_view old = lineAt(document, static_cast<int64_t>(line));
        size_t end = start;
        while (end < formatted.size() && formatted[end] != '\n' && formatted[end] != '\r') end++;
        std::string_view now = std::string_view(formatted).substr(start, end - start);
        if (now != old) {
            auto l = static_cast<int64_t>(line);
            edits.push_back(
                {{"range",
                  {{"start", position(document, l, 0, encoding)},
                   {"end", position(document, l, static_cast<int32_t>(old.size()), encoding)}}},
                 {"newText", std::string(now)}});
        }
        if (end < formatted.size())
            end +=
                formatted[end] == '\r' && end + 1 < formatted.size() && formatted[end + 1] == '\n'
                    ? 2
                    : 1;
        start = end;
    }
    return edits;
}

}  // namespace tavro::lsp
