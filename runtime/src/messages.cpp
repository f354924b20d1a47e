// Host errors, warnings and the two evaluated trace commands.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string_view>

#include "linkwork/runtime.h"

hgwHostError::hgwHostError(std::string identifier, std::string message)
    : identifier_(std::move(identifier)), message_(std::move(message)) {}
hgwHostError::~hgwHostError() = default;
const char* hgwHostError::what() const noexcept { return message_.c_str(); }

namespace linkwork {
namespace {

void writeWhole(std::ostream& stream, const std::string& text) {
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    stream.flush();
}

Channels defaultChannels() {
    Channels channels;
    // Each line goes out whole, in one write, so that concurrent calls never split one.
    channels.trace = [](const std::string& line) { writeWhole(std::cout, line + "\n"); };
    channels.warning = [](const std::string& identifier, const std::string& message) {
        writeWhole(std::cerr, "Warning: " + message + " [" + identifier + "]\n");
    };
    return channels;
}

// Never destroyed: threads still inside calls when the process exits (daemon
// threads of an interpreter) may write a trace line after static destructors ran.
std::mutex& channelsMutex = *new std::mutex;
Channels& channelsStore() {
    static Channels& channels = *new Channels(defaultChannels());
    return channels;
}

Channels currentChannels() {
    std::lock_guard<std::mutex> lock(channelsMutex);
    return channelsStore();
}

// One stopwatch per calling thread, so that concurrent calls keep their own times.
thread_local std::optional<std::chrono::steady_clock::time_point> stopwatchStart;

double secondsSinceTic() {
    if (!stopwatchStart) return 0.0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - *stopwatchStart).count();
}

// "disp(sprintf('<before>%5.3f<after>',toc))" gives before and after.
std::optional<std::string> formatTocLine(std::string_view command) {
    constexpr std::string_view prefix = "disp(sprintf('";
    constexpr std::string_view suffix = "',toc))";
    constexpr std::string_view directive = "%5.3f";
    if (command.size() < prefix.size() + suffix.size() || command.substr(0, prefix.size()) != prefix ||
        command.substr(command.size() - suffix.size()) != suffix)
        return std::nullopt;
    const std::string_view body = command.substr(prefix.size(), command.size() - prefix.size() - suffix.size());
    const std::size_t at = body.find(directive);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view before = body.substr(0, at), after = body.substr(at + directive.size());
    if (before.find_first_of("%'") != std::string_view::npos || after.find_first_of("%'") != std::string_view::npos)
        return std::nullopt;
    char seconds[64];
    std::snprintf(seconds, sizeof seconds, "%5.3f", secondsSinceTic());
    return std::string(before) + seconds + std::string(after);
}

}  // namespace

void setChannels(Channels channels) {
    Channels defaults = defaultChannels();
    if (!channels.trace) channels.trace = defaults.trace;
    if (!channels.warning) channels.warning = defaults.warning;
    std::lock_guard<std::mutex> lock(channelsMutex);
    channelsStore() = std::move(channels);
}

}  // namespace linkwork

void hgwErrMsgIdAndTxt(const char* identifier, const char* text, ...) {
    throw hgwHostError(identifier ? identifier : "", text ? text : "");
}

void hgwWarnMsgIdAndTxt(const char* identifier, const char* text, ...) {
    linkwork::currentChannels().warning(identifier ? identifier : "", text ? text : "");
}

int hgwEvalString(const char* command) {
    if (command == nullptr) return 1;
    const std::string_view view(command);
    if (view == "tic") {
        linkwork::stopwatchStart = std::chrono::steady_clock::now();
        return 0;
    }
    if (auto line = linkwork::formatTocLine(view)) {
        linkwork::currentChannels().trace(*line);
        return 0;
    }
    return 1;
}
