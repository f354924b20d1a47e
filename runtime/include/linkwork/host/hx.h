// Host array interface: the array operations the module calls.
// Implemented by the linkwork runtime (runtime/); the module only declares and calls them.
#pragma once

#include <cstddef>
#include <cstdint>

enum hxClassID : int {
    hxUNKNOWN_CLASS = 0,
    hxDOUBLE_CLASS,
    hxSINGLE_CLASS,
    hxINT8_CLASS,
    hxUINT8_CLASS,
    hxINT16_CLASS,
    hxUINT16_CLASS,
    hxINT32_CLASS,
    hxUINT32_CLASS,
    hxINT64_CLASS,
    hxUINT64_CLASS,
    hxLOGICAL_CLASS,
    hxCHAR_CLASS,
};

enum hxComplexity : int { hxREAL = 0, hxCOMPLEX = 1 };

using hxIndex = std::uint64_t;  // sparse row indices and column starts
using hxSize = std::size_t;

// The array header. Dense arrays hold rows*cols elements in column-major order in
// realData (and imagData when complex). Sparse arrays (double or logical) hold
// `capacity` element slots; columnStarts has cols + 1 entries, column j occupies
// positions columnStarts[j] .. columnStarts[j + 1] - 1, and columnStarts[cols] is
// the stored-entry count. Logical elements are one byte each (0 or 1); char
// elements are bytes of UTF-8 text.
struct hxArray_tag {
    hxClassID classID = hxUNKNOWN_CLASS;
    bool sparse = false;
    hxSize dims[2] = {0, 0};
    void* realData = nullptr;
    void* imagData = nullptr;
    hxIndex* rowIndices = nullptr;
    hxIndex* columnStarts = nullptr;
    hxSize capacity = 0;
    // The storage belongs to the front end that made the array: read-only for the
    // module, and destroying the array frees only this header.
    bool borrowed = false;

    const hxSize* get_dimensions() const { return dims; }
    hxSize rows() const { return dims[0]; }
    hxSize cols() const { return dims[1]; }
    bool isSparse() const { return sparse; }
    bool isLogical() const { return classID == hxLOGICAL_CLASS; }
    bool isDouble() const { return classID == hxDOUBLE_CLASS; }
    bool isChar() const { return classID == hxCHAR_CLASS; }
    bool isNumeric() const { return classID >= hxDOUBLE_CLASS && classID <= hxUINT64_CLASS; }
    bool isComplex() const { return isNumeric() && imagData != nullptr; }
    const double* realDoubles() const { return static_cast<const double*>(realData); }
    double* realDoubles() { return static_cast<double*>(realData); }
    const std::uint8_t* logicals() const { return static_cast<const std::uint8_t*>(realData); }
    hxSize storedCount() const { return sparse ? static_cast<hxSize>(columnStarts[dims[1]]) : 0; }
};
using hxArray = hxArray_tag;

// Copies at most bufferLength - 1 characters and a terminating NUL into buffer.
// Returns 0 on success, 1 when the array is not char (buffer then holds "").
int hxGetString_730(const hxArray* array, char* buffer, hxSize bufferLength);

// The first element as a double. An empty array gives 0.0. A logical array gives
// 0.0 or 1.0, a char array the code of its first byte; a sparse array gives
// element (1,1), which is 0.0 when nothing is stored there; a complex array gives
// its real part.
double hxGetScalar(const hxArray* array);

hxSize hxGetM(const hxArray* array);
hxSize hxGetN(const hxArray* array);
// rows * cols, saturating at SIZE_MAX (a sparse array's dimensions may be huge).
hxSize hxGetNumberOfElements(const hxArray* array);
bool hxIsInf(double value);

hxArray* hxCreateNumericArray_730(hxSize dimensionCount, const hxSize* dimensions, hxClassID classID,
                                  hxComplexity complexity);
hxArray* hxCreateSparse_730(hxSize rows, hxSize cols, hxSize capacity, hxComplexity complexity);
hxArray* hxCreateLogicalScalar(bool value);
hxArray* hxCreateDoubleScalar(double value);

double hxGetInf();
double hxGetNaN();
double hxGetEps();
