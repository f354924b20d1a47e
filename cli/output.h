// Printing the module's outputs, as text for people or as JSON for programs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "linkwork/runtime.h"

namespace linkwork::cli {

// The shortest text that reads back as `value` (at most 17 significant digits);
// integers below 2^53 without a decimal point or exponent; Inf, -Inf and NaN.
void appendNumber(std::string& out, double value);

struct NamedOutput {
    std::string name;
    const hxArray* array;  // null when the module left the slot empty
};

// Each output on its own; labelled "output K (name):" when there are several.
void printText(std::FILE* stream, const std::vector<NamedOutput>& outputs);

// {"code": ..., "outputs": [...]}, with Inf and NaN as the strings "Inf", "-Inf", "NaN".
void printJson(std::FILE* stream, const std::string& code, const std::vector<NamedOutput>& outputs);

}  // namespace linkwork::cli
