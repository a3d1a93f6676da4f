// Texts that come from submissions and suites, made safe to show in a report or on a terminal;
// points as exact decimals, written the way a teacher writes them; counts read strictly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavro {

// The text in double quotes, cut after max bytes with "..."; quotes, backslashes, control
// characters and bytes that are not UTF-8 are escaped (\", \\, \t, \xNN), so that a student's
// bytes can neither move a terminal's cursor nor break a report's format.
std::string quoteText(std::string_view text, size_t max = 60);
// The text unquoted, with backslashes doubled and control characters, U+FFFE, U+FFFF and bytes
// that are not UTF-8 escaped as \xNN: the one rendering of a name or path in every report,
// which two different names never share.
std::string displayText(std::string_view text);
// The text that displayText rendered as shown (\\ and \xNN undone; anything else kept).
std::string undisplayText(std::string_view shown);
// A text that was built escaped (a detail, a diff) kept as it is, but for anything a report
// cannot hold, escaped as displayText would; its backslashes are left alone.
std::string safeText(std::string_view text);
// Points, held in thousandths, as the shortest decimal: 2, 0.5, 1.25, 0.001.
std::string formatPoints(int64_t thousandths);
// The thousandths of a number of points that has at most three decimal places; false when it
// has more, or is not from 0 to 1000000000.
bool pointsFromNumber(double number, int64_t* thousandths);
// A decimal count from low to high: digits only, no sign, no blanks; false otherwise.
bool parseCount(std::string_view text, uint64_t low, uint64_t high, uint64_t* value);

}  // namespace tavro
