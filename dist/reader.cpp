// The parallel reader. Plain text files are mapped on every rank and split into byte
// ranges at line boundaries; a gzip file is inflated by rank 0 and dealt out to the
// ranks in blocks of whole lines; binary edge files are split by record. Each rank
// parses its text into entries, the entries go to their owners in one all-to-all
// exchange, and the owners sort them and sum repeats. Faults are agreed on by all
// ranks, and the one nearest the start of the file is reported, as a sequential
// reader would report it.
#include "reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "../cli/line_parsing.h"

namespace linkwork::dist {

void agreeOnFault(const World& world, const LocalFault& fault) {
    constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t key = fault.found ? fault.key : none;
    MPI_Allreduce(MPI_IN_PLACE, &key, 1, MPI_UINT64_T, MPI_MIN, MPI_COMM_WORLD);
    if (key == none) return;
    int holder = fault.found && fault.key == key ? world.rank : world.size;
    MPI_Allreduce(MPI_IN_PLACE, &holder, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    int status = fault.status;
    MPI_Bcast(&status, 1, MPI_INT, holder, MPI_COMM_WORLD);
    std::uint64_t length = fault.message.size();
    MPI_Bcast(&length, 1, MPI_UINT64_T, holder, MPI_COMM_WORLD);
    std::string message = world.rank == holder ? fault.message : std::string(length, '\0');
    MPI_Bcast(message.data(), static_cast<int>(length), MPI_CHAR, holder, MPI_COMM_WORLD);
    throw Failure(status, message);
}

namespace {

constexpr std::uint64_t noLine = 0;

// ---------------------------------------------------------------------------
// Text parsing, shared by every way a text reaches a rank.

using cli::isSkippable;
using cli::nextToken;

// Shown bytes of a token: printable ASCII as is, anything else as \xNN, so that a
// file's bytes cannot reach the terminal as control sequences.
std::string quoted(std::string_view token) {
    constexpr std::size_t shown = 40;
    std::string text = "'";
    for (std::size_t k = 0; k < token.size() && k < shown; ++k) {
        const unsigned char c = static_cast<unsigned char>(token[k]);
        if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text + (token.size() > shown ? "...'" : "'");
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

// The number parsers are the command's own, so both commands read a file alike.
using cli::parseInteger;
using cli::parseNumber;
using cli::parseUnsigned;

enum class Field : int { Real, Integer, Pattern };

// What rank 0 learns from the start of the file and every rank needs.
struct TextHeader {
    int matrixMarket = 0;  // else an edge list
    int field = static_cast<int>(Field::Real);
    int symmetric = 0;
    int pad = 0;
    std::uint64_t rows = 0, cols = 0, count = 0;
    std::uint64_t dataOffset = 0;  // where the entries begin
    std::uint64_t dataLine = 0;    // lines before dataOffset
};

class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        if (rest_.empty()) return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    std::uint64_t number() const { return number_; }
    std::size_t remaining() const { return rest_.size(); }

private:
    std::string_view rest_;
    std::uint64_t number_ = 0;
};

// Parses the banner and size line of a Matrix Market text; nullopt when `text` ends
// before the size line (the caller may have more). Faults go to `fault`.
std::optional<TextHeader> parseMatrixMarketHeader(std::string_view text, const std::string& name, bool complete,
                                                  LocalFault& fault) {
    Lines lines(text);
    const auto failAt = [&](std::uint64_t line, const std::string& message) -> std::optional<TextHeader> {
        fault.set(line, 2, name + ":" + std::to_string(line) + ": " + message);
        return TextHeader{};
    };
    std::string_view line, token;
    lines.next(line);
    std::string_view rest = line;
    nextToken(rest, token);
    std::string words[4];
    for (std::string& word : words) {
        if (!nextToken(rest, token))
            return failAt(1, "malformed header: expected '%%MatrixMarket matrix <format> <field> <symmetry>'");
        word = lowered(token);
    }
    if (nextToken(rest, token)) return failAt(1, "malformed header: unexpected " + quoted(token) + " after the symmetry");
    TextHeader header;
    header.matrixMarket = 1;
    if (words[0] != "matrix") return failAt(1, "unsupported object " + quoted(words[0]) + " (only 'matrix')");
    if (words[1] == "array") return failAt(1, "a graph must be a coordinate file; this is a dense 'array' file");
    if (words[1] != "coordinate")
        return failAt(1, "unknown format " + quoted(words[1]) + " (expected 'coordinate' or 'array')");
    if (words[2] == "real" || words[2] == "double")
        header.field = static_cast<int>(Field::Real);
    else if (words[2] == "integer")
        header.field = static_cast<int>(Field::Integer);
    else if (words[2] == "pattern")
        header.field = static_cast<int>(Field::Pattern);
    else if (words[2] == "complex")
        return failAt(1, "complex matrices are not supported (graph weights are real)");
    else
        return failAt(1, "unsupported field " + quoted(words[2]) + " (expected 'real', 'integer' or 'pattern')");
    if (words[3] == "symmetric")
        header.symmetric = 1;
    else if (words[3] == "skew-symmetric" || words[3] == "hermitian")
        return failAt(1, "unsupported symmetry " + quoted(words[3]) + " (only 'general' and 'symmetric')");
    else if (words[3] != "general")
        return failAt(1, "unknown symmetry " + quoted(words[3]) + " (expected 'general' or 'symmetric')");
    for (;;) {
        if (!lines.next(line)) {
            if (!complete) return std::nullopt;
            return failAt(lines.number(), "the file ends before its size line");
        }
        if (!isSkippable(line, false)) break;
    }
    if (!complete && lines.remaining() == 0 && text.back() != '\n') return std::nullopt;  // size line may go on
    std::vector<std::uint64_t> sizes;
    while (nextToken(line, token)) {
        const std::optional<std::uint64_t> size = parseUnsigned(token);
        if (!size)
            return failAt(lines.number(), "malformed size line: " + quoted(token) +
                                              " is not a count; expected 'rows columns entries'");
        sizes.push_back(*size);
    }
    if (sizes.size() != 3) return failAt(lines.number(), "malformed size line: expected 'rows columns entries'");
    header.rows = sizes[0];
    header.cols = sizes[1];
    header.count = sizes[2];
    if (header.symmetric && header.rows != header.cols)
        return failAt(lines.number(), "a symmetric matrix must be square, not " + std::to_string(header.rows) +
                                          "-by-" + std::to_string(header.cols));
    header.dataLine = lines.number();
    header.dataOffset = text.size() - lines.remaining();
    return header;
}

// A piece of text of whole lines and where it stands in the file.
struct Piece {
    std::string_view text;
    std::uint64_t firstLine = 1;   // line number of its first line
    std::uint64_t firstEntry = 0;  // Matrix Market: entries before it in the file
    std::uint64_t offset = 0;      // byte offset of its first byte
};

struct ParseState {
    const TextHeader* header = nullptr;
    const std::string* name = nullptr;
    bool zeroBased = false;
    std::vector<Entry> entries;
    LocalFault fault;
    // Edge lists: the field count of this rank's first entry line, and the first of
    // its lines with another count (checked against the file's first line later).
    int firstFields = 0;
    std::uint64_t firstFieldsLine = 0;
    std::uint64_t otherFieldsLine = 0;
    int otherFields = 0;
    std::uint64_t maxIndex = 0;  // edge lists: largest vertex index seen, 0-based, plus one
};

void parsePiece(const Piece& piece, ParseState& state) {
    const TextHeader& header = *state.header;
    const std::string& name = *state.name;
    const bool mm = header.matrixMarket != 0;
    const Field field = static_cast<Field>(header.field);
    std::string_view rest = piece.text;
    std::uint64_t lineNumber = piece.firstLine - 1, entryIndex = piece.firstEntry;
    const auto fail = [&](const std::string& message) {
        state.fault.set(lineNumber, 2, name + ":" + std::to_string(lineNumber) + ": " + message);
    };
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        const std::uint64_t offset = piece.offset + static_cast<std::uint64_t>(line.data() - piece.text.data());
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++lineNumber;
        if (state.fault.found) return;  // later lines cannot hold an earlier fault
        if (isSkippable(line, !mm)) continue;
        std::string_view token;
        if (mm) {
            if (entryIndex++ >= header.count) {
                fail("more entries than the " + std::to_string(header.count) + " the size line announces");
                return;
            }
            std::uint64_t index[2] = {0, 0};
            const std::uint64_t bound[2] = {header.rows, header.cols};
            const char* what[2] = {"row", "column"};
            bool bad = false;
            for (int d = 0; d < 2 && !bad; ++d) {
                if (!nextToken(line, token)) {
                    fail(std::string("too few fields: expected a ") + what[d] + " index");
                    bad = true;
                    break;
                }
                const std::optional<std::uint64_t> parsed = parseUnsigned(token);
                if (!parsed) {
                    fail(std::string(what[d]) + " index " + quoted(token) + " is not a positive integer");
                    bad = true;
                } else if (*parsed < 1 || *parsed > bound[d]) {
                    fail(std::string(what[d]) + " index " + std::to_string(*parsed) + " is out of range 1.." +
                         std::to_string(bound[d]));
                    bad = true;
                } else {
                    index[d] = *parsed - 1;
                }
            }
            if (bad) return;
            double value = 1.0;
            if (field != Field::Pattern) {
                if (!nextToken(line, token)) return fail("too few fields: expected a value after the indices");
                const std::optional<double> parsed =
                    field == Field::Integer ? parseInteger(token) : parseNumber(token);
                if (!parsed)
                    return fail("value " + quoted(token) + " is not " +
                                (field == Field::Integer ? "an integer" : "a number"));
                value = *parsed;
            }
            if (nextToken(line, token)) return fail("too many fields: unexpected " + quoted(token));
            state.entries.push_back({index[0], index[1], value, offset});
            if (header.symmetric && index[0] != index[1]) state.entries.push_back({index[1], index[0], value, offset});
            continue;
        }
        // Edge list: "u v" or "u v w".
        std::string_view tokens[4];
        int fields = 0;
        while (fields < 4 && nextToken(line, tokens[fields])) ++fields;
        if (fields < 2) return fail("too few fields: expected 'u v' or 'u v w'");
        if (fields > 3) return fail("too many fields: unexpected " + quoted(tokens[3]));
        if (state.firstFields == 0) {
            state.firstFields = fields;
            state.firstFieldsLine = lineNumber;
        } else if (fields != state.firstFields && state.otherFieldsLine == 0) {
            state.otherFieldsLine = lineNumber;
            state.otherFields = fields;
        }
        std::uint64_t index[2] = {0, 0};
        for (int d = 0; d < 2; ++d) {
            const std::optional<std::uint64_t> parsed = parseUnsigned(tokens[d]);
            if (!parsed) return fail("vertex " + quoted(tokens[d]) + " is not a non-negative integer");
            if (!state.zeroBased && *parsed == 0)
                return fail("vertex 0 in a 1-based edge list (use --zero-based for vertices numbered from 0)");
            const std::uint64_t limit = std::numeric_limits<std::uint64_t>::max() - 1;
            if (*parsed > limit) return fail("vertex " + quoted(tokens[d]) + " is too large");
            index[d] = state.zeroBased ? *parsed : *parsed - 1;
            state.maxIndex = std::max(state.maxIndex, index[d] + 1);
        }
        double value = 1.0;
        if (fields == 3) {
            const std::optional<double> parsed = parseNumber(tokens[2]);
            if (!parsed) return fail("weight " + quoted(tokens[2]) + " is not a number");
            value = *parsed;
        }
        state.entries.push_back({index[0], index[1], value, offset});
    }
}

// ---------------------------------------------------------------------------
// Files.

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

class Mapping {
public:
    Mapping(int fd, std::uint64_t size) : size_(size) {
        if (size == 0) return;
        void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) data_ = mapped;
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() {
        if (data_ != nullptr) ::munmap(data_, size_);
    }
    bool ok() const { return size_ == 0 || data_ != nullptr; }
    std::string_view view() const {
        return data_ == nullptr ? std::string_view() : std::string_view(static_cast<const char*>(data_), size_);
    }

private:
    void* data_ = nullptr;
    std::uint64_t size_;
};

enum class Kind : int { Text, Gzip, Binary };

// Every rank opens the file (a shared file system is assumed); the first rank that
// cannot is reported.
struct OpenFile {
    int fd = -1;
    std::uint64_t size = 0;
};

OpenFile openOnEveryRank(const World& world, const std::string& path) {
    LocalFault fault;
    OpenFile file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file.fd < 0) {
        fault.set(0, 2, path + ": cannot open: " + std::strerror(errno));
    } else {
        struct stat status {};
        if (::fstat(file.fd, &status) != 0)
            fault.set(0, 2, path + ": cannot read: " + std::strerror(errno));
        else if (S_ISDIR(status.st_mode))
            fault.set(0, 2, path + ": is a directory");
        else if (!S_ISREG(status.st_mode))
            fault.set(0, 2, path + ": not a regular file (pipes and standard input cannot be split between ranks)");
        else
            file.size = static_cast<std::uint64_t>(status.st_size);
    }
    if (fault.found && file.fd >= 0) {
        ::close(file.fd);
        file.fd = -1;
    }
    agreeOnFault(world, fault);
    return file;
}

bool readFully(int fd, char* data, std::uint64_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data += got;
        size -= static_cast<std::uint64_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

std::uint64_t countLines(std::string_view text) { return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n')); }

// Entry lines (Matrix Market) of a text of whole lines.
std::uint64_t countEntryLines(std::string_view text) {
    std::uint64_t count = 0;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line))
        if (!isSkippable(line, false)) ++count;
    return count;
}

// The start of the line that holds byte `at` (at > 0), or the end of the text.
std::uint64_t lineStartAfter(std::string_view text, std::uint64_t at) {
    if (at >= text.size()) return text.size();
    const std::size_t newline = text.find('\n', at - 1);
    return newline == std::string_view::npos ? text.size() : newline + 1;
}

struct Parsed {
    TextHeader header;
    ParseState state;
    std::uint64_t totalLines = 0;    // lines in the whole file
    std::uint64_t totalEntries = 0;  // Matrix Market entry lines in the whole file
    bool lastLineOpen = false;
};

void broadcastHeader(TextHeader& header) { MPI_Bcast(&header, sizeof header, MPI_BYTE, 0, MPI_COMM_WORLD); }

bool beginsWithMatrixMarket(std::string_view text) { return lowered(text.substr(0, 14)) == "%%matrixmarket"; }

void readPlainText(const World& world, const std::string& path, const OpenFile& file, const ReadOptions& options,
                   Parsed& parsed) {
    const Mapping mapping(file.fd, file.size);
    LocalFault fault;
    if (!mapping.ok()) fault.set(0, 2, path + ": cannot map the file: " + std::strerror(errno));
    agreeOnFault(world, fault);
    const std::string_view text = mapping.view();
    TextHeader& header = parsed.header;
    if (world.rank == 0) {
        const bool mm = options.format == Format::MatrixMarket ||
                        (options.format == Format::Auto && beginsWithMatrixMarket(text));
        if (mm) {
            if (text.empty())
                fault.set(0, 2, path + ": the file is empty (a Matrix Market file begins with a %%MatrixMarket line)");
            else if (!beginsWithMatrixMarket(text))
                fault.set(1, 2, path + ":1: not a Matrix Market file: the first line must begin with %%MatrixMarket");
            else if (const auto read = parseMatrixMarketHeader(text, path, true, fault))
                header = *read;
        }
    }
    agreeOnFault(world, fault);
    broadcastHeader(header);
    const std::uint64_t dataSize = text.size() - header.dataOffset;
    const std::uint64_t p = static_cast<std::uint64_t>(world.size), r = static_cast<std::uint64_t>(world.rank);
    const std::uint64_t nominalBegin = header.dataOffset + dataSize * r / p;
    const std::uint64_t nominalEnd = header.dataOffset + dataSize * (r + 1) / p;
    const std::uint64_t begin = r == 0 ? header.dataOffset : lineStartAfter(text, nominalBegin);
    const std::uint64_t end = r + 1 == p ? text.size() : lineStartAfter(text, nominalEnd);
    Piece piece;
    piece.text = begin < end ? text.substr(begin, end - begin) : std::string_view();
    piece.offset = begin;
    const std::uint64_t lines = countLines(piece.text);
    piece.firstLine = header.dataLine + sumBefore(world, lines) + 1;
    if (header.matrixMarket) {
        const std::uint64_t entries = countEntryLines(piece.text);
        piece.firstEntry = sumBefore(world, entries);
        parsed.totalEntries = sumOverRanks(entries);
    }
    parsed.totalLines = header.dataLine + sumOverRanks(lines);
    parsed.lastLineOpen = !text.empty() && text.back() != '\n';
    if (parsed.lastLineOpen && text.size() > header.dataOffset) ++parsed.totalLines;
    parsed.state.header = &header;
    parsed.state.name = &path;
    parsed.state.zeroBased = options.zeroBased;
    parsed.state.entries.reserve(piece.text.size() / 8);
    parsePiece(piece, parsed.state);
    ::madvise(const_cast<char*>(text.data()), text.size(), MADV_DONTNEED);
}

// Rank 0 inflates the file in blocks and deals whole-line blocks out in turn.
constexpr std::uint64_t gzipBlock = 8u << 20;

struct BlockHeader {
    std::uint64_t length;  // all ones: no more blocks
    std::uint64_t firstLine;
    std::uint64_t firstEntry;
    std::uint64_t offset;
};

void readGzip(const World& world, const std::string& path, const ReadOptions& options, Parsed& parsed) {
    TextHeader& header = parsed.header;
    parsed.state.header = &header;
    parsed.state.name = &path;
    parsed.state.zeroBased = options.zeroBased;
    LocalFault fault;
    gzFile gz = nullptr;
    std::string pending;  // inflated text not yet dealt out
    bool ended = false;
    const auto inflateMore = [&]() {
        const std::size_t old = pending.size();
        pending.resize(old + gzipBlock);
        const int got = gzread(gz, pending.data() + old, static_cast<unsigned>(gzipBlock));
        // A truncated stream reads as a short end with Z_BUF_ERROR set, not as an
        // error: check the state at the end too, so no lost tail passes for a whole file.
        int code = Z_OK;
        const char* message = got <= 0 ? gzerror(gz, &code) : nullptr;
        if (got < 0 || (got == 0 && code != Z_OK)) {
            fault.set(0, 2, path + ": cannot inflate: " + (message && *message ? message : "corrupt data"));
            pending.resize(old);
            ended = true;
            return;
        }
        pending.resize(old + static_cast<std::size_t>(got));
        if (got == 0) ended = true;
    };
    if (world.rank == 0) {
        gz = gzopen(path.c_str(), "rb");
        if (gz == nullptr) {
            fault.set(0, 2, path + ": cannot open: " + std::strerror(errno));
        } else {
            gzbuffer(gz, 1u << 18);
            inflateMore();
            const bool mm = options.format == Format::MatrixMarket ||
                            (options.format == Format::Auto && beginsWithMatrixMarket(pending));
            if (mm) {
                if (pending.empty())
                    fault.set(0, 2, path + ": the file is empty (a Matrix Market file begins with a %%MatrixMarket line)");
                else if (!beginsWithMatrixMarket(pending))
                    fault.set(1, 2, path + ":1: not a Matrix Market file: the first line must begin with %%MatrixMarket");
                else
                    for (;;) {
                        if (const auto read = parseMatrixMarketHeader(pending, path, ended, fault)) {
                            header = *read;
                            break;
                        }
                        if (pending.size() > (64u << 20)) {
                            fault.set(0, 2, path + ": no size line in the first 64 MB");
                            break;
                        }
                        inflateMore();
                    }
            }
        }
    }
    const auto closeGz = [&] {
        if (gz != nullptr) gzclose(gz);
        gz = nullptr;
    };
    try {
        agreeOnFault(world, fault);
    } catch (...) {
        closeGz();
        throw;
    }
    broadcastHeader(header);
    if (world.rank == 0) {
        pending.erase(0, header.dataOffset);
        std::uint64_t line = header.dataLine + 1, entry = 0, offset = header.dataOffset;
        std::uint64_t block = 0;
        for (;;) {
            while (!ended && pending.size() < gzipBlock) inflateMore();
            if (pending.empty()) break;
            std::size_t cut = pending.size();
            if (!ended) {
                const std::size_t newline = pending.rfind('\n');
                cut = newline == std::string::npos ? pending.size() : newline + 1;
            }
            Piece piece;
            piece.text = std::string_view(pending).substr(0, cut);
            piece.firstLine = line;
            piece.firstEntry = entry;
            piece.offset = offset;
            const std::uint64_t lines = countLines(piece.text);
            const std::uint64_t entries = header.matrixMarket ? countEntryLines(piece.text) : 0;
            const int target = static_cast<int>(block++ % static_cast<std::uint64_t>(world.size));
            if (target == 0) {
                parsePiece(piece, parsed.state);
            } else {
                const BlockHeader message{piece.text.size(), line, entry, offset};
                MPI_Send(&message, sizeof message, MPI_BYTE, target, 1, MPI_COMM_WORLD);
                MPI_Send(piece.text.data(), static_cast<int>(piece.text.size()), MPI_CHAR, target, 2, MPI_COMM_WORLD);
            }
            line += lines;
            entry += entries;
            offset += cut;
            parsed.lastLineOpen = piece.text.back() != '\n';
            pending.erase(0, cut);
        }
        closeGz();
        parsed.totalLines = line - 1 + (parsed.lastLineOpen ? 1 : 0);
        parsed.totalEntries = entry;
        const BlockHeader done{~std::uint64_t{0}, 0, 0, 0};
        for (int r = 1; r < world.size; ++r) MPI_Send(&done, sizeof done, MPI_BYTE, r, 1, MPI_COMM_WORLD);
    } else {
        std::string text;
        for (;;) {
            BlockHeader message{};
            MPI_Recv(&message, sizeof message, MPI_BYTE, 0, 1, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            if (message.length == ~std::uint64_t{0}) break;
            text.resize(message.length);
            MPI_Recv(text.data(), static_cast<int>(message.length), MPI_CHAR, 0, 2, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            Piece piece{text, message.firstLine, message.firstEntry, message.offset};
            parsePiece(piece, parsed.state);
        }
    }
    MPI_Bcast(&parsed.totalLines, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
    MPI_Bcast(&parsed.totalEntries, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
    agreeOnFault(world, fault);  // a stream that would not inflate to its end
}

// Checks what only the whole file can tell: the entry count of a Matrix Market file,
// and for edge lists that every line has the field count of the file's first.
void checkWholeText(const World& world, const std::string& path, Parsed& parsed) {
    ParseState& state = parsed.state;
    if (!parsed.header.matrixMarket) {
        // The file's first entry line: the smallest first line over the ranks.
        std::uint64_t first = state.firstFields ? state.firstFieldsLine : std::numeric_limits<std::uint64_t>::max();
        MPI_Allreduce(MPI_IN_PLACE, &first, 1, MPI_UINT64_T, MPI_MIN, MPI_COMM_WORLD);
        int fields = state.firstFields != 0 && state.firstFieldsLine == first ? state.firstFields : 0;
        MPI_Allreduce(MPI_IN_PLACE, &fields, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
        const auto mismatch = [&](std::uint64_t line, int count) {
            state.fault.set(line, 2, path + ":" + std::to_string(line) + ": " + std::to_string(count) +
                                         " fields where the first line has " + std::to_string(fields) +
                                         " (every line is 'u v' or every line is 'u v w')");
        };
        if (state.firstFields != 0 && state.firstFields != fields) mismatch(state.firstFieldsLine, state.firstFields);
        else if (state.otherFieldsLine != 0) mismatch(state.otherFieldsLine, state.otherFields);
        parsed.header.field = static_cast<int>(fields == 3 ? Field::Real : Field::Pattern);
    }
    agreeOnFault(world, state.fault);
    if (parsed.header.matrixMarket && parsed.totalEntries < parsed.header.count) {
        throw Failure(2, path + ":" + std::to_string(parsed.totalLines) + ": the file ends after " +
                             std::to_string(parsed.totalEntries) + " of the " + std::to_string(parsed.header.count) +
                             " entries its size line announces");
    }
}

// ---------------------------------------------------------------------------
// Binary edge files.

struct BinaryHeader {
    bool weighted = false;
    std::uint64_t n = 0, m = 0;
};

void readBinary(const World& world, const std::string& path, const OpenFile& file, Parsed& parsed, BinaryHeader& info) {
    LocalFault fault;
    unsigned char raw[binaryHeaderSize] = {};
    if (file.size < binaryHeaderSize || !readFully(file.fd, reinterpret_cast<char*>(raw), binaryHeaderSize, 0)) {
        fault.set(0, 2, path + ": a binary edge file is at least 64 bytes long");
    } else {
        const auto word = [&](int k) {
            std::uint64_t value = 0;
            for (int b = 7; b >= 0; --b) value = (value << 8) | raw[k * 8 + b];
            return value;
        };
        const std::uint64_t flags = word(1);
        info.weighted = (flags & 1) != 0;
        info.n = word(2);
        info.m = word(3);
        const std::uint64_t record = info.weighted ? 24 : 16;
        if (flags > 1)
            fault.set(0, 2, path + ": unknown flags in the binary header");
        else if (info.m > (file.size - binaryHeaderSize) / record ||
                 file.size - binaryHeaderSize != info.m * record)
            fault.set(0, 2, path + ": the header announces " + std::to_string(info.m) + " records of " +
                                std::to_string(record) + " bytes, but the file holds " +
                                std::to_string(file.size - binaryHeaderSize) + " bytes after its header");
    }
    agreeOnFault(world, fault);
    const std::uint64_t record = info.weighted ? 24 : 16;
    const std::uint64_t p = static_cast<std::uint64_t>(world.size), r = static_cast<std::uint64_t>(world.rank);
    // Split by record count; m * r fits: m is bounded by the file size.
    const std::uint64_t first = static_cast<std::uint64_t>((static_cast<unsigned __int128>(info.m) * r) / p);
    const std::uint64_t last = static_cast<std::uint64_t>((static_cast<unsigned __int128>(info.m) * (r + 1)) / p);
    std::vector<Entry>& entries = parsed.state.entries;
    entries.reserve(last - first);
    constexpr std::uint64_t chunkRecords = 1u << 16;
    std::vector<unsigned char> buffer(chunkRecords * record);
    for (std::uint64_t k = first; k < last && !fault.found;) {
        const std::uint64_t take = std::min(chunkRecords, last - k);
        if (!readFully(file.fd, reinterpret_cast<char*>(buffer.data()), take * record,
                       binaryHeaderSize + k * record)) {
            fault.set(k + 1, 2, path + ": cannot read record " + std::to_string(k + 1));
            break;
        }
        for (std::uint64_t t = 0; t < take; ++t) {
            const unsigned char* at = buffer.data() + t * record;
            std::uint64_t row = 0, col = 0;
            for (int b = 7; b >= 0; --b) row = (row << 8) | at[b];
            for (int b = 7; b >= 0; --b) col = (col << 8) | at[8 + b];
            double value = 1.0;
            if (info.weighted) {
                std::uint64_t bits = 0;
                for (int b = 7; b >= 0; --b) bits = (bits << 8) | at[16 + b];
                std::memcpy(&value, &bits, sizeof value);
            }
            if (row >= info.n || col >= info.n) {
                fault.set(k + t + 1, 2, path + ": record " + std::to_string(k + t + 1) + ": vertex " +
                                            std::to_string(std::max(row, col)) + " (0-based) is out of range 0.." +
                                            std::to_string(info.n == 0 ? 0 : info.n - 1));
                break;
            }
            entries.push_back({row, col, value, k + t});
        }
        k += take;
    }
    agreeOnFault(world, fault);
    parsed.header.rows = parsed.header.cols = info.n;
    parsed.header.field = static_cast<int>(info.weighted ? Field::Real : Field::Pattern);
}

// ---------------------------------------------------------------------------
// Routing to owners, then sorting and summing.

bool before(const Entry& a, const Entry& b) {
    if (a.row != b.row) return a.row < b.row;
    if (a.col != b.col) return a.col < b.col;
    return a.order < b.order;
}

}  // namespace

LocalGraph readGraph(const World& world, const std::string& path, const ReadOptions& options, Routing routing) {
    const OpenFile file = openOnEveryRank(world, path);
    const FileDescriptor closer(file.fd);
    Kind kind = Kind::Text;
    LocalFault fault;
    if (world.rank == 0) {
        char magic[8] = {};
        const std::uint64_t got = std::min<std::uint64_t>(file.size, sizeof magic);
        if (got > 0 && !readFully(file.fd, magic, got, 0)) fault.set(0, 2, path + ": cannot read: " + std::strerror(errno));
        if (options.format == Format::Binary || (options.format == Format::Auto && got == 8 &&
                                                 std::memcmp(magic, binaryMagic, 8) == 0))
            kind = Kind::Binary;
        else if (got >= 2 && static_cast<unsigned char>(magic[0]) == 0x1f && static_cast<unsigned char>(magic[1]) == 0x8b)
            kind = Kind::Gzip;
        if (kind == Kind::Binary && (got < 8 || std::memcmp(magic, binaryMagic, 8) != 0))
            fault.set(0, 2, path + ": not a binary edge file (it does not begin with LWEDGES1)");
    }
    agreeOnFault(world, fault);
    MPI_Bcast(&kind, sizeof kind, MPI_BYTE, 0, MPI_COMM_WORLD);

    Parsed parsed;
    if (kind == Kind::Binary) {
        BinaryHeader info;
        readBinary(world, path, file, parsed, info);
    } else {
        if (kind == Kind::Gzip)
            readGzip(world, path, options, parsed);
        else
            readPlainText(world, path, file, options, parsed);
        checkWholeText(world, path, parsed);
    }

    LocalGraph graph;
    graph.pattern = static_cast<Field>(parsed.header.field) == Field::Pattern;
    if (parsed.header.matrixMarket || kind == Kind::Binary) {
        if (parsed.header.rows != parsed.header.cols)
            throw Failure(1, "Error: Sparse array should have same number of rows and columns. "
                             "[genokit:linkworkhgw:NotSquareArray]");
        graph.vertexCount = parsed.header.rows;
    } else {
        graph.vertexCount = maxOverRanks(parsed.state.maxIndex);
    }
    graph.blocks = Blocks(graph.vertexCount, world.size);

    // Send every kept entry (and its mirror) to its owner. A folded entry that was
    // stored at the mirrored place carries the top bit of its order, so that the two
    // places are summed apart and only then combined.
    constexpr std::uint64_t mirrored = std::uint64_t{1} << 63;
    std::vector<Entry> local = std::move(parsed.state.entries);
    std::vector<std::vector<Entry>> outgoing(static_cast<std::size_t>(world.size));
    const Blocks& blocks = graph.blocks;
    const auto both = [&](const Entry& e, std::uint64_t flag) {
        outgoing[blocks.owner(e.row)].push_back({e.row, e.col, e.value, e.order | flag});
        if (e.row != e.col)
            outgoing[blocks.owner(e.col)].push_back({e.col, e.row, e.value, e.order | (flag ^ mirrored)});
    };
    for (const Entry& e : local) {
        const bool lower = e.row > e.col;
        switch (routing) {
            case Routing::Directed: outgoing[blocks.owner(e.row)].push_back(e); break;
            case Routing::AllMirrored: both(e, 0); break;
            case Routing::FoldMirrored:
                if (e.row != e.col) both(e, 0);
                break;
            case Routing::FoldSingle:
                if (lower)
                    outgoing[blocks.owner(e.row)].push_back(e);
                else if (e.row != e.col)
                    outgoing[blocks.owner(e.col)].push_back({e.col, e.row, e.value, e.order | mirrored});
                break;
            case Routing::LowerMirrored:
                if (lower) both(e, 0);
                break;
            case Routing::LowerSingle:
                if (lower) outgoing[blocks.owner(e.row)].push_back(e);
                break;
        }
    }
    std::vector<Entry>().swap(local);
    std::vector<Entry> mine = exchange(world, outgoing);
    std::sort(mine.begin(), mine.end(), before);
    // Repeats at one place are summed in file order; the two places of a folded edge
    // are then combined, the lighter weight winning.
    std::size_t write = 0;
    for (std::size_t k = 0; k < mine.size();) {
        std::size_t end = k;
        double value[2] = {0.0, 0.0};
        bool seen[2] = {false, false};
        for (; end < mine.size() && mine[end].row == mine[k].row && mine[end].col == mine[k].col; ++end) {
            const int side = (mine[end].order & mirrored) != 0 ? 1 : 0;
            value[side] = seen[side] ? value[side] + mine[end].value : mine[end].value;
            seen[side] = true;
        }
        Entry merged = mine[k];
        merged.order &= ~mirrored;
        merged.value = graph.pattern ? 1.0
                       : seen[0] && seen[1] ? std::fmin(value[0], value[1])
                       : seen[0]            ? value[0]
                                            : value[1];
        mine[write++] = merged;
        k = end;
    }
    mine.resize(write);
    mine.shrink_to_fit();
    graph.entries = std::move(mine);
    graph.storedCount = sumOverRanks(graph.entries.size());
    return graph;
}

void writeBinary(const World& world, const LocalGraph& graph, const std::string& path) {
    const std::uint64_t record = graph.pattern ? 16 : 24;
    const std::uint64_t count = graph.entries.size();
    const std::uint64_t before = sumBefore(world, count);
    MPI_File out;
    int rc = MPI_File_open(MPI_COMM_WORLD, path.c_str(), MPI_MODE_CREATE | MPI_MODE_WRONLY, MPI_INFO_NULL, &out);
    if (rc != MPI_SUCCESS) throw Failure(2, path + ": cannot create the file");
    MPI_File_set_size(out, 0);
    std::vector<unsigned char> bytes;
    const auto put = [&](std::uint64_t value) {
        for (int b = 0; b < 8; ++b) bytes.push_back(static_cast<unsigned char>(value >> (8 * b)));
    };
    if (world.rank == 0) {
        bytes.insert(bytes.end(), binaryMagic, binaryMagic + 8);
        put(graph.pattern ? 0 : 1);
        put(graph.vertexCount);
        put(graph.storedCount);
        bytes.resize(binaryHeaderSize, 0);
    }
    for (const Entry& e : graph.entries) {
        put(e.row);
        put(e.col);
        if (!graph.pattern) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &e.value, sizeof bits);
            put(bits);
        }
    }
    const std::uint64_t offset = world.rank == 0 ? 0 : binaryHeaderSize + before * record;
    // Written in pieces below 2 GiB, the limit of one MPI count.
    int failed = 0;
    constexpr std::uint64_t piece = 1u << 30;
    std::uint64_t rounds = (bytes.size() + piece - 1) / piece;
    rounds = maxOverRanks(rounds);
    for (std::uint64_t k = 0; k < rounds; ++k) {
        const std::uint64_t at = std::min<std::uint64_t>(k * piece, bytes.size());
        const std::uint64_t length = std::min<std::uint64_t>(piece, bytes.size() - at);
        MPI_Status status;
        if (MPI_File_write_at_all(out, static_cast<MPI_Offset>(offset + at), bytes.data() + at, static_cast<int>(length),
                                  MPI_BYTE, &status) != MPI_SUCCESS)
            failed = 1;
    }
    if (MPI_File_close(&out) != MPI_SUCCESS) failed = 1;
    if (anyRank(failed != 0)) throw Failure(1, path + ": cannot write the file");
}

}  // namespace linkwork::dist
