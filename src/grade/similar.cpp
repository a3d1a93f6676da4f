// Similarity. Two submissions are alike by the edit distance d between their instruction forms
// (engine.h's instructionForms: opcode and operand form, nothing a rename or a new constant
// changes), over the length n of the longer: similarity = (n - d) / n, listed from 90%. Every
// pair of a class is compared, so the distance is computed 64 cells at a time, and pairs whose
// lengths alone differ by more than n / 10 are never computed.
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

// The distance by columns of the table 64 rows at a time (Myers's bit-vector algorithm, in
// Hyyro's form for a whole sequence): for each element of b, each block of 64 elements of a
// turns its vertical differences (+1 in P, -1 in M) into the next column's, and hands the
// horizontal difference of its last row to the block below. The last row's value is
// followed from D[n][0] = n. A pair of 600 instructions then costs about 6,000 block steps.
size_t formDistance(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, size_t limit) {
    const size_t n = a.size(), m = b.size(), over = limit + 1;
    if ((n > m ? n - m : m - n) > limit) return over;
    if (n == 0 || m == 0) return std::min(std::max(n, m), over);
    const size_t blocks = (n + 63) / 64;
    // equal[block * 256 + symbol]: the rows of the block where a holds symbol.
    std::vector<uint64_t> equal(blocks * 256, 0);
    for (size_t i = 0; i < n; i++) equal[(i / 64) * 256 + (a[i] & 0xFF)] |= uint64_t{1} << (i % 64);
    std::vector<uint64_t> plus(blocks, ~uint64_t{0}), minus(blocks, 0);  // column 0: D[i][0] = i
    const uint64_t lastRow = uint64_t{1} << ((n - 1) % 64);
    size_t score = n;
    for (size_t j = 0; j < m; j++) {
        int carry = 1;  // row 0 is D[0][j] = j: +1 to the right
        for (size_t k = 0; k < blocks; k++) {
            uint64_t eq = equal[k * 256 + (b[j] & 0xFF)], pv = plus[k], mv = minus[k];
            uint64_t top = k + 1 == blocks ? lastRow : uint64_t{1} << 63;
            uint64_t carryMinus = carry < 0 ? 1 : 0, carryPlus = carry > 0 ? 1 : 0;
            uint64_t xv = eq | mv;
            eq |= carryMinus;
            uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
            uint64_t ph = mv | ~(xh | pv), mh = pv & xh;
            carry = (ph & top) != 0 ? 1 : (mh & top) != 0 ? -1 : 0;
            ph = (ph << 1) | carryPlus;
            mh = (mh << 1) | carryMinus;
            plus[k] = mh | ~(xv | ph);
            minus[k] = ph & xv;
        }
        score = carry > 0 ? score + 1 : carry < 0 ? score - 1 : score;
    }
    return std::min(score, over);
}

std::vector<SimilarSet> findSimilar(const std::vector<SubmissionResult>& results) {
    std::vector<SimilarSet> sets;
    std::map<std::string, size_t> groupOf;  // machine code -> its set (size 1 at first)
    std::vector<size_t> firsts;             // the first submission of each distinct code
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
            pairs.push_back(
                {{firsts[x], firsts[y]}, Likeness::Alike, (longer - distance) * 100 / longer});
        }
    }
    std::stable_sort(pairs.begin(), pairs.end(), [](const SimilarSet& p, const SimilarSet& q) {
        return p.percent > q.percent;
    });
    sets.insert(sets.end(), pairs.begin(), pairs.end());
    return sets;
}

}  // namespace tavro
