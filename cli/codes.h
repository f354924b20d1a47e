// The algorithm codes the command knows: their names, arguments, outputs and an
// example, in one table that drives the help texts, the default number of outputs
// and the summaries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace linkwork::cli {

// How a code reads the graph's stored entries.
enum class Reading {
    Directed,    // always directed: each entry (i, j) is an edge i -> j
    Undirected,  // always undirected
    ByFlag,      // directed, or undirected with --undirected
    Components,  // every entry as an undirected edge, or undirected with --undirected
};

// What an argument after GRAPH may be on the command line.
enum class ArgumentKind {
    Number,  // a vertex number or a depth
    Vector,  // @FILE, or a number as a 1-element vector
    Graph,   // a graph file, read as GRAPH is
};

struct Argument {
    const char* name;  // as shown in the usage line: SOURCE, DEPTH, W, ...
    ArgumentKind kind;
    bool optional;
    const char* meaning;
};

// What --summary prints for an output instead of its elements.
enum class Digest {
    Value,           // a scalar or logical: the value itself
    VertexList,      // a row of vertex numbers: how many
    Predecessors,    // how many vertices were reached (predecessor not NaN)
    Distances,       // reached (finite), least and greatest finite distance
    Depths,          // reached (finite), greatest depth
    Labels,          // number of distinct labels
    TreeWeight,      // a sparse tree or forest: edges and total weight
    SparseEntries,   // a sparse matrix: stored entries
    DistanceMatrix,  // finite pairs, least and greatest finite distance
};

struct Output {
    const char* name;
    Digest digest;
};

struct Code {
    const char* name;      // the three-letter code
    const char* longName;  // the same code, spelled out
    const char* task;
    Reading reading;
    std::vector<Argument> arguments;  // after GRAPH
    std::vector<Output> outputs;
    const char* note;     // anything the user must know beyond the above, or ""
    const char* example;  // a command line after "linkwork", on the bundled examples
};

const std::vector<Code>& codeTable();
// By three-letter code or long name.
const Code* findCode(std::string_view name);

std::size_t requiredArguments(const Code& code);
std::string usageLine(const Code& code);  // "dij GRAPH SOURCE [W]"

std::string helpText();
std::string codeHelpText(const Code& code);

}  // namespace linkwork::cli
