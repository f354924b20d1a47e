#include "codes.h"

namespace linkwork::cli {

const std::vector<Code>& codeTable() {
    using Kind = ArgumentKind;
    static const Argument source{"SOURCE", Kind::Number, false}, depth{"DEPTH", Kind::Number, false},
        root{"ROOT", Kind::Number, false}, destination{"DEST", Kind::Number, false},
        weights{"W", Kind::Vector, true}, capacities{"C", Kind::Vector, true},
        secondGraph{"GRAPH2", Kind::Graph, false};
    static const std::vector<Code> table = {
        {"top", "topological order of a DAG", Reading::Directed, {}, {"order"}, ""},
        {"isd", "test whether the graph has no directed cycle", Reading::Directed, {}, {"acyclic"}, ""},
        {"dfs", "depth-first traversal from SOURCE, at most DEPTH edges deep", Reading::ByFlag, {source, depth},
         {"discovery order", "predecessors", "finish order", "depths"}, "DEPTH inf means no limit"},
        {"bfs", "breadth-first traversal from SOURCE, at most DEPTH edges deep", Reading::ByFlag, {source, depth},
         {"discovery order", "predecessors", "discovery order again", "depths"}, "DEPTH inf means no limit"},
        {"wcc", "connected components (weak, for a directed graph)", Reading::Components, {}, {"count", "labels"}, ""},
        {"scc", "strongly connected components", Reading::Directed, {}, {"count", "labels"}, ""},
        {"ist", "test whether the graph is a spanning tree (connected and acyclic)", Reading::Undirected, {},
         {"spanning tree"}, ""},
        {"dij", "shortest paths from SOURCE by Dijkstra's algorithm", Reading::ByFlag, {source, weights},
         {"distances", "predecessors"}, ""},
        {"spb", "shortest paths from SOURCE in edges, by breadth-first search", Reading::ByFlag, {source},
         {"distances", "predecessors"}, ""},
        {"bel", "shortest paths from SOURCE by Bellman-Ford (negative weights allowed)", Reading::ByFlag,
         {source, weights}, {"distances", "predecessors"}, ""},
        {"spa", "shortest paths from SOURCE in a DAG", Reading::ByFlag, {source, weights}, {"distances", "predecessors"},
         "with --undirected: path sums along the search tree, and W is ignored"},
        {"all", "all-pairs shortest paths by Johnson's algorithm", Reading::ByFlag, {weights}, {"distance matrix"},
         "row i, column j: the distance from i to j"},
        {"pri", "minimum spanning tree of ROOT's component by Prim's algorithm", Reading::Undirected, {root, weights},
         {"tree", "predecessors"}, "the tree is sparse, in the lower triangle"},
        {"kru", "minimum spanning forest by Kruskal's algorithm", Reading::Undirected, {root, weights},
         {"forest", "predecessors"}, "ROOT only orients the predecessors; the forest is sparse, in the lower triangle"},
        {"edm", "maximum flow from SOURCE to DEST by Edmonds-Karp", Reading::Directed, {source, destination, capacities},
         {"flow value", "flow matrix"}, "reciprocal edges (i, j) and (j, i) are rejected"},
        {"gol", "maximum flow from SOURCE to DEST by push-relabel", Reading::Directed,
         {source, destination, capacities}, {"flow value", "flow matrix"},
         "capacities are scaled to integers; reciprocal edges are rejected"},
        {"iso", "test whether GRAPH and GRAPH2 are isomorphic", Reading::ByFlag, {secondGraph},
         {"isomorphic", "mapping"}, "mapping: k-th element = vertex of GRAPH2 that vertex k maps to"},
    };
    return table;
}

const Code* findCode(std::string_view name) {
    for (const Code& code : codeTable())
        if (name == code.name) return &code;
    return nullptr;
}

std::size_t requiredArguments(const Code& code) {
    std::size_t count = 0;
    for (const Argument& argument : code.arguments)
        if (!argument.optional) ++count;
    return count;
}

std::string usageLine(const Code& code) {
    std::string line = std::string(code.name) + " GRAPH";
    for (const Argument& argument : code.arguments)
        line += argument.optional ? std::string(" [") + argument.name + "]" : std::string(" ") + argument.name;
    return line;
}

namespace {

const char* readingText(Reading reading) {
    switch (reading) {
        case Reading::Directed: return "directed always";
        case Reading::Undirected: return "undirected always (lower triangle)";
        case Reading::ByFlag: return "directed; lower triangle with --undirected";
        case Reading::Components: return "every entry as an undirected edge; lower triangle with --undirected";
    }
    return "";
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text + " ";
}

}  // namespace

std::string helpText() {
    std::string text =
        "Usage: linkwork [OPTIONS] CODE GRAPH [ARG ...]\n"
        "Runs one graph algorithm of the linkwork module on GRAPH and prints its outputs.\n"
        "\n"
        "Options (anywhere on the line; -- ends them):\n"
        "  --undirected     read the graph as undirected (directed flag 0); the default is directed\n"
        "  --trace LEVEL    0 (default), 1: timing trace, 2: timing trace and the imported edges\n"
        "  --nargout K      ask for the first K outputs (default: every output of the code)\n"
        "  --json           print the outputs as one JSON document (see below)\n"
        "  --show-graph     linkwork --show-graph GRAPH prints GRAPH as read, one stored entry\n"
        "                   per line in the order that W and C follow, and runs nothing\n"
        "  -h, --help       show this help\n"
        "\n"
        "GRAPH is a Matrix Market coordinate file (real, integer or pattern; general or\n"
        "symmetric), or - for standard input. Entry (i, j) is an edge from vertex i to vertex j\n"
        "whose value is its weight or capacity; stored zeros are edges too. A symmetric file is\n"
        "mirrored into both triangles (the diagonal once); a pattern file becomes a logical\n"
        "matrix (every weight 1). Repeated entries are summed (a pattern file's stay true).\n"
        "Codes that read the graph as undirected use only the lower triangle (row > column),\n"
        "so each edge of a symmetric file counts once.\n"
        "\n"
        "The arguments after GRAPH, by their names in the usage lines below:\n"
        "  SOURCE DEST ROOT DEPTH  numbers; vertex numbers are 1-based; inf, -inf, nan accepted\n"
        "  W C                     @FILE, a vector: one value per line (blank lines and lines\n"
        "                          starting with % or # skipped) or a Matrix Market array file;\n"
        "                          a plain number serves as a vector of one\n"
        "  GRAPH2                  a second graph file, read as GRAPH is\n"
        "W and C hold one weight or capacity per stored entry of GRAPH as read (after mirroring\n"
        "and summing), in column-major order: column by column, rows ascending within each.\n"
        "They replace the entries' values.\n"
        "\n"
        "Codes (graph reading in brackets):\n";
    for (const Code& code : codeTable()) {
        text += "  " + padded(usageLine(code), 30) + code.task + "\n";
        text += "      [" + std::string(readingText(code.reading)) + "]\n";
        text += "      outputs:";
        for (std::size_t k = 0; k < code.outputs.size(); ++k)
            text += std::string(k == 0 ? " " : ", ") + std::to_string(k + 1) + " " + code.outputs[k];
        text += "\n";
        if (*code.note != '\0') text += std::string("      ") + code.note + "\n";
    }
    text +=
        "\n"
        "Results: vertex numbers are 1-based. Predecessors read 0 for the start vertex and NaN\n"
        "for a vertex not reached; distances read Inf for a vertex not reached.\n"
        "\n"
        "Output: each output on its own (a label \"output K (name):\" precedes each when there\n"
        "are several): a vector on one line, a matrix one row per line, a sparse matrix as\n"
        "\"row col value\" lines (1-based, column by column), logicals as true or false. Numbers\n"
        "are printed exactly (shortest round-trip form; integers without a decimal point) and\n"
        "Inf, -Inf and NaN are spelled so.\n"
        "With --json, standard output holds one object {\"code\": ..., \"outputs\": [...]}; each\n"
        "output has \"name\", \"class\", \"sparse\" and \"shape\" [rows, cols], then \"values\"\n"
        "(row by row) for a dense output or \"entries\" ([row, col, value], 1-based) for a sparse\n"
        "one. Since JSON has no infinities or NaN, they are the strings \"Inf\", \"-Inf\", \"NaN\".\n"
        "Trace lines then go to standard error, so that standard output stays valid JSON.\n"
        "\n"
        "Trace lines go to standard output, warnings to standard error.\n"
        "Exit status: 0 success; 1 the algorithm reported an error (\"Error: ...\" on standard\n"
        "error); 2 bad usage or an unreadable or malformed file (with its line number).\n"
        "The module is LINKWORK_MODULE if that is set, otherwise the one built with the command.\n";
    return text;
}

}  // namespace linkwork::cli
