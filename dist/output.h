// Output in vertex order from every rank: each rank formats its own part, and the
// parts are written at their offsets into one file with MPI-IO (`-o FILE`), or
// passed to rank 0 one rank at a time for standard output.
#pragma once

#include <cstdint>
#include <string>

#include "../cli/number_format.h"
#include "common.h"

namespace linkwork::dist {

class OrderedOutput {
public:
    // An empty path writes to standard output.
    OrderedOutput(const World& world, const std::string& path);
    OrderedOutput(const OrderedOutput&) = delete;
    OrderedOutput& operator=(const OrderedOutput&) = delete;
    ~OrderedOutput();

    // Collective: every rank's part, in rank order.
    void write(const std::string& part);
    // Collective: rank 0's text only.
    void writeOnRankZero(const std::string& text) { write(world_.rank == 0 ? text : std::string()); }
    // Collective: closes the file; throws when any write failed.
    void finish();

private:
    World world_;
    std::string path_;
    MPI_File file_ = MPI_FILE_NULL;
    std::uint64_t offset_ = 0;
    bool failed_ = false;
};

// Numbers as the single-machine command prints them.
using cli::appendInteger;
using cli::appendNumber;

}  // namespace linkwork::dist
