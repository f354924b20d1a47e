// The linkwork command, run as a user runs it: a child process whose standard
// output, standard error and exit status are captured separately.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string examples = LINKWORK_EXAMPLES_DIR;
const std::string testData = LINKWORK_TEST_DATA_DIR;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A scratch directory for files the tests write; removed with everything in it.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "linkwork-cli-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string write(const std::string& name, const std::string& content) const {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    fs::path path(const std::string& name) const { return dir_ / name; }

private:
    fs::path dir_;
};

struct Environment {
    const char* name;
    const char* value;
};

// Runs argv[0] with the given standard input, environment, working directory and
// standard output file (by default, one that is read back).
CliRun runProgram(std::vector<std::string> argv, const std::string& input = "/dev/null",
                  const std::vector<Environment>& environment = {}, const std::string& directory = "",
                  const std::string& output = "") {
    const Scratch scratch;
    const std::string outPath = scratch.path("out").string(), errPath = scratch.path("err").string();
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        const int in = ::open(input.c_str(), O_RDONLY);
        const int out = ::open((output.empty() ? outPath : output).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        for (const Environment& variable : environment) ::setenv(variable.name, variable.value, 1);
        if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(125);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = slurp(outPath);
    run.err = slurp(errPath);
    return run;
}

CliRun runCli(const std::vector<std::string>& arguments, const std::string& input = "/dev/null",
              const std::vector<Environment>& environment = {}, const std::string& directory = "",
              const std::string& output = "") {
    std::vector<std::string> argv = {LINKWORK_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram(argv, input, environment, directory, output);
}

// Trace lines with their times replaced by T.
std::string timesMasked(const std::string& text) {
    return std::regex_replace(text, std::regex("[0-9]+\\.[0-9]{3} seconds"), "T seconds");
}

// Codes whose handlers are not in this build yet answer with a host error; tests
// of those codes wait for them rather than fail.
#define SKIP_IF_CODE_MISSING(run)                                                           \
    if ((run).err.find("genokit:linkworkhgw:NotImplemented") != std::string::npos)          \
    GTEST_SKIP() << "code not built yet"

const std::string header = "%%MatrixMarket matrix coordinate ";

// ---- the main jobs ---------------------------------------------------------------

TEST(CliTop, OrdersTheThreeVertexGraph) {
    const CliRun run = runCli({"top", testData + "/three.mtx"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "2 1 3\n");
    EXPECT_EQ(run.err, "");
}

TEST(CliTop, OrdersTheBundledTaskGraph) {
    const CliRun run = runCli({"top", examples + "/tasks.mtx"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1 3 2 4 5 7 6 8\n");
}

TEST(CliTop, SelfLoopIsAHostErrorWithItsIdentifier) {
    const CliRun run = runCli({"top", testData + "/selfloop.mtx"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Error: There was an error in the topological sort algorithm. Make sure the provided graph is a DAG. "
              "[genokit:linkworkhgw:TopoSortAlgorithmError]\n");
}

TEST(CliTop, TracedSelfLoopShowsTheLibrarysOwnError) {
    const CliRun run = runCli({"--trace", "1", "top", testData + "/selfloop.mtx"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(timesMasked(run.err),
              "Entering hgw function: T seconds\nGraph copied: T seconds\nError: The graph must be a DAG.\n");
}

TEST(CliTop, TraceAndEdgeListingGoToStandardErrorApartFromResults) {
    const CliRun run = runCli({"--trace=2", "top", testData + "/three.mtx"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "2 1 3\n");
    EXPECT_EQ(timesMasked(run.err),
              "Entering hgw function: T seconds\n <0,2> \n <1,2> \nGraph copied: T seconds\n"
              "Algorithm finished: T seconds\nOutputs copied: T seconds\n");
}

TEST(CliIsd, CycleAndSymmetricMirrorBothMakeACycle) {
    EXPECT_EQ(runCli({"isd", examples + "/ring.mtx"}).out, "false\n");
    EXPECT_EQ(runCli({"isd", examples + "/tasks.mtx"}).out, "true\n");
    // One stored entry, (2, 1), mirrored to (1, 2): a cycle of two edges.
    const Scratch scratch;
    const std::string file = scratch.write("s.mtx", header + "pattern symmetric\n2 2 1\n2 1\n");
    EXPECT_EQ(runCli({"isd", file}).out, "false\n");
}

TEST(CliTop, ReadsStandardInput) {
    const CliRun run = runCli({"top", "-"}, testData + "/three.mtx");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "2 1 3\n");
}

TEST(CliModule, UnloadableModuleIsAnError) {
    const CliRun run = runCli({"top", testData + "/three.mtx"}, "/dev/null", {{"LINKWORK_MODULE", "/nonexistent.hxe"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Error: cannot load module '/nonexistent.hxe'"), std::string::npos) << run.err;
}

// ---- reading graphs --------------------------------------------------------------

struct ReadCase {
    const char* what;
    std::string content;
    std::string shown;  // --show-graph output: row col value, column-major
};

TEST(CliRead, GraphsAsRead) {
    const std::vector<ReadCase> cases = {
        {"symmetric mirrors, diagonal once", header + "real symmetric\n3 3 3\n2 1 5\n3 3 7\n3 2 1.5\n",
         "2 1 5\n1 2 5\n3 2 1.5\n2 3 1.5\n3 3 7\n"},
        {"pattern is logical", header + "pattern general\n2 2 2\n2 1\n1 2\n", "2 1 true\n1 2 true\n"},
        {"repeats summed in file order, rows sorted", header + "integer general\n3 3 5\n3 1 5\n1 1 2\n3 1 -1\n2 1 1\n1 1 3\n",
         "1 1 5\n2 1 1\n3 1 4\n"},
        {"repeats cancelling to zero stay stored", header + "real general\n2 2 2\n1 2 1.5\n1 2 -1.5\n", "1 2 0\n"},
        {"pattern repeats stay true", header + "pattern general\n2 2 3\n1 2\n1 2\n2 2\n", "1 2 true\n2 2 true\n"},
        {"symmetric repeats via the mirror", header + "real symmetric\n2 2 2\n2 1 1\n1 2 2\n", "2 1 3\n1 2 3\n"},
        {"explicit zero is kept", header + "real general\n2 2 1\n2 1 0\n", "2 1 0\n"},
        {"infinities and NaN", header + "real general\n2 2 4\n1 1 inf\n2 1 -Inf\n1 2 nan\n2 2 1e999\n",
         "1 1 Inf\n2 1 -Inf\n1 2 NaN\n2 2 Inf\n"},
        {"numbers printed exactly", header + "real general\n6 1 6\n1 1 0.1\n2 1 1e20\n3 1 123456789\n4 1 -2.5e-7\n5 1 +3\n6 1 9007199254740993\n",
         "1 1 0.1\n2 1 1e+20\n3 1 123456789\n4 1 -2.5e-07\n5 1 3\n6 1 9007199254740992\n"},
        {"comments, blank lines, CRLF, capitals", "%%MatrixMarket Matrix Coordinate Real General\r\n% note\r\n\r\n2 2 1\r\n\r\n1  2\t4\r\n",
         "1 2 4\n"},
        {"empty 0-by-0", header + "real general\n0 0 0\n", ""},
        {"no trailing newline", header + "pattern general\n1 1 1\n1 1", "1 1 true\n"},
    };
    const Scratch scratch;
    for (const ReadCase& c : cases) {
        const CliRun run = runCli({"--show-graph", scratch.write("g.mtx", c.content)});
        EXPECT_EQ(run.status, 0) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, c.shown) << c.what;
    }
}

struct MalformedCase {
    std::string content;
    std::string message;  // expected after "linkwork: <file>"
};

TEST(CliRead, MalformedFilesNameTheLine) {
    const std::vector<MalformedCase> cases = {
        {"", ": the file is empty"},
        {"1 1 1\n", ":1: not a Matrix Market file"},
        {"%%MatrixMarket matrix coordinate real\n", ":1: malformed header"},
        {header + "real general extra\n", ":1: malformed header: unexpected 'extra'"},
        {header + "complex general\n", ":1: complex matrices are not supported"},
        {header + "real hermitian\n", ":1: unsupported symmetry 'hermitian'"},
        {"%%MatrixMarket matrix array real general\n1 1\n1\n", ":1: a graph must be a coordinate file"},
        {header + "real general\n% c\n3 3\n", ":3: malformed size line"},
        {header + "real general\n3 3 -1\n", ":2: malformed size line: '-1' is not a count"},
        {header + "real general\n", ":1: the file ends before its size line"},
        {header + "real symmetric\n3 2 0\n", ":2: a symmetric matrix must be square"},
        {header + "real general\n3 3 2\n1 1 1\n4 1 1\n", ":4: row index 4 is out of range 1..3"},
        {header + "real general\n3 3 1\n1 0 1\n", ":3: column index 0 is out of range 1..3"},
        {header + "real general\n3 3 1\n1.5 1 1\n", ":3: row index '1.5' is not a positive integer"},
        {header + "real general\n3 3 1\n1 1 x\n", ":3: value 'x' is not a number"},
        {header + "integer general\n3 3 1\n1 1 1.5\n", ":3: value '1.5' is not an integer"},
        {header + "real general\n3 3 1\n1 1\n", ":3: too few fields: expected a value"},
        {header + "real general\n3 3 1\n1\n", ":3: too few fields: expected a column index"},
        {header + "pattern general\n3 3 1\n1 1 1\n", ":3: too many fields: unexpected '1'"},
        {header + "real general\n3 3 2\n% c\n1 1 1\n", ":4: the file ends after 1 of the 2 entries"},
        {header + "real general\n3 3 1\n1 1 1\n\n2 2 2\n", ":5: more entries than the 1"},
    };
    const Scratch scratch;
    for (const MalformedCase& c : cases) {
        const std::string file = scratch.write("bad.mtx", c.content);
        const CliRun run = runCli({"top", file});
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.out, "") << c.message;
        EXPECT_EQ(run.err.rfind("linkwork: " + file + c.message, 0), 0u) << "expected " << c.message << "\ngot " << run.err;
    }
}

TEST(CliRead, MissingFileAndDirectoryExitTwo) {
    const CliRun missing = runCli({"top", "/nonexistent/g.mtx"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("/nonexistent/g.mtx: cannot open"), std::string::npos);
    const CliRun directory = runCli({"top", examples});
    EXPECT_EQ(directory.status, 2);
    EXPECT_NE(directory.err.find("is a directory"), std::string::npos);
}

TEST(CliRead, MalformedVectorFilesNameTheLine) {
    const std::vector<MalformedCase> cases = {
        {"1\n2 3\n", ":2: too many fields"},
        {"1\n# c\nabc\n", ":3: value 'abc' is not a number"},
        {"%%MatrixMarket matrix array real general\n3 1\n1\n2\n", ":4: the file ends after 2 of the 3 values"},
        {"%%MatrixMarket matrix array real general\n1 1\n1\n2\n", ":4: more entries than the 1"},
        {"%%MatrixMarket matrix coordinate real general\n1 1 1\n1 1 1\n", ":1: a vector file must be"},
    };
    const Scratch scratch;
    const std::string graph = scratch.write("g.mtx", header + "real general\n2 2 1\n2 1 1\n");
    for (const MalformedCase& c : cases) {
        const std::string file = scratch.write("w.txt", c.content);
        const CliRun run = runCli({"dij", graph, "1", "@" + file});
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.err.rfind("linkwork: " + file + c.message, 0), 0u) << "expected " << c.message << "\ngot " << run.err;
    }
}

// ---- usage -----------------------------------------------------------------------

struct UsageCase {
    std::vector<std::string> arguments;
    std::string message;
};

TEST(CliUsage, MistakesExitTwoAndSayWhat) {
    const std::string g = testData + "/three.mtx";
    const std::vector<UsageCase> cases = {
        {{}, "missing CODE and GRAPH"},
        {{"top"}, "missing GRAPH; usage: linkwork top GRAPH"},
        {{"tops", g}, "unknown code 'tops'"},
        {{"TOP", g}, "unknown code 'TOP'"},
        {{"dfs", g, "1"}, "too few arguments; usage: linkwork dfs GRAPH SOURCE DEPTH"},
        {{"top", g, "1"}, "too many arguments"},
        {{"dij", g, "1", "@w", "x"}, "too many arguments"},
        {{"dij", g, "one"}, "SOURCE must be a number, not 'one'"},
        {{"dij", g, "1", "w.txt"}, "did you mean '@w.txt'?"},
        {{"dij", g, "1", "@"}, "'@' must be followed by a file name"},
        {{"--trace", "3", "top", g}, "--trace takes 0, 1 or 2"},
        {{"top", g, "--trace"}, "option --trace needs a value"},
        {{"--nargout", "2", "top", g}, "top has 1 output"},
        {{"--nargout", "-1", "top", g}, "--nargout takes a count"},
        {{"--frobnicate", "top", g}, "unknown option '--frobnicate'"},
        {{"--json=yes", "top", g}, "option --json takes no value"},
        {{"--show-graph", "top", g}, "--show-graph takes one GRAPH"},
    };
    for (const UsageCase& c : cases) {
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.out, "") << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << "expected " << c.message << "\ngot " << run.err;
    }
}

TEST(CliUsage, HelpListsEveryCodeAndTheReadingRules) {
    const CliRun run = runCli({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* code : {"top GRAPH", "isd GRAPH", "dfs GRAPH SOURCE DEPTH", "bfs GRAPH SOURCE DEPTH", "wcc GRAPH",
                             "scc GRAPH", "ist GRAPH", "dij GRAPH SOURCE [W]", "spb GRAPH SOURCE",
                             "bel GRAPH SOURCE [W]", "spa GRAPH SOURCE [W]", "all GRAPH [W]", "pri GRAPH ROOT [W]",
                             "kru GRAPH ROOT [W]", "edm GRAPH SOURCE DEST [C]", "gol GRAPH SOURCE DEST [C]",
                             "iso GRAPH GRAPH2"})
        EXPECT_NE(run.out.find(std::string("  ") + code + " "), std::string::npos) << code;
    EXPECT_NE(run.out.find("Repeated entries are summed"), std::string::npos);
    EXPECT_NE(run.out.find("lower triangle"), std::string::npos);
    EXPECT_NE(run.out.find("\"Inf\", \"-Inf\", \"NaN\""), std::string::npos);
}

TEST(CliUsage, OptionsMayFollowTheOperandsAndDoubleDashEndsThem) {
    EXPECT_EQ(runCli({"top", testData + "/three.mtx", "--nargout", "0"}).out, "2 1 3\n");
    const CliRun ended = runCli({"--", "top", testData + "/three.mtx", "--json"});
    EXPECT_EQ(ended.status, 2);  // "--json" is then an argument too many
}

// ---- JSON ------------------------------------------------------------------------

TEST(CliJson, OutputsHaveClassShapeAndValues) {
    const CliRun run = runCli({"--json", "top", testData + "/three.mtx"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "{\"code\": \"top\", \"outputs\": [\n"
              "  {\"name\": \"order\", \"class\": \"double\", \"sparse\": false, \"shape\": [1, 3], \"values\": [2, 1, 3]}\n"
              "]}\n");
    EXPECT_EQ(runCli({"--json", "isd", examples + "/ring.mtx"}).out,
              "{\"code\": \"isd\", \"outputs\": [\n"
              "  {\"name\": \"acyclic\", \"class\": \"logical\", \"sparse\": false, \"shape\": [1, 1], \"values\": [false]}\n"
              "]}\n");
}

TEST(CliJson, SparseEntriesAndNonFiniteValuesAsStrings) {
    const Scratch scratch;
    const std::string file = scratch.write("g.mtx", header + "real general\n3 3 3\n1 1 inf\n3 1 nan\n2 3 -inf\n");
    EXPECT_EQ(runCli({"--json", "--show-graph", file}).out,
              "{\"code\": \"graph\", \"outputs\": [\n"
              "  {\"name\": \"graph\", \"class\": \"double\", \"sparse\": true, \"shape\": [3, 3], "
              "\"entries\": [[1, 1, \"Inf\"], [3, 1, \"NaN\"], [2, 3, \"-Inf\"]]}\n"
              "]}\n");
}

TEST(CliJson, TraceAndEdgeListingGoToStandardError) {
    const CliRun run = runCli({"--json", "--trace", "2", "top", testData + "/three.mtx"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("{\"code\": \"top\"", 0), 0u) << run.out;
    EXPECT_EQ(timesMasked(run.err),
              "Entering hgw function: T seconds\n <0,2> \n <1,2> \nGraph copied: T seconds\n"
              "Algorithm finished: T seconds\nOutputs copied: T seconds\n");
}

// ---- the other codes, once their handlers are built -------------------------------

TEST(CliCodes, SeveralOutputsAreLabelled) {
    const CliRun run = runCli({"dij", "--undirected", examples + "/roads.mtx", "1"});
    SKIP_IF_CODE_MISSING(run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "output 1 (distances):\n0 7 9 20 20 11\noutput 2 (predecessors):\n0 1 1 3 6 3\n");
}

TEST(CliCodes, CustomWeightsFollowTheStoredEntryOrder) {
    // Stored entries of a 3-vertex symmetric file with (2,1) and (3,2): column-major
    // order (2,1) (1,2) (3,2) (2,3), so the edge 1 -> 2 weighs 1 and 2 -> 3 weighs 10.
    const Scratch scratch;
    const std::string graph = scratch.write("g.mtx", header + "real symmetric\n3 3 2\n2 1 5\n3 2 5\n");
    const std::string weights = scratch.write("w.txt", "% one per stored entry\n100\n1\n1000\n10\n");
    const CliRun run = runCli({"dij", graph, "1", "@" + weights, "--nargout", "1"});
    SKIP_IF_CODE_MISSING(run);
    EXPECT_EQ(run.out, "0 1 11\n");
    const std::string array = scratch.write("w.mtx", "%%MatrixMarket matrix array real general\n2 2\n100\n1\n1000\n10\n");
    EXPECT_EQ(runCli({"dij", graph, "1", "@" + array, "--nargout", "1"}).out, "0 1 11\n");
}

TEST(CliCodes, MaximumFlowOfTheBundledNetwork) {
    const CliRun run = runCli({"edm", examples + "/network.mtx", "1", "6"});
    SKIP_IF_CODE_MISSING(run);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("output 1 (flow value):\n23\noutput 2 (flow matrix):\n", 0), 0u) << run.out;
}

TEST(CliCodes, IsomorphismReadsTheSecondGraphFile) {
    const Scratch scratch;
    const std::string relabelled = scratch.write("r.mtx", header + "pattern general\n5 5 5\n2 1\n1 3\n3 4\n4 5\n5 2\n");
    const CliRun run = runCli({"iso", examples + "/ring.mtx", relabelled, "--nargout", "1"});
    SKIP_IF_CODE_MISSING(run);
    EXPECT_EQ(run.out, "true\n");
}

// ---- undirected graphs: an entry in either triangle is the edge ------------------

// The bundled roads as three files: lower triangle, upper triangle (as many tools
// write an undirected network), and both triangles.
struct RoadFiles {
    std::string lower, upper, both;
};

RoadFiles writeRoads(const Scratch& scratch) {
    const std::vector<std::array<int, 3>> roads = {{2, 1, 7},  {3, 1, 9}, {6, 1, 14}, {3, 2, 10}, {4, 2, 15},
                                                   {4, 3, 11}, {6, 3, 2}, {5, 4, 6},  {6, 5, 9}};
    std::string lower, upper;
    for (const auto& [i, j, w] : roads) {
        lower += std::to_string(i) + " " + std::to_string(j) + " " + std::to_string(w) + "\n";
        upper += std::to_string(j) + " " + std::to_string(i) + " " + std::to_string(w) + "\n";
    }
    return {scratch.write("lower.mtx", header + "real general\n6 6 9\n" + lower),
            scratch.write("upper.mtx", header + "real general\n6 6 9\n" + upper),
            scratch.write("both.mtx", header + "real general\n6 6 18\n" + lower + upper)};
}

TEST(CliUndirected, EitherTriangleGivesTheSameAnswers) {
    const Scratch scratch;
    const RoadFiles files = writeRoads(scratch);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"wcc", "--undirected"}, "output 1 (count):\n1\noutput 2 (labels):\n1 1 1 1 1 1\n"},
        {{"dij", "--undirected", "--nargout", "1"}, "0 7 9 20 20 11\n"},
        {{"bel", "--undirected", "--nargout", "1"}, "0 7 9 20 20 11\n"},
        {{"spb", "--undirected", "--nargout", "1"}, "0 1 1 2 2 1\n"},
        {{"pri", "--nargout", "1"}, "2 1 7\n3 1 9\n6 3 2\n5 4 6\n6 5 9\n"},
        {{"kru", "--nargout", "1"}, "2 1 7\n3 1 9\n6 3 2\n5 4 6\n6 5 9\n"},
        {{"ist"}, "false\n"},
    };
    for (const auto& [options, expected] : cases) {
        for (const std::string& file : {files.lower, files.upper, files.both}) {
            std::vector<std::string> arguments = options;
            arguments.insert(arguments.begin() + 1, file);
            if (options[0] != "wcc" && options[0] != "ist") arguments.insert(arguments.begin() + 2, "1");
            const CliRun run = runCli(arguments);
            SKIP_IF_CODE_MISSING(run);
            EXPECT_EQ(run.status, 0) << options[0] << " " << file << ": " << run.err;
            EXPECT_EQ(run.out, expected) << options[0] << " " << file;
            EXPECT_EQ(run.err, "") << options[0] << " " << file;
        }
    }
}

TEST(CliUndirected, AsStoredReadsOnlyTheLowerTriangleAndSaysSo) {
    const Scratch scratch;
    const RoadFiles files = writeRoads(scratch);
    const CliRun upper = runCli({"wcc", "--undirected", "--as-stored", files.upper, "--nargout", "1"});
    EXPECT_EQ(upper.out, "6\n");
    EXPECT_EQ(upper.err, "linkwork: note: " + files.upper + ": --as-stored: 9 entries on or above the diagonal ignored\n");
    const CliRun lower = runCli({"pri", "--as-stored", files.lower, "1", "--nargout", "1"});
    EXPECT_EQ(lower.out, "2 1 7\n3 1 9\n6 3 2\n5 4 6\n6 5 9\n");
    EXPECT_EQ(lower.err, "");
    // Directed codes and the directed flag are untouched by the fold.
    EXPECT_EQ(runCli({"dij", files.lower, "1", "--nargout", "1"}).out, "0 Inf Inf Inf Inf Inf\n");
}

TEST(CliUndirected, LighterWeightWinsSelfLoopsDropAndWeightsFoldAlike) {
    const Scratch scratch;
    // 1-2 stored both ways (5 and 3), 2-3 above the diagonal only, a self-loop at 3.
    const std::string graph =
        scratch.write("g.mtx", header + "real general\n3 3 4\n1 2 5\n2 1 3\n2 3 4\n3 3 1\n");
    const CliRun run = runCli({"dij", "--undirected", graph, "1", "--nargout", "1"});
    SKIP_IF_CODE_MISSING(run);
    EXPECT_EQ(run.out, "0 3 7\n");
    EXPECT_EQ(run.err, "linkwork: note: " + graph + ": 1 self-loop dropped (an undirected graph has none here)\n"
                       "linkwork: note: " + graph + ": 1 edge is stored in both triangles with different weights; "
                       "the lighter weight is used\n");
    // Custom weights in stored order (2,1) (1,2) (2,3) (3,3); NaN loses to a number.
    const std::string weights = scratch.write("w.txt", "nan\n8\n1\n0\n");
    EXPECT_EQ(runCli({"dij", "--undirected", graph, "1", "@" + weights, "--nargout", "1"}).out, "0 8 9\n");
    // The self-loop does not make the undirected graph cyclic for ist.
    const std::string path = scratch.write("p.mtx", header + "pattern general\n3 3 3\n1 2\n2 3\n2 2\n");
    const CliRun tree = runCli({"ist", path});
    EXPECT_EQ(tree.out, "true\n");
}

TEST(CliUndirected, BothIsomorphismGraphsAreFolded) {
    const Scratch scratch;
    const std::string path = scratch.write("p.mtx", header + "pattern general\n3 3 2\n1 2\n2 3\n");
    const std::string star = scratch.write("s.mtx", header + "pattern general\n3 3 2\n2 1\n3 2\n");
    const CliRun run = runCli({"iso", "--undirected", path, star, "--nargout", "1"});
    SKIP_IF_CODE_MISSING(run);
    EXPECT_EQ(run.out, "true\n");
}

TEST(CliWeights, WrongCountsNameBothCounts) {
    const Scratch scratch;
    const std::string weights = scratch.write("w.txt", "1\n2\n3\n");
    const CliRun run = runCli({"dij", examples + "/tasks.mtx", "1", "@" + weights});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("(W holds 3 values; GRAPH has 10 stored entries) "
                           "[genokit:linkworkhgw:IncorrectSizeCustomWeights]"),
              std::string::npos)
        << run.err;
    const CliRun flow = runCli({"edm", examples + "/network.mtx", "1", "6", "1"});
    EXPECT_EQ(flow.status, 1);
    EXPECT_NE(flow.err.find("(C holds 1 value; GRAPH has 9 stored entries) "
                            "[genokit:linkworkhgw:IncorrectSizeCustomCaps]"),
              std::string::npos)
        << flow.err;
}

// ---- where the results go ----------------------------------------------------------

TEST(CliOutputFile, ResultsGoToTheFileAndAFailureKeepsTheOldOne) {
    const Scratch scratch;
    const std::string target = scratch.path("order.txt").string();
    const CliRun run = runCli({"top", examples + "/tasks.mtx", "-o", target});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(slurp(target), "1 3 2 4 5 7 6 8\n");
    const CliRun failed = runCli({"top", examples + "/ring.mtx", "--output", target});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(slurp(target), "1 3 2 4 5 7 6 8\n");
    const CliRun json = runCli({"--json", "isd", examples + "/ring.mtx", "--output=" + target});
    EXPECT_EQ(slurp(target).rfind("{\"code\": \"isd\"", 0), 0u);
    // Nothing but the result is left in the directory.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch.path(""))) ++files;
    EXPECT_EQ(files, 1u);
}

TEST(CliOutputFile, UnwritableTargetsAreErrors) {
    const CliRun missing = runCli({"top", examples + "/tasks.mtx", "-o", "/nonexistent/dir/out.txt"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("/nonexistent/dir/out.txt: cannot create"), std::string::npos) << missing.err;
    const CliRun directory = runCli({"top", examples + "/tasks.mtx", "-o", examples});
    EXPECT_EQ(directory.status, 2);
    // A full device: the results, the help and the version all fail loudly.
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"top", examples + "/tasks.mtx"}, {"--help"}, {"--version"}}) {
        const CliRun full = runCli(arguments, "/dev/null", {}, "", "/dev/full");
        EXPECT_EQ(full.status, 1) << arguments[0];
        EXPECT_NE(full.err.find("cannot write"), std::string::npos) << full.err;
    }
    EXPECT_EQ(runCli({"top", examples + "/tasks.mtx", "-o", "/dev/full"}).status, 1);
}

// ---- summaries -------------------------------------------------------------------

TEST(CliSummary, DigestsInsteadOfElements) {
    const std::string roads = examples + "/roads.mtx";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"dij", "--undirected", roads, "1"},
         "output 1 (distances): 1-by-6 double; 6 reached, least 0, greatest 20\n"
         "output 2 (predecessors): 1-by-6 double; 6 reached\n"},
        {{"pri", roads, "1"},
         "output 1 (tree): 6-by-6 double sparse; 5 edges, total weight 33\n"
         "output 2 (predecessors): 1-by-6 double; 6 reached\n"},
        {{"wcc", examples + "/tasks.mtx"},
         "output 1 (count): 1-by-1 double; value 1\noutput 2 (labels): 1-by-8 double; 1 component\n"},
        {{"bfs", examples + "/tasks.mtx", "1", "2", "--nargout", "4"},
         "output 1 (discovery order): 1-by-5 double; 5 vertices\n"
         "output 2 (predecessors): 1-by-8 double; 5 reached\n"
         "output 3 (discovery order again): 1-by-5 double; 5 vertices\n"
         "output 4 (depths): 1-by-8 double; 5 reached, greatest depth 2\n"},
        {{"edm", examples + "/network.mtx", "1", "6"},
         "output 1 (flow value): 1-by-1 double; value 23\noutput 2 (flow matrix): 6-by-6 double sparse; 7 entries\n"},
        {{"isd", examples + "/ring.mtx"}, "output 1 (acyclic): 1-by-1 logical; false\n"},
        {{"all", "--undirected", roads}, "output 1 (distance matrix): 6-by-6 double; 36 finite, least 0, greatest 21\n"},
    };
    for (const auto& [arguments, expected] : cases) {
        std::vector<std::string> withSummary = arguments;
        withSummary.push_back("--summary");
        const CliRun run = runCli(withSummary);
        SKIP_IF_CODE_MISSING(run);
        EXPECT_EQ(run.status, 0) << arguments[0] << ": " << run.err;
        EXPECT_EQ(run.out, expected) << arguments[0];
    }
    EXPECT_EQ(runCli({"--json", "--summary", "dij", "--undirected", roads, "1", "--nargout", "1"}).out,
              "{\"code\": \"dij\", \"outputs\": [\n"
              "  {\"name\": \"distances\", \"class\": \"double\", \"sparse\": false, \"shape\": [1, 6], "
              "\"summary\": {\"reached\": 6, \"least\": 0, \"greatest\": 20}}\n"
              "]}\n");
}

// ---- discovering the command -------------------------------------------------------

TEST(CliDiscovery, LongNamesPerCodeHelpAndVersion) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"topological-sort", "top"}, {"dijkstra", "dij"}, {"breadth-first-search", "bfs"},
        {"maximum-flow", "edm"},     {"kruskal", "kru"},  {"strongly-connected-components", "scc"}};
    for (const auto& [longName, code] : names) {
        const CliRun help = runCli({"help", longName});
        EXPECT_EQ(help.status, 0) << longName;
        EXPECT_NE(help.out.find(code + " (" + longName + ")"), std::string::npos) << help.out;
        EXPECT_EQ(runCli({code, "--help"}).out, help.out) << code;
    }
    EXPECT_EQ(runCli({"topological-sort", examples + "/tasks.mtx"}).out, "1 3 2 4 5 7 6 8\n");
    const CliRun version = runCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("linkwork [0-9]+\\.[0-9]+\\.[0-9]+.*\n"))) << version.out;
    EXPECT_EQ(runCli({"help", "nope"}).status, 2);
}

TEST(CliDiscovery, EveryCodesExampleRunsFromTheSourceDirectory) {
    const std::string source = fs::path(examples).parent_path().string();
    const CliRun help = runCli({"--help"});
    std::size_t examplesRun = 0;
    for (const char* code : {"top", "isd", "dfs", "bfs", "wcc", "scc", "ist", "dij", "spb", "bel", "spa", "all", "pri",
                             "kru", "edm", "gol", "iso"}) {
        const std::string text = runCli({"help", code}).out;
        const std::size_t at = text.find("\n  linkwork ");
        ASSERT_NE(at, std::string::npos) << code;
        std::istringstream line(text.substr(at + 12, text.find('\n', at + 1) - at - 12));
        std::vector<std::string> arguments{std::istream_iterator<std::string>(line), {}};
        const CliRun run = runCli(arguments, "/dev/null", {}, source);
        SKIP_IF_CODE_MISSING(run);
        EXPECT_EQ(run.status, 0) << code << ": " << run.err;
        EXPECT_NE(run.out, "") << code;
        ++examplesRun;
        // The general help names the code beside its long name.
        EXPECT_NE(help.out.find(std::string("  ") + code + " GRAPH"), std::string::npos) << code;
    }
    EXPECT_EQ(examplesRun, 17u);
}

// ---- errors as JSON ----------------------------------------------------------------

TEST(CliJson, ErrorsAreObjectsOnStandardOutputToo) {
    const Scratch scratch;
    const std::string bad = scratch.write("bad.mtx", header + "real general\n2 2 1\n3 1 1\n");
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
        {{"--json", "tops", bad}, 2, "{\"error\": {\"identifier\": \"linkwork:cli:Usage\", \"message\": \"unknown code"},
        {{"--json", "top", bad}, 2,
         "{\"error\": {\"identifier\": \"linkwork:cli:Input\", \"message\": \"" + bad +
             ":3: row index 3 is out of range 1..2\", \"status\": 2}}\n"},
        {{"top", "--json", examples + "/ring.mtx"}, 1,
         "{\"error\": {\"identifier\": \"genokit:linkworkhgw:TopoSortAlgorithmError\", \"message\": \"There was an "
         "error in the topological sort algorithm. Make sure the provided graph is a DAG.\", \"status\": 1}}\n"},
    };
    for (const auto& [arguments, status, expected] : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, status) << expected;
        EXPECT_EQ(run.out.rfind(expected, 0), 0u) << run.out;
        EXPECT_NE(run.err, "");
    }
}

TEST(CliMessages, FileBytesAreEscapedInMessages) {
    const Scratch scratch;
    const std::string file = scratch.write("esc.mtx", header + "real general\n2 2 1\n1 1 \x1b[31mred\xff\n");
    const CliRun run = runCli({"top", file});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(":3: value '\\x1b[31mred\\xff' is not a number"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
}

// ---- more kinds of input ------------------------------------------------------------

// gzip-compressed text, written by the gzip tool.
std::string gzipped(const Scratch& scratch, const std::string& name, const std::string& content) {
    const std::string plain = scratch.write(name + ".plain", content);
    const std::string target = scratch.path(name).string();
    if (std::system(("gzip -c '" + plain + "' > '" + target + "'").c_str()) != 0) throw std::runtime_error("gzip");
    return target;
}

TEST(CliRead, CompressedFilesAndStandardInput) {
    const Scratch scratch;
    const std::string tasks = slurp(examples + "/tasks.mtx");
    const std::string compressed = gzipped(scratch, "tasks.mtx.gz", tasks);
    EXPECT_EQ(runCli({"top", compressed}).out, "1 3 2 4 5 7 6 8\n");
    EXPECT_EQ(runCli({"top", "-"}, compressed).out, "1 3 2 4 5 7 6 8\n");
    const std::string weights = gzipped(scratch, "w.txt.gz", slurp(examples + "/weights.txt"));
    EXPECT_EQ(runCli({"bel", examples + "/tasks.mtx", "1", "@" + weights, "--nargout", "1"}).out, "0 3 2 6 1 5 3 6\n");
    // A cut-off stream is an error, not a shorter graph.
    const std::string whole = slurp(compressed);
    const std::string cut = scratch.write("cut.mtx.gz", whole.substr(0, whole.size() - 12));
    const CliRun truncated = runCli({"top", cut});
    EXPECT_EQ(truncated.status, 2);
    EXPECT_NE(truncated.err.find(cut + ": cannot decompress: unexpected end of file"), std::string::npos)
        << truncated.err;
}

TEST(CliRead, ByteOrderMarkAndStandardInputsOwnPosition) {
    const Scratch scratch;
    const std::string tasks = slurp(examples + "/tasks.mtx");
    EXPECT_EQ(runCli({"top", scratch.write("bom.mtx", "\xEF\xBB\xBF" + tasks)}).out, "1 3 2 4 5 7 6 8\n");
    // The shell reads the first line; the command reads what follows it.
    const std::string file = scratch.write("after.mtx", "not part of the graph\n" + tasks);
    const CliRun run = runProgram({"/bin/sh", "-c", "read -r skipped; exec \"$0\" top -", LINKWORK_CLI_PATH}, file);
    EXPECT_EQ(run.out, "1 3 2 4 5 7 6 8\n") << run.err;
}

TEST(CliRead, EndlessOrHugeInputsFailFast) {
    // The banner is checked on the first bytes; a line is never longer than 1 MiB.
    const CliRun zeros = runCli({"top", "/dev/zero"});
    EXPECT_EQ(zeros.status, 2);
    EXPECT_NE(zeros.err.find("/dev/zero:1: not a Matrix Market file"), std::string::npos) << zeros.err;
    const CliRun afterHeader = runProgram({"/bin/sh", "-c", "{ printf '%%%%MatrixMarket matrix coordinate real general\\n2 2 1\\n'; "
                                       "head -c 3000000 /dev/zero; } | exec \"$0\" top -", LINKWORK_CLI_PATH});
    EXPECT_EQ(afterHeader.status, 2);
    EXPECT_NE(afterHeader.err.find("standard input:3: the line is longer than"), std::string::npos) << afterHeader.err;
    // A declared size is not allocated before the entries are read and found complete,
    // and a size that cannot be had is an error naming it.
    const Scratch scratch;
    const CliRun missing = runCli({"top", scratch.write("m.mtx", header + "real general\n1000000000 1000000000 5\n1 1 1\n")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find(":3: the file ends after 1 of the 5 entries"), std::string::npos) << missing.err;
    // (Under AddressSanitizer a failed allocation must return null rather than abort.)
    const CliRun huge = runCli({"top", scratch.write("h.mtx", header + "real general\n100000000000000 100000000000000 1\n1 1 1\n")},
                               "/dev/null", {{"ASAN_OPTIONS", "allocator_may_return_null=1:detect_leaks=1"}});
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("linkwork:runtime:OutOfMemory"), std::string::npos) << huge.err;
}

struct EdgeListCase {
    const char* what;
    std::vector<std::string> options;
    std::string content;
    std::string shown;  // --show-graph output, or the message after "<file>" for an error
};

TEST(CliEdgeList, ReadsPlainEdgeLists) {
    const std::vector<EdgeListCase> cases = {
        {"pairs are a pattern graph", {}, "1 2\n2 3\n", "1 2 true\n2 3 true\n"},
        {"weights, comments, blanks, CRLF", {}, "# from to weight\n% other comment\n\n3 1 2.5\r\n1 2 -1\n  \t\n",
         "3 1 2.5\n1 2 -1\n"},
        {"zero-based", {"--zero-based"}, "0 1 4\n2 0 inf\n", "3 1 Inf\n1 2 4\n"},
        {"repeated edges summed", {}, "1 2 1\n1 2 2\n", "1 2 3\n"},
        {"the largest vertex fixes the size", {}, "5 5\n", "5 5 true\n"},
        {"no edges", {}, "# nothing\n", ""},
    };
    const Scratch scratch;
    for (const EdgeListCase& c : cases) {
        std::vector<std::string> arguments = c.options;
        arguments.push_back("--show-graph");
        arguments.push_back(scratch.write("g.edges", c.content));
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 0) << c.what << ": " << run.err;
        EXPECT_EQ(run.out, c.shown) << c.what;
    }
    // Chosen by --format (for standard input too) or by the name: .el, .txt, .edges(.gz).
    EXPECT_EQ(runCli({"--format", "edges", "top", "-"}, scratch.write("in", "2 1\n3 2\n")).out, "3 2 1\n");
    EXPECT_EQ(runCli({"top", scratch.write("g.el", "2 1\n3 2\n")}).out, "3 2 1\n");
    EXPECT_EQ(runCli({"top", scratch.write("g.txt", "2 1\n3 2\n")}).out, "3 2 1\n");
    EXPECT_EQ(runCli({"top", gzipped(scratch, "g.edges.gz", "2 1\n3 2\n")}).out, "3 2 1\n");
    EXPECT_EQ(runCli({"--format=mtx", "top", scratch.write("m.txt", slurp(examples + "/tasks.mtx"))}).out,
              "1 3 2 4 5 7 6 8\n");
}

TEST(CliEdgeList, MalformedLinesNameTheLine) {
    const std::vector<EdgeListCase> cases = {
        {"vertex 0", {}, "1 2\n0 1\n", ":2: vertex 0 in a 1-based edge list"},
        {"not a vertex", {}, "1 x\n", ":1: vertex 'x' is not a vertex number"},
        {"negative vertex", {"--zero-based"}, "-1 2\n", ":1: vertex '-1' is not a vertex number"},
        {"one field", {}, "# c\n7\n", ":2: too few fields"},
        {"bad weight", {}, "1 2 heavy\n", ":1: weight 'heavy' is not a number"},
        {"four fields", {}, "1 2 3 4\n", ":1: too many fields: unexpected '4'"},
        {"weights on some lines only", {}, "1 2 1\n2 3\n", ":2: an edge without a weight, but the edge on line 1 has one"},
        {"a Matrix Market file", {}, slurp(examples + "/tasks.mtx"), ":1: a Matrix Market file, not an edge list"},
    };
    const Scratch scratch;
    for (const EdgeListCase& c : cases) {
        const std::string file = scratch.write("bad.el", c.content);
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), {"top", file});
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 2) << c.what;
        EXPECT_EQ(run.err.rfind("linkwork: " + file + c.shown, 0), 0u) << c.what << ": " << run.err;
    }
}

TEST(CliProgress, ForcedProgressLineReportsTheLoad) {
    const CliRun forced = runCli({"--progress", "top", examples + "/tasks.mtx"});
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(forced.out, "1 3 2 4 5 7 6 8\n");
    EXPECT_TRUE(std::regex_search(forced.err, std::regex("\rlinkwork: read .*tasks.mtx: [0-9.]+ MB in [0-9.]+ s *\n$")))
        << forced.err;
    // Standard error is a file here, not a terminal: no progress line unless forced.
    EXPECT_EQ(runCli({"top", examples + "/tasks.mtx"}).err, "");
}

}  // namespace
