#include "gateway/trace.h"

#include "host/hgw.h"

#include "gateway/stage_mark.h"

namespace {
void evaluate(bool enabled, const char* command) {
    if (enabled) hgwEvalString(command);  // a failing trace command never stops the handler
}
}  // namespace

Trace::Trace(int traceLevel) : enabled_(traceLevel != 0) {
    LINKWORK_MARK("entered");
    evaluate(enabled_, "tic");
    evaluate(enabled_, "disp(sprintf('Entering hgw function: %5.3f seconds',toc))");
}
Trace::~Trace() { LINKWORK_MARK("released"); }
void Trace::graphCopied() const {
    LINKWORK_MARK("imported");
    evaluate(enabled_, "disp(sprintf('Graph copied: %5.3f seconds',toc))");
}
void Trace::graphsCopied() const {
    LINKWORK_MARK("imported");
    evaluate(enabled_, "disp(sprintf('Graphs copied: %5.3f seconds',toc))");
}
void Trace::algorithmFinished() const {
    LINKWORK_MARK("algorithm");
    evaluate(enabled_, "disp(sprintf('Algorithm finished: %5.3f seconds',toc))");
}
void Trace::outputsCopied() const {
    LINKWORK_MARK("outputs");
    evaluate(enabled_, "disp(sprintf('Outputs copied: %5.3f seconds',toc))");
}
