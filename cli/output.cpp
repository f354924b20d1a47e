#include "output.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace linkwork::cli {
namespace {

// Output is built in a string and written in large pieces: an N-by-N distance
// matrix can hold many millions of numbers.
class Writer {
public:
    explicit Writer(std::FILE* stream) : stream_(stream) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() { flush(); }
    std::string& text() { return text_; }
    void endLine() {
        text_ += '\n';
        if (text_.size() >= (1u << 16)) flush();
    }
    void flush() {
        if (!text_.empty()) std::fwrite(text_.data(), 1, text_.size(), stream_);
        text_.clear();
    }

private:
    std::FILE* stream_;
    std::string text_;
};

template <class Integer>
void appendInteger(std::string& out, Integer value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void appendJsonNumber(std::string& out, double value) {
    if (std::isfinite(value))
        appendNumber(out, value);
    else
        out += std::isnan(value) ? "\"NaN\"" : value > 0 ? "\"Inf\"" : "\"-Inf\"";
}

void appendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

template <class T>
const T* typed(const void* data) {
    return static_cast<const T*>(data);
}

// Integer classes print exactly, even beyond 2^53; floating classes by appendNumber.
void appendReal(std::string& out, hxClassID classID, const void* data, hxSize k, bool json) {
    const auto number = [&](double value) { json ? appendJsonNumber(out, value) : appendNumber(out, value); };
    switch (classID) {
        case hxDOUBLE_CLASS: return number(typed<double>(data)[k]);
        case hxSINGLE_CLASS: return number(typed<float>(data)[k]);
        case hxINT8_CLASS: return appendInteger(out, static_cast<int>(typed<std::int8_t>(data)[k]));
        case hxUINT8_CLASS: return appendInteger(out, static_cast<unsigned>(typed<std::uint8_t>(data)[k]));
        case hxINT16_CLASS: return appendInteger(out, typed<std::int16_t>(data)[k]);
        case hxUINT16_CLASS: return appendInteger(out, typed<std::uint16_t>(data)[k]);
        case hxINT32_CLASS: return appendInteger(out, typed<std::int32_t>(data)[k]);
        case hxUINT32_CLASS: return appendInteger(out, typed<std::uint32_t>(data)[k]);
        case hxINT64_CLASS: return appendInteger(out, typed<std::int64_t>(data)[k]);
        case hxUINT64_CLASS: return appendInteger(out, typed<std::uint64_t>(data)[k]);
        default: out += json ? "null" : "?"; return;
    }
}

// Element k of the data: column-major position for dense arrays, storage position
// for sparse ones. Complex numbers read "re+imi" as text and [re, im] in JSON.
void appendElement(std::string& out, const hxArray& array, hxSize k, bool json) {
    if (array.classID == hxLOGICAL_CLASS) {
        out += array.logicals()[k] != 0 ? "true" : "false";
        return;
    }
    if (array.imagData == nullptr) return appendReal(out, array.classID, array.realData, k, json);
    if (json) {
        out += '[';
        appendReal(out, array.classID, array.realData, k, true);
        out += ", ";
        appendReal(out, array.classID, array.imagData, k, true);
        out += ']';
        return;
    }
    appendReal(out, array.classID, array.realData, k, false);
    std::string imaginary;
    appendReal(imaginary, array.classID, array.imagData, k, false);
    if (imaginary[0] != '-') out += '+';
    out += imaginary + "i";
}

std::string charText(const hxArray& array, hxSize row) {
    std::string text;
    const char* data = static_cast<const char*>(array.realData);
    for (hxSize j = 0; j < array.cols(); ++j) text += data[row + j * array.rows()];
    return text;
}

// Outputs come from the module; a sparse one is checked before its entries are
// read, so a faulty structure cannot make the printer read past its storage.
void checkOutput(const hxArray& array, std::size_t position) {
    if (array.sparse) validateSparse(array, "output " + std::to_string(position));
}

void printArrayText(Writer& writer, const hxArray& array) {
    std::string& out = writer.text();
    if (array.sparse) {
        for (hxSize j = 0; j < array.cols(); ++j) {
            for (hxIndex p = array.columnStarts[j]; p < array.columnStarts[j + 1]; ++p) {
                appendInteger(out, array.rowIndices[p] + 1);
                out += ' ';
                appendInteger(out, static_cast<std::uint64_t>(j) + 1);
                out += ' ';
                appendElement(out, array, p, false);
                writer.endLine();
            }
        }
        return;
    }
    for (hxSize i = 0; i < array.rows(); ++i) {
        if (array.classID == hxCHAR_CLASS) {
            out += charText(array, i);
        } else {
            for (hxSize j = 0; j < array.cols(); ++j) {
                if (j > 0) out += ' ';
                appendElement(out, array, i + j * array.rows(), false);
            }
        }
        writer.endLine();
    }
}

void printArrayJson(Writer& writer, const hxArray& array) {
    std::string& out = writer.text();
    out += "\"class\": ";
    appendJsonString(out, className(array.classID));
    out += array.sparse ? ", \"sparse\": true" : ", \"sparse\": false";
    out += ", \"shape\": [";
    appendInteger(out, static_cast<std::uint64_t>(array.rows()));
    out += ", ";
    appendInteger(out, static_cast<std::uint64_t>(array.cols()));
    out += "], ";
    if (array.sparse) {
        out += "\"entries\": [";
        bool first = true;
        for (hxSize j = 0; j < array.cols(); ++j) {
            for (hxIndex p = array.columnStarts[j]; p < array.columnStarts[j + 1]; ++p) {
                out += first ? "[" : ", [";
                first = false;
                appendInteger(out, array.rowIndices[p] + 1);
                out += ", ";
                appendInteger(out, static_cast<std::uint64_t>(j) + 1);
                out += ", ";
                appendElement(out, array, p, true);
                out += ']';
                if (out.size() >= (1u << 16)) writer.flush();
            }
        }
        out += ']';
        return;
    }
    if (array.classID == hxCHAR_CLASS) {
        std::string text;
        for (hxSize i = 0; i < array.rows(); ++i) text += (i > 0 ? "\n" : "") + charText(array, i);
        out += "\"values\": ";
        appendJsonString(out, text);
        return;
    }
    out += "\"values\": [";
    for (hxSize i = 0; i < array.rows(); ++i) {
        for (hxSize j = 0; j < array.cols(); ++j) {
            if (i > 0 || j > 0) out += ", ";
            appendElement(out, array, i + j * array.rows(), true);
        }
        if (out.size() >= (1u << 16)) writer.flush();
    }
    out += ']';
}

}  // namespace

void appendNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value > 0 ? "Inf" : "-Inf";
        return;
    }
    // Vertex numbers, counts and integral weights: no exponent, even for 1e8.
    constexpr double exactIntegers = 9007199254740992.0;  // 2^53
    if (std::fabs(value) < exactIntegers && std::trunc(value) == value) {
        appendInteger(out, static_cast<std::int64_t>(value));
        return;
    }
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void printText(std::FILE* stream, const std::vector<NamedOutput>& outputs) {
    for (std::size_t k = 0; k < outputs.size(); ++k)
        if (outputs[k].array != nullptr) checkOutput(*outputs[k].array, k + 1);
    Writer writer(stream);
    const bool labelled = outputs.size() > 1;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        if (labelled) {
            writer.text() += "output " + std::to_string(k + 1) + " (" + outputs[k].name + "):";
            writer.endLine();
        }
        if (outputs[k].array == nullptr) {
            writer.text() += "(not returned)";
            writer.endLine();
            continue;
        }
        printArrayText(writer, *outputs[k].array);
    }
}

void printJson(std::FILE* stream, const std::string& code, const std::vector<NamedOutput>& outputs) {
    for (std::size_t k = 0; k < outputs.size(); ++k)
        if (outputs[k].array != nullptr) checkOutput(*outputs[k].array, k + 1);
    Writer writer(stream);
    std::string& out = writer.text();
    out += "{\"code\": ";
    appendJsonString(out, code);
    out += ", \"outputs\": [";
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        out += k == 0 ? "\n  " : ",\n  ";
        if (outputs[k].array == nullptr) {
            out += "null";
            continue;
        }
        out += "{\"name\": ";
        appendJsonString(out, outputs[k].name);
        out += ", ";
        printArrayJson(writer, *outputs[k].array);
        out += '}';
    }
    out += "\n]}";
    writer.endLine();
}

}  // namespace linkwork::cli
