// The linkwork runtime: a host for the linkwork module (linkwork.hxe).
//
// A front end builds host arrays with the make* functions, loads the module with
// Module, and calls it. Arrays made here belong to the caller (ArrayPtr frees them);
// arrays the module creates during a call belong to the call, and the ones left in
// output slots are handed back as ArrayPtr while the runtime frees the rest, on
// success and on failure alike.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "linkwork/host/hgw.h"
#include "linkwork/host/hx.h"

namespace linkwork {

using HostError = hgwHostError;

// An exception other than a host error left the module (for instance the graph
// library's own at trace levels 1 and 2); what() is that exception's text.
class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The module file is missing, unloadable, or does not export hgwFunction.
class ModuleLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Asks a running call to stop. A front end hands one to Module::call and may set it
// from any thread or from a signal handler (request() is a lock-free atomic store);
// the module notices it at its next poll (hgwPollInterrupt), and the call ends with
// the HostError "linkwork:runtime:Interrupted", releasing everything it made.
class Interrupt {
public:
    void request() noexcept { requested_.store(true, std::memory_order_relaxed); }
    void clear() noexcept { requested_.store(false, std::memory_order_relaxed); }
    bool requested() const noexcept { return requested_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> requested_{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "request() must be safe in a signal handler");
};

// Allocation failures of host arrays, and any other allocation failure that leaves
// the module, raise the HostError "linkwork:runtime:OutOfMemory" with a message that
// names the size ("cannot allocate 80.0 GB for a 100000-by-100000 result").
std::string byteCount(double bytes);  // "80.0 GB", "512 bytes"

void destroyArray(hxArray* array) noexcept;
struct ArrayDeleter {
    void operator()(hxArray* array) const noexcept { destroyArray(array); }
};
using ArrayPtr = std::unique_ptr<hxArray, ArrayDeleter>;

// Dense arrays, zero-filled, column-major. Logical elements are bytes; complex
// arrays get imagData.
ArrayPtr makeNumeric(hxClassID classID, hxSize rows, hxSize cols, bool complex = false);
ArrayPtr makeDouble(hxSize rows, hxSize cols);
ArrayPtr makeDoubleScalar(double value);
ArrayPtr makeLogicalScalar(bool value);
ArrayPtr makeString(const std::string& text);  // a 1-by-length char row
// Sparse double (real or complex) or logical, with room for `capacity` entries;
// columnStarts is zero-filled (an empty matrix) and the caller fills the structure.
ArrayPtr makeSparse(hxClassID classID, hxSize rows, hxSize cols, hxSize capacity, bool complex = false);

// Host arrays over a front end's own storage, without a copy. The module only reads
// its inputs, so the storage is never written; it must stay valid (and unchanged)
// until the array is destroyed, which frees only the array's header. Real classes
// only; logical elements must be 0 or 1. Sparse arrays hold `stored` entries; their
// structure is checked like any other's when a call starts.
ArrayPtr borrowNumeric(hxClassID classID, hxSize rows, hxSize cols, const void* data);
ArrayPtr borrowSparse(hxClassID classID, hxSize rows, hxSize cols, hxSize stored, const void* data,
                      const hxIndex* rowIndices, const hxIndex* columnStarts);

// Bytes per element of a class (logical and char: 1).
hxSize elementSize(hxClassID classID);
const char* className(hxClassID classID);

// Where trace lines and warnings go. The defaults write trace lines to standard
// output and warnings to standard error as "Warning: <message> [<identifier>]".
// Both are process-wide and may be called from any thread that runs a call.
struct Channels {
    std::function<void(const std::string& line)> trace;
    std::function<void(const std::string& identifier, const std::string& message)> warning;
};
void setChannels(Channels channels);

// Checks a sparse array's structure: column starts begin at 0, never decrease and
// end at the stored-entry count within capacity; row indices lie below the row
// count and no row appears twice in a column. Throws HostError
// "linkwork:runtime:MalformedSparseArray" naming the fault. `what` names the array
// in the message (e.g. "input 4").
void validateSparse(const hxArray& array, const std::string& what);

class Module {
public:
    explicit Module(const std::string& path);  // throws ModuleLoadError
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();

    // Calls hgwFunction with max(outputCount, 1) output slots. Sparse inputs are
    // validated first. Returns the slots (null where the module left one
    // unassigned). Throws HostError or ModuleError; nothing leaks either way.
    // `interrupt`, when given, may be requested while the call runs (see Interrupt);
    // a call whose interrupt is already requested does not start.
    std::vector<ArrayPtr> call(int outputCount, const std::vector<const hxArray*>& inputs,
                               const Interrupt* interrupt = nullptr) const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    void* handle_ = nullptr;
    void (*entry_)(int, hxArray*[], int, const hxArray*[]) = nullptr;
};

// The module path: $LINKWORK_MODULE if set, otherwise `fallback`.
std::string modulePath(const std::string& fallback);

// The module path: $LINKWORK_MODULE if set, otherwise linkwork.hxe in the directory
// this runtime library was loaded from. The build tree, an installed prefix and the
// Python package all keep the module beside the runtime, so a front end finds it
// wherever the files were moved together.
std::string defaultModulePath();

}  // namespace linkwork
