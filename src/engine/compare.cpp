// Output comparison. Both texts are split into lines that keep their line ends, so that in an
// exact comparison a missing final line end is a difference like any other; the trim mode
// drops blanks (and a CR, for suites written on Windows) at line ends and blank lines at the
// end before comparing.
#include "engine/compare.h"

#include <algorithm>
#include <vector>

#include "engine/text.h"

namespace tavro {

constexpr size_t DIFF_LINES = 5;  // lines of each side that a diff shows

static std::vector<std::string_view> splitLines(std::string_view text, Compare compare) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(start, end - start);
        if (compare == Compare::Trim) {
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r' ||
                                     line.back() == ' ' || line.back() == '\t')) {
                line.remove_suffix(1);
            }
        }
        lines.push_back(line);
        start = end;
    }
    if (compare == Compare::Trim) {
        while (!lines.empty() && lines.back().empty()) lines.pop_back();
    }
    return lines;
}

// A line for a report from byte from on: its text quoted, and a missing line end in words
// (never under trim, which drops line ends before comparing).
static std::string describeLine(const std::vector<std::string_view>& lines, size_t i, size_t from,
                                Compare compare) {
    if (i >= lines.size()) return "end of output";
    std::string_view line = lines[i];
    bool ended = !line.empty() && line.back() == '\n';
    if (ended) line.remove_suffix(1);
    std::string text = quoteText(line.substr(std::min(from, line.size())));
    if (from > 0) text.insert(1, "...");
    bool unended = compare == Compare::Exact && !ended && i + 1 == lines.size();
    return text + (unended ? " (no line end)" : "");
}

std::string outputTail(std::string_view output) {
    if (output.empty()) return "(no output)";
    if (output.back() == '\n') output.remove_suffix(1);
    // From the start of the last OUTPUT_TAIL_LINES lines, or of the last whole line within
    // OUTPUT_TAIL bytes, or OUTPUT_TAIL bytes into one long line.
    size_t start = output.size(), lines = 0;
    while (start > 0 && output.size() - start < OUTPUT_TAIL) {
        if (output[start - 1] == '\n' && ++lines == OUTPUT_TAIL_LINES) break;
        start--;
    }
    if (start > 0 && output[start - 1] != '\n') {
        size_t lineStart = output.find('\n', start);
        if (lineStart != std::string_view::npos) start = lineStart + 1;
    }
    std::string text = start > 0 ? "...\n" : "";
    output.remove_prefix(start);
    start = 0;
    while (start <= output.size()) {
        size_t end = std::min(output.find('\n', start), output.size());
        text += displayText(output.substr(start, end - start));
        if (end < output.size()) text += '\n';
        start = end + 1;
    }
    return text;
}

Difference compareOutput(std::string_view expected, std::string_view output, Compare compare,
                         bool wantDiff) {
    Difference result{true, "", ""};
    if (compare == Compare::Exact && expected == output) return result;
    std::vector<std::string_view> want = splitLines(expected, compare);
    std::vector<std::string_view> got = splitLines(output, compare);
    size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i]) i++;
    if (i == want.size() && i == got.size()) return result;
    result.equal = false;
    // A difference far into a long line is shown from a little before it.
    size_t column = 0;
    if (i < want.size() && i < got.size()) {
        while (column < want[i].size() && column < got[i].size() &&
               want[i][column] == got[i][column]) {
            column++;
        }
    }
    size_t from = column > 40 ? column - 20 : 0;
    result.detail = "line " + std::to_string(i + 1);
    if (from > 0) result.detail += ", column " + std::to_string(column + 1);
    result.detail += ": expected " + describeLine(want, i, from, compare) + ", got " +
                     describeLine(got, i, from, compare);
    if (wantDiff) {
        for (size_t k = i; k < want.size() && k < i + DIFF_LINES; k++) {
            result.diff += "-" + describeLine(want, k, 0, compare) + "\n";
        }
        for (size_t k = i; k < got.size() && k < i + DIFF_LINES; k++) {
            result.diff += "+" + describeLine(got, k, 0, compare) + "\n";
        }
    }
    return result;
}

}  // namespace tavro
