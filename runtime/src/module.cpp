// Loading the module and running one call in its own frame.
#include <cxxabi.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "frame.h"

namespace linkwork {

std::string modulePath(const std::string& fallback) {
    const char* fromEnvironment = std::getenv("LINKWORK_MODULE");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : fallback;
}

std::string defaultModulePath() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&defaultModulePath), &self) == 0 || self.dli_fname == nullptr)
        return modulePath("linkwork.hxe");
    const std::string library = self.dli_fname;
    const std::size_t slash = library.rfind('/');
    return modulePath(slash == std::string::npos ? "linkwork.hxe" : library.substr(0, slash + 1) + "linkwork.hxe");
}

Module::Module(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw ModuleLoadError("cannot load module '" + path + "': " + (reason ? reason : "unknown error"));
    }
    entry_ = reinterpret_cast<decltype(entry_)>(dlsym(handle_, "hgwFunction"));
    if (entry_ == nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
        throw ModuleLoadError("module '" + path + "' does not export hgwFunction");
    }
}

// The module stays mapped: exceptions and arrays it made may outlive this object.
Module::~Module() = default;

namespace {

[[noreturn]] void malformed(const std::string& what, const std::string& fault) {
    throw HostError("linkwork:runtime:MalformedSparseArray", "Sparse " + what + " is malformed: " + fault + ".");
}

}  // namespace

void validateSparse(const hxArray& array, const std::string& what) {
    if (array.classID != hxDOUBLE_CLASS && array.classID != hxLOGICAL_CLASS)
        malformed(what, std::string("class ") + className(array.classID) + " cannot be sparse");
    if (array.columnStarts == nullptr || array.rowIndices == nullptr || array.realData == nullptr)
        malformed(what, "its storage is missing");
    const hxSize rows = array.dims[0], cols = array.dims[1];
    const hxIndex* starts = array.columnStarts;
    if (starts[0] != 0) malformed(what, "column starts do not begin at 0");
    for (hxSize j = 0; j < cols; ++j)
        if (starts[j + 1] < starts[j]) malformed(what, "column starts decrease at column " + std::to_string(j + 1));
    if (starts[cols] > array.capacity) malformed(what, "it stores more entries than it has room for");
    // Rows within a column are usually ascending, which rules out repeats at once;
    // other columns are sorted in a scratch copy. Nothing is allocated by the row
    // count, which the array declares but need not back with data.
    std::vector<hxIndex> scratch;
    for (hxSize j = 0; j < cols; ++j) {
        const hxIndex* begin = array.rowIndices + starts[j];
        const hxIndex* end = array.rowIndices + starts[j + 1];
        bool ascending = true;
        for (const hxIndex* at = begin; at != end; ++at) {
            if (*at >= rows)
                malformed(what, "row index " + std::to_string(*at) + " in column " + std::to_string(j + 1) +
                                    " is not below the row count " + std::to_string(rows));
            if (at != begin && *at <= at[-1]) ascending = false;
        }
        if (ascending) continue;
        scratch.assign(begin, end);
        std::sort(scratch.begin(), scratch.end());
        const auto repeated = std::adjacent_find(scratch.begin(), scratch.end());
        if (repeated != scratch.end())
            malformed(what, "row " + std::to_string(*repeated + 1) + " appears twice in column " + std::to_string(j + 1));
    }
}

namespace {

// The message for an allocation failure that left the module without naming its
// size: the graph it was working on is the best measure of what it asked for.
std::string workMemoryMessage(const std::vector<const hxArray*>& inputs) {
    if (inputs.size() > 3 && inputs[3]->sparse)
        return "cannot allocate the working memory for a graph of " + std::to_string(inputs[3]->dims[1]) +
               " vertices and " + std::to_string(inputs[3]->storedCount()) + " stored entries";
    return "cannot allocate the working memory of this call";
}

}  // namespace

std::vector<ArrayPtr> Module::call(int outputCount, const std::vector<const hxArray*>& inputs,
                                   const Interrupt* interrupt) const {
    for (std::size_t k = 0; k < inputs.size(); ++k) {
        if (inputs[k] == nullptr) throw HostError("linkwork:runtime:MissingInput", "Input " + std::to_string(k + 1) + " is missing.");
        if (inputs[k]->sparse) validateSparse(*inputs[k], "input " + std::to_string(k + 1));
    }
    const int slotCount = outputCount < 1 ? 1 : outputCount;
    std::vector<hxArray*> slots(static_cast<std::size_t>(slotCount), nullptr);
    std::vector<ArrayPtr> results;
    {
        detail::CallFrame frame(interrupt);
        try {
            hgwPollInterrupt();
            entry_(outputCount, slots.data(), static_cast<int>(inputs.size()), const_cast<const hxArray**>(inputs.data()));
        } catch (const HostError&) {
            throw;
        } catch (abi::__forced_unwind&) {
            throw;  // thread cancellation or exit (e.g. at interpreter shutdown) must unwind on
        } catch (const std::bad_alloc&) {
            outOfMemory(workMemoryMessage(inputs));
        } catch (const std::exception& error) {
            throw ModuleError(error.what());
        } catch (...) {
            throw ModuleError("the module raised an exception of unknown type");
        }
        results.reserve(slots.size());
        for (hxArray* slot : slots) {
            if (slot != nullptr && !frame.release(slot))
                throw ModuleError("the module returned an array that this call did not create");
            results.emplace_back(slot);
        }
    }
    return results;
}

}  // namespace linkwork
