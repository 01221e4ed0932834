// Comparing a log with an expected one where some lines carry figures of the moment.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tavrel::e2e {

/// Expected lines ending in "*" match any line that starts with the text before it.
inline testing::AssertionResult matchesLines(const std::vector<std::wstring>& actual,
                                             const std::vector<std::wstring>& expected) {
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i) {
        const std::wstring& want = expected[i];
        same = (!want.empty() && want.back() == L'*')
                   ? actual[i].rfind(want.substr(0, want.size() - 1), 0) == 0
                   : actual[i] == want;
    }
    if (same) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "log " << testing::PrintToString(actual) << "\nexpected "
                                       << testing::PrintToString(expected);
}

}  // namespace tavrel::e2e
