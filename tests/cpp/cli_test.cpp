// The linkwork command, run as a user runs it: a child process whose standard
// output, standard error and exit status are captured separately.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
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

CliRun runCli(const std::vector<std::string>& arguments, const std::string& input = "/dev/null",
           const std::vector<Environment>& environment = {}) {
    const Scratch scratch;
    const std::string outPath = scratch.path("out").string(), errPath = scratch.path("err").string();
    std::vector<std::string> argv = {LINKWORK_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        const int in = ::open(input.c_str(), O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        for (const Environment& variable : environment) ::setenv(variable.name, variable.value, 1);
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
    EXPECT_EQ(timesMasked(run.out), "Entering hgw function: T seconds\nGraph copied: T seconds\n");
    EXPECT_EQ(run.err, "Error: The graph must be a DAG.\n");
}

TEST(CliTop, EdgeListingInterleavesWithTraceLines) {
    const CliRun run = runCli({"--trace=2", "top", testData + "/three.mtx"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(timesMasked(run.out),
              "Entering hgw function: T seconds\n <0,2> \n <1,2> \nGraph copied: T seconds\n"
              "Algorithm finished: T seconds\nOutputs copied: T seconds\n2 1 3\n");
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

}  // namespace
