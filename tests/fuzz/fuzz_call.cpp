// libFuzzer target: decodes bytes into one module call (a code, trace level, flag and
// up to six host arrays of any class, shape and sparsity, malformed ones included)
// and runs it through the runtime. Host errors and module errors are expected
// outcomes; crashes, leaks, hangs and sanitizer reports are findings.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "linkwork/runtime.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : byte() % bound; }
    double number() {
        // Mostly small integers and halves; sometimes the special values.
        const std::uint8_t kind = byte();
        switch (kind % 16) {
            case 0: return std::numeric_limits<double>::infinity();
            case 1: return -std::numeric_limits<double>::infinity();
            case 2: return std::numeric_limits<double>::quiet_NaN();
            case 3: {
                double raw;
                std::uint8_t bits[sizeof raw];
                for (auto& b : bits) b = byte();
                std::memcpy(&raw, bits, sizeof raw);
                return raw;
            }
            case 4: return -static_cast<double>(byte()) / 4.0;
            default: return static_cast<double>(byte() % 32) / ((kind & 0x10) ? 2.0 : 1.0);
        }
    }
    bool empty() const { return at_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

const char* const codes[] = {"top", "dfs", "bfs", "dij", "isd", "ist", "spb", "bel", "spa",
                             "all", "kru", "pri", "scc", "wcc", "edm", "gol", "iso"};

linkwork::ArrayPtr denseArray(Bytes& in) {
    static const hxClassID classes[] = {hxDOUBLE_CLASS, hxSINGLE_CLASS, hxINT8_CLASS,  hxUINT8_CLASS,
                                        hxINT32_CLASS,  hxUINT64_CLASS, hxLOGICAL_CLASS, hxCHAR_CLASS};
    const hxClassID classID = classes[in.below(std::size(classes))];
    const hxSize rows = in.below(4), cols = in.below(40);
    const bool complex = classID == hxDOUBLE_CLASS && in.below(8) == 0;
    linkwork::ArrayPtr array = linkwork::makeNumeric(classID, rows, cols, complex);
    const hxSize count = rows * cols;
    for (hxSize k = 0; k < count; ++k) {
        const double x = in.number();
        switch (classID) {
            case hxDOUBLE_CLASS: array->realDoubles()[k] = x; break;
            case hxSINGLE_CLASS: static_cast<float*>(array->realData)[k] = static_cast<float>(in.byte()); break;
            default: static_cast<std::uint8_t*>(array->realData)[k] = in.byte(); break;
        }
    }
    return array;
}

linkwork::ArrayPtr sparseArray(Bytes& in, hxSize maxVertices) {
    const bool logical = in.below(4) == 0;
    const hxSize n = in.below(maxVertices);
    const hxSize cols = in.below(16) == 0 ? in.below(maxVertices) : n;  // mostly square
    const hxSize entries = in.below(1 + std::min<hxSize>(n * cols, 96));
    linkwork::ArrayPtr array = linkwork::makeSparse(logical ? hxLOGICAL_CLASS : hxDOUBLE_CLASS, n, cols, entries);
    const bool malformed = in.below(16) == 0;
    // Distribute entries over columns, then give each a row (a repeated row or an
    // out-of-range one makes the array malformed, which the runtime must reject).
    std::vector<hxIndex> perColumn(cols, 0);
    for (hxSize k = 0; k < entries && cols > 0; ++k) ++perColumn[in.below(cols)];
    hxSize k = 0;
    for (hxSize j = 0; j < cols; ++j) {
        array->columnStarts[j + 1] = array->columnStarts[j] + perColumn[j];
        std::vector<bool> used(n, false);
        for (hxIndex e = 0; e < perColumn[j]; ++e, ++k) {
            hxIndex row = n == 0 ? 0 : in.below(n);
            while (!malformed && n > 0 && used[row] && std::count(used.begin(), used.end(), false) > 0)
                row = (row + 1) % n;
            if (n > 0 && row < n) used[row] = true;
            array->rowIndices[k] = row;
            if (logical)
                static_cast<std::uint8_t*>(array->realData)[k] = in.byte() & 1;
            else
                array->realDoubles()[k] = in.number();
        }
    }
    if (malformed && cols > 0) array->columnStarts[in.below(cols + 1)] += in.below(3);
    return array;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const linkwork::Module module(linkwork::modulePath(LINKWORK_MODULE_PATH));
    static const bool quiet = [] {
        linkwork::setChannels({[](const std::string&) {}, [](const std::string&, const std::string&) {}});
        return true;
    }();
    (void)quiet;

    Bytes in(data, size);
    std::vector<linkwork::ArrayPtr> owned;
    const std::uint8_t codeByte = in.byte();
    const char* code = codeByte < 240 ? codes[codeByte % std::size(codes)] : "zz";
    owned.push_back(linkwork::makeString(code));
    // The library's isomorphism search is exponential on some regular graphs of a
    // few dozen vertices; smaller graphs keep each run within the time limit.
    const hxSize maxVertices = std::strcmp(code, "iso") == 0 ? 12 : 24;
    const std::uint8_t levelByte = in.byte();
    owned.push_back(linkwork::makeDoubleScalar(levelByte % 8 == 0 ? 1.0 : levelByte % 8 == 1 ? 2.0 : 0.0));
    owned.push_back(linkwork::makeDoubleScalar(in.below(2)));
    const std::size_t arrays = in.below(7);
    for (std::size_t a = 0; a < arrays; ++a) {
        const std::size_t kind = in.below(4);
        owned.push_back(kind == 0 ? denseArray(in) : kind == 1 ? linkwork::makeDoubleScalar(in.number()) : sparseArray(in, maxVertices));
    }
    std::vector<const hxArray*> inputs;
    for (const auto& array : owned) inputs.push_back(array.get());
    try {
        module.call(static_cast<int>(in.below(6)), inputs);
    } catch (const linkwork::HostError&) {
    } catch (const linkwork::ModuleError&) {
    }
    return 0;
}
