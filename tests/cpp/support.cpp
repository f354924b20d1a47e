#include "support.h"

#include <algorithm>
#include <regex>

namespace linkwork::test {

namespace {
ArrayPtr sparseOf(hxClassID classID, hxSize rows, hxSize cols, const std::vector<Entry>& entries) {
    ArrayPtr array = makeSparse(classID, rows, cols, entries.size());
    std::vector<Entry> ordered = entries;
    std::stable_sort(ordered.begin(), ordered.end(), [](const Entry& a, const Entry& b) { return a.col < b.col; });
    for (std::size_t k = 0; k < ordered.size(); ++k) {
        array->rowIndices[k] = ordered[k].row - 1;
        if (classID == hxLOGICAL_CLASS)
            static_cast<std::uint8_t*>(array->realData)[k] = ordered[k].value != 0.0;
        else
            array->realDoubles()[k] = ordered[k].value;
        array->columnStarts[ordered[k].col] += 1;
    }
    for (hxSize j = 0; j < cols; ++j) array->columnStarts[j + 1] += array->columnStarts[j];
    return array;
}
}  // namespace

ArrayPtr sparse(hxSize rows, hxSize cols, const std::vector<Entry>& entries) {
    return sparseOf(hxDOUBLE_CLASS, rows, cols, entries);
}
ArrayPtr sparseLogical(hxSize n, const std::vector<Entry>& entries) { return sparseOf(hxLOGICAL_CLASS, n, n, entries); }

ArrayPtr matrix(hxSize rows, hxSize cols, const std::vector<double>& columnMajor) {
    ArrayPtr array = makeDouble(rows, cols);
    std::copy(columnMajor.begin(), columnMajor.end(), array->realDoubles());
    return array;
}
ArrayPtr row(const std::vector<double>& values) { return matrix(1, values.size(), values); }

std::vector<double> values(const hxArray* array) {
    const double* data = array->realDoubles();
    return std::vector<double>(data, data + hxGetNumberOfElements(array));
}

std::vector<std::tuple<hxIndex, hxIndex, double>> triplets(const hxArray* array) {
    std::vector<std::tuple<hxIndex, hxIndex, double>> result;
    for (hxSize j = 0; j < array->cols(); ++j)
        for (hxIndex k = array->columnStarts[j]; k < array->columnStarts[j + 1]; ++k)
            result.emplace_back(array->rowIndices[k] + 1, j + 1, array->realDoubles()[k]);
    return result;
}

const Module& module() {
    static Module loaded(LINKWORK_MODULE_PATH);
    return loaded;
}

std::vector<ArrayPtr> call(const std::string& code, double traceLevel, double directed,
                           const std::vector<const hxArray*>& arguments, int outputCount) {
    ArrayPtr name = makeString(code), level = makeDoubleScalar(traceLevel), flag = makeDoubleScalar(directed);
    std::vector<const hxArray*> inputs{name.get(), level.get(), flag.get()};
    inputs.insert(inputs.end(), arguments.begin(), arguments.end());
    return module().call(outputCount, inputs);
}

void expectHostError(const std::string& code, double traceLevel, double directed,
                     const std::vector<const hxArray*>& arguments, const std::string& identifier,
                     const std::string& message, int outputCount) {
    try {
        call(code, traceLevel, directed, arguments, outputCount);
        ADD_FAILURE() << code << ": expected host error " << identifier;
    } catch (const HostError& error) {
        EXPECT_EQ(error.identifier(), identifier) << code;
        EXPECT_EQ(error.message(), message) << code;
    }
}

CapturedChannels::CapturedChannels() {
    setChannels({[this](const std::string& line) { traceLines.push_back(line); },
                 [this](const std::string& id, const std::string& message) { warnings.emplace_back(id, message); }});
}
CapturedChannels::~CapturedChannels() { setChannels({}); }

std::vector<std::string> withoutTimes(const std::vector<std::string>& lines) {
    static const std::regex time(R"(\s*\d+\.\d{3} seconds)");
    std::vector<std::string> result;
    for (const std::string& line : lines) result.push_back(std::regex_replace(line, time, " T seconds"));
    return result;
}

::testing::AssertionResult sameValues(const std::vector<double>& actual, const std::vector<double>& expected) {
    auto show = [](const std::vector<double>& v) {
        std::string s = "[";
        for (double x : v) s += " " + std::to_string(x);
        return s + " ]";
    };
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i)
        same = (std::isnan(actual[i]) && std::isnan(expected[i])) || actual[i] == expected[i];
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "actual " << show(actual) << " expected " << show(expected);
}

}  // namespace linkwork::test
