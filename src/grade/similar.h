// Similar submissions, a hint for a person and never a score: groups whose machine code is
// identical (comments, spacing and label names leave no trace in it), and pairs whose
// sequences of instruction forms are at least SIMILAR_PERCENT alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "grade/grade.h"

namespace tavro {

constexpr size_t SIMILAR_PERCENT = 90;

enum class Likeness : uint8_t { IdenticalCode, Alike };
inline constexpr const char* LIKENESS_NAMES[] = {"identical-code", "alike"};

struct SimilarSet {
    std::vector<size_t> members;  // indexes of the results, in their order
    Likeness kind;
    size_t percent;  // identical code: 100; alike: the share alike, rounded down
};

// Keeps what findSimilar compares of a submission that assembled.
void takeFingerprint(const Program& program, SubmissionResult* result);
// The edit distance (insertions, deletions, substitutions) between a and b when it is at most
// limit; limit + 1 otherwise. Elements are below 256, as instruction forms are.
size_t formDistance(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, size_t limit);
// The identical-code groups in the order of their first members, then the alike pairs, most
// alike first; an identical-code group takes part in pairs through its first member.
std::vector<SimilarSet> findSimilar(const std::vector<SubmissionResult>& results);

}  // namespace tavro
