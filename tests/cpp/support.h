// Helpers for driving the module through the runtime, as a front end would.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "linkwork/runtime.h"

namespace linkwork::test {

inline const double Inf = std::numeric_limits<double>::infinity();
inline const double NaN = std::numeric_limits<double>::quiet_NaN();

// One stored entry, 1-based as the host numbers vertices.
struct Entry {
    hxIndex row;
    hxIndex col;
    double value = 1.0;
};

// A square (or rows-by-cols) sparse double array from 1-based entries; entries keep
// their order within each column, so unsorted row indices can be built too.
ArrayPtr sparse(hxSize rows, hxSize cols, const std::vector<Entry>& entries);
inline ArrayPtr sparse(hxSize n, const std::vector<Entry>& entries) { return sparse(n, n, entries); }
ArrayPtr sparseLogical(hxSize n, const std::vector<Entry>& entries);
ArrayPtr row(const std::vector<double>& values);  // 1-by-k double
ArrayPtr matrix(hxSize rows, hxSize cols, const std::vector<double>& columnMajor);
inline ArrayPtr scalar(double value) { return makeDoubleScalar(value); }
inline ArrayPtr text(const std::string& s) { return makeString(s); }

// The elements of a double array, column-major.
std::vector<double> values(const hxArray* array);
// The stored entries of a sparse array as 1-based (row, col, value), in storage order.
std::vector<std::tuple<hxIndex, hxIndex, double>> triplets(const hxArray* array);

// The module, loaded once per test process.
const Module& module();

// Calls the module with the code, trace level and directed flag first.
// `arguments` are the handler inputs.
std::vector<ArrayPtr> call(const std::string& code, double traceLevel, double directed,
                           const std::vector<const hxArray*>& arguments, int outputCount = 1);

// Expects the call to raise a host error with this identifier and message.
void expectHostError(const std::string& code, double traceLevel, double directed,
                     const std::vector<const hxArray*>& arguments, const std::string& identifier,
                     const std::string& message, int outputCount = 1);

// Captures trace lines and warnings for the lifetime of the object.
class CapturedChannels {
public:
    CapturedChannels();
    ~CapturedChannels();
    std::vector<std::string> traceLines;
    std::vector<std::pair<std::string, std::string>> warnings;  // identifier, message
};

// Trace lines with the time figures replaced by "T" ("Graph copied: T seconds").
std::vector<std::string> withoutTimes(const std::vector<std::string>& lines);

// NaN-aware comparison of double vectors.
::testing::AssertionResult sameValues(const std::vector<double>& actual, const std::vector<double>& expected);

}  // namespace linkwork::test
