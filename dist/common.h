// Shared pieces of linkwork-mpi: the block distribution of vertices over ranks, the
// all-to-all exchange of fixed-size records, and the errors every rank agrees on.
#pragma once

#include <mpi.h>

#include <climits>
#include <cstring>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace linkwork::dist {

// A failure that every rank knows of (or that rank 0 reports for all). `status` is
// the exit status: 2 for bad usage or input, 1 for a failing algorithm.
class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

struct World {
    int rank = 0;
    int size = 1;
};

// Vertices 0..n-1 in consecutive blocks: the first n % P ranks hold one vertex more.
// The same layout as the parallel graph library's block distribution, so that local
// index k on rank r is the same vertex on both sides.
class Blocks {
public:
    Blocks() = default;
    Blocks(std::uint64_t n, int ranks) : n_(n), ranks_(static_cast<std::uint64_t>(ranks)) {
        base_ = n / ranks_;
        extra_ = n % ranks_;
    }
    std::uint64_t vertexCount() const { return n_; }
    std::uint64_t size(int rank) const { return base_ + (static_cast<std::uint64_t>(rank) < extra_ ? 1 : 0); }
    std::uint64_t start(int rank) const {
        const std::uint64_t r = static_cast<std::uint64_t>(rank);
        return r * base_ + (r < extra_ ? r : extra_);
    }
    int owner(std::uint64_t v) const {
        const std::uint64_t wide = extra_ * (base_ + 1);
        if (v < wide) return static_cast<int>(v / (base_ + 1));
        return static_cast<int>(extra_ + (v - wide) / base_);
    }

private:
    std::uint64_t n_ = 0, ranks_ = 1, base_ = 0, extra_ = 0;
};

// Sends outgoing[r] to rank r and returns what every rank sent here, in rank order.
// Records travel as bytes; counts are checked against MPI's int limits.
template <class Record>
std::vector<Record> exchange(const World& world, std::vector<std::vector<Record>>& outgoing) {
    const int p = world.size;
    std::vector<int> sendCounts(p), receiveCounts(p), sendOffsets(p), receiveOffsets(p);
    std::uint64_t sendTotal = 0;
    for (int r = 0; r < p; ++r) {
        const std::uint64_t bytes = outgoing[r].size() * sizeof(Record);
        sendTotal += bytes;
        if (bytes > INT_MAX || sendTotal > INT_MAX)
            throw Failure(1, "too many records for one exchange on rank " + std::to_string(world.rank) +
                                 "; run with more ranks");
        sendCounts[r] = static_cast<int>(bytes);
    }
    MPI_Alltoall(sendCounts.data(), 1, MPI_INT, receiveCounts.data(), 1, MPI_INT, MPI_COMM_WORLD);
    std::uint64_t receiveTotal = 0;
    for (int r = 0; r < p; ++r) {
        receiveOffsets[r] = static_cast<int>(receiveTotal);
        receiveTotal += static_cast<std::uint64_t>(receiveCounts[r]);
    }
    int tooMany = receiveTotal > INT_MAX ? 1 : 0;
    MPI_Allreduce(MPI_IN_PLACE, &tooMany, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    if (tooMany) throw Failure(1, "too many records for one exchange; run with more ranks");
    std::vector<char> send(sendTotal);
    std::uint64_t at = 0;
    for (int r = 0; r < p; ++r) {
        sendOffsets[r] = static_cast<int>(at);
        if (!outgoing[r].empty()) std::memcpy(send.data() + at, outgoing[r].data(), sendCounts[r]);
        at += static_cast<std::uint64_t>(sendCounts[r]);
        std::vector<Record>().swap(outgoing[r]);
    }
    std::vector<Record> received(receiveTotal / sizeof(Record));
    MPI_Alltoallv(send.data(), sendCounts.data(), sendOffsets.data(), MPI_BYTE, received.data(),
                  receiveCounts.data(), receiveOffsets.data(), MPI_BYTE, MPI_COMM_WORLD);
    return received;
}

// True on every rank when any rank passes true.
inline bool anyRank(bool local) {
    int flag = local ? 1 : 0;
    MPI_Allreduce(MPI_IN_PLACE, &flag, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    return flag != 0;
}

inline std::uint64_t sumOverRanks(std::uint64_t local) {
    MPI_Allreduce(MPI_IN_PLACE, &local, 1, MPI_UINT64_T, MPI_SUM, MPI_COMM_WORLD);
    return local;
}

inline std::uint64_t maxOverRanks(std::uint64_t local) {
    MPI_Allreduce(MPI_IN_PLACE, &local, 1, MPI_UINT64_T, MPI_MAX, MPI_COMM_WORLD);
    return local;
}

// The sum over the ranks before this one (0 on rank 0).
inline std::uint64_t sumBefore(const World& world, std::uint64_t local) {
    std::uint64_t before = 0;
    MPI_Exscan(&local, &before, 1, MPI_UINT64_T, MPI_SUM, MPI_COMM_WORLD);
    return world.rank == 0 ? 0 : before;
}

// A failure that some ranks found: the one with the smallest key (a line or record
// number, or 0 for "no position") wins, so every run reports the file's first
// fault whatever the rank count. Every rank throws the same Failure.
struct LocalFault {
    bool found = false;
    std::uint64_t key = 0;
    int status = 2;
    std::string message;
    void set(std::uint64_t atKey, int exitStatus, std::string text) {
        if (found && key <= atKey) return;
        found = true;
        key = atKey;
        status = exitStatus;
        message = std::move(text);
    }
};

void agreeOnFault(const World& world, const LocalFault& fault);

}  // namespace linkwork::dist
