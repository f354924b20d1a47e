// linkwork: runs one algorithm code of the linkwork module on a graph file.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "codes.h"
#include "linkwork/runtime.h"
#include "readers.h"
#include "output.h"
#include "undirected.h"

#ifndef LINKWORK_VERSION
#define LINKWORK_VERSION "unknown"
#endif

namespace linkwork::cli {
namespace {

// SIGINT and SIGTERM stop the running call through its interrupt, so that it ends
// like any failing call; outside a call (reading files, printing) they end the
// process at once. Either way the exit status is 130, with one line on stderr.
constexpr int interruptedStatus = 130;
constexpr char interruptedLine[] = "Error: The call was interrupted. [linkwork:runtime:Interrupted]\n";
Interrupt callInterrupt;
std::atomic<bool> callRunning{false};

void onInterruptSignal(int) {
    callInterrupt.request();
    if (callRunning.load()) return;
    const ssize_t written = write(STDERR_FILENO, interruptedLine, sizeof interruptedLine - 1);
    (void)written;
    _exit(interruptedStatus);
}

void stopOnInterruptSignals() {
    struct sigaction action {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction inherited {};
        // A signal ignored at start (a background job of a script) stays ignored.
        if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

// Wrong use of the command: exit status 2, with a pointer to --help.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    bool directed = true;
    bool asStored = false;
    int traceLevel = 0;
    std::optional<std::size_t> outputCount;
    bool json = false;
    bool summary = false;
    bool help = false;
    bool version = false;
    bool showGraph = false;
    std::string outputPath;               // empty: standard output
    ReadOptions reading;
    std::vector<std::string> positional;  // CODE GRAPH ARG...
};

std::optional<std::size_t> parseCount(const std::string& text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (!optionsEnded && argument == "-h") {
            options.help = true;
            continue;
        }
        if (!optionsEnded && argument == "-o") {
            if (k + 1 >= argc) throw UsageError("option -o needs a value");
            options.outputPath = argv[++k];
            continue;
        }
        if (optionsEnded || argument.rfind("--", 0) != 0) {
            options.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const auto value = [&]() -> std::string {
            if (equals != std::string::npos) return argument.substr(equals + 1);
            if (k + 1 >= argc) throw UsageError("option " + name + " needs a value");
            return argv[++k];
        };
        const auto flag = [&] {
            if (equals != std::string::npos) throw UsageError("option " + name + " takes no value");
        };
        if (name == "--help") {
            flag();
            options.help = true;
        } else if (name == "--version") {
            flag();
            options.version = true;
        } else if (name == "--undirected") {
            flag();
            options.directed = false;
        } else if (name == "--directed") {
            flag();
            options.directed = true;
        } else if (name == "--as-stored") {
            flag();
            options.asStored = true;
        } else if (name == "--show-graph") {
            flag();
            options.showGraph = true;
        } else if (name == "--json") {
            flag();
            options.json = true;
        } else if (name == "--summary") {
            flag();
            options.summary = true;
        } else if (name == "--format") {
            const std::string format = value();
            if (format == "mtx" || format == "matrix-market")
                options.reading.format = GraphFormat::MatrixMarket;
            else if (format == "edges" || format == "edge-list")
                options.reading.format = GraphFormat::EdgeList;
            else
                throw UsageError("--format takes mtx or edges, not '" + format + "'");
        } else if (name == "--zero-based") {
            flag();
            options.reading.zeroBased = true;
        } else if (name == "--progress") {
            flag();
            options.reading.progress = Progress::Mode::Always;
        } else if (name == "--no-progress") {
            flag();
            options.reading.progress = Progress::Mode::Never;
        } else if (name == "--output") {
            options.outputPath = value();
            if (options.outputPath.empty()) throw UsageError("--output needs a file name");
        } else if (name == "--trace") {
            const std::string level = value();
            if (level != "0" && level != "1" && level != "2")
                throw UsageError("--trace takes 0, 1 or 2, not '" + level + "'");
            options.traceLevel = level[0] - '0';
        } else if (name == "--nargout") {
            const std::string count = value();
            options.outputCount = parseCount(count);
            if (!options.outputCount) throw UsageError("--nargout takes a count, not '" + count + "'");
        } else {
            throw UsageError("unknown option '" + name + "'");
        }
    }
    if (options.outputPath == "-") options.outputPath.clear();
    return options;
}

std::string codeList() {
    std::string list;
    for (const Code& code : codeTable()) list += (list.empty() ? "" : " ") + std::string(code.name);
    return list;
}

const Code& codeNamed(const std::string& name) {
    if (const Code* code = findCode(name)) return *code;
    throw UsageError("unknown code '" + name + "'; the codes are: " + codeList() +
                     " (or their long names, see linkwork --help)");
}

bool readsStandardInput(const std::string& argument) { return argument == "-" || argument == "@-"; }

ArrayPtr readArgument(const Argument& argument, const std::string& text, const ReadOptions& reading) {
    const std::string name = argument.name;
    switch (argument.kind) {
        case ArgumentKind::Number:
            if (const std::optional<double> value = parseNumber(text)) return makeDoubleScalar(*value);
            throw UsageError(name + " must be a number, not '" + text + "'");
        case ArgumentKind::Vector:
            if (text.size() > 1 && text[0] == '@') return readVector(text.substr(1));
            if (const std::optional<double> value = parseNumber(text)) return makeDoubleScalar(*value);
            if (text == "@") throw UsageError(name + ": '@' must be followed by a file name");
            throw UsageError(name + " must be @FILE (a vector file) or a number, not '" + text + "'; did you mean '@" +
                             text + "'?");
        case ArgumentKind::Graph:
            return readGraph(text, reading);
    }
    throw UsageError("unknown kind of argument " + name);
}

// Whether the module reads the graph as undirected for this code and flag.
bool readsUndirected(const Code& code, bool directed) {
    switch (code.reading) {
        case Reading::Directed: return false;
        case Reading::Undirected: return true;
        case Reading::ByFlag:
        case Reading::Components: return !directed;
    }
    return false;
}

void note(const std::string& text) { std::fprintf(stderr, "linkwork: note: %s\n", printable(text).c_str()); }

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void flushStandardOutput() { std::fflush(stdout); }

// While it lives, whatever is written to file descriptor 1 (the module's edge
// listings) goes to standard error, so that the results stay apart from the trace.
class StandardOutputToError {
public:
    StandardOutputToError() {
        flushStandardOutput();
        saved_ = ::dup(STDOUT_FILENO);
        if (saved_ >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            ::close(saved_);
            saved_ = -1;
        }
    }
    StandardOutputToError(const StandardOutputToError&) = delete;
    StandardOutputToError& operator=(const StandardOutputToError&) = delete;
    ~StandardOutputToError() {
        if (saved_ < 0) return;
        flushStandardOutput();
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }

private:
    int saved_ = -1;
};

void writeLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Help and version texts: written and checked like results.
int printHelp(const std::string& text) {
    ResultStream out("");
    writeChecked(out.get(), text);
    out.commit();
    return 0;
}

// The custom weights or capacities must match the stored entries one for one. The
// command checks before the module does, so that the message can give both counts.
void checkVectorLength(const Argument& argument, const hxArray& vector, const hxArray& graph) {
    const hxSize given = vector.rows() * vector.cols(), stored = graph.storedCount();
    if (given == stored) return;
    const bool capacities = std::string(argument.name) == "C";
    const std::string counts = " (" + std::string(argument.name) + " holds " + std::to_string(given) +
                               (given == 1 ? " value" : " values") + "; GRAPH has " + std::to_string(stored) +
                               (stored == 1 ? " stored entry" : " stored entries") + ")";
    if (capacities)
        throw HostError("genokit:linkworkhgw:IncorrectSizeCustomCaps",
                        "Custom capacities should have same number of elements as nonzero entries in the sparse "
                        "array." + counts);
    throw HostError("genokit:linkworkhgw:IncorrectSizeCustomWeights",
                    "Custom weights should have same number of elements as nonzero entries in the sparse array." +
                        counts);
}

// Folds an undirected graph (and its custom weights) so that both triangles count,
// saying on standard error what the fold dropped or decided.
void foldInPlace(ArrayPtr& graph, ArrayPtr* weights, const std::string& name) {
    FoldedGraph folded = foldUndirected(*graph, weights != nullptr ? weights->get() : nullptr);
    if (folded.selfLoops > 0)
        note(name + ": " + plural(folded.selfLoops, "self-loop", "self-loops") +
             " dropped (an undirected graph has none here)");
    if (folded.differing > 0)
        note(name + ": " + plural(folded.differing, "edge is", "edges are") +
             " stored in both triangles with different weights; the lighter weight is used");
    graph = std::move(folded.graph);
    if (weights != nullptr) *weights = std::move(folded.weights);
}

std::string displayName(const std::string& path) { return path == "-" ? "standard input" : path; }

int run(const Options& options) {
    if (options.version) return printHelp("linkwork " LINKWORK_VERSION "\n");
    // "linkwork help CODE" and "linkwork CODE --help": that code alone.
    if (!options.positional.empty() && options.positional[0] == "help") {
        if (options.positional.size() == 1) return printHelp(helpText());
        if (options.positional.size() > 2) throw UsageError("help takes one CODE");
        return printHelp(codeHelpText(codeNamed(options.positional[1])));
    }
    if (options.help) {
        if (options.positional.empty()) return printHelp(helpText());
        return printHelp(codeHelpText(codeNamed(options.positional[0])));
    }
    const Detail detail = options.summary ? Detail::Summary : Detail::Full;
    if (options.showGraph) {
        if (options.positional.size() != 1) throw UsageError("--show-graph takes one GRAPH and nothing else");
        ResultStream out(options.outputPath);
        const ArrayPtr graph = readGraph(options.positional[0], options.reading);
        const std::vector<NamedOutput> outputs = {{"graph", graph.get(), Digest::SparseEntries}};
        options.json ? printJson(out.get(), "graph", outputs, detail) : printText(out.get(), outputs, detail);
        out.commit();
        return 0;
    }
    if (options.positional.empty()) throw UsageError("missing CODE and GRAPH");
    const Code& code = codeNamed(options.positional[0]);
    if (options.positional.size() < 2) throw UsageError("missing GRAPH; usage: linkwork " + usageLine(code));
    const std::vector<std::string> arguments(options.positional.begin() + 2, options.positional.end());
    if (arguments.size() < requiredArguments(code) || arguments.size() > code.arguments.size())
        throw UsageError(std::string(arguments.size() < requiredArguments(code) ? "too few" : "too many") +
                         " arguments; usage: linkwork " + usageLine(code));
    const std::size_t outputCount = options.outputCount.value_or(code.outputs.size());
    if (outputCount > code.outputs.size())
        throw UsageError(std::string(code.name) + " has " + std::to_string(code.outputs.size()) + " output" +
                         (code.outputs.size() == 1 ? "" : "s") + ", so --nargout can be at most that");
    std::size_t standardInputReaders = readsStandardInput(options.positional[1]) ? 1 : 0;
    for (const std::string& argument : arguments) standardInputReaders += readsStandardInput(argument) ? 1 : 0;
    if (standardInputReaders > 1) throw UsageError("standard input can be read only once");

    // Open the result file and load the module before reading what may be a large file.
    ResultStream out(options.outputPath);
    const Module module(defaultModulePath());

    std::vector<ArrayPtr> inputs;
    inputs.push_back(makeString(code.name));
    inputs.push_back(makeDoubleScalar(options.traceLevel));
    inputs.push_back(makeDoubleScalar(options.directed ? 1.0 : 0.0));
    inputs.push_back(readGraph(options.positional[1], options.reading));
    for (std::size_t k = 0; k < arguments.size(); ++k) inputs.push_back(readArgument(code.arguments[k], arguments[k], options.reading));

    const bool undirected = readsUndirected(code, options.directed);
    // The undirected "spa" never reads its W.
    const bool weightsRead = !(undirected && std::string(code.name) == "spa");
    ArrayPtr* weights = nullptr;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        if (code.arguments[k].kind != ArgumentKind::Vector || !weightsRead) continue;
        checkVectorLength(code.arguments[k], *inputs[4 + k], *inputs[3]);
        weights = &inputs[4 + k];
    }
    if (undirected) {
        for (std::size_t k = 3; k < inputs.size(); ++k) {
            const bool isGraph = k == 3 || code.arguments[k - 4].kind == ArgumentKind::Graph;
            if (!isGraph) continue;
            const std::string name = displayName(k == 3 ? options.positional[1] : arguments[k - 4]);
            if (options.asStored) {
                if (const std::size_t ignored = entriesOutsideLowerTriangle(*inputs[k]))
                    note(name + ": --as-stored: " + plural(ignored, "entry", "entries") +
                         " on or above the diagonal ignored");
                continue;
            }
            foldInPlace(inputs[k], k == 3 ? weights : nullptr, name);
        }
    }
    std::vector<const hxArray*> inputViews;
    for (const ArrayPtr& input : inputs) inputViews.push_back(input.get());

    Channels channels;
    channels.trace = [](const std::string& line) { writeLine(stderr, line); };
    channels.warning = [](const std::string& identifier, const std::string& message) {
        writeLine(stderr, "Warning: " + message + " [" + identifier + "]");
    };
    setChannels(channels);

    std::vector<ArrayPtr> results;
    {
        const StandardOutputToError redirect;
        callRunning.store(true);
        results = module.call(static_cast<int>(outputCount), inputViews, &callInterrupt);
        callRunning.store(false);
    }

    std::vector<NamedOutput> outputs;
    for (std::size_t k = 0; k < results.size() && k < code.outputs.size(); ++k)
        outputs.push_back({code.outputs[k].name, results[k].get(), code.outputs[k].digest});
    if (options.json)
        printJson(out.get(), code.name, outputs, detail);
    else
        printText(out.get(), outputs, detail);
    out.commit();
    return 0;
}

struct Failure {
    std::string identifier;
    std::string message;
    int status;
};

// Every failure goes to standard error; with --json, also to standard output as
// {"error": {...}}, so that a program reading the results sees it too.
int report(const Failure& failure, const std::string& text, bool json) {
    std::fflush(stdout);
    // Line by line: the message's own bytes are escaped, not the line breaks between.
    std::string shown;
    for (std::size_t begin = 0; begin <= text.size();) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        shown += printable(text.substr(begin, end - begin)) + "\n";
        begin = end + 1;
    }
    std::fputs(shown.c_str(), stderr);
    if (json) {
        std::string document = "{\"error\": {\"identifier\": ";
        appendJsonString(document, failure.identifier);
        document += ", \"message\": ";
        appendJsonString(document, printable(failure.message));
        document += ", \"status\": " + std::to_string(failure.status) + "}}\n";
        std::fwrite(document.data(), 1, document.size(), stdout);
        std::fflush(stdout);
    }
    return failure.status;
}

// --json before any "--": known even when the other options fail to parse.
bool wantsJson(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--") break;
        if (argument == "--json") return true;
    }
    return false;
}

}  // namespace
}  // namespace linkwork::cli

int main(int argc, char** argv) {
    using namespace linkwork;
    using cli::Failure;
    const bool json = cli::wantsJson(argc, argv);
    cli::stopOnInterruptSignals();
    try {
        return cli::run(cli::parseOptions(argc, argv));
    } catch (const cli::UsageError& error) {
        return cli::report({"linkwork:cli:Usage", error.what(), 2},
                           std::string("linkwork: ") + error.what() + "\nTry 'linkwork --help' for more information.",
                           json);
    } catch (const cli::InputError& error) {
        return cli::report({"linkwork:cli:Input", error.what(), 2}, std::string("linkwork: ") + error.what(), json);
    } catch (const cli::OutputError& error) {
        return cli::report({"linkwork:cli:Output", error.what(), error.status()}, std::string("linkwork: ") + error.what(), json);
    } catch (const HostError& error) {
        const int status = error.identifier() == "linkwork:runtime:Interrupted" ? cli::interruptedStatus : 1;
        return cli::report({error.identifier(), error.message(), status},
                           "Error: " + error.message() + " [" + error.identifier() + "]", json);
    } catch (const ModuleLoadError& error) {
        return cli::report({"linkwork:cli:ModuleLoad", error.what(), 1}, std::string("Error: ") + error.what(), json);
    } catch (const std::bad_alloc&) {
        return cli::report({"linkwork:runtime:OutOfMemory", "out of memory", 1}, "Error: out of memory", json);
    } catch (const std::exception& error) {
        // ModuleError: an exception from the algorithm library.
        return cli::report({"linkwork:runtime:ModuleError", error.what(), 1}, std::string("Error: ") + error.what(),
                           json);
    }
}
