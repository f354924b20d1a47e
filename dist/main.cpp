// linkwork-mpi: runs one graph code on a graph spread over the ranks of an MPI job.
//   mpirun -n P linkwork-mpi [OPTIONS] CODE GRAPH [ARG ...] [-o FILE]
#include <mpi.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <limits>
#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "algorithms.h"
#include "common.h"
#include "output.h"
#include "reader.h"

namespace linkwork::dist {
namespace {

const char* const helpText =
    "usage: mpirun -n P linkwork-mpi [OPTIONS] CODE GRAPH [ARG ...]\n"
    "       mpirun -n P linkwork-mpi convert GRAPH OUT.bin\n"
    "\n"
    "Runs one graph code with the graph spread over the ranks: every rank reads its own\n"
    "part of GRAPH and keeps the edges of its own block of vertices.\n"
    "\n"
    "codes (vertices are 1-based):\n"
    "  spb SOURCE   depths in edges from SOURCE (Inf: unreached) and each vertex's\n"
    "               smallest-numbered predecessor one level up (0: the source, NaN: unreached)\n"
    "  bfs SOURCE   the same as spb\n"
    "  dij SOURCE   shortest-path distances by delta-stepping and predecessors\n"
    "               (the smallest-numbered one on a shortest path); negative weights fail\n"
    "  wcc          component count and labels numbered by each component's smallest vertex\n"
    "               (directed graphs: weak components of every entry)\n"
    "  kru [ROOT]   minimum spanning forest: its edges (row > column, sorted by column),\n"
    "               total weight and edge count; ROOT is accepted and checked, not used\n"
    "  scc          refused: strong components are not yet right across ranks\n"
    "  convert      writes GRAPH as a binary edge file (see README)\n"
    "\n"
    "GRAPH: a Matrix Market coordinate file, an edge list ('u v' or 'u v w' per line,\n"
    "# and % comments), either of them gzip-compressed, or a binary edge file. Symmetric\n"
    "files are mirrored and repeated entries summed. Undirected readings (--undirected, and\n"
    "kru always) take an entry at (i, j) or (j, i) as one edge, the lighter weight winning\n"
    "where both exist, self-loops dropped; --as-stored reads only the lower triangle.\n"
    "\n"
    "options:\n"
    "  --undirected       read the graph as undirected; the default is directed\n"
    "  --as-stored        undirected readings take the lower triangle (row > column) only\n"
    "  --format F         mtx, edges or binary (default: from the file's first bytes)\n"
    "  --zero-based       edge lists number vertices from 0\n"
    "  -o, --output FILE  write the results to FILE (all ranks write their part)\n"
    "  --summary          print a digest of each output instead of every value\n"
    "  --help             this text\n";

class UsageError : public Failure {
public:
    explicit UsageError(const std::string& message) : Failure(2, message) {}
};

struct Options {
    bool directed = true;
    bool asStored = false;
    bool summary = false;
    bool help = false;
    std::string output;
    ReadOptions read;
    std::vector<std::string> positional;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    bool ended = false;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        const auto value = [&]() -> std::string {
            if (k + 1 >= argc) throw UsageError("option " + argument + " needs a value");
            return argv[++k];
        };
        if (ended || argument.empty() || argument[0] != '-' || argument == "-") {
            options.positional.push_back(argument);
        } else if (argument == "--") {
            ended = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--undirected") {
            options.directed = false;
        } else if (argument == "--directed") {
            options.directed = true;
        } else if (argument == "--as-stored") {
            options.asStored = true;
        } else if (argument == "--summary") {
            options.summary = true;
        } else if (argument == "--zero-based") {
            options.read.zeroBased = true;
        } else if (argument == "-o" || argument == "--output") {
            options.output = value();
        } else if (argument.rfind("--output=", 0) == 0) {
            options.output = argument.substr(9);
        } else if (argument == "--format") {
            const std::string format = value();
            if (format == "mtx")
                options.read.format = Format::MatrixMarket;
            else if (format == "edges")
                options.read.format = Format::Edges;
            else if (format == "binary")
                options.read.format = Format::Binary;
            else
                throw UsageError("--format takes mtx, edges or binary, not '" + format + "'");
        } else if (argument.size() > 1 && (std::isdigit(static_cast<unsigned char>(argument[1])) || argument[1] == '.')) {
            options.positional.push_back(argument);  // a negative number
        } else {
            throw UsageError("unknown option '" + argument + "'");
        }
    }
    return options;
}

// A vertex argument, checked as the single-machine module checks it: a number from 1
// to n (a fraction is cut to its integer part).
std::uint64_t vertexArgument(const std::string& text, std::uint64_t n, const char* what, const char* message) {
    char* end = nullptr;
    const double x = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size())
        throw UsageError(std::string(what) + " must be a number, not '" + text + "'");
    constexpr double twoTo64 = 18446744073709551616.0;
    if (!(x >= 1.0 && x < twoTo64) || static_cast<std::uint64_t>(x) > n)
        throw Failure(1, std::string("Error: ") + message + " [genokit:linkworkhgw:NotValidNode]");
    return static_cast<std::uint64_t>(x) - 1;
}

std::string vectorLine(const World& world, const std::vector<double>& values, std::uint64_t first) {
    std::string text;
    text.reserve(values.size() * 8);
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (first + k > 0) text += ' ';
        appendNumber(text, values[k]);
    }
    (void)world;
    return text;
}

void writeVector(OrderedOutput& out, const World& world, const std::string& title, const std::vector<double>& values,
                 std::uint64_t first) {
    out.writeOnRankZero(title);
    out.write(vectorLine(world, values, first));
    out.writeOnRankZero("\n");
}

std::vector<double> predecessorValues(const std::vector<std::uint64_t>& predecessors, const std::vector<double>& distances,
                                      std::uint64_t first, std::uint64_t source) {
    std::vector<double> values(predecessors.size());
    for (std::size_t k = 0; k < predecessors.size(); ++k) {
        if (first + k == source)
            values[k] = 0.0;
        else if (predecessors[k] == noPredecessor || (std::isinf(distances[k]) && distances[k] > 0))
            values[k] = std::nan("");
        else
            values[k] = static_cast<double>(predecessors[k] + 1);
    }
    return values;
}

void writePaths(OrderedOutput& out, const World& world, const Options& options, const PathResult& result,
                std::uint64_t first, std::uint64_t source, std::uint64_t n) {
    if (options.summary) {
        // As the single-machine command digests them.
        std::uint64_t reached = 0, withPredecessor = 0;
        double low = std::numeric_limits<double>::infinity(), high = -std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < result.distances.size(); ++k) {
            const double d = result.distances[k];
            if (first + k == source || result.predecessors[k] != noPredecessor) ++withPredecessor;
            if (!std::isfinite(d)) continue;
            ++reached;
            low = std::min(low, d);
            high = std::max(high, d);
        }
        reached = sumOverRanks(reached);
        withPredecessor = sumOverRanks(withPredecessor);
        MPI_Allreduce(MPI_IN_PLACE, &low, 1, MPI_DOUBLE, MPI_MIN, MPI_COMM_WORLD);
        MPI_Allreduce(MPI_IN_PLACE, &high, 1, MPI_DOUBLE, MPI_MAX, MPI_COMM_WORLD);
        std::string shape = "1-by-";
        appendInteger(shape, n);
        shape += " double; ";
        std::string text = "output 1 (distances): " + shape;
        appendInteger(text, reached);
        text += " reached";
        if (reached > 0) {
            text += ", least ";
            appendNumber(text, low);
            text += ", greatest ";
            appendNumber(text, high);
        }
        text += "\noutput 2 (predecessors): " + shape;
        appendInteger(text, withPredecessor);
        text += " reached\n";
        out.writeOnRankZero(text);
        return;
    }
    writeVector(out, world, "output 1 (distances):\n", result.distances, first);
    writeVector(out, world, "output 2 (predecessors):\n",
                predecessorValues(result.predecessors, result.distances, first, source), first);
}

Routing undirected(const Options& options) {
    return options.asStored ? Routing::LowerMirrored : Routing::FoldMirrored;
}

int run(const World& world, int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.help) {
        if (world.rank == 0) std::fputs(helpText, stdout);
        return 0;
    }
    if (options.positional.empty()) throw UsageError("missing CODE and GRAPH");
    const std::string code = options.positional[0];
    const std::vector<std::string> arguments(options.positional.begin() + std::min<std::size_t>(2, options.positional.size()),
                                             options.positional.end());
    const auto expect = [&](std::size_t least, std::size_t most, const std::string& usage) {
        if (options.positional.size() < 2) throw UsageError("missing GRAPH; usage: linkwork-mpi " + usage);
        if (arguments.size() < least || arguments.size() > most)
            throw UsageError(std::string(arguments.size() < least ? "too few" : "too many") +
                             " arguments; usage: linkwork-mpi " + usage);
    };
    const std::string& path = options.positional.size() > 1 ? options.positional[1] : code;

    if (code == "scc")
        throw Failure(2, "scc is not available: the parallel graph library's strong components split components "
                         "that cross ranks; use the single-machine command 'linkwork scc'");
    if (code == "convert") {
        expect(1, 1, "convert GRAPH OUT.bin");
        LocalGraph graph = readGraph(world, path, options.read, Routing::Directed);
        writeBinary(world, graph, arguments[0]);
        if (world.rank == 0)
            std::printf("%s: %llu vertices, %llu entries%s\n", arguments[0].c_str(),
                        static_cast<unsigned long long>(graph.vertexCount),
                        static_cast<unsigned long long>(graph.storedCount), graph.pattern ? " (pattern)" : "");
        return 0;
    }
    if (code == "spb" || code == "bfs" || code == "dij") {
        expect(1, 1, code + " GRAPH SOURCE");
        const bool weighted = code == "dij";
        const Routing routing = options.directed ? Routing::Directed : undirected(options);
        LocalGraph graph = readGraph(world, path, options.read, routing);
        const std::uint64_t n = graph.vertexCount;
        const std::uint64_t source = vertexArgument(arguments[0], n, "SOURCE", "Source node index is invalid.");
        OrderedOutput out(world, options.output);
        // Pattern files weigh every edge 1.
        const LocalRows rows = localRows(world, std::move(graph), weighted);
        PathResult result;
        if (!weighted) {
            result = breadthFirstPaths(world, rows, source);
        } else {
            // Dijkstra's algorithm fails on the first negative weight it examines, that
            // is on a negative edge out of a vertex the source reaches.
            bool negative = false;
            for (double w : rows.weights) negative = negative || w < 0;
            if (anyRank(negative)) {
                const PathResult reach = breadthFirstPaths(world, rows, source);
                bool examined = false;
                for (std::uint64_t u = 0; u < rows.count && !examined; ++u)
                    if (!std::isinf(reach.distances[u]))
                        for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k) examined = examined || rows.weights[k] < 0;
                if (anyRank(examined))
                    throw Failure(1, "Error: There was an error in Dijkstra's algorithm. "
                                     "[genokit:linkworkhgw:DijkstraAlgorithmError]");
            }
            result = shortestPaths(world, rows, source);
        }
        writePaths(out, world, options, result, rows.first, source, n);
        out.finish();
        return 0;
    }
    if (code == "wcc") {
        expect(0, 0, "wcc GRAPH");
        LocalGraph graph =
            readGraph(world, path, options.read, options.directed ? Routing::AllMirrored : undirected(options));
        const std::uint64_t n = graph.vertexCount;
        OrderedOutput out(world, options.output);
        const LocalRows rows = localRows(world, std::move(graph), false);
        const ComponentResult result = connectedComponents(world, rows);
        std::string count;
        appendInteger(count, result.count);
        if (options.summary) {
            std::string text = "output 1 (count): 1-by-1 double; value " + count + "\noutput 2 (labels): 1-by-";
            appendInteger(text, n);
            text += " double; " + count + (result.count == 1 ? " component\n" : " components\n");
            out.writeOnRankZero(text);
        } else {
            out.writeOnRankZero("output 1 (count):\n" + count + "\n");
            std::vector<double> labels(result.labels.begin(), result.labels.end());
            writeVector(out, world, "output 2 (labels):\n", labels, rows.first);
        }
        out.finish();
        return 0;
    }
    if (code == "kru") {
        expect(0, 1, "kru GRAPH [ROOT]");
        LocalGraph graph =
            readGraph(world, path, options.read, undirected(options));
        const std::uint64_t n = graph.vertexCount;
        if (!arguments.empty()) vertexArgument(arguments[0], n, "ROOT", "Root node index is invalid.");
        OrderedOutput out(world, options.output);
        const LocalRows rows = localRows(world, std::move(graph), true);
        const ForestResult forest = spanningForest(world, rows);
        std::string weight, count;
        appendNumber(weight, forest.totalWeight);
        appendInteger(count, forest.edgeCount);
        if (options.summary) {
            std::string shape;
            appendInteger(shape, n);
            shape += "-by-" + shape;
            out.writeOnRankZero("output 1 (forest): " + shape + " double sparse; " + count +
                                (forest.edgeCount == 1 ? " edge" : " edges") + ", total weight " + weight + "\n");
        } else {
            out.writeOnRankZero("output 1 (forest):\n");
            std::string part;
            for (const ForestEdge& e : forest.edges) {
                appendInteger(part, e.row + 1);
                part += ' ';
                appendInteger(part, e.col + 1);
                part += ' ';
                appendNumber(part, e.weight);
                part += '\n';
            }
            out.write(part);
            out.writeOnRankZero("output 2 (total weight):\n" + weight + "\noutput 3 (edge count):\n" + count + "\n");
        }
        out.finish();
        return 0;
    }
    throw UsageError("unknown code '" + code + "'; the codes are: spb bfs dij wcc kru convert");
}

}  // namespace
}  // namespace linkwork::dist

int main(int argc, char** argv) {
    using namespace linkwork::dist;
    MPI_Init(&argc, &argv);
    World world;
    MPI_Comm_rank(MPI_COMM_WORLD, &world.rank);
    MPI_Comm_size(MPI_COMM_WORLD, &world.size);
    int status = 0;
    try {
        status = run(world, argc, argv);
    } catch (const UsageError& error) {
        if (world.rank == 0)
            std::fprintf(stderr, "linkwork-mpi: %s\nTry 'linkwork-mpi --help' for more information.\n", error.what());
        status = 2;
    } catch (const Failure& error) {
        if (world.rank == 0) {
            const std::string text = error.what();
            if (error.status() == 1 && text.rfind("Error: ", 0) != 0)
                std::fprintf(stderr, "Error: %s\n", text.c_str());
            else if (error.status() == 1)
                std::fprintf(stderr, "%s\n", text.c_str());
            else
                std::fprintf(stderr, "linkwork-mpi: %s\n", text.c_str());
        }
        status = error.status();
    } catch (const std::bad_alloc&) {
        // One rank out of memory cannot tell the others: end the whole job.
        std::fprintf(stderr, "Error: out of memory on rank %d\n", world.rank);
        std::fflush(stderr);
        MPI_Abort(MPI_COMM_WORLD, 1);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Error: rank %d: %s\n", world.rank, error.what());
        std::fflush(stderr);
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    std::fflush(stdout);
    MPI_Finalize();
    return status;
}
