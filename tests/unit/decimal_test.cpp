// The hot path writes numbers with its own formatters; each must print what printf prints, for
// every machine word and the edges of int32_t.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "common/decimal.h"

TEST(Decimal, MatchesPrintfForEveryWord) {
    auto check = [](int32_t v) {
        char expected[32], actual[32];
        std::snprintf(expected, sizeof expected, "%d", v);
        *formatInt(actual, v) = '\0';
        ASSERT_STREQ(actual, expected);
        *formatWord(actual, v) = '\0';
        ASSERT_STREQ(actual, expected);
        std::snprintf(expected, sizeof expected, "%4d", v);
        *formatColumn4(actual, v) = '\0';
        ASSERT_STREQ(actual, expected);
    };
    for (int32_t v = -32768; v <= 32767; v++) ASSERT_NO_FATAL_FAILURE(check(v));
    for (int32_t v : {INT32_MIN, INT32_MIN + 1, -100000, -99999, 99999, 100000, INT32_MAX}) {
        check(v);
    }
}
