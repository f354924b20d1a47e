#include "sparse_build.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <utility>

namespace linkwork::cli {
namespace {

struct Entry {
    hxIndex row;
    double value;
    double weight;
};

// Stable, so that entries on one place are combined in input order. Most columns are
// short, and insertion sort spares them the merge sort's buffer.
void stableSortByRow(std::vector<Entry>& column) {
    const auto byRow = [](const Entry& a, const Entry& b) { return a.row < b.row; };
    if (column.size() > 32) {
        std::stable_sort(column.begin(), column.end(), byRow);
        return;
    }
    for (std::size_t k = 1; k < column.size(); ++k) {
        const Entry entry = column[k];
        std::size_t at = k;
        for (; at > 0 && byRow(entry, column[at - 1]); --at) column[at] = column[at - 1];
        column[at] = entry;
    }
}

bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

double combined(double a, double b, Combine combine) { return combine == Combine::Sum ? a + b : std::fmin(a, b); }

std::string gigabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    return text;
}

ArrayPtr allocateSparse(bool pattern, hxSize rowCount, hxSize colCount, std::size_t capacity) {
    try {
        return makeSparse(pattern ? hxLOGICAL_CLASS : hxDOUBLE_CLASS, rowCount, colCount, capacity);
    } catch (const std::bad_alloc&) {
        const double bytes = (static_cast<double>(colCount) + 1.0 + static_cast<double>(capacity)) * sizeof(hxIndex) +
                             static_cast<double>(capacity) * (pattern ? 1.0 : sizeof(double));
        throw HostError("linkwork:runtime:OutOfMemory",
                        "cannot allocate " + gigabytes(bytes) + " for a " + std::to_string(rowCount) + "-by-" +
                            std::to_string(colCount) + " sparse graph of " + std::to_string(capacity) + " entries");
    }
}

}  // namespace

Assembled assemble(hxSize rowCount, hxSize colCount, bool pattern, Triplets triplets, Combine combine) {
    const std::size_t raw = triplets.size();
    const bool weighted = !triplets.weights.empty();
    Assembled result;
    result.matrix = allocateSparse(pattern, rowCount, colCount, raw);
    hxArray& array = *result.matrix;
    hxIndex* starts = array.columnStarts;
    hxIndex* rows = array.rowIndices;
    double* values = pattern ? nullptr : array.realDoubles();
    std::vector<double> weights(weighted ? raw : 0);

    for (hxIndex col : triplets.cols) ++starts[col + 1];
    for (hxSize j = 0; j < colCount; ++j) starts[j + 1] += starts[j];
    // starts[j] runs from the column's start to its end as the column fills.
    for (std::size_t k = 0; k < raw; ++k) {
        const hxIndex at = starts[triplets.cols[k]]++;
        rows[at] = triplets.rows[k];
        if (values) values[at] = triplets.values[k];
        if (weighted) weights[at] = triplets.weights[k];
    }
    for (hxSize j = colCount; j > 0; --j) starts[j] = starts[j - 1];
    if (colCount > 0) starts[0] = 0;
    triplets = Triplets();  // free the input's copy before the columns are sorted

    std::vector<Entry> column;
    hxIndex write = 0;
    for (hxSize j = 0; j < colCount; ++j) {
        const hxIndex begin = starts[j], end = starts[j + 1];
        starts[j] = write;
        const bool ascending =
            std::adjacent_find(rows + begin, rows + end, [](hxIndex a, hxIndex b) { return a >= b; }) == rows + end;
        if (ascending) {
            for (hxIndex k = begin; k < end; ++k, ++write) {
                rows[write] = rows[k];
                if (values) values[write] = values[k];
                if (weighted) weights[write] = weights[k];
            }
            continue;
        }
        column.clear();
        for (hxIndex k = begin; k < end; ++k)
            column.push_back({rows[k], values ? values[k] : 1.0, weighted ? weights[k] : 0.0});
        stableSortByRow(column);
        for (const Entry& entry : column) {
            if (write > starts[j] && rows[write - 1] == entry.row) {
                bool differs = false;
                if (values) {
                    differs = !same(values[write - 1], entry.value);
                    values[write - 1] = combined(values[write - 1], entry.value, combine);
                }
                if (weighted) {
                    differs = differs || !same(weights[write - 1], entry.weight);
                    weights[write - 1] = combined(weights[write - 1], entry.weight, combine);
                }
                if (differs) ++result.merged;
                continue;
            }
            rows[write] = entry.row;
            if (values) values[write] = entry.value;
            if (weighted) weights[write] = entry.weight;
            ++write;
        }
    }
    starts[colCount] = write;
    if (pattern) std::fill_n(static_cast<std::uint8_t*>(array.realData), write, std::uint8_t{1});
    if (weighted) {
        result.weights = makeDouble(1, write);
        std::copy_n(weights.begin(), write, result.weights->realDoubles());
    }
    return result;
}

}  // namespace linkwork::cli
