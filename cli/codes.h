// The algorithm codes the command knows: their arguments and outputs, in one table
// that drives both --help and the default number of outputs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace linkwork::cli {

// How a code reads the graph's stored entries.
enum class Reading {
    Directed,    // always directed: each entry (i, j) is an edge i -> j
    Undirected,  // always undirected: only the lower triangle (i > j)
    ByFlag,      // directed, or the lower triangle with --undirected
    Components,  // every entry as an undirected edge, or the lower triangle with --undirected
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
};

struct Code {
    const char* name;
    const char* task;
    Reading reading;
    std::vector<Argument> arguments;  // after GRAPH
    std::vector<const char*> outputs;
    const char* note;  // anything the user must know beyond the above, or ""
};

const std::vector<Code>& codeTable();
const Code* findCode(std::string_view name);

std::size_t requiredArguments(const Code& code);
std::string usageLine(const Code& code);  // "dij GRAPH SOURCE [W]"

std::string helpText();

}  // namespace linkwork::cli
