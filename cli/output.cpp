#include "output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace linkwork::cli {
namespace {

// Output is built in a string and written in large pieces: an N-by-N distance
// matrix can hold many millions of numbers, and one write per number would be slow.
class Writer {
public:
    explicit Writer(std::FILE* stream) : stream_(stream) { text_.reserve(chunk + 4096); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    std::string& text() { return text_; }
    void endLine() {
        text_ += '\n';
        if (text_.size() >= chunk) flush();
    }
    void flush() {
        writeChecked(stream_, text_);
        text_.clear();
    }

private:
    static constexpr std::size_t chunk = 1u << 16;
    std::FILE* stream_;
    std::string text_;
};

void appendJsonNumber(std::string& out, double value) {
    if (std::isfinite(value))
        appendNumber(out, value);
    else
        out += std::isnan(value) ? "\"NaN\"" : value > 0 ? "\"Inf\"" : "\"-Inf\"";
}

}  // namespace

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

namespace {

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

// "class": ..., "sparse": ..., "shape": [rows, cols], and the separator after them.
void appendJsonShape(std::string& out, const hxArray& array) {
    out += "\"class\": ";
    appendJsonString(out, className(array.classID));
    out += array.sparse ? ", \"sparse\": true" : ", \"sparse\": false";
    out += ", \"shape\": [";
    appendInteger(out, static_cast<std::uint64_t>(array.rows()));
    out += ", ";
    appendInteger(out, static_cast<std::uint64_t>(array.cols()));
    out += "], ";
}

void printArrayJson(Writer& writer, const hxArray& array) {
    std::string& out = writer.text();
    appendJsonShape(out, array);
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

// One figure of a summary: "least 0" in text, "least": 0 in JSON.
struct Figure {
    const char* key;
    double value;
    bool logical = false;
};

double valueAt(const hxArray& array, hxSize k) {
    switch (array.classID) {
        case hxDOUBLE_CLASS: return array.realDoubles()[k];
        case hxSINGLE_CLASS: return typed<float>(array.realData)[k];
        case hxLOGICAL_CLASS: return array.logicals()[k] != 0 ? 1.0 : 0.0;
        case hxINT8_CLASS: return typed<std::int8_t>(array.realData)[k];
        case hxUINT8_CLASS: return typed<std::uint8_t>(array.realData)[k];
        case hxINT16_CLASS: return typed<std::int16_t>(array.realData)[k];
        case hxUINT16_CLASS: return typed<std::uint16_t>(array.realData)[k];
        case hxINT32_CLASS: return typed<std::int32_t>(array.realData)[k];
        case hxUINT32_CLASS: return typed<std::uint32_t>(array.realData)[k];
        case hxINT64_CLASS: return static_cast<double>(typed<std::int64_t>(array.realData)[k]);
        case hxUINT64_CLASS: return static_cast<double>(typed<std::uint64_t>(array.realData)[k]);
        default: return std::nan("");
    }
}

hxSize elementCount(const hxArray& array) {
    return array.sparse ? array.storedCount() : array.rows() * array.cols();
}

// The least and greatest finite values, and how many there are.
std::vector<Figure> finiteRange(const hxArray& array, const char* countKey) {
    hxSize finite = 0;
    double least = std::numeric_limits<double>::infinity(), greatest = -least;
    for (hxSize k = 0, n = elementCount(array); k < n; ++k) {
        const double value = valueAt(array, k);
        if (!std::isfinite(value)) continue;
        ++finite;
        least = std::min(least, value);
        greatest = std::max(greatest, value);
    }
    std::vector<Figure> figures = {{countKey, static_cast<double>(finite)}};
    if (finite > 0) {
        figures.push_back({"least", least});
        figures.push_back({"greatest", greatest});
    }
    return figures;
}

std::vector<Figure> digestOf(const hxArray& array, Digest digest) {
    const hxSize n = elementCount(array);
    switch (digest) {
        case Digest::Value:
            if (n == 1 && !array.sparse)
                return {{"value", valueAt(array, 0), array.classID == hxLOGICAL_CLASS}};
            return {{"elements", static_cast<double>(n)}};
        case Digest::VertexList: return {{"vertices", static_cast<double>(n)}};
        case Digest::Predecessors: {
            hxSize reached = 0;
            for (hxSize k = 0; k < n; ++k) reached += std::isnan(valueAt(array, k)) ? 0 : 1;
            return {{"reached", static_cast<double>(reached)}};
        }
        case Digest::Distances: return finiteRange(array, "reached");
        case Digest::Depths: {
            std::vector<Figure> figures = finiteRange(array, "reached");
            if (figures.size() > 1) figures.erase(figures.begin() + 1);  // the least depth is the source's 0
            return figures;
        }
        case Digest::Labels: {
            std::vector<double> labels(n);
            for (hxSize k = 0; k < n; ++k) labels[k] = valueAt(array, k);
            std::sort(labels.begin(), labels.end());
            const auto distinct = std::unique(labels.begin(), labels.end()) - labels.begin();
            return {{"components", static_cast<double>(distinct)}};
        }
        case Digest::TreeWeight: {
            double total = 0.0;
            for (hxSize k = 0; k < n; ++k) total += valueAt(array, k);
            return {{"edges", static_cast<double>(n)}, {"weight", total}};
        }
        case Digest::SparseEntries: return {{"entries", static_cast<double>(n)}};
        case Digest::DistanceMatrix: return finiteRange(array, "finite");
    }
    return {};
}

std::string shapeText(const hxArray& array) {
    return std::to_string(array.rows()) + "-by-" + std::to_string(array.cols()) + " " + className(array.classID) +
           (array.sparse ? " sparse" : "");
}

void appendFigureValue(std::string& out, const Figure& figure, bool json) {
    if (figure.logical)
        out += figure.value != 0.0 ? "true" : "false";
    else if (json)
        appendJsonNumber(out, figure.value);
    else
        appendNumber(out, figure.value);
}

std::string singular(const std::string& key) {
    if (key == "vertices") return "vertex";
    if (key == "entries") return "entry";
    if (key == "components" || key == "edges" || key == "elements") return key.substr(0, key.size() - 1);
    return key;
}

// "6 reached, least 0, greatest 20": counts before their key, other figures after it.
void appendDigestText(std::string& out, const std::vector<Figure>& figures) {
    for (std::size_t k = 0; k < figures.size(); ++k) {
        const Figure& figure = figures[k];
        if (k > 0) out += ", ";
        const std::string key = figure.key;
        const bool countFirst = key != "least" && key != "greatest" && key != "value" && key != "weight";
        if (figure.logical) {
            appendFigureValue(out, figure, false);
        } else if (countFirst) {
            appendFigureValue(out, figure, false);
            out += ' ' + (figure.value == 1.0 ? singular(key) : key);
        } else {
            out += (key == "greatest" && figures[0].key == std::string("reached") && figures.size() == 2
                        ? std::string("greatest depth")
                        : key == "weight" ? std::string("total weight") : key) + ' ';
            appendFigureValue(out, figure, false);
        }
    }
}

void appendDigestJson(std::string& out, const std::vector<Figure>& figures) {
    out += "\"summary\": {";
    for (std::size_t k = 0; k < figures.size(); ++k) {
        if (k > 0) out += ", ";
        appendJsonString(out, figures[k].key);
        out += ": ";
        appendFigureValue(out, figures[k], true);
    }
    out += '}';
}

void checkOutputs(const std::vector<NamedOutput>& outputs) {
    for (std::size_t k = 0; k < outputs.size(); ++k)
        if (outputs[k].array != nullptr) checkOutput(*outputs[k].array, k + 1);
}

}  // namespace

void printText(std::FILE* stream, const std::vector<NamedOutput>& outputs, Detail detail) {
    checkOutputs(outputs);
    Writer writer(stream);
    const bool labelled = outputs.size() > 1 || detail == Detail::Summary;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        std::string& out = writer.text();
        if (labelled) out += "output " + std::to_string(k + 1) + " (" + outputs[k].name + "):";
        if (detail == Detail::Summary) {
            if (outputs[k].array == nullptr) {
                out += " not returned";
            } else {
                out += ' ' + shapeText(*outputs[k].array) + "; ";
                appendDigestText(out, digestOf(*outputs[k].array, outputs[k].digest));
            }
            writer.endLine();
            continue;
        }
        if (labelled) writer.endLine();
        if (outputs[k].array == nullptr) {
            writer.text() += "(not returned)";
            writer.endLine();
            continue;
        }
        printArrayText(writer, *outputs[k].array);
    }
    writer.flush();
}

void printJson(std::FILE* stream, const std::string& code, const std::vector<NamedOutput>& outputs, Detail detail) {
    checkOutputs(outputs);
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
        if (detail == Detail::Summary) {
            appendJsonShape(out, *outputs[k].array);
            appendDigestJson(out, digestOf(*outputs[k].array, outputs[k].digest));
        } else {
            printArrayJson(writer, *outputs[k].array);
        }
        out += '}';
    }
    out += "\n]}";
    writer.endLine();
    writer.flush();
}

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&out](unsigned char byte) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", byte);
        out += hex;
    };
    for (std::size_t k = 0; k < text.size();) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte >= 0x20 && byte < 0x7f) {
            out += text[k++];
            continue;
        }
        // A well-formed UTF-8 sequence of a printable character passes whole.
        const std::size_t length = byte >= 0xc2 && byte <= 0xdf ? 2 : byte >= 0xe0 && byte <= 0xef ? 3
                                   : byte >= 0xf0 && byte <= 0xf4                                  ? 4
                                                                                                   : 0;
        bool wellFormed = length > 0 && k + length <= text.size();
        std::uint32_t codePoint = length == 2 ? byte & 0x1f : length == 3 ? byte & 0x0f : byte & 0x07;
        for (std::size_t m = 1; wellFormed && m < length; ++m) {
            const auto next = static_cast<unsigned char>(text[k + m]);
            wellFormed = (next & 0xc0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3f);
        }
        const std::uint32_t shortest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        wellFormed = wellFormed && codePoint >= shortest && codePoint <= 0x10ffff &&
                     !(codePoint >= 0xd800 && codePoint <= 0xdfff) && !(codePoint >= 0x80 && codePoint < 0xa0);
        if (wellFormed) {
            out.append(text, k, length);
            k += length;
        } else {
            escape(byte);
            ++k;
        }
    }
    return out;
}

void writeChecked(std::FILE* stream, const std::string& text) {
    if (text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size())
        throw OutputError(std::string("cannot write the output: ") + std::strerror(errno));
}

ResultStream::ResultStream(const std::string& path) : path_(path) {
    if (path_.empty()) {
        stream_ = stdout;
        return;
    }
    struct stat status {};
    const bool exists = ::stat(path_.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) throw OutputError(path_ + ": is a directory", 2);
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or a pipe: there is nothing to replace.
        stream_ = std::fopen(path_.c_str(), "w");
        if (stream_ == nullptr) throw OutputError(path_ + ": cannot open: " + std::strerror(errno), 2);
        return;
    }
    const std::size_t slash = path_.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = directory + "." + base + ".linkwork-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw OutputError(path_ + ": cannot create: " + std::strerror(errno), 2);
    temporary_ = pattern;
    // The mode a newly created file would get, or the replaced file's own.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? status.st_mode & 07777 : 0666 & ~mask);
    stream_ = ::fdopen(fd, "w");
    if (stream_ == nullptr) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary_.c_str());
        throw OutputError(path_ + ": cannot open: " + std::strerror(error), 2);
    }
}

ResultStream::~ResultStream() {
    if (stream_ == nullptr || stream_ == stdout) return;
    std::fclose(stream_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void ResultStream::commit() {
    const std::string what = path_.empty() ? "the output" : path_;
    if (stream_ == stdout) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw OutputError("cannot write " + what + ": " + std::strerror(errno));
        return;
    }
    std::FILE* stream = stream_;
    stream_ = nullptr;
    const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    const int error = errno;
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed) {
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        throw OutputError("cannot write " + what + ": " + std::strerror(written ? errno : error));
    }
    if (!temporary_.empty() && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary_.c_str());
        throw OutputError("cannot write " + what + ": " + std::strerror(renameError));
    }
    temporary_.clear();
}

}  // namespace linkwork::cli
