// Host gateway interface: errors, warnings and evaluated commands.
// Implemented by the linkwork runtime (runtime/).
#pragma once

#include <exception>
#include <string>

#include "hx.h"

// The exception by which a host error ends a call. hgwErrMsgIdAndTxt throws it, so
// stack unwinding releases everything a handler holds.
class __attribute__((visibility("default"))) hgwHostError : public std::exception {
public:
    hgwHostError(std::string identifier, std::string message);
    ~hgwHostError() override;
    const char* what() const noexcept override;
    const std::string& identifier() const noexcept { return identifier_; }
    const std::string& message() const noexcept { return message_; }

private:
    std::string identifier_;
    std::string message_;
};

// The text is taken literally: it is never interpreted as a format, and any further
// arguments are ignored.
[[noreturn]] void hgwErrMsgIdAndTxt(const char* identifier, const char* text, ...);
void hgwWarnMsgIdAndTxt(const char* identifier, const char* text, ...);

// Evaluates "tic" and "disp(sprintf('<text>%5.3f<text>',toc))"; returns 0 for those
// and 1 (printing nothing) for anything else.
int hgwEvalString(const char* command);

// Returns at once unless the front end has asked the running call to stop; then raises
// the host error "linkwork:runtime:Interrupted". It costs a thread-local read and an
// atomic load: long loops call it every few thousand steps (InterruptPoll).
void hgwPollInterrupt();

extern "C" __attribute__((visibility("default"))) void hgwFunction(int outputCount, hxArray* outputs[],
                                                                   int inputCount, const hxArray* inputs[]);
