// Results in tests: the value of one a test expects to succeed, and a document read back the way
// the table tests compare it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "backup/backup_document.h"
#include "base/result.h"

namespace zuv::test {

// The value of `result`; a failure fails the test with its reason and gives an empty value.
template <class T>
T Made(Result<T> result) {
    EXPECT_TRUE(result.Ok()) << result.Error();
    if (!result.Ok()) return T{};
    return std::move(result).Value();
}

// ParseRegDocument into `document`, with the reason in `error` when it fails.
inline bool ParseInto(const std::vector<unsigned char>& bytes, RegDocument& document,
                      std::string& error) {
    Result<RegDocument> parsed = ParseRegDocument(bytes);
    error = parsed ? std::string() : parsed.Error();
    document = parsed ? std::move(parsed).Value() : RegDocument{};
    return error.empty();
}

}  // namespace zuv::test
