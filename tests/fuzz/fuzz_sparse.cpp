// libFuzzer target for the runtime's sparse-array structure check: bytes become a
// sparse array (made by makeSparse or borrowed over exactly sized vectors), with a
// declared row count of any size, up to the largest hxSize, and column starts and
// row indices taken from the input, consistent or not. validateSparse must accept
// it or throw the host error "linkwork:runtime:MalformedSparseArray", and its verdict
// must match a plain reference check. The storage is exactly as long as the array
// says (cols + 1 starts, `capacity` row indices), so any read past it is a sanitizer
// report; the row count is never backed, so allocating by it trips the malloc limit.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "linkwork/runtime.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint64_t raw() {
        std::uint64_t value = 0;
        for (int k = 0; k < 8; ++k) value = value << 8 | byte();
        return value;
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }

    // Mostly small values; sometimes the ones around a bound and the extremes.
    std::uint64_t index(std::uint64_t bound) {
        const std::uint8_t kind = byte();
        switch (kind % 16) {
            case 0: return bound;
            case 1: return bound - 1;  // wraps to the largest value when bound is 0
            case 2: return bound + 1;
            case 3: return std::numeric_limits<std::uint64_t>::max();
            case 4: return std::uint64_t(1) << 63;
            case 5: return raw();
            default: return kind >> 4 | (kind & 0x10 ? byte() : 0);
        }
    }
    std::uint64_t rowCount() {
        const std::uint8_t kind = byte();
        switch (kind % 8) {
            case 0: return std::numeric_limits<hxSize>::max();
            case 1: return std::numeric_limits<hxSize>::max() - 1;
            case 2: return std::uint64_t(1) << 32;
            case 3: return raw();
            default: return kind >> 3;
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The structure rules, checked the plain way.
bool wellFormed(hxClassID classID, hxSize rows, hxSize cols, hxSize capacity, const hxIndex* starts,
                const hxIndex* rowIndices) {
    if (classID != hxDOUBLE_CLASS && classID != hxLOGICAL_CLASS) return false;
    if (starts[0] != 0) return false;
    for (hxSize j = 0; j < cols; ++j)
        if (starts[j + 1] < starts[j]) return false;
    if (starts[cols] > capacity) return false;
    for (hxSize j = 0; j < cols; ++j) {
        std::set<hxIndex> seen;
        for (hxIndex k = starts[j]; k < starts[j + 1]; ++k)
            if (rowIndices[k] >= rows || !seen.insert(rowIndices[k]).second) return false;
    }
    return true;
}

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "validateSparse: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const std::uint8_t mode = in.byte();
    const hxSize rows = in.rowCount();
    const hxSize cols = mode & 0x80 ? in.u16() : in.byte() % 16;
    const hxSize capacity = mode & 0x40 ? in.u16() % 4096 : in.byte() % 32;

    // Storage lengths are fixed before the contents are read: cols + 1 starts and
    // `capacity` row indices (and elements).
    std::vector<hxIndex> starts(cols + 1), rowIndices(capacity);
    for (auto& start : starts) start = in.index(capacity);
    for (auto& row : rowIndices) row = in.index(rows);
    std::vector<double> values(capacity, 1.0);

    linkwork::ArrayPtr array;
    hxClassID classID = hxDOUBLE_CLASS;
    switch (mode % 4) {
        case 0:
        case 1:
        case 2: {
            classID = mode % 4 == 1 ? hxLOGICAL_CLASS : hxDOUBLE_CLASS;
            array = linkwork::makeSparse(classID, rows, cols, capacity, mode % 4 == 2);
            std::memcpy(array->columnStarts, starts.data(), starts.size() * sizeof(hxIndex));
            if (capacity != 0) std::memcpy(array->rowIndices, rowIndices.data(), capacity * sizeof(hxIndex));
            break;
        }
        default:
            // Borrowed storage of any class, the class check included.
            classID = static_cast<hxClassID>(mode >> 2 & 0xf);
            array = linkwork::borrowSparse(classID, rows, cols, capacity, values.data(), rowIndices.data(),
                                           starts.data());
            break;
    }

    const bool expected = wellFormed(classID, rows, cols, capacity, starts.data(), rowIndices.data());
    bool accepted = true;
    try {
        linkwork::validateSparse(*array, "fuzz input");
    } catch (const linkwork::HostError& error) {
        if (error.identifier() != "linkwork:runtime:MalformedSparseArray") finding("unexpected host error");
        accepted = false;
    }
    if (accepted && !expected) finding("accepted a malformed array");
    if (!accepted && expected) finding("rejected a well-formed array");
    return 0;
}
