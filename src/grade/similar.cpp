// Similarity. Two submissions are alike by the edit distance d between their instruction forms
// (engine.h's instructionForms: opcode and operand form, nothing a rename or a new constant
// changes), over the length n of the longer: similarity = (n - d) / n, listed from 90%. Only
// distances up to n / 10 matter, so the distance is computed in a band of that width around
// the diagonal and given up as soon as a whole row is beyond it: a class of 200 costs little
// beside its grading.
#include "grade/similar.h"

#include <algorithm>
#include <map>
#include <string>

namespace tavro {

void takeFingerprint(const Program& program, SubmissionResult* result) {
    result->code.assign(reinterpret_cast<const char*>(program.image.data()),
                        static_cast<size_t>(program.codeSize));
    result->forms = instructionForms(program);
}

size_t formDistance(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, size_t limit) {
    const size_t n = a.size(), m = b.size(), over = limit + 1;
    if ((n > m ? n - m : m - n) > limit) return over;
    // prev and cur are rows i-1 and i of the table; outside the band a cell is `over`.
    std::vector<size_t> prev(m + 1, over), cur(m + 1, over);
    for (size_t j = 0; j <= std::min(m, limit); j++) prev[j] = j;
    for (size_t i = 1; i <= n; i++) {
        size_t low = i > limit ? i - limit : 0, high = std::min(m, i + limit);
        size_t best = over;
        if (low == 0) {
            cur[0] = i;
            best = i;
        } else {
            cur[low - 1] = over;  // left over from two rows up
        }
        for (size_t j = std::max<size_t>(low, 1); j <= high; j++) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            size_t value = std::min({prev[j - 1] + cost, prev[j] + 1, cur[j - 1] + 1, over});
            cur[j] = value;
            best = std::min(best, value);
        }
        if (best >= over) return over;
        std::swap(prev, cur);
    }
    return std::min(prev[m], over);
}

std::vector<SimilarSet> findSimilar(const std::vector<SubmissionResult>& results) {
    std::vector<SimilarSet> sets;
    std::map<std::string, size_t> groupOf;  // machine code -> its set (size 1 at first)
    std::vector<size_t> firsts;              // the first submission of each distinct code
    for (size_t s = 0; s < results.size(); s++) {
        if (results[s].code.empty()) continue;
        auto [it, added] = groupOf.emplace(results[s].code, sets.size());
        if (added) {
            sets.push_back({{s}, Likeness::IdenticalCode, 100});
            firsts.push_back(s);
        } else {
            sets[it->second].members.push_back(s);
        }
    }
    std::erase_if(sets, [](const SimilarSet& set) { return set.members.size() < 2; });
    std::vector<SimilarSet> pairs;
    for (size_t x = 0; x < firsts.size(); x++) {
        for (size_t y = x + 1; y < firsts.size(); y++) {
            const std::vector<uint16_t>& a = results[firsts[x]].forms;
            const std::vector<uint16_t>& b = results[firsts[y]].forms;
            size_t longer = std::max(a.size(), b.size());
            if (longer == 0) continue;
            // (longer - d) / longer >= 90% exactly when d <= longer / 10, rounded down.
            size_t limit = longer * (100 - SIMILAR_PERCENT) / 100;
            size_t distance = formDistance(a, b, limit);
            if (distance > limit) continue;
            pairs.push_back({{firsts[x], firsts[y]}, Likeness::Alike,
                             (longer - distance) * 100 / longer});
        }
    }
    std::stable_sort(pairs.begin(), pairs.end(), [](const SimilarSet& p, const SimilarSet& q) {
        return p.percent > q.percent;
    });
    sets.insert(sets.end(), pairs.begin(), pairs.end());
    return sets;
}

}  // namespace tavro
