// Host arrays: allocation, the hx* operations, and the front ends' constructors.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "frame.h"
#include "huge_pages.h"

namespace linkwork {

hxSize elementSize(hxClassID classID) {
    switch (classID) {
        case hxDOUBLE_CLASS: case hxINT64_CLASS: case hxUINT64_CLASS: return 8;
        case hxSINGLE_CLASS: case hxINT32_CLASS: case hxUINT32_CLASS: return 4;
        case hxINT16_CLASS: case hxUINT16_CLASS: return 2;
        case hxINT8_CLASS: case hxUINT8_CLASS: case hxLOGICAL_CLASS: case hxCHAR_CLASS: return 1;
        default: return 0;
    }
}

const char* className(hxClassID classID) {
    switch (classID) {
        case hxDOUBLE_CLASS: return "double";
        case hxSINGLE_CLASS: return "single";
        case hxINT8_CLASS: return "int8";
        case hxUINT8_CLASS: return "uint8";
        case hxINT16_CLASS: return "int16";
        case hxUINT16_CLASS: return "uint16";
        case hxINT32_CLASS: return "int32";
        case hxUINT32_CLASS: return "uint32";
        case hxINT64_CLASS: return "int64";
        case hxUINT64_CLASS: return "uint64";
        case hxLOGICAL_CLASS: return "logical";
        case hxCHAR_CLASS: return "char";
        default: return "unknown";
    }
}

std::string byteCount(double bytes) {
    if (bytes < 1000) return std::to_string(static_cast<unsigned>(bytes)) + " bytes";
    const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    bytes /= 1000;
    while (bytes >= 999.95 && unit < 5) bytes /= 1000, ++unit;
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
    return text;
}

void outOfMemory(const std::string& message) { throw HostError("linkwork:runtime:OutOfMemory", message); }

namespace {

// calloc checks count * size for overflow; one byte at least so that empty arrays
// still have a data pointer. Null when the memory cannot be had.
// A product beyond the address space is a failed allocation, not a request to calloc.
void* zeroedBlock(hxSize count, hxSize size) {
    count = count == 0 ? 1 : count;
    size = size == 0 ? 1 : size;
    if (count > std::numeric_limits<std::size_t>::max() / size) return nullptr;
    void* block = std::calloc(count, size);
    // A large block comes untouched from the system: advised before the module fills it.
    if (block) adviseHugePages(block, count * size);
    return block;
}

// The size is computed in floating point, so that sizes beyond the address space can
// still be named.
[[noreturn]] void arrayOutOfMemory(hxClassID classID, bool sparse, hxSize rows, hxSize cols, double elements,
                                   bool complex, bool result) {
    std::string shape = std::to_string(rows) + "-by-" + std::to_string(cols);
    if (sparse) shape += " sparse";
    double bytes = elements * static_cast<double>(elementSize(classID)) * (complex ? 2 : 1);
    if (sparse) bytes += elements * sizeof(hxIndex) + (static_cast<double>(cols) + 1) * sizeof(hxIndex);
    outOfMemory("cannot allocate " + byteCount(bytes) + " for a " + shape + (result ? " result" : " array"));
}

}  // namespace

void destroyArray(hxArray* array) noexcept {
    if (array == nullptr) return;
    if (array->borrowed) {
        delete array;
        return;
    }
    std::free(array->realData);
    std::free(array->imagData);
    std::free(array->rowIndices);
    std::free(array->columnStarts);
    delete array;
}

namespace detail {

hxArray* allocateArray(hxClassID classID, bool sparse, hxSize rows, hxSize cols, hxSize elements, bool complex,
                       bool joinFrame) {
    const auto fail = [&] { arrayOutOfMemory(classID, sparse, rows, cols, static_cast<double>(elements), complex, joinFrame); };
    ArrayPtr array(new (std::nothrow) hxArray);
    if (!array) fail();
    array->classID = classID;
    array->sparse = sparse;
    array->dims[0] = rows;
    array->dims[1] = cols;
    const hxSize size = elementSize(classID);
    if (!(array->realData = zeroedBlock(elements, size))) fail();
    if (complex && !(array->imagData = zeroedBlock(elements, size))) fail();
    if (sparse) {
        array->capacity = elements;
        if (!(array->rowIndices = static_cast<hxIndex*>(zeroedBlock(elements, sizeof(hxIndex))))) fail();
        if (cols == std::numeric_limits<hxSize>::max()) fail();
        if (!(array->columnStarts = static_cast<hxIndex*>(zeroedBlock(cols + 1, sizeof(hxIndex))))) fail();
    }
    if (joinFrame)
        if (CallFrame* frame = CallFrame::current()) frame->adopt(array.get());
    return array.release();
}

}  // namespace detail

namespace detail {

hxSize denseElements(hxClassID classID, hxSize rows, hxSize cols, bool complex, bool result) {
    if (rows != 0 && cols > std::numeric_limits<hxSize>::max() / rows)
        arrayOutOfMemory(classID, false, rows, cols, static_cast<double>(rows) * static_cast<double>(cols), complex,
                         result);
    return rows * cols;
}

}  // namespace detail

ArrayPtr makeNumeric(hxClassID classID, hxSize rows, hxSize cols, bool complex) {
    return ArrayPtr(detail::allocateArray(classID, false, rows, cols, detail::denseElements(classID, rows, cols, complex, false),
                                          complex, false));
}

ArrayPtr makeDouble(hxSize rows, hxSize cols) { return makeNumeric(hxDOUBLE_CLASS, rows, cols); }

ArrayPtr makeDoubleScalar(double value) {
    ArrayPtr array = makeDouble(1, 1);
    array->realDoubles()[0] = value;
    return array;
}

ArrayPtr makeLogicalScalar(bool value) {
    ArrayPtr array = makeNumeric(hxLOGICAL_CLASS, 1, 1);
    static_cast<std::uint8_t*>(array->realData)[0] = value ? 1 : 0;
    return array;
}

ArrayPtr makeString(const std::string& text) {
    ArrayPtr array = makeNumeric(hxCHAR_CLASS, 1, text.size());
    std::memcpy(array->realData, text.data(), text.size());
    return array;
}

ArrayPtr makeSparse(hxClassID classID, hxSize rows, hxSize cols, hxSize capacity, bool complex) {
    return ArrayPtr(detail::allocateArray(classID, true, rows, cols, capacity, complex, false));
}

namespace {

// Empty arrays of a front end may have no storage; a borrowed array still needs a
// pointer, which nobody reads.
const hxIndex kNoStorage[1] = {0};

template <class T>
T* storageOf(const T* pointer) {
    return const_cast<T*>(pointer != nullptr ? pointer : reinterpret_cast<const T*>(kNoStorage));
}

ArrayPtr borrowedHeader(hxClassID classID, bool sparse, hxSize rows, hxSize cols, const void* data) {
    ArrayPtr array(new (std::nothrow) hxArray);
    if (!array) throw std::bad_alloc();
    array->classID = classID;
    array->sparse = sparse;
    array->dims[0] = rows;
    array->dims[1] = cols;
    array->borrowed = true;
    array->realData = storageOf(data);
    return array;
}

}  // namespace

ArrayPtr borrowNumeric(hxClassID classID, hxSize rows, hxSize cols, const void* data) {
    if (data == nullptr && hxSize(rows) * cols != 0) throw std::invalid_argument("borrowed array without storage");
    return borrowedHeader(classID, false, rows, cols, data);
}

ArrayPtr borrowSparse(hxClassID classID, hxSize rows, hxSize cols, hxSize stored, const void* data,
                      const hxIndex* rowIndices, const hxIndex* columnStarts) {
    if ((columnStarts == nullptr && cols != 0) || ((data == nullptr || rowIndices == nullptr) && stored != 0))
        throw std::invalid_argument("borrowed sparse array without storage");
    ArrayPtr array = borrowedHeader(classID, true, rows, cols, data);
    array->capacity = stored;
    array->rowIndices = storageOf(rowIndices);
    array->columnStarts = storageOf(columnStarts);
    return array;
}

}  // namespace linkwork

using linkwork::detail::allocateArray;

int hxGetString_730(const hxArray* array, char* buffer, hxSize bufferLength) {
    if (buffer == nullptr || bufferLength == 0) return 1;
    buffer[0] = '\0';
    if (array == nullptr || !array->isChar() || array->sparse) return 1;
    const hxSize length = std::min(hxGetNumberOfElements(array), bufferLength - 1);
    std::memcpy(buffer, array->realData, length);
    buffer[length] = '\0';
    return 0;
}

namespace {

double elementAsDouble(hxClassID classID, const void* data, hxSize index) {
    switch (classID) {
        case hxDOUBLE_CLASS: return static_cast<const double*>(data)[index];
        case hxSINGLE_CLASS: return static_cast<const float*>(data)[index];
        case hxINT8_CLASS: return static_cast<const std::int8_t*>(data)[index];
        case hxUINT8_CLASS: return static_cast<const std::uint8_t*>(data)[index];
        case hxINT16_CLASS: return static_cast<const std::int16_t*>(data)[index];
        case hxUINT16_CLASS: return static_cast<const std::uint16_t*>(data)[index];
        case hxINT32_CLASS: return static_cast<const std::int32_t*>(data)[index];
        case hxUINT32_CLASS: return static_cast<const std::uint32_t*>(data)[index];
        case hxINT64_CLASS: return static_cast<double>(static_cast<const std::int64_t*>(data)[index]);
        case hxUINT64_CLASS: return static_cast<double>(static_cast<const std::uint64_t*>(data)[index]);
        case hxLOGICAL_CLASS: return static_cast<const std::uint8_t*>(data)[index] != 0 ? 1.0 : 0.0;
        case hxCHAR_CLASS: return static_cast<const unsigned char*>(data)[index];
        default: return 0.0;
    }
}

}  // namespace

double hxGetScalar(const hxArray* array) {
    if (array == nullptr || hxGetNumberOfElements(array) == 0) return 0.0;
    if (array->sparse) {
        if (array->columnStarts[1] == 0 || array->rowIndices[0] != 0) return 0.0;
        return elementAsDouble(array->classID, array->realData, 0);
    }
    return elementAsDouble(array->classID, array->realData, 0);
}

hxSize hxGetM(const hxArray* array) { return array->dims[0]; }
hxSize hxGetN(const hxArray* array) { return array->dims[1]; }

hxSize hxGetNumberOfElements(const hxArray* array) {
    const hxSize rows = array->dims[0], cols = array->dims[1];
    if (rows != 0 && cols > std::numeric_limits<hxSize>::max() / rows) return std::numeric_limits<hxSize>::max();
    return rows * cols;
}

bool hxIsInf(double value) { return std::isinf(value); }

hxArray* hxCreateNumericArray_730(hxSize dimensionCount, const hxSize* dimensions, hxClassID classID,
                                  hxComplexity complexity) {
    // Only two-dimensional arrays exist in this host; further dimensions must be 1.
    hxSize rows = dimensionCount > 0 ? dimensions[0] : 0;
    hxSize cols = dimensionCount > 1 ? dimensions[1] : (dimensionCount == 1 ? 1 : 0);
    for (hxSize d = 2; d < dimensionCount; ++d)
        cols = linkwork::detail::denseElements(classID, cols, dimensions[d], complexity == hxCOMPLEX, true);
    return allocateArray(classID, false, rows, cols,
                         linkwork::detail::denseElements(classID, rows, cols, complexity == hxCOMPLEX, true),
                         complexity == hxCOMPLEX, true);
}

hxArray* hxCreateSparse_730(hxSize rows, hxSize cols, hxSize capacity, hxComplexity complexity) {
    return allocateArray(hxDOUBLE_CLASS, true, rows, cols, capacity == 0 ? 1 : capacity, complexity == hxCOMPLEX, true);
}

hxArray* hxCreateLogicalScalar(bool value) {
    hxArray* array = allocateArray(hxLOGICAL_CLASS, false, 1, 1, 1, false, true);
    static_cast<std::uint8_t*>(array->realData)[0] = value ? 1 : 0;
    return array;
}

hxArray* hxCreateDoubleScalar(double value) {
    hxArray* array = allocateArray(hxDOUBLE_CLASS, false, 1, 1, 1, false, true);
    array->realDoubles()[0] = value;
    return array;
}

double hxGetInf() { return std::numeric_limits<double>::infinity(); }
double hxGetNaN() { return std::numeric_limits<double>::quiet_NaN(); }
double hxGetEps() { return DBL_EPSILON; }
