// A program's messages as an editor shows them: the assembly faults on their failing token,
// the names never defined at their first use, a program too large, and the names that one label
// stands for because only seven characters count. The language server and the page both take
// them from here, so a message sits on the same characters with the same hint in both.
#include <algorithm>
#include <string>
#include <string_view>

#include "engine/engine.h"

namespace tavro {

static std::string upper(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return s;
}

// The name as written at a place, upper case.
static std::string spelling(const Program& program, const SymbolUse& use) {
    std::string_view line = lineText(program, use.line);
    size_t column = static_cast<size_t>(use.column);
    if (use.column < 0 || column > line.size()) return {};
    return upper(line.substr(column, static_cast<size_t>(use.length)));
}

// Warnings for the places that spell a label differently from its first spelling: COUNTER1
// and COUNTER2 are the one label COUNTER.
static void addCollisions(const Program& program, const Symbol& symbol,
                          std::vector<ClientDiagnostic>& out) {
    std::vector<SymbolUse> places;
    if (symbol.definition.line > 0) places.push_back(symbol.definition);
    places.insert(places.end(), symbol.uses.begin(), symbol.uses.end());
    if (places.empty()) return;
    std::string first = spelling(program, places.front());
    for (size_t i = 1; i < places.size(); i++) {
        std::string here = spelling(program, places[i]);
        if (here == first) continue;
        out.push_back({Severity::Warning, places[i].line, places[i].column, places[i].length,
                       here + " and " + first + " are one label, " + symbol.name +
                           ": names count to 7 characters",
                       "Names count to 7 characters"});
    }
}

static bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Holds a message's bytes to its line's text and to whole UTF-8 characters, so that every
// editor marks the same characters: a token missing at the end of a line marks the line's
// last character, and a byte inside a character marks the whole character.
static ClientDiagnostic fitted(const Program& program, ClientDiagnostic d) {
    if (d.column < 0) return d;
    std::string_view text = lineText(program, d.line);
    int32_t size = static_cast<int32_t>(text.size());
    int32_t start = std::min(d.column, size);
    int32_t end = std::min(d.column + std::max(d.length, 1), size);
    if (end <= start && start > 0) start = end - 1;
    while (start > 0 && isContinuation(text[static_cast<size_t>(start)])) start--;
    while (end < size && isContinuation(text[static_cast<size_t>(end)])) end++;
    d.column = start;
    d.length = end - start;
    return d;
}

std::vector<ClientDiagnostic> clientDiagnostics(const Program& program) {
    std::vector<ClientDiagnostic> out;
    for (const Diagnostic& d : program.diagnostics) {
        out.push_back({Severity::Error, d.line, d.column, d.length, d.message, d.message});
    }
    for (const UndefinedLabel& label : program.undefinedLabels) {
        std::string message = renderUndefinedLabel(label);
        message.pop_back();  // the line end
        ClientDiagnostic d{Severity::Warning, label.line, -1, 0, message, "Undefined Label"};
        if (const Symbol* symbol = findSymbol(program, label.name)) {
            for (const SymbolUse& use : symbol->uses) {
                if (use.line != label.line) continue;
                d.column = use.column;
                d.length = use.length;
                break;
            }
        }
        out.push_back(d);
    }
    if (program.tooLarge) {
        std::string message(tooLargeMessage());
        message.pop_back();
        std::string key = message.substr(5);  // without the leading " ... "
        out.push_back({Severity::Error, program.tooLargeLine, -1, 0, message, key});
    }
    for (const Symbol& symbol : program.symbols) addCollisions(program, symbol, out);
    for (ClientDiagnostic& d : out) d = fitted(program, d);
    return out;
}

}  // namespace tavro
