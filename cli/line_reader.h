// Reading text line by line from a file (plain or gzip-compressed), standard input or
// memory, in chunks: nothing is buffered beyond the line being parsed, so a reader
// checks the first lines before the rest has arrived, and garbage or an endless
// stream fails at once instead of being held in memory whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace linkwork::cli {

// A file that cannot be read or is not what it should be. The message names the
// file and, for a malformed line, its 1-based line number ("g.mtx:7: ...").
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void failInput(const std::string& name, std::size_t line, const std::string& message);

// Where the bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `buffer`; 0 at the end. Throws InputError.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // Bytes taken from the underlying file so far (compressed bytes for a gzip file),
    // and its size when known: what the progress line shows.
    virtual std::uint64_t position() const = 0;
    virtual std::optional<std::uint64_t> size() const { return std::nullopt; }
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t read(char* buffer, std::size_t size) override;
    std::uint64_t position() const override { return position_; }
    std::optional<std::uint64_t> size() const override { return bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

// A file, or standard input for "-", read from its current position; gzip data
// (recognised by its magic bytes, whatever the name) is decompressed on the way.
std::unique_ptr<ByteSource> openFile(const std::string& path);

// The name a path goes by in messages.
std::string displayName(const std::string& path);

// The loading line on standard error: shown when forced, or when standard error is a
// terminal and the file is larger than a few megabytes.
class Progress {
public:
    enum class Mode { Automatic, Always, Never };
    Progress(std::string name, Mode mode);
    ~Progress();
    void update(const ByteSource& source);
    void finish(const ByteSource& source);

private:
    std::string name_;
    Mode mode_;
    bool shown_ = false;
    double started_ = 0.0, lastShown_ = 0.0;
};

class LineReader {
public:
    // Lines longer than this are refused: no graph, vector or edge-list line is.
    static constexpr std::size_t lineLimit = 1u << 20;

    LineReader(ByteSource& source, std::string name, Progress* progress = nullptr);
    // The next line without its end-of-line characters; false at the end. A UTF-8
    // byte-order mark before the first line is skipped.
    bool next(std::string_view& line);
    // Up to `count` bytes ahead, without consuming them (fewer at the end).
    std::string_view peek(std::size_t count);
    std::size_t number() const { return number_; }
    const std::string& name() const { return name_; }
    // The source's size in bytes when known (compressed bytes for a gzip file).
    std::optional<std::uint64_t> sourceSize() const { return source_.size(); }
    [[noreturn]] void fail(const std::string& message) const { failInput(name_, number_, message); }
    [[noreturn]] void failAt(std::size_t line, const std::string& message) const { failInput(name_, line, message); }

private:
    bool fill();  // reads more; false at the end of the source

    ByteSource& source_;
    std::string name_;
    Progress* progress_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;  // unconsumed bytes
    std::size_t readSize_ = 1u << 12;
    bool atEnd_ = false, started_ = false;
    std::size_t number_ = 0;
};

}  // namespace linkwork::cli
