// Reading graphs and vectors from Matrix Market files into host arrays.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "linkwork/runtime.h"

namespace linkwork::cli {

// A file that cannot be read or is not what it should be. The message names the
// file and, for a malformed line, its 1-based line number ("g.mtx:7: ...").
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses a number as the command line and the vector files write it: decimal or
// exponent notation with an optional sign, or inf, -inf, nan in any case. The whole
// text must be the number.
std::optional<double> parseNumber(std::string_view text);

struct ReadOptions {
    bool showProgress = false;  // report progress on standard error while parsing
};

// A Matrix Market coordinate file (real, integer or pattern; general or symmetric)
// as a sparse array: double for real and integer files, logical for pattern files.
// Symmetric files are mirrored (the diagonal once); repeated entries are summed
// (for pattern files they stay true); row indices ascend within each column. The
// path "-" reads standard input.
ArrayPtr readGraph(const std::string& path, const ReadOptions& options = {});

// A vector as a 1-by-k double row: one value per line (blank lines and lines that
// start with % or # are skipped), or a Matrix Market array file (real or integer,
// general) whose values are taken in the file's column-major order.
ArrayPtr readVector(const std::string& path);

}  // namespace linkwork::cli
