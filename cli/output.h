// Printing the module's outputs, as text for people or as JSON for programs, in full
// or as a summary.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "codes.h"
#include "number_format.h"
#include "linkwork/runtime.h"

namespace linkwork::cli {

// A write that failed (a full disk, a closed pipe, /dev/full): exit status 1; or a
// result file that cannot be created at all, found before any work: status 2.
class OutputError : public std::runtime_error {
public:
    explicit OutputError(const std::string& message, int status = 1) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// `text` as a JSON string literal.
void appendJsonString(std::string& out, const std::string& text);

// `text` with every byte that is not printable (control characters, bytes of broken
// UTF-8, C1 controls) written as \xHH, so that file contents echoed in messages cannot
// drive the terminal.
std::string printable(const std::string& text);

struct NamedOutput {
    std::string name;
    const hxArray* array;  // null when the module left the slot empty
    Digest digest = Digest::VertexList;
};

enum class Detail { Full, Summary };

// Each output on its own; labelled "output K (name):" when there are several. A
// summary gives one line per output: its shape and class, then its digest.
void printText(std::FILE* stream, const std::vector<NamedOutput>& outputs, Detail detail = Detail::Full);

// {"code": ..., "outputs": [...]}, with Inf and NaN as the strings "Inf", "-Inf", "NaN".
void printJson(std::FILE* stream, const std::string& code, const std::vector<NamedOutput>& outputs,
               Detail detail = Detail::Full);

// Writes all of `text` or throws OutputError.
void writeChecked(std::FILE* stream, const std::string& text);

// Where the results go: standard output, or the file that -o names. A new or regular
// file is written beside its final name and renamed into place by commit(), so that a
// failed run leaves neither a truncated result nor a destroyed older one; devices and
// pipes are written directly.
class ResultStream {
public:
    explicit ResultStream(const std::string& path);  // "" for standard output; throws OutputError
    ResultStream(const ResultStream&) = delete;
    ResultStream& operator=(const ResultStream&) = delete;
    ~ResultStream();
    std::FILE* get() const { return stream_; }
    bool toStandardOutput() const { return path_.empty(); }
    // Flushes and closes, checking every step; throws OutputError.
    void commit();

private:
    std::string path_;
    std::string temporary_;  // the file written before the rename, or empty
    std::FILE* stream_ = nullptr;
};

}  // namespace linkwork::cli
