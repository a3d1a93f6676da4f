// Diagnostics: the engine's messages for an editor (clientDiagnostics), as the protocol carries
// them: ranges in the client's position encoding, and the hint of docs/hints.json in data.hint
// and as related information that clients show under the message.
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

static std::string hintFor(const Hints& hints, const std::string& key) {
    auto it = hints.find(key);
    return it == hints.end() ? std::string() : it->second;
}

Json diagnosticsOf(const Document& document, const Hints& hints, PositionEncoding encoding) {
    Json out = Json::array();
    for (const ClientDiagnostic& d : clientDiagnostics(*document.program)) {
        out.push_back(diagnostic(document,
                                 rangeOf(document, d.line - 1, d.column, d.length, encoding),
                                 d.severity == Severity::Error ? SEVERITY_ERROR : SEVERITY_WARNING,
                                 d.message, hintFor(hints, d.hintKey)));
    }
    return out;
}

}  // namespace tavro::lsp
