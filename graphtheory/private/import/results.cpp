#include "import/results.h"

hxArray* createMatrix(hxSize rows, hxSize cols, double*& data) {
    const hxSize dimensions[2] = {rows, cols};
    hxArray* array = hxCreateNumericArray_730(2, dimensions, hxDOUBLE_CLASS, hxREAL);
    data = array->realDoubles();
    return array;
}

hxArray* createRow(hxSize length, double*& data) { return createMatrix(1, length, data); }

hxArray* predecessorRow(const std::vector<Vertex>& predecessor, Vertex start) {
    double* data = nullptr;
    hxArray* row = createRow(predecessor.size(), data);
    for (Vertex i = 0; i < predecessor.size(); ++i)
        data[i] = predecessor[i] != i ? static_cast<double>(predecessor[i] + 1) : i == start ? 0.0 : HostNaN;
    return row;
}

hxArray* distanceRow(const std::vector<double>& distance) {
    double* data = nullptr;
    hxArray* row = createRow(distance.size(), data);
    std::copy(distance.begin(), distance.end(), data);
    return row;
}

hxArray* countScalar(double value) { return hxCreateDoubleScalar(value); }
hxArray* testScalar(bool value) { return hxCreateLogicalScalar(value); }
