// Texts that come from submissions and suites, made safe to show in a report or on a terminal,
// and points written the way a teacher writes them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavro {

// The text in double quotes, cut after max bytes with "..."; quotes, backslashes, control
// characters and bytes that are not UTF-8 are escaped (\", \\, \t, \xNN), so that a student's
// bytes can neither move a terminal's cursor nor break a report's format.
std::string quoteText(std::string_view text, size_t max = 60);
// The text unquoted, with control characters and bytes that are not UTF-8 escaped (paths).
std::string displayText(std::string_view text);
// Points as the shortest decimal that gives them back: 2, 0.5, 1.25.
std::string formatPoints(double points);

}  // namespace tavro
