#include "output.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace linkwork::dist {

OrderedOutput::OrderedOutput(const World& world, const std::string& path) : world_(world), path_(path) {
    if (path.empty()) return;
    const int rc =
        MPI_File_open(MPI_COMM_WORLD, path.c_str(), MPI_MODE_CREATE | MPI_MODE_WRONLY, MPI_INFO_NULL, &file_);
    if (rc != MPI_SUCCESS) {
        file_ = MPI_FILE_NULL;
        throw Failure(2, path + ": cannot create the output file");
    }
    MPI_File_set_size(file_, 0);
}

OrderedOutput::~OrderedOutput() {
    if (file_ != MPI_FILE_NULL) MPI_File_close(&file_);
}

void OrderedOutput::write(const std::string& part) {
    const std::uint64_t length = part.size();
    const std::uint64_t before = sumBefore(world_, length);
    const std::uint64_t total = sumOverRanks(length);
    if (file_ != MPI_FILE_NULL) {
        // One collective call per piece of at most 1 GiB (MPI counts are int).
        constexpr std::uint64_t piece = 1u << 30;
        const std::uint64_t rounds = maxOverRanks((length + piece - 1) / piece);
        for (std::uint64_t k = 0; k < rounds; ++k) {
            const std::uint64_t at = std::min(k * piece, length);
            const std::uint64_t size = std::min(piece, length - at);
            MPI_Status status;
            if (MPI_File_write_at_all(file_, static_cast<MPI_Offset>(offset_ + before + at), part.data() + at,
                                      static_cast<int>(size), MPI_BYTE, &status) != MPI_SUCCESS)
                failed_ = true;
        }
    } else if (world_.rank == 0) {
        if (std::fwrite(part.data(), 1, part.size(), stdout) != part.size()) failed_ = true;
        std::string other;
        for (int r = 1; r < world_.size; ++r) {
            std::uint64_t size = 0;
            MPI_Recv(&size, 1, MPI_UINT64_T, r, 11, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            other.resize(size);
            for (std::uint64_t at = 0; at < size;) {
                const int take = static_cast<int>(std::min<std::uint64_t>(size - at, 1u << 30));
                MPI_Recv(other.data() + at, take, MPI_CHAR, r, 12, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
                at += static_cast<std::uint64_t>(take);
            }
            if (std::fwrite(other.data(), 1, other.size(), stdout) != other.size()) failed_ = true;
        }
    } else {
        MPI_Send(&length, 1, MPI_UINT64_T, 0, 11, MPI_COMM_WORLD);
        for (std::uint64_t at = 0; at < length;) {
            const int take = static_cast<int>(std::min<std::uint64_t>(length - at, 1u << 30));
            MPI_Send(part.data() + at, take, MPI_CHAR, 0, 12, MPI_COMM_WORLD);
            at += static_cast<std::uint64_t>(take);
        }
    }
    offset_ += total;
}

void OrderedOutput::finish() {
    if (file_ != MPI_FILE_NULL) {
        if (MPI_File_close(&file_) != MPI_SUCCESS) failed_ = true;
        file_ = MPI_FILE_NULL;
    } else if (world_.rank == 0 && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
        failed_ = true;
    }
    if (anyRank(failed_))
        throw Failure(1, "cannot write the output" + (path_.empty() ? std::string() : " to " + path_));
}

}  // namespace linkwork::dist
