// Diagnostics: tavro's messages on the lines tavro names, as errors (assembly faults, a program
// too large) or warnings (undefined labels, and names that one label stands for because only
// seven characters count). Each carries the hint of docs/hints.json, in data.hint and as
// related information that clients show under the message.
#include <string_view>

#include "lsp/features.h"
#include "lsp/hints_data.h"

namespace tavro::lsp {

constexpr int SEVERITY_ERROR = 1;
constexpr int SEVERITY_WARNING = 2;

Hints loadHints() {
    Hints hints;
    Json json = Json::parse(HINTS_JSON, nullptr, false);
    if (!json.is_object()) return hints;
    for (auto& [message, hint] : json.items()) {
        if (hint.is_string()) hints[message] = hint.get<std::string>();
    }
    return hints;
}

// A range on a 0-based line from a byte column, length bytes long; the whole line when the
// column is not known.
static Json rangeOf(const Document& document, int64_t line, int32_t column, int32_t length,
                    PositionEncoding encoding) {
    int32_t start = column < 0 ? 0 : column;
    int32_t end =
        column < 0 ? static_cast<int32_t>(lineAt(document, line).size()) : column + length;
    return {
        {"start", {{"line", line}, {"character", toClientColumn(document, line, start, encoding)}}},
        {"end", {{"line", line}, {"character", toClientColumn(document, line, end, encoding)}}}};
}

static Json diagnostic(const Document& document, Json range, int severity,
                       const std::string& message, const std::string& hint) {
    Json d = {{"range", range}, {"severity", severity}, {"source", "tavro"}, {"message", message}};
    if (!hint.empty()) {
        d["data"] = {{"hint", hint}};
        d["relatedInformation"] = Json::array(
            {{{"location", {{"uri", document.uri}, {"range", range}}}, {"message", hint}}});
    }
    return d;
}

static std::string hintFor(const Hints& hints, const std::string& message) {
    auto it = hints.find(message);
    return it == hints.end() ? std::string() : it->second;
}

static std::string upper(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return s;
}

// The name as written at a place, upper case.
static std::string spelling(const Document& document, const SymbolUse& use) {
    std::string_view line = lineAt(document, use.line - 1);
    size_t column = static_cast<size_t>(use.column);
    if (use.column < 0 || column > line.size()) return {};
    return upper(line.substr(column, static_cast<size_t>(use.length)));
}

// Warnings for the places that spell a label differently from its first spelling: COUNTER1
// and COUNTER2 are the one label COUNTER.
static void addCollisions(const Document& document, const Symbol& symbol, const Hints& hints,
                          PositionEncoding encoding, Json& out) {
    std::vector<SymbolUse> places;
    if (symbol.definition.line > 0) places.push_back(symbol.definition);
    places.insert(places.end(), symbol.uses.begin(), symbol.uses.end());
    if (places.empty()) return;
    std::string first = spelling(document, places.front());
    for (size_t i = 1; i < places.size(); i++) {
        std::string here = spelling(document, places[i]);
        if (here == first) continue;
        std::string message = here + " and " + first + " are one label, " + symbol.name +
                              ": names count to 7 characters";
        out.push_back(diagnostic(
            document,
            rangeOf(document, places[i].line - 1, places[i].column, places[i].length, encoding),
            SEVERITY_WARNING, message, hintFor(hints, "Names count to 7 characters")));
    }
}

Json diagnosticsOf(const Document& document, const Hints& hints, PositionEncoding encoding) {
    const Program& program = document.program;
    Json out = Json::array();
    for (const Diagnostic& d : program.diagnostics) {
        std::string message = d.message;
        out.push_back(diagnostic(document,
                                 rangeOf(document, d.line - 1, d.column, d.length, encoding),
                                 SEVERITY_ERROR, message, hintFor(hints, message)));
    }
    for (const UndefinedLabel& label : program.undefinedLabels) {
        std::string message = renderUndefinedLabel(label);
        message.pop_back();  // the line end
        Json range = rangeOf(document, label.line - 1, -1, 0, encoding);
        if (const Symbol* symbol = findSymbol(program, label.name)) {
            for (const SymbolUse& use : symbol->uses) {
                if (use.line != label.line) continue;
                range = rangeOf(document, use.line - 1, use.column, use.length, encoding);
                break;
            }
        }
        out.push_back(diagnostic(document, range, SEVERITY_WARNING, message,
                                 hintFor(hints, "Undefined Label")));
    }
    if (program.tooLarge) {
        std::string message(tooLargeMessage());
        message.pop_back();
        out.push_back(diagnostic(document,
                                 rangeOf(document, program.tooLargeLine - 1, -1, 0, encoding),
                                 SEVERITY_ERROR, message, hintFor(hints, message.substr(5))));
    }
    for (const Symbol& symbol : program.symbols) addCollisions(document, symbol, hints, encoding, out);
    return out;
}

}  // namespace tavro::lsp
