// A small Matrix Market reader. The whole file is mapped (or read) into memory and
// parsed in place with std::from_chars, then the entries are bucketed by column (a counting
// sort, linear in the entry count) straight into the host array's storage.
#include "matrix_market.h"

#include "sparse_build.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace linkwork::cli {
namespace {

constexpr std::size_t progressThreshold = 5u << 20;  // bytes; smaller files read in a blink

std::string displayName(const std::string& path) { return path == "-" ? "standard input" : path; }

[[noreturn]] void fail(const std::string& name, std::size_t line, const std::string& message) {
    throw InputError(line == 0 ? name + ": " + message : name + ":" + std::to_string(line) + ": " + message);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd, bool owned) : fd_(fd), owned_(owned) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (owned_ && fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
    bool owned_;
};

// A file's bytes. Regular files are mapped (no copy and no zero-filled buffer,
// which matters for files of hundreds of megabytes); pipes and standard input are
// read into memory.
class FileText {
public:
    explicit FileText(const std::string& path) {
        const std::string name = displayName(path);
        const bool fromStandardInput = path == "-";
        FileDescriptor file(fromStandardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC),
                            !fromStandardInput);
        if (file.get() < 0) fail(name, 0, std::string("cannot open: ") + std::strerror(errno));
        struct stat status {};
        if (::fstat(file.get(), &status) != 0) fail(name, 0, std::string("cannot read: ") + std::strerror(errno));
        if (S_ISDIR(status.st_mode)) fail(name, 0, "is a directory");
        if (S_ISREG(status.st_mode) && status.st_size > 0) {
            void* mapped = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, file.get(), 0);
            if (mapped != MAP_FAILED) {
                mapped_ = mapped;
                size_ = static_cast<std::size_t>(status.st_size);
                ::madvise(mapped_, size_, MADV_SEQUENTIAL);
                return;
            }
        }
        readAll(file.get(), name);
    }
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;
    ~FileText() {
        if (mapped_ != nullptr) ::munmap(mapped_, size_);
    }
    std::string_view view() const {
        return mapped_ != nullptr ? std::string_view(static_cast<const char*>(mapped_), size_) : std::string_view(buffer_);
    }

private:
    void readAll(int fd, const std::string& name) {
        buffer_.resize(std::size_t{1} << 16);
        std::size_t used = 0;
        for (;;) {
            if (used == buffer_.size()) buffer_.resize(buffer_.size() * 2);
            const ssize_t got = ::read(fd, buffer_.data() + used, buffer_.size() - used);
            if (got < 0) {
                if (errno == EINTR) continue;
                fail(name, 0, std::string("cannot read: ") + std::strerror(errno));
            }
            if (got == 0) break;
            used += static_cast<std::size_t>(got);
        }
        buffer_.resize(used);
    }

    void* mapped_ = nullptr;
    std::size_t size_ = 0;
    std::string buffer_;
};

// Progress on standard error for big files, only when it is a terminal.
class Progress {
public:
    Progress(const std::string& name, std::size_t totalBytes, bool wanted)
        : name_(name), total_(totalBytes),
          enabled_(wanted && totalBytes > progressThreshold && ::isatty(STDERR_FILENO) == 1) {}
    void update(std::size_t doneBytes) {
        if (!enabled_) return;
        const int percent = static_cast<int>(doneBytes * 100.0 / static_cast<double>(total_));
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        std::fprintf(stderr, "\rlinkwork: reading %s: %3d%%", name_.c_str(), percent);
        std::fflush(stderr);
    }
    void finish() {
        if (!enabled_) return;
        std::fprintf(stderr, "\rlinkwork: reading %s: done\n", name_.c_str());
        std::fflush(stderr);
    }

private:
    std::string name_;
    std::size_t total_;
    bool enabled_;
    int lastPercent_ = -1;
};

class Lines {
public:
    explicit Lines(std::string_view text) : text_(text), rest_(text) {}
    // The next line without its end-of-line characters; false at the end of the text.
    bool next(std::string_view& line) {
        if (rest_.empty()) return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    std::size_t number() const { return number_; }
    std::size_t consumed() const { return text_.size() - rest_.size(); }

private:
    std::string_view text_;
    std::string_view rest_;
    std::size_t number_ = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits the next blank-separated token off `line`; false when only blanks remain.
bool nextToken(std::string_view& line, std::string_view& token) {
    std::size_t begin = 0;
    while (begin < line.size() && isBlank(line[begin])) ++begin;
    if (begin == line.size()) {
        line = {};
        return false;
    }
    std::size_t end = begin;
    while (end < line.size() && !isBlank(line[end])) ++end;
    token = line.substr(begin, end - begin);
    line.remove_prefix(end);
    return true;
}

// Blank lines and % comments may stand anywhere after the header line.
bool isSkippable(std::string_view line, bool hashComments = false) {
    for (char c : line) {
        if (isBlank(c)) continue;
        return c == '%' || (hashComments && c == '#');
    }
    return true;
}

std::string quoted(std::string_view token) {
    constexpr std::size_t shown = 40;
    return "'" + std::string(token.substr(0, shown)) + (token.size() > shown ? "...'" : "'");
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::optional<std::uint64_t> parseUnsigned(std::string_view token) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return value;
}

std::optional<double> parseInteger(std::string_view token) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return static_cast<double>(value);
}

enum class Field { Real, Integer, Pattern };

struct Header {
    bool coordinate = true;
    Field field = Field::Real;
    bool symmetric = false;
};

Header readHeader(Lines& lines, const std::string& name) {
    std::string_view line;
    if (!lines.next(line)) fail(name, 0, "the file is empty (a Matrix Market file begins with a %%MatrixMarket line)");
    std::string_view token;
    std::string_view rest = line;
    if (!nextToken(rest, token) || lowered(token) != "%%matrixmarket")
        fail(name, 1, "not a Matrix Market file: the first line must begin with %%MatrixMarket");
    std::string words[4];
    for (std::string& word : words) {
        if (!nextToken(rest, token))
            fail(name, 1, "malformed header: expected '%%MatrixMarket matrix <format> <field> <symmetry>'");
        word = lowered(token);
    }
    if (nextToken(rest, token)) fail(name, 1, "malformed header: unexpected " + quoted(token) + " after the symmetry");
    Header header;
    if (words[0] != "matrix") fail(name, 1, "unsupported object " + quoted(words[0]) + " (only 'matrix')");
    if (words[1] == "array")
        header.coordinate = false;
    else if (words[1] != "coordinate")
        fail(name, 1, "unknown format " + quoted(words[1]) + " (expected 'coordinate' or 'array')");
    if (words[2] == "real" || words[2] == "double")
        header.field = Field::Real;
    else if (words[2] == "integer")
        header.field = Field::Integer;
    else if (words[2] == "pattern" && header.coordinate)
        header.field = Field::Pattern;
    else if (words[2] == "complex")
        fail(name, 1, "complex matrices are not supported (graph weights are real)");
    else
        fail(name, 1, "unsupported field " + quoted(words[2]) + " (expected 'real', 'integer' or 'pattern')");
    if (words[3] == "symmetric")
        header.symmetric = true;
    else if (words[3] == "skew-symmetric" || words[3] == "hermitian")
        fail(name, 1, "unsupported symmetry " + quoted(words[3]) + " (only 'general' and 'symmetric')");
    else if (words[3] != "general")
        fail(name, 1, "unknown symmetry " + quoted(words[3]) + " (expected 'general' or 'symmetric')");
    return header;
}

// The size line: "rows cols entries" for coordinate files, "rows cols" for arrays.
std::vector<std::uint64_t> readSizeLine(Lines& lines, const std::string& name, std::size_t expected) {
    std::string_view line;
    do {
        if (!lines.next(line)) fail(name, lines.number(), "the file ends before its size line");
    } while (isSkippable(line));
    const std::string form = expected == 3 ? "'rows columns entries'" : "'rows columns'";
    std::vector<std::uint64_t> sizes;
    std::string_view token;
    while (nextToken(line, token)) {
        const std::optional<std::uint64_t> size = parseUnsigned(token);
        if (!size) fail(name, lines.number(), "malformed size line: " + quoted(token) + " is not a count; expected " + form);
        sizes.push_back(*size);
    }
    if (sizes.size() != expected) fail(name, lines.number(), "malformed size line: expected " + form);
    return sizes;
}

// Ensures no entry line follows the last one announced.
void expectNoMoreEntries(Lines& lines, const std::string& name, std::uint64_t announced) {
    std::string_view line;
    while (lines.next(line))
        if (!isSkippable(line))
            fail(name, lines.number(), "more entries than the " + std::to_string(announced) + " the size line announces");
}

std::optional<double> parseValue(std::string_view token, Field field) {
    return field == Field::Integer ? parseInteger(token) : parseNumber(token);
}

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    const char* first = text.data();
    const char* last = first + text.size();
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (end != last) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // Beyond the double range: overflow gives an infinity and underflow zero or
        // a subnormal, as strtod rounds them.
        const std::string copy(text);
        return std::strtod(copy.c_str(), nullptr);
    }
    if (error != std::errc()) return std::nullopt;
    return value;
}

ArrayPtr readGraph(const std::string& path, const ReadOptions& options) {
    const std::string name = displayName(path);
    const FileText file(path);
    const std::string_view text = file.view();
    Lines lines(text);
    const Header header = readHeader(lines, name);
    if (!header.coordinate)
        fail(name, 1, "a graph must be a coordinate file; this is a dense 'array' file");
    const std::vector<std::uint64_t> sizes = readSizeLine(lines, name, 3);
    const std::uint64_t rowCount = sizes[0], colCount = sizes[1], count = sizes[2];
    const std::size_t sizeLine = lines.number();
    if (header.symmetric && rowCount != colCount)
        fail(name, sizeLine, "a symmetric matrix must be square, not " + std::to_string(rowCount) + "-by-" +
                                 std::to_string(colCount));
    if (colCount >= std::numeric_limits<hxSize>::max()) fail(name, sizeLine, "too many columns");

    const bool pattern = header.field == Field::Pattern;
    Triplets triplets;
    // An entry takes at least four bytes ("1 1\n"), so a bogus count cannot make the
    // reservation outgrow the file.
    const std::uint64_t expected = std::min<std::uint64_t>(count, text.size() / 4 + 1) * (header.symmetric ? 2 : 1);
    triplets.rows.reserve(expected);
    triplets.cols.reserve(expected);
    if (!pattern) triplets.values.reserve(expected);

    Progress progress(name, text.size(), options.showProgress);
    std::string_view line, token;
    for (std::uint64_t k = 0; k < count;) {
        if (!lines.next(line))
            fail(name, lines.number(), "the file ends after " + std::to_string(k) + " of the " +
                                           std::to_string(count) + " entries its size line announces");
        if (isSkippable(line)) continue;
        std::uint64_t index[2] = {0, 0};
        const std::uint64_t bound[2] = {rowCount, colCount};
        const char* what[2] = {"row", "column"};
        for (int d = 0; d < 2; ++d) {
            if (!nextToken(line, token))
                fail(name, lines.number(), std::string("too few fields: expected a ") + what[d] + " index");
            const std::optional<std::uint64_t> parsed = parseUnsigned(token);
            if (!parsed) fail(name, lines.number(), std::string(what[d]) + " index " + quoted(token) + " is not a positive integer");
            if (*parsed < 1 || *parsed > bound[d])
                fail(name, lines.number(), std::string(what[d]) + " index " + std::to_string(*parsed) +
                                               " is out of range 1.." + std::to_string(bound[d]));
            index[d] = *parsed - 1;
        }
        double value = 1.0;
        if (!pattern) {
            if (!nextToken(line, token)) fail(name, lines.number(), "too few fields: expected a value after the indices");
            const std::optional<double> parsed = parseValue(token, header.field);
            if (!parsed)
                fail(name, lines.number(), "value " + quoted(token) + " is not " +
                                               (header.field == Field::Integer ? "an integer" : "a number"));
            value = *parsed;
        }
        if (nextToken(line, token)) fail(name, lines.number(), "too many fields: unexpected " + quoted(token));
        triplets.rows.push_back(index[0]);
        triplets.cols.push_back(index[1]);
        if (!pattern) triplets.values.push_back(value);
        if (header.symmetric && index[0] != index[1]) {
            triplets.rows.push_back(index[1]);
            triplets.cols.push_back(index[0]);
            if (!pattern) triplets.values.push_back(value);
        }
        if ((++k & 0xffff) == 0) progress.update(lines.consumed());
    }
    expectNoMoreEntries(lines, name, count);
    progress.finish();
    return assemble(rowCount, colCount, pattern, std::move(triplets), Combine::Sum).matrix;
}

ArrayPtr readVector(const std::string& path) {
    const std::string name = displayName(path);
    const FileText file(path);
    const std::string_view text = file.view();
    Lines lines(text);
    std::vector<double> values;
    std::string_view line, token;
    if (lowered(text.substr(0, 14)) == "%%matrixmarket") {
        const Header header = readHeader(lines, name);
        if (header.coordinate)
            fail(name, 1, "a vector file must be a Matrix Market 'array' file or plain values, one per line");
        if (header.symmetric) fail(name, 1, "a vector file must be 'general', not 'symmetric'");
        const std::vector<std::uint64_t> sizes = readSizeLine(lines, name, 2);
        if (sizes[0] != 0 && sizes[1] > std::numeric_limits<std::uint64_t>::max() / sizes[0])
            fail(name, lines.number(), "the array is too large");
        const std::uint64_t count = sizes[0] * sizes[1];
        values.reserve(std::min<std::uint64_t>(count, text.size() / 2 + 1));
        while (values.size() < count) {
            if (!lines.next(line))
                fail(name, lines.number(), "the file ends after " + std::to_string(values.size()) + " of the " +
                                               std::to_string(count) + " values its size line announces");
            if (isSkippable(line)) continue;
            nextToken(line, token);
            const std::optional<double> value = parseValue(token, header.field);
            if (!value) fail(name, lines.number(), "value " + quoted(token) + " is not " +
                                                       (header.field == Field::Integer ? "an integer" : "a number"));
            if (nextToken(line, token)) fail(name, lines.number(), "too many fields: one value per line");
            values.push_back(*value);
        }
        expectNoMoreEntries(lines, name, count);
    } else {
        while (lines.next(line)) {
            if (isSkippable(line, true)) continue;
            nextToken(line, token);
            const std::optional<double> value = parseNumber(token);
            if (!value) fail(name, lines.number(), "value " + quoted(token) + " is not a number");
            if (nextToken(line, token)) fail(name, lines.number(), "too many fields: one value per line");
            values.push_back(*value);
        }
    }
    ArrayPtr row = makeDouble(1, values.size());
    std::copy(values.begin(), values.end(), row->realDoubles());
    return row;
}

}  // namespace linkwork::cli
