#include "line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

namespace linkwork::cli {

void failInput(const std::string& name, std::size_t line, const std::string& message) {
    throw InputError(line == 0 ? name + ": " + message : name + ":" + std::to_string(line) + ": " + message);
}

std::string displayName(const std::string& path) { return path == "-" ? "standard input" : path; }

std::size_t MemorySource::read(char* buffer, std::size_t size) {
    const std::size_t count = std::min(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

namespace {

// zlib reads plain files unchanged ("transparent" mode), so one reader serves both.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path) : name_(displayName(path)) {
        const int fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) failInput(name_, 0, std::string("cannot open: ") + std::strerror(errno));
        struct stat status {};
        if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
            const int error = errno;
            ::close(fd);
            failInput(name_, 0, S_ISDIR(status.st_mode) ? "is a directory"
                                                        : std::string("cannot read: ") + std::strerror(error));
        }
        // Standard input may have been read in part already: what is left is the file.
        const off_t offset = S_ISREG(status.st_mode) ? ::lseek(fd, 0, SEEK_CUR) : -1;
        start_ = offset > 0 ? static_cast<std::uint64_t>(offset) : 0;
        if (S_ISREG(status.st_mode) && status.st_size >= static_cast<off_t>(start_))
            size_ = static_cast<std::uint64_t>(status.st_size) - start_;
        file_ = ::gzdopen(fd, "rb");
        if (file_ == nullptr) {
            ::close(fd);
            failInput(name_, 0, "cannot read: out of memory");
        }
        ::gzbuffer(file_, 1u << 17);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() override { ::gzclose(file_); }

    std::size_t read(char* buffer, std::size_t size) override {
        const int got = ::gzread(file_, buffer, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
        int error = Z_OK;
        const char* message = ::gzerror(file_, &error);
        if (got < 0 || (got == 0 && error != Z_OK)) {
            if (error == Z_ERRNO) failInput(name_, 0, std::string("cannot read: ") + std::strerror(errno));
            // zlib names the stream "<fd:N>: "; the file's own name is already there.
            std::string_view text = message;
            if (text.rfind("<fd:", 0) == 0 && text.find(": ") != std::string_view::npos)
                text.remove_prefix(text.find(": ") + 2);
            failInput(name_, 0, "cannot decompress: " + std::string(text));
        }
        return static_cast<std::size_t>(got);
    }
    std::uint64_t position() const override {
        const z_off_t offset = ::gzoffset(file_);
        return offset > 0 && static_cast<std::uint64_t>(offset) > start_ ? static_cast<std::uint64_t>(offset) - start_
                                                                          : 0;
    }
    std::optional<std::uint64_t> size() const override { return size_; }

private:
    std::string name_;
    gzFile file_ = nullptr;
    std::uint64_t start_ = 0;
    std::optional<std::uint64_t> size_;
};

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

constexpr std::uint64_t progressThreshold = 4u << 20;  // bytes; smaller files load in a blink

}  // namespace

std::unique_ptr<ByteSource> openFile(const std::string& path) { return std::make_unique<FileSource>(path); }

Progress::Progress(std::string name, Mode mode) : name_(std::move(name)), mode_(mode), started_(secondsNow()) {
    if (mode_ == Mode::Automatic && ::isatty(STDERR_FILENO) != 1) mode_ = Mode::Never;
}

Progress::~Progress() {
    // Interrupted by an error: end the line so that the message starts on its own.
    if (shown_) std::fputc('\n', stderr);
}

void Progress::update(const ByteSource& source) {
    if (mode_ == Mode::Never) return;
    const std::uint64_t done = source.position();
    const std::optional<std::uint64_t> total = source.size();
    if (mode_ == Mode::Automatic && total.value_or(done) <= progressThreshold) return;
    const double now = secondsNow();
    if (now - lastShown_ < 0.25) return;
    lastShown_ = now;
    shown_ = true;
    if (total && *total > 0)
        std::fprintf(stderr, "\rlinkwork: reading %s: %.1f of %.1f MB (%d%%)   ", name_.c_str(), done / 1e6,
                     *total / 1e6, static_cast<int>(std::min<double>(100.0, 100.0 * done / *total)));
    else
        std::fprintf(stderr, "\rlinkwork: reading %s: %.1f MB   ", name_.c_str(), done / 1e6);
    std::fflush(stderr);
}

void Progress::finish(const ByteSource& source) {
    if (mode_ == Mode::Never || (mode_ == Mode::Automatic && !shown_)) return;
    std::fprintf(stderr, "\rlinkwork: read %s: %.1f MB in %.1f s                \n", name_.c_str(),
                 source.position() / 1e6, secondsNow() - started_);
    std::fflush(stderr);
    shown_ = false;
}

LineReader::LineReader(ByteSource& source, std::string name, Progress* progress)
    : source_(source), name_(std::move(name)), progress_(progress) {}

bool LineReader::fill() {
    if (atEnd_) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    // Small reads first, so that a small file needs a small buffer; then larger ones.
    if (buffer_.size() - end_ < readSize_) buffer_.resize(end_ + readSize_);
    readSize_ = std::min<std::size_t>(readSize_ * 2, 1u << 18);
    const std::size_t got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) {
        atEnd_ = true;
        return false;
    }
    end_ += got;
    if (progress_ != nullptr) progress_->update(source_);
    return true;
}

std::string_view LineReader::peek(std::size_t count) {
    while (end_ - begin_ < count && fill()) {
    }
    if (!started_) {
        started_ = true;
        if (end_ - begin_ < 3) fill();
        if (end_ - begin_ >= 3 && std::memcmp(buffer_.data() + begin_, "\xEF\xBB\xBF", 3) == 0) begin_ += 3;
        while (end_ - begin_ < count && fill()) {
        }
    }
    return std::string_view(buffer_.data() + begin_, std::min(count, end_ - begin_));
}

bool LineReader::next(std::string_view& line) {
    if (!started_) peek(3);
    std::size_t scanned = 0;
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const void* newline = std::memchr(start + scanned, '\n', end_ - begin_ - scanned);
        if (newline != nullptr) {
            const std::size_t length = static_cast<const char*>(newline) - start;
            line = std::string_view(start, length);
            begin_ += length + 1;
            break;
        }
        scanned = end_ - begin_;
        if (scanned > lineLimit) failAt(number_ + 1, "the line is longer than " + std::to_string(lineLimit) + " bytes");
        if (!fill()) {
            if (begin_ == end_) {
                if (progress_ != nullptr) progress_->finish(source_);
                return false;
            }
            line = std::string_view(buffer_.data() + begin_, end_ - begin_);
            begin_ = end_;
            break;
        }
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number_;
    return true;
}

}  // namespace linkwork::cli
