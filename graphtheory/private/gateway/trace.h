#pragma once

// The timing trace: at trace level 1 or 2 a handler starts the host's stopwatch on
// entry and prints one line at each stage it completes.
class Trace {
public:
    explicit Trace(int traceLevel);  // "tic" and the entry line
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    // Declared first in a handler, the trace is destroyed last, after the graph.
    ~Trace();
    void graphCopied() const;
    void graphsCopied() const;       // the isomorphism handler, after both imports
    void algorithmFinished() const;
    void outputsCopied() const;
    bool enabled() const { return enabled_; }

private:
    bool enabled_;
};

// True when the edge listing is on (trace level 2).
inline bool listsEdges(int traceLevel) { return traceLevel >= 2; }
