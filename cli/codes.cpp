#include "codes.h"

namespace linkwork::cli {

const std::vector<Code>& codeTable() {
    using Kind = ArgumentKind;
    static const Argument source{"SOURCE", Kind::Number, false, "the start vertex (1-based)"},
        depth{"DEPTH", Kind::Number, false, "the greatest depth to visit, in edges (inf: no limit)"},
        root{"ROOT", Kind::Number, false, "the root vertex (1-based)"},
        destination{"DEST", Kind::Number, false, "the sink vertex (1-based)"},
        weights{"W", Kind::Vector, true, "custom weights: @FILE with one value per stored entry of GRAPH"},
        capacities{"C", Kind::Vector, true, "custom capacities: @FILE with one value per stored entry of GRAPH"},
        secondGraph{"GRAPH2", Kind::Graph, false, "the second graph, a file read as GRAPH is"};
    using D = Digest;
    static const std::vector<Code> table = {
        {"top", "topological-sort", "topological order of a DAG", Reading::Directed, {}, {{"order", D::VertexList}}, "",
         "top examples/tasks.mtx"},
        {"isd", "is-dag", "test whether the graph has no directed cycle", Reading::Directed, {},
         {{"acyclic", D::Value}}, "", "isd examples/ring.mtx"},
        {"dfs", "depth-first-search", "depth-first traversal from SOURCE, at most DEPTH edges deep", Reading::ByFlag,
         {source, depth},
         {{"discovery order", D::VertexList}, {"predecessors", D::Predecessors}, {"finish order", D::VertexList},
          {"depths", D::Depths}},
         "", "dfs examples/tasks.mtx 1 inf"},
        {"bfs", "breadth-first-search", "breadth-first traversal from SOURCE, at most DEPTH edges deep",
         Reading::ByFlag, {source, depth},
         {{"discovery order", D::VertexList}, {"predecessors", D::Predecessors},
          {"discovery order again", D::VertexList}, {"depths", D::Depths}},
         "", "bfs examples/tasks.mtx 1 2"},
        {"wcc", "connected-components", "connected components (weak, for a directed graph)", Reading::Components, {},
         {{"count", D::Value}, {"labels", D::Labels}}, "", "wcc --undirected examples/roads.mtx"},
        {"scc", "strongly-connected-components", "strongly connected components", Reading::Directed, {},
         {{"count", D::Value}, {"labels", D::Labels}}, "", "scc examples/ring.mtx"},
        {"ist", "is-spanning-tree", "test whether the graph is a spanning tree (connected and acyclic)",
         Reading::Undirected, {}, {{"spanning tree", D::Value}}, "", "ist examples/roads.mtx"},
        {"dij", "dijkstra", "shortest paths from SOURCE by Dijkstra's algorithm", Reading::ByFlag, {source, weights},
         {{"distances", D::Distances}, {"predecessors", D::Predecessors}}, "",
         "dij --undirected examples/roads.mtx 1"},
        {"spb", "breadth-first-shortest-paths", "shortest paths from SOURCE in edges, by breadth-first search",
         Reading::ByFlag, {source}, {{"distances", D::Distances}, {"predecessors", D::Predecessors}}, "",
         "spb examples/tasks.mtx 1"},
        {"bel", "bellman-ford", "shortest paths from SOURCE by Bellman-Ford (negative weights allowed)",
         Reading::ByFlag, {source, weights}, {{"distances", D::Distances}, {"predecessors", D::Predecessors}}, "",
         "bel examples/tasks.mtx 1 @examples/weights.txt"},
        {"spa", "dag-shortest-paths", "shortest paths from SOURCE in a DAG", Reading::ByFlag, {source, weights},
         {{"distances", D::Distances}, {"predecessors", D::Predecessors}},
         "with --undirected: path sums along the search tree, and W is ignored", "spa examples/tasks.mtx 1"},
        {"all", "all-pairs-shortest-paths", "all-pairs shortest paths by Johnson's algorithm", Reading::ByFlag,
         {weights}, {{"distance matrix", D::DistanceMatrix}}, "row i, column j: the distance from i to j",
         "all --undirected examples/roads.mtx"},
        {"pri", "prim", "minimum spanning tree of ROOT's component by Prim's algorithm", Reading::Undirected,
         {root, weights}, {{"tree", D::TreeWeight}, {"predecessors", D::Predecessors}},
         "the tree is sparse, in the lower triangle", "pri examples/roads.mtx 1"},
        {"kru", "kruskal", "minimum spanning forest by Kruskal's algorithm", Reading::Undirected, {root, weights},
         {{"forest", D::TreeWeight}, {"predecessors", D::Predecessors}},
         "ROOT only orients the predecessors; the forest is sparse, in the lower triangle",
         "kru examples/roads.mtx 1"},
        {"edm", "maximum-flow", "maximum flow from SOURCE to DEST by Edmonds-Karp", Reading::Directed,
         {source, destination, capacities}, {{"flow value", D::Value}, {"flow matrix", D::SparseEntries}},
         "reciprocal edges (i, j) and (j, i) are rejected", "edm examples/network.mtx 1 6"},
        {"gol", "push-relabel-maximum-flow", "maximum flow from SOURCE to DEST by push-relabel", Reading::Directed,
         {source, destination, capacities}, {{"flow value", D::Value}, {"flow matrix", D::SparseEntries}},
         "capacities are scaled to integers; reciprocal edges are rejected", "gol examples/network.mtx 1 6"},
        {"iso", "is-isomorphic", "test whether GRAPH and GRAPH2 are isomorphic", Reading::ByFlag, {secondGraph},
         {{"isomorphic", D::Value}, {"mapping", D::VertexList}},
         "mapping: k-th element = vertex of GRAPH2 that vertex k maps to",
         "iso examples/ring.mtx examples/ring.mtx"},
    };
    return table;
}

const Code* findCode(std::string_view name) {
    for (const Code& code : codeTable())
        if (name == code.name || name == code.longName) return &code;
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
        case Reading::Undirected: return "undirected always";
        case Reading::ByFlag: return "directed; undirected with --undirected";
        case Reading::Components: return "every entry as an undirected edge";
    }
    return "";
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text + " ";
}

std::string outputList(const Code& code) {
    std::string text;
    for (std::size_t k = 0; k < code.outputs.size(); ++k)
        text += std::string(k == 0 ? " " : ", ") + std::to_string(k + 1) + " " + code.outputs[k].name;
    return text;
}

}  // namespace

std::string helpText() {
    std::string text =
        "Usage: linkwork [OPTIONS] CODE GRAPH [ARG ...]\n"
        "       linkwork help CODE        (or linkwork CODE --help): one code, with an example\n"
        "Runs one graph algorithm of the linkwork module on GRAPH and prints its outputs.\n"
        "\n"
        "Options (anywhere on the line; -- ends them):\n"
        "  --undirected     read the graph as undirected (directed flag 0); the default is directed\n"
        "  --as-stored      with an undirected reading, hand the matrix over as stored: only its\n"
        "                   lower triangle (row > column) is read\n"
        "  -o, --output FILE  write the results to FILE instead of standard output\n"
        "  --summary        print each output's size and a digest instead of its elements\n"
        "  --trace LEVEL    0 (default), 1: timing trace, 2: timing trace and the imported edges,\n"
        "                   on standard error\n"
        "  --nargout K      ask for the first K outputs (default: every output of the code)\n"
        "  --json           print the outputs, or the error, as one JSON document (see below)\n"
        "  --format FORMAT  read graphs as mtx (Matrix Market) or edges (edge list), whatever\n"
        "                   their names say\n"
        "  --zero-based     edge lists number their vertices from 0 (the default is from 1)\n"
        "  --progress       show the loading line on standard error even when it is not a terminal\n"
        "  --no-progress    never show it\n"
        "  --show-graph     linkwork --show-graph GRAPH prints GRAPH as read, one stored entry\n"
        "                   per line in the order that W and C follow, and runs nothing\n"
        "  --version        print the version\n"
        "  -h, --help       show this help\n"
        "\n"
        "GRAPH is a Matrix Market coordinate file (real, integer or pattern; general or\n"
        "symmetric), or - for standard input. Entry (i, j) is an edge from vertex i to vertex j\n"
        "whose value is its weight or capacity; stored zeros are edges too. A symmetric file is\n"
        "mirrored into both triangles (the diagonal once); a pattern file becomes a logical\n"
        "matrix (every weight 1). Repeated entries are summed (a pattern file's stay true).\n"
        "A file whose name ends in .edges, .el or .txt (or with --format edges) is an edge list:\n"
        "\"u v\" or \"u v w\" per line, blank lines and lines starting with # or % skipped,\n"
        "vertices numbered from 1 (from 0 with --zero-based); the largest vertex is the vertex\n"
        "count, and a list without weights is a logical matrix. Any of these files, and the\n"
        "vector files, may be gzip-compressed (.gz). While a file of more than a few megabytes\n"
        "loads, a progress line is shown on standard error when that is a terminal.\n"
        "\n"
        "Undirected reading: \"ist\", \"pri\" and \"kru\" always read the graph as undirected; \"dfs\",\n"
        "\"bfs\", \"dij\", \"spb\", \"bel\", \"spa\", \"all\", \"wcc\" and \"iso\" do with --undirected. Then\n"
        "an entry at (i, j) or at (j, i) is the one edge between i and j, whichever triangle holds\n"
        "it: where both do, the lighter weight wins (a number wins over NaN), W is combined the\n"
        "same way, and self-loops are dropped (said on standard error). With --as-stored the\n"
        "module reads only the lower triangle of the matrix as stored, and the entries it\n"
        "ignores are counted on standard error.\n"
        "\n"
        "The arguments after GRAPH, by their names in the usage lines below:\n"
        "  SOURCE DEST ROOT DEPTH  numbers; vertex numbers are 1-based; inf, -inf, nan accepted\n"
        "  W C                     @FILE, a vector: one value per line (blank lines and lines\n"
        "                          starting with % or # skipped) or a Matrix Market array file;\n"
        "                          a plain number serves as a vector of one\n"
        "  GRAPH2                  a second graph file, read as GRAPH is\n"
        "W and C hold one weight or capacity per stored entry of GRAPH as read (after mirroring\n"
        "and summing), in column-major order: column by column, rows ascending within each\n"
        "(--show-graph lists them in that order). They replace the entries' values.\n"
        "\n"
        "Codes (long name, graph reading):\n";
    for (const Code& code : codeTable()) {
        text += "  " + padded(usageLine(code), 30) + code.task + "\n";
        text += "      " + std::string(code.longName) + "; " + readingText(code.reading) + "\n";
        text += "      outputs:" + outputList(code) + "\n";
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
        "one, or \"summary\" with --summary. Since JSON has no infinities or NaN, they are the\n"
        "strings \"Inf\", \"-Inf\", \"NaN\". A failure is {\"error\": {\"identifier\": ...,\n"
        "\"message\": ..., \"status\": ...}} on standard output, besides the message on standard error.\n"
        "\n"
        "Trace lines and warnings go to standard error.\n"
        "Exit status: 0 success; 1 the algorithm reported an error (\"Error: ...\" on standard\n"
        "error) or the output could not be written; 2 bad usage or an unreadable or malformed\n"
        "file (with its line number).\n"
        "The module is LINKWORK_MODULE if that is set, otherwise the one built with the command.\n";
    return text;
}

std::string codeHelpText(const Code& code) {
    std::string text = "Usage: linkwork [OPTIONS] " + usageLine(code) + "\n";
    text += std::string(code.name) + " (" + code.longName + "): " + code.task + ".\n";
    text += "Graph reading: " + std::string(readingText(code.reading));
    if (code.reading != Reading::Directed)
        text += " (an entry at (i, j) or (j, i) is one edge; see linkwork --help)";
    text += ".\n";
    if (!code.arguments.empty()) {
        text += "Arguments after GRAPH:\n";
        for (const Argument& argument : code.arguments)
            text += "  " + padded(argument.name, 7) + argument.meaning + (argument.optional ? " (optional)" : "") +
                    "\n";
    }
    text += "Outputs:" + outputList(code) + "\n";
    if (*code.note != '\0') text += "Note: " + std::string(code.note) + "\n";
    text += "Example (from the linkwork source directory):\n  linkwork " + std::string(code.example) + "\n";
    return text;
}

}  // namespace linkwork::cli
