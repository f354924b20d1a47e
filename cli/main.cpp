// linkwork: runs one algorithm code of the linkwork module on a Matrix Market graph.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "codes.h"
#include "linkwork/runtime.h"
#include "matrix_market.h"
#include "output.h"

#ifndef LINKWORK_DEFAULT_MODULE
#define LINKWORK_DEFAULT_MODULE "linkwork.hxe"
#endif

namespace linkwork::cli {
namespace {

// Wrong use of the command: exit status 2, with a pointer to --help.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    bool directed = true;
    int traceLevel = 0;
    std::optional<std::size_t> outputCount;
    bool json = false;
    bool help = false;
    bool showGraph = false;
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
        if (optionsEnded || argument.rfind("--", 0) != 0) {
            if (!optionsEnded && argument == "-h")
                options.help = true;
            else
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
        } else if (name == "--undirected") {
            flag();
            options.directed = false;
        } else if (name == "--directed") {
            flag();
            options.directed = true;
        } else if (name == "--show-graph") {
            flag();
            options.showGraph = true;
        } else if (name == "--json") {
            flag();
            options.json = true;
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
    return options;
}

std::string codeList() {
    std::string list;
    for (const Code& code : codeTable()) list += (list.empty() ? "" : " ") + std::string(code.name);
    return list;
}

ArrayPtr readArgument(const Argument& argument, const std::string& text) {
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
            return readGraph(text, ReadOptions{true});
    }
    throw UsageError("unknown kind of argument " + name);
}

void flushStandardOutput() {
    std::cout.flush();
    std::fflush(stdout);
}

// While it lives, whatever is written to file descriptor 1 (the module's edge
// listings included) goes to standard error, so that --json output stays clean.
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

// A full disk or a closed pipe must not pass for success.
int finishOutput() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "linkwork: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

int run(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (options.showGraph) {
        if (options.positional.size() != 1) throw UsageError("--show-graph takes one GRAPH and nothing else");
        const ArrayPtr graph = readGraph(options.positional[0], ReadOptions{true});
        const std::vector<NamedOutput> outputs = {{"graph", graph.get()}};
        options.json ? printJson(stdout, "graph", outputs) : printText(stdout, outputs);
        return finishOutput();
    }
    if (options.positional.empty()) throw UsageError("missing CODE and GRAPH");
    const Code* code = findCode(options.positional[0]);
    if (code == nullptr)
        throw UsageError("unknown code '" + options.positional[0] + "'; the codes are: " + codeList());
    if (options.positional.size() < 2) throw UsageError("missing GRAPH; usage: linkwork " + usageLine(*code));
    const std::vector<std::string> arguments(options.positional.begin() + 2, options.positional.end());
    if (arguments.size() < requiredArguments(*code) || arguments.size() > code->arguments.size())
        throw UsageError(std::string(arguments.size() < requiredArguments(*code) ? "too few" : "too many") +
                         " arguments; usage: linkwork " + usageLine(*code));
    const std::size_t outputCount = options.outputCount.value_or(code->outputs.size());
    if (outputCount > code->outputs.size())
        throw UsageError(std::string(code->name) + " has " + std::to_string(code->outputs.size()) + " output" +
                         (code->outputs.size() == 1 ? "" : "s") + ", so --nargout can be at most that");

    // Load the module before reading what may be a large file.
    const Module module(modulePath(LINKWORK_DEFAULT_MODULE));

    std::vector<ArrayPtr> inputs;
    inputs.push_back(makeString(code->name));
    inputs.push_back(makeDoubleScalar(options.traceLevel));
    inputs.push_back(makeDoubleScalar(options.directed ? 1.0 : 0.0));
    inputs.push_back(readGraph(options.positional[1], ReadOptions{true}));
    for (std::size_t k = 0; k < arguments.size(); ++k) inputs.push_back(readArgument(code->arguments[k], arguments[k]));
    std::vector<const hxArray*> inputViews;
    for (const ArrayPtr& input : inputs) inputViews.push_back(input.get());

    std::FILE* traceStream = options.json ? stderr : stdout;
    Channels channels;
    channels.trace = [traceStream](const std::string& line) { writeLine(traceStream, line); };
    channels.warning = [](const std::string& identifier, const std::string& message) {
        writeLine(stderr, "Warning: " + message + " [" + identifier + "]");
    };
    setChannels(channels);

    std::vector<ArrayPtr> results;
    {
        std::optional<StandardOutputToError> redirect;
        if (options.json) redirect.emplace();
        flushStandardOutput();
        results = module.call(static_cast<int>(outputCount), inputViews);
        flushStandardOutput();
    }

    std::vector<NamedOutput> outputs;
    for (std::size_t k = 0; k < results.size() && k < code->outputs.size(); ++k)
        outputs.push_back({code->outputs[k], results[k].get()});
    if (options.json)
        printJson(stdout, code->name, outputs);
    else
        printText(stdout, outputs);
    return finishOutput();
}

}  // namespace
}  // namespace linkwork::cli

int main(int argc, char** argv) {
    using namespace linkwork;
    try {
        return cli::run(argc, argv);
    } catch (const cli::UsageError& error) {
        std::fprintf(stderr, "linkwork: %s\nTry 'linkwork --help' for more information.\n", error.what());
        return 2;
    } catch (const cli::InputError& error) {
        std::fprintf(stderr, "linkwork: %s\n", error.what());
        return 2;
    } catch (const HostError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error: %s [%s]\n", error.message().c_str(), error.identifier().c_str());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Error: out of memory\n");
        return 1;
    } catch (const std::exception& error) {
        // ModuleError (an exception from the algorithm library), ModuleLoadError, ...
        std::fflush(stdout);
        std::fprintf(stderr, "Error: %s\n", error.what());
        return 1;
    }
}
