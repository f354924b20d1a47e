// Building a sparse host array from entry lists, shared by the file readers and the
// undirected fold.
#pragma once

#include <cstddef>
#include <vector>

#include "linkwork/runtime.h"

namespace linkwork::cli {

// Entries in the order they were read; 0-based indices.
struct Triplets {
    std::vector<hxIndex> rows, cols;
    std::vector<double> values;   // empty for a logical (pattern) matrix
    std::vector<double> weights;  // empty, or one custom weight per entry, kept alongside
    std::size_t size() const { return rows.size(); }
};

// How entries that land on one place are combined.
enum class Combine {
    Sum,      // repeated file entries, as Matrix Market readers do
    Lighter,  // the two triangles of an undirected graph: the smaller number wins, and a
              // number wins over NaN; logical values are or-ed
};

struct Assembled {
    ArrayPtr matrix;
    ArrayPtr weights;        // a 1-by-k double row when the triplets had weights, else null
    std::size_t merged = 0;  // entries combined into another whose value or weight differed
};

// A rowCount-by-colCount sparse array (double, or logical when `pattern`) with the
// entries bucketed by column (a counting sort, linear in the entry count), rows
// ascending, and entries on one place combined in input order, so the result is
// the same every time. The triplets are consumed.
Assembled assemble(hxSize rowCount, hxSize colCount, bool pattern, Triplets triplets, Combine combine);

}  // namespace linkwork::cli
