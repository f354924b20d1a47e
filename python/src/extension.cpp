// _linkwork: the bridge between Python and the linkwork runtime.
//
// linkwork/_call.py reduces every input to one of four forms (bytes, None, a 2-d
// Fortran-ordered ndarray of a supported dtype, or a sparse tuple
// (data, indices, indptr, rows, cols)); this file turns those into host arrays
// (borrowing the NumPy buffers, read-only, where their layout allows), runs the
// module without the GIL, and hands the outputs back as NumPy arrays that
// own the host arrays through a capsule (no copy), as str, or as sparse tuples.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <Python.h>

#include <cxxabi.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "linkwork/runtime.h"

namespace py = pybind11;
using linkwork::ArrayPtr;

namespace {

constexpr const char* kErrorsModule = "linkwork._errors";

// ---------------------------------------------------------------- channels

// What a call running on this thread needs from the trace and warning channels.
struct CallContext {
    // The first Python exception raised while writing a trace line or issuing a
    // warning (for instance a warning filter set to "error"). The channels must
    // not throw through the module, so the exception waits here and is raised
    // once the call is over.
    std::optional<py::error_already_set> pending;
};

thread_local CallContext* currentContext = nullptr;

class ContextScope {
public:
    explicit ContextScope(CallContext& context) : previous_(currentContext) { currentContext = &context; }
    ~ContextScope() { currentContext = previous_; }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    CallContext* previous_;
};

void flushNativeStdout() {
    std::cout.flush();
    std::fflush(stdout);
}

// ---------------------------------------------------------------- the GIL

// Set by an atexit handler, which runs before the interpreter is torn down; the
// interpreter's own flag covers the rest of its end and is cleared afterwards.
std::atomic<bool> interpreterEnding{false};

bool interpreterFinalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return interpreterEnding.load() || Py_IsFinalizing();
#else
    return interpreterEnding.load() || _Py_IsFinalizing();
#endif
}

// Takes the GIL back in plain code, never in a destructor. When the interpreter is
// ending, a thread that asks for the GIL is ended by forced unwinding, which
// aborts the process if it meets a non-throwing destructor or a catch-all; instead
// the thread waits here until the process exits.
void retakeGil(PyThreadState* state) {
    if (interpreterFinalizing() && !_PyOS_IsMainThread())
        for (;;) pause();
    PyEval_RestoreThread(state);
}

PyGILState_STATE ensureGil() {
    if (interpreterFinalizing() && !_PyOS_IsMainThread())
        for (;;) pause();
    return PyGILState_Ensure();
}

// Runs a Python action for a channel: with the GIL, never throwing.
template <class Action>
void fromChannel(Action action) {
    CallContext* context = currentContext;
    if (context != nullptr && context->pending) return;
    const PyGILState_STATE gil = ensureGil();
    try {
        action();
    } catch (py::error_already_set& error) {
        if (context != nullptr) context->pending = std::move(error);
    } catch (abi::__forced_unwind&) {
        throw;  // the thread is being ended without the GIL: nothing to release
    } catch (...) {
        // Nothing sensible is left to report a failure to; the line is lost.
    }
    PyGILState_Release(gil);
}

// The channels' Python actions use the C API with plain references, not py::object:
// a daemon thread whose write releases the GIL while the interpreter ends is ended by
// forced unwinding on retaking it, and a py::object destructor on that path would
// drop a reference without the GIL. Plain references are leaked there instead.

// Calls object.name(argument) (argument may be null) and drops the result; false
// when it raised.
bool callMethod(PyObject* object, const char* name, PyObject* argument) {
    PyObject* result = argument ? PyObject_CallMethod(object, name, "O", argument) : PyObject_CallMethod(object, name, nullptr);
    Py_XDECREF(result);
    return result != nullptr;
}

void traceLine(const std::string& line) {
    // Edge listings written to file descriptor 1 so far go out before this line.
    flushNativeStdout();
    fromChannel([&] {
        PyObject* out = PySys_GetObject("stdout");  // borrowed
        if (out == nullptr || out == Py_None) return;
        const std::string text = line + "\n";
        PyObject* str = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
        if (str == nullptr) throw py::error_already_set();
        Py_INCREF(out);
        bool written = callMethod(out, "write", str);
        Py_DECREF(str);
        if (written && PyObject_HasAttrString(out, "flush")) written = callMethod(out, "flush", nullptr);
        Py_DECREF(out);
        if (!written) throw py::error_already_set();
    });
}

void hostWarning(const std::string& identifier, const std::string& message) {
    fromChannel([&] {
        PyObject* errors = PyImport_ImportModule(kErrorsModule);
        if (errors == nullptr) throw py::error_already_set();
        PyObject* id = PyUnicode_FromStringAndSize(identifier.data(), static_cast<Py_ssize_t>(identifier.size()));
        PyObject* text = PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()));
        PyObject* result =
            id && text ? PyObject_CallMethod(errors, "emit_warning", "OO", id, text) : nullptr;
        Py_XDECREF(id);
        Py_XDECREF(text);
        Py_DECREF(errors);
        if (result == nullptr) throw py::error_already_set();
        Py_DECREF(result);
    });
}

// ---------------------------------------------------------------- errors

[[noreturn]] void raiseFrom(const char* factory, py::object argument1, py::object argument2 = py::none()) {
    py::object errors = py::module_::import(kErrorsModule);
    py::object exception = argument2.is_none() ? errors.attr(factory)(argument1)
                                                : errors.attr(factory)(argument1, argument2);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raiseHostError(const std::string& identifier, const std::string& message) {
    raiseFrom("host_error", py::str(identifier), py::str(message));
}

// ---------------------------------------------------------------- the module

// The module stays loaded until the process ends and is deliberately never
// destroyed: at exit, static destruction would unload it (dlclose) while daemon
// threads may still be running its code, and they would crash.
std::mutex moduleMutex;
linkwork::Module* loadedModule = nullptr;

void loadModule(const std::string& path) {
    std::lock_guard<std::mutex> lock(moduleMutex);
    if (loadedModule) return;
    try {
        loadedModule = new linkwork::Module(path);
    } catch (const linkwork::ModuleLoadError& error) {
        raiseFrom("ModuleLoadError", py::str(error.what()));
    }
}

std::string loadedPath() {
    std::lock_guard<std::mutex> lock(moduleMutex);
    return loadedModule ? loadedModule->path() : std::string();
}

const linkwork::Module& module() {
    std::lock_guard<std::mutex> lock(moduleMutex);
    if (!loadedModule) throw std::logic_error("the linkwork module is not loaded");
    return *loadedModule;
}

// ---------------------------------------------------------------- inputs

struct ClassOfDtype {
    hxClassID classID;
    bool complex;
};

std::optional<ClassOfDtype> classOf(const py::dtype& dtype) {
    if (dtype.is(py::dtype::of<double>())) return ClassOfDtype{hxDOUBLE_CLASS, false};
    // Compare by kind and size: the Python side has already made the byte order native.
    const char kind = dtype.kind();
    const py::ssize_t size = dtype.itemsize();
    switch (kind) {
        case 'f':
            if (size == 8) return ClassOfDtype{hxDOUBLE_CLASS, false};
            if (size == 4) return ClassOfDtype{hxSINGLE_CLASS, false};
            break;
        case 'c':
            if (size == 16) return ClassOfDtype{hxDOUBLE_CLASS, true};
            break;
        case 'b':
            if (size == 1) return ClassOfDtype{hxLOGICAL_CLASS, false};
            break;
        case 'i':
            if (size == 1) return ClassOfDtype{hxINT8_CLASS, false};
            if (size == 2) return ClassOfDtype{hxINT16_CLASS, false};
            if (size == 4) return ClassOfDtype{hxINT32_CLASS, false};
            if (size == 8) return ClassOfDtype{hxINT64_CLASS, false};
            break;
        case 'u':
            if (size == 1) return ClassOfDtype{hxUINT8_CLASS, false};
            if (size == 2) return ClassOfDtype{hxUINT16_CLASS, false};
            if (size == 4) return ClassOfDtype{hxUINT32_CLASS, false};
            if (size == 8) return ClassOfDtype{hxUINT64_CLASS, false};
            break;
        default:
            break;
    }
    return std::nullopt;
}

[[noreturn]] void badInput(std::size_t position, const std::string& what) {
    throw py::type_error("argument " + std::to_string(position) + ": " + what);
}

// Copies `count` elements into host storage, splitting complex values into the
// real and imaginary parts; logical values are stored as 0 or 1.
void copyElements(const void* source, std::size_t count, const ClassOfDtype& type, hxArray& target) {
    if (count == 0) return;
    if (type.complex) {
        const double* pairs = static_cast<const double*>(source);
        double* re = static_cast<double*>(target.realData);
        double* im = static_cast<double*>(target.imagData);
        for (std::size_t k = 0; k < count; ++k) {
            re[k] = pairs[2 * k];
            im[k] = pairs[2 * k + 1];
        }
    } else if (type.classID == hxLOGICAL_CLASS) {
        const std::uint8_t* bytes = static_cast<const std::uint8_t*>(source);
        std::uint8_t* out = static_cast<std::uint8_t*>(target.realData);
        for (std::size_t k = 0; k < count; ++k) out[k] = bytes[k] != 0 ? 1 : 0;
    } else {
        std::memcpy(target.realData, source, count * linkwork::elementSize(type.classID));
    }
}

// The NumPy objects whose buffers borrowed host arrays read; held until the call ends.
using KeepAlive = std::vector<py::object>;

bool cleanLogicalBytes(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t k = 0; k < count; ++k)
        if (bytes[k] > 1) return false;
    return true;
}

// Real values whose bytes are the host's layout (logical: 0 or 1) need no copy.
bool borrowable(const ClassOfDtype& type, const void* data, std::size_t count) {
    return !type.complex && (type.classID != hxLOGICAL_CLASS || cleanLogicalBytes(data, count));
}

ArrayPtr denseInput(const py::array& array, std::size_t position, KeepAlive* keep) {
    if (array.ndim() != 2) badInput(position, "the array must be two-dimensional");
    if (!(array.flags() & py::array::f_style) || !(array.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_))
        badInput(position, "the array must be aligned and in Fortran order");
    const std::optional<ClassOfDtype> type = classOf(array.dtype());
    if (!type) badInput(position, "unsupported dtype " + std::string(py::str(array.dtype())));
    const auto rows = static_cast<hxSize>(array.shape(0));
    const auto cols = static_cast<hxSize>(array.shape(1));
    if (keep != nullptr && borrowable(*type, array.data(), rows * cols)) {
        keep->push_back(array);
        return linkwork::borrowNumeric(type->classID, rows, cols, array.data());
    }
    ArrayPtr host = linkwork::makeNumeric(type->classID, rows, cols, type->complex);
    copyElements(array.data(), rows * cols, *type, *host);
    return host;
}

// A contiguous 1-d array of the given C type, or a TypeError.
template <class T>
py::array_t<T> vectorOf(py::handle item, std::size_t position, const char* name) {
    auto vector = py::array_t<T, py::array::c_style>::ensure(item);
    if (!vector || vector.ndim() != 1) badInput(position, std::string("sparse ") + name + " must be a 1-d array");
    return vector;
}

ArrayPtr sparseInput(const py::tuple& parts, std::size_t position, KeepAlive* keep) {
    if (parts.size() != 5) badInput(position, "a sparse argument has five parts");
    const py::array data = py::array::ensure(parts[0], py::array::c_style);
    if (!data || data.ndim() != 1) badInput(position, "sparse data must be a 1-d array");
    const auto indices = vectorOf<std::int64_t>(parts[1], position, "indices");
    const auto indptr = vectorOf<std::int64_t>(parts[2], position, "indptr");
    const auto rows = parts[3].cast<hxSize>();
    const auto cols = parts[4].cast<hxSize>();
    const std::optional<ClassOfDtype> type = classOf(data.dtype());
    if (!type || (type->classID != hxDOUBLE_CLASS && type->classID != hxLOGICAL_CLASS))
        badInput(position, "sparse data must be float64, bool or complex128");
    const auto stored = static_cast<std::size_t>(data.shape(0));
    if (static_cast<std::size_t>(indices.shape(0)) != stored)
        throw py::value_error("argument " + std::to_string(position) + ": sparse data and indices differ in length");
    if (cols == SIZE_MAX || static_cast<std::size_t>(indptr.shape(0)) != cols + 1)
        throw py::value_error("argument " + std::to_string(position) + ": sparse indptr must hold columns + 1 entries");

    static_assert(sizeof(hxIndex) == sizeof(std::int64_t), "host indices are 64-bit");
    if (keep != nullptr && borrowable(*type, data.data(), stored)) {
        // Negative indices read as huge unsigned values, which the runtime's
        // structure check rejects before the module sees them.
        keep->insert(keep->end(), {data, indices, indptr});
        return linkwork::borrowSparse(type->classID, rows, cols, stored, data.data(),
                                      reinterpret_cast<const hxIndex*>(indices.data()),
                                      reinterpret_cast<const hxIndex*>(indptr.data()));
    }
    ArrayPtr host = linkwork::makeSparse(type->classID, rows, cols, stored, type->complex);
    copyElements(data.data(), stored, *type, *host);
    // Negative indices wrap to huge unsigned values, which the runtime's structure
    // check rejects before the module sees them.
    const std::int64_t* rowIndex = indices.data();
    for (std::size_t k = 0; k < stored; ++k) host->rowIndices[k] = static_cast<hxIndex>(rowIndex[k]);
    const std::int64_t* start = indptr.data();
    for (std::size_t j = 0; j <= cols; ++j) host->columnStarts[j] = static_cast<hxIndex>(start[j]);
    return host;
}

// With `keep`, numeric buffers are borrowed and their owners added to it; without,
// everything is copied into host storage.
ArrayPtr hostInput(py::handle item, std::size_t position, KeepAlive* keep) {
    if (item.is_none()) return linkwork::makeDouble(0, 0);
    if (py::isinstance<py::bytes>(item)) return linkwork::makeString(item.cast<std::string>());
    if (py::isinstance<py::tuple>(item)) return sparseInput(py::reinterpret_borrow<py::tuple>(item), position, keep);
    if (py::isinstance<py::array>(item)) return denseInput(py::reinterpret_borrow<py::array>(item), position, keep);
    badInput(position, "cannot be converted");
}

// ---------------------------------------------------------------- outputs

constexpr const char* kCapsuleName = "linkwork.hxArray";

void destroyCapsule(PyObject* capsule) {
    linkwork::destroyArray(static_cast<hxArray*>(PyCapsule_GetPointer(capsule, kCapsuleName)));
}

// A capsule that takes over the host array; the array is released only once the
// capsule exists, so a failure leaves it with its ArrayPtr.
py::capsule ownerOf(ArrayPtr& array) {
    PyObject* capsule = PyCapsule_New(array.get(), kCapsuleName, &destroyCapsule);
    if (capsule == nullptr) throw py::error_already_set();
    array.release();
    return py::reinterpret_steal<py::capsule>(capsule);
}

py::dtype dtypeOf(hxClassID classID) {
    switch (classID) {
        case hxDOUBLE_CLASS: return py::dtype::of<double>();
        case hxSINGLE_CLASS: return py::dtype::of<float>();
        case hxINT8_CLASS: return py::dtype::of<std::int8_t>();
        case hxUINT8_CLASS: return py::dtype::of<std::uint8_t>();
        case hxINT16_CLASS: return py::dtype::of<std::int16_t>();
        case hxUINT16_CLASS: return py::dtype::of<std::uint16_t>();
        case hxINT32_CLASS: return py::dtype::of<std::int32_t>();
        case hxUINT32_CLASS: return py::dtype::of<std::uint32_t>();
        case hxINT64_CLASS: return py::dtype::of<std::int64_t>();
        case hxUINT64_CLASS: return py::dtype::of<std::uint64_t>();
        case hxLOGICAL_CLASS: return py::dtype::of<bool>();
        default: throw std::logic_error("no dtype for this class");
    }
}

bool isSupportedDenseClass(hxClassID classID) {
    return (classID >= hxDOUBLE_CLASS && classID <= hxUINT64_CLASS) || classID == hxLOGICAL_CLASS;
}

// NumPy reads bool bytes as they are; anything but 0 and 1 needs a clean copy.
bool cleanLogicals(const hxArray& array, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(array.realData);
    for (std::size_t k = 0; k < count; ++k)
        if (bytes[k] > 1) return false;
    return true;
}

std::size_t checkedSize(hxSize value, const char* what) {
    if (value > static_cast<hxSize>(PY_SSIZE_T_MAX)) throw std::length_error(std::string("output ") + what + " is too large");
    return value;
}

// `count` elements of the array's real data as a 1-d or 2-d view that keeps `owner` alive.
py::array viewOf(const hxArray& array, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
                 std::size_t count, const py::capsule& owner) {
    const py::dtype dtype = dtypeOf(array.classID);
    if (count == 0 || array.realData == nullptr) return py::array(dtype, shape, strides);
    if (array.classID == hxLOGICAL_CLASS && !cleanLogicals(array, count)) {
        py::array copy(dtype, shape, strides);
        const auto* bytes = static_cast<const std::uint8_t*>(array.realData);
        auto* out = static_cast<std::uint8_t*>(copy.mutable_data());
        for (std::size_t k = 0; k < count; ++k) out[k] = bytes[k] != 0 ? 1 : 0;
        return copy;
    }
    return py::array(dtype, shape, strides, array.realData, owner);
}

py::array complexCopy(const hxArray& array, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
                      std::size_t count) {
    py::array_t<std::complex<double>> copy(shape, strides);
    auto* out = static_cast<std::complex<double>*>(copy.mutable_data());
    const auto* re = static_cast<const double*>(array.realData);
    const auto* im = static_cast<const double*>(array.imagData);
    for (std::size_t k = 0; k < count; ++k) out[k] = {re[k], im[k]};
    return copy;
}

py::object denseOutput(ArrayPtr array) {
    const std::size_t rows = checkedSize(array->rows(), "row count");
    const std::size_t cols = checkedSize(array->cols(), "column count");
    if (rows != 0 && cols > static_cast<std::size_t>(PY_SSIZE_T_MAX) / rows)
        throw std::length_error("output is too large");
    const std::size_t count = rows * cols;
    if (array->classID == hxCHAR_CLASS) {
        PyObject* text = PyUnicode_DecodeUTF8(static_cast<const char*>(array->realData),
                                              static_cast<py::ssize_t>(checkedSize(count, "text")), "replace");
        if (text == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::str>(text);
    }
    if (!isSupportedDenseClass(array->classID))
        raiseHostError("linkwork:python:UnsupportedOutput",
                       std::string("The module returned an array of class ") + linkwork::className(array->classID) + ".");
    const auto itemSize = static_cast<py::ssize_t>(array->isComplex() ? 16 : linkwork::elementSize(array->classID));
    std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(cols)};
    std::vector<py::ssize_t> strides{itemSize, itemSize * static_cast<py::ssize_t>(rows)};
    if (array->isComplex()) return complexCopy(*array, shape, strides, count);
    const hxArray& view = *array;
    py::capsule owner = ownerOf(array);
    return viewOf(view, shape, strides, count, owner);
}

// (data, indices, indptr, rows, cols), the arrays viewing the host array.
py::object sparseOutput(ArrayPtr array, std::size_t position) {
    linkwork::validateSparse(*array, "output " + std::to_string(position));
    const std::size_t rows = checkedSize(array->rows(), "row count");
    const std::size_t cols = checkedSize(array->cols(), "column count");
    if (rows > static_cast<std::size_t>(INT64_MAX) || cols >= static_cast<std::size_t>(INT64_MAX))
        throw std::length_error("sparse output is too large");
    const std::size_t stored = array->storedCount();
    const hxArray& view = *array;
    const bool complex = array->isComplex();
    py::capsule owner = ownerOf(array);
    const py::ssize_t valueSize = complex ? 16 : static_cast<py::ssize_t>(linkwork::elementSize(view.classID));
    py::array data = complex ? complexCopy(view, {static_cast<py::ssize_t>(stored)}, {valueSize}, stored)
                             : viewOf(view, {static_cast<py::ssize_t>(stored)}, {valueSize}, stored, owner);
    // Row indices and column starts are below 2^63 once validated, so their
    // unsigned storage reads the same as int64.
    const py::dtype int64 = py::dtype::of<std::int64_t>();
    py::array indices = stored == 0 ? py::array(int64, {py::ssize_t{0}}, {py::ssize_t{8}})
                                    : py::array(int64, {static_cast<py::ssize_t>(stored)}, {py::ssize_t{8}},
                                                view.rowIndices, owner);
    py::array indptr(int64, {static_cast<py::ssize_t>(cols + 1)}, {py::ssize_t{8}}, view.columnStarts, owner);
    return py::make_tuple(data, indices, indptr, rows, cols);
}

py::object pythonOutput(ArrayPtr array, std::size_t position) {
    if (!array) return py::none();
    if (array->sparse) return sparseOutput(std::move(array), position);
    return denseOutput(std::move(array));
}

// ---------------------------------------------------------------- interruption

// The interrupt of the call that the main thread is running, and the SIGINT handler
// that was installed before the call (Python's own), which ours calls in turn.
std::atomic<linkwork::Interrupt*> mainThreadInterrupt{nullptr};
struct sigaction handlerBeforeCall;

void onSigint(int signal, siginfo_t* info, void* context) {
    if (linkwork::Interrupt* interrupt = mainThreadInterrupt.load()) interrupt->request();
    const int savedErrno = errno;
    if (handlerBeforeCall.sa_flags & SA_SIGINFO)
        handlerBeforeCall.sa_sigaction(signal, info, context);
    else
        handlerBeforeCall.sa_handler(signal);
    errno = savedErrno;
}

// Asked with the GIL held; the only thread where Python runs signal handlers.
bool onMainThread() { return _PyOS_IsMainThread() != 0; }

// For the duration of a call on the main thread, while SIGINT has a handler (Python
// installs one for any Python-level handler; SIG_IGN and SIG_DFL keep their
// meaning), a SIGINT also stops the call. Python's handler still runs first thing
// after the call, so KeyboardInterrupt or the user's own handler behaves as usual.
class SigintScope {
public:
    explicit SigintScope(linkwork::Interrupt& interrupt) {
        if (!onMainThread()) return;
        struct sigaction current;
        if (sigaction(SIGINT, nullptr, &current) != 0) return;
        const bool hasHandler = (current.sa_flags & SA_SIGINFO) != 0 ||
                                (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN);
        if (!hasHandler) return;
        handlerBeforeCall = current;
        struct sigaction ours = current;
        ours.sa_flags |= SA_SIGINFO;
        ours.sa_sigaction = onSigint;
        mainThreadInterrupt.store(&interrupt);
        installed_ = sigaction(SIGINT, &ours, nullptr) == 0;
        if (!installed_) mainThreadInterrupt.store(nullptr);
    }
    ~SigintScope() {
        if (!installed_) return;
        sigaction(SIGINT, &handlerBeforeCall, nullptr);
        mainThreadInterrupt.store(nullptr);
    }
    SigintScope(const SigintScope&) = delete;
    SigintScope& operator=(const SigintScope&) = delete;

private:
    bool installed_ = false;
};

// ---------------------------------------------------------------- the call

std::vector<ArrayPtr> hostInputs(const py::list& items, KeepAlive& keep) {
    std::vector<ArrayPtr> inputs;
    inputs.reserve(items.size());
    std::size_t position = 0;
    for (py::handle item : items) inputs.push_back(hostInput(item, ++position, &keep));
    return inputs;
}

py::tuple call(const py::list& items, int nargout) {
    if (nargout < 0) throw py::value_error("nargout must not be negative");
    const linkwork::Module& target = module();
    // Declared first, so that the buffers outlive the host arrays that read them.
    KeepAlive keep;
    std::vector<ArrayPtr> owned;
    try {
        owned = hostInputs(items, keep);
    } catch (const linkwork::HostError& error) {  // an input too large to copy
        raiseHostError(error.identifier(), error.message());
    }
    std::vector<const hxArray*> inputs;
    inputs.reserve(owned.size());
    for (const ArrayPtr& input : owned) inputs.push_back(input.get());

    CallContext context;
    std::vector<ArrayPtr> outputs;
    std::optional<std::pair<std::string, std::string>> hostError;
    std::optional<std::string> moduleError;
    bool outOfMemory = false;
    linkwork::Interrupt interrupt;
    {
        ContextScope scope(context);
        SigintScope sigint(interrupt);
        PyThreadState* thread = PyEval_SaveThread();
        try {
            outputs = target.call(nargout, inputs, &interrupt);
        } catch (const linkwork::HostError& error) {
            hostError.emplace(error.identifier(), error.message());
        } catch (abi::__forced_unwind&) {
            throw;
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        } catch (const std::exception& error) {
            moduleError.emplace(error.what());
        } catch (...) {
            moduleError.emplace("the module raised an exception of unknown type");
        }
        flushNativeStdout();
        retakeGil(thread);
    }
    owned.clear();
    // An interrupted call lets Python's SIGINT handler speak first: KeyboardInterrupt
    // by default, or whatever the user's handler raises.
    if (hostError && hostError->first == "linkwork:runtime:Interrupted" && PyErr_CheckSignals() != 0)
        throw py::error_already_set();
    // A warning turned into an error stopped the call at the point of the warning.
    if (context.pending) throw *context.pending;
    if (hostError) raiseHostError(hostError->first, hostError->second);
    if (moduleError) raiseFrom("ModuleError", py::str(*moduleError));
    if (outOfMemory) throw std::bad_alloc();

    py::tuple result(outputs.size());
    for (std::size_t k = 0; k < outputs.size(); ++k) result[k] = pythonOutput(std::move(outputs[k]), k + 1);
    return result;
}

// The host array an input becomes, described and converted back: the conversion
// table both ways without the module.
py::tuple roundTrip(py::handle item) {
    // Copied, not borrowed: the outputs view the host array's storage.
    ArrayPtr array = hostInput(item, 1, nullptr);
    if (array->sparse) linkwork::validateSparse(*array, "argument 1");
    py::dict description;
    description["class"] = linkwork::className(array->classID);
    description["rows"] = array->rows();
    description["cols"] = array->cols();
    description["sparse"] = array->sparse;
    description["complex"] = array->imagData != nullptr;
    return py::make_tuple(description, pythonOutput(std::move(array), 1));
}

// ---------------------------------------------------------------- preparation steps
//
// The compiled steps of linkwork/_graph.py's canonical form: counting sorts, the
// undirected fold and entry look-ups, each a few linear passes. Compressed arrays
// are read as CSC (indptr over columns, indices are rows). Index arrays come as
// SciPy keeps them, int32 or int64, and are read without a widening copy; the
// index arrays made here are int64. The Python side has checked the structure
// already; these steps check every start and index again before using it, so a
// bad array is a ValueError, never a read or write out of bounds. Data arrays are
// moved as raw elements: every value, NaN payloads included, arrives unchanged.

template <class T>
struct Vector {
    const T* data = nullptr;
    std::size_t size = 0;
};

template <class T>
std::optional<Vector<T>> vectorView(py::handle item) {
    if (!py::array_t<T, py::array::c_style>::check_(item)) return std::nullopt;
    const auto array = py::reinterpret_borrow<py::array>(item);
    if (array.ndim() != 1) return std::nullopt;
    return Vector<T>{static_cast<const T*>(array.data()), static_cast<std::size_t>(array.shape(0))};
}

// Runs `action` on a view of a contiguous int32 or int64 index array.
template <class Action>
py::object withIndexVector(py::handle item, const char* name, Action&& action) {
    if (auto view = vectorView<std::int32_t>(item)) return action(*view);
    if (auto view = vectorView<std::int64_t>(item)) return action(*view);
    throw py::type_error(std::string(name) + " must be a contiguous 1-d int32 or int64 array");
}

template <class Action>
py::object withCompressed(py::handle indptr, py::handle indices, Action&& action) {
    return withIndexVector(indptr, "indptr", [&](auto starts) {
        return withIndexVector(indices, "indices", [&](auto rows) { return action(starts, rows); });
    });
}

[[noreturn]] void badStructure(const std::string& fault) { throw py::value_error("malformed compressed arrays: " + fault); }

// A stored index as an unsigned number; a negative one becomes huge and fails every bound.
template <class T>
std::size_t unsignedIndex(T value) {
    return static_cast<std::size_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

std::size_t checkedCount(std::int64_t n) {
    if (n < 0 || static_cast<std::uint64_t>(n) >= static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / 8)
        throw py::value_error("the vertex count must lie in 0..2^60");
    return static_cast<std::size_t>(n);
}

// Checks that `starts` rises from 0 to at most `size` in n steps; returns the entry count.
template <class P>
std::size_t checkedStarts(Vector<P> starts, std::size_t n, std::size_t size) {
    if (starts.size != n + 1) badStructure("indptr must hold one entry per column and one more");
    if (starts.data[0] != 0) badStructure("indptr must start at 0");
    for (std::size_t j = 0; j < n; ++j)
        if (starts.data[j + 1] < starts.data[j]) badStructure("indptr must not decrease");
    const std::size_t count = unsignedIndex(starts.data[n]);
    if (count > size) badStructure("indptr ends past the indices");
    return count;
}

// Checks that the first `count` indices lie in 0..n-1.
template <class I>
void checkIndices(Vector<I> indices, std::size_t count, std::size_t n) {
    for (std::size_t k = 0; k < count; ++k)
        if (unsignedIndex(indices.data[k]) >= n) badStructure("an index lies outside 0..n-1");
}

// Checks every index of checked starts against 0..n-1 and tells whether indices
// ascend strictly within every column (sorted, no duplicates), in one pass.
template <class P, class I>
bool checkedColumns(Vector<P> starts, Vector<I> rows, std::size_t n) {
    bool ascending = true;
    for (std::size_t j = 0; j < n; ++j) {
        const std::size_t first = unsignedIndex(starts.data[j]), end = unsignedIndex(starts.data[j + 1]);
        for (std::size_t k = first; k < end; ++k) {
            if (unsignedIndex(rows.data[k]) >= n) badStructure("an index lies outside 0..n-1");
            ascending &= k == first || rows.data[k - 1] < rows.data[k];
        }
    }
    return ascending;
}

// Data arrays to move along: contiguous 1-d, one element per entry.
std::vector<py::array> dataArrays(const py::list& items, std::size_t count) {
    std::vector<py::array> arrays;
    for (py::handle item : items) {
        py::array array = py::array::ensure(item, py::array::c_style);
        if (!array || array.ndim() != 1 || static_cast<std::size_t>(array.shape(0)) != count)
            throw py::value_error("each data array must be 1-d with one element per entry");
        const auto size = array.itemsize();
        if (size != 1 && size != 2 && size != 4 && size != 8)
            throw py::type_error("data elements must be 1, 2, 4 or 8 bytes");
        arrays.push_back(std::move(array));
    }
    return arrays;
}

// Runs `action(from, to, E{})` with the arrays' elements as E, an unsigned type of their size.
template <class Action>
void withElements(const py::array& from, py::array& to, Action&& action) {
    const void* in = from.data();
    void* out = to.mutable_data();
    switch (from.itemsize()) {
        case 1: action(static_cast<const std::uint8_t*>(in), static_cast<std::uint8_t*>(out)); break;
        case 2: action(static_cast<const std::uint16_t*>(in), static_cast<std::uint16_t*>(out)); break;
        case 4: action(static_cast<const std::uint32_t*>(in), static_cast<std::uint32_t*>(out)); break;
        default: action(static_cast<const std::uint64_t*>(in), static_cast<std::uint64_t*>(out)); break;
    }
}

py::array emptyLike(const py::array& array, std::size_t size) {
    return py::array(array.dtype(), std::vector<py::ssize_t>{static_cast<py::ssize_t>(size)});
}

py::array_t<std::int64_t> indexArray(std::size_t size) {
    return py::array_t<std::int64_t>(static_cast<py::ssize_t>(size));
}

// The significant bits of values below `bound` (at least one).
unsigned bitsBelow(std::size_t bound) {
    unsigned bits = 1;
    while (bits < 64 && (bound - 1) >> bits != 0) ++bits;
    return bits;
}

// A stable counting sort of entries by key: the compressed arrays (indptr, indices,
// [data...]) of the entries grouped by key, each with its minor index as the new
// index; entries of one key keep their order. `entries(visit)` calls
// visit(k, key, minor) for each entry in stored order, with key and minor below n
// (checked by the caller), k the entry's place in the data arrays.
//
// Scattering each entry straight to its key's next slot writes all over the
// output; instead a first pass moves the entries, stably, into a few hundred
// buckets of consecutive keys (one write stream per bucket), and a second pass
// sorts each bucket by key within its own slice of the output, which stays in
// cache. The first pass parks each entry in the output arrays themselves (its key
// within the bucket and its minor index packed into the index slot), so no
// temporary of the entries' size is made beyond one bucket's copy.
template <class Entries>
py::tuple countingSort(std::size_t n, std::size_t count, Entries entries, const std::vector<py::array>& datas) {
    py::array_t<std::int64_t> starts = indexArray(n + 1);
    py::array_t<std::int64_t> indices = indexArray(count);
    std::vector<py::array> outs;
    for (const py::array& data : datas) outs.push_back(emptyLike(data, count));
    std::int64_t* start = starts.mutable_data();
    auto* parked = reinterpret_cast<std::uint64_t*>(indices.mutable_data());
    start[0] = 0;

    // Keys in a bucket share their high bits; 2^shift keys per bucket.
    const unsigned minorBits = bitsBelow(n);
    unsigned shift = minorBits > 8 ? minorBits - 8 : 0;
    if (shift + minorBits > 64) shift = 64 - minorBits;
    const std::size_t buckets = n == 0 ? 0 : ((n - 1) >> shift) + 1;
    if (buckets > (std::size_t{1} << 24)) throw std::length_error("too many vertices to sort entries by");
    const std::uint64_t minorMask = minorBits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << minorBits) - 1;

    std::vector<std::size_t> bucketStart(buckets + 1, 0);
    entries([&](std::size_t, std::size_t key, std::size_t) { ++bucketStart[(key >> shift) + 1]; });
    for (std::size_t b = 0; b < buckets; ++b) bucketStart[b + 1] += bucketStart[b];
    std::vector<std::size_t> next(buckets);
    auto distribute = [&](auto&& put) {
        std::copy(bucketStart.begin(), bucketStart.end() - 1, next.begin());
        entries([&](std::size_t k, std::size_t key, std::size_t minor) { put(k, key, minor, next[key >> shift]++); });
    };
    const std::uint64_t keyMask = (std::uint64_t{1} << shift) - 1;
    auto park = [&](std::size_t key, std::size_t minor, std::size_t to) {
        parked[to] = ((static_cast<std::uint64_t>(key) & keyMask) << minorBits) | static_cast<std::uint64_t>(minor);
    };
    if (outs.empty()) {
        distribute([&](std::size_t, std::size_t key, std::size_t minor, std::size_t to) { park(key, minor, to); });
    } else {
        withElements(datas[0], outs[0], [&](const auto* in, auto* out) {
            distribute([&](std::size_t k, std::size_t key, std::size_t minor, std::size_t to) {
                park(key, minor, to);
                out[to] = in[k];
            });
        });
    }
    for (std::size_t d = 1; d < outs.size(); ++d)
        withElements(datas[d], outs[d], [&](const auto* in, auto* out) {
            distribute([&](std::size_t k, std::size_t, std::size_t, std::size_t to) { out[to] = in[k]; });
        });

    // Each bucket sorted by key within its slice [first, last) of the output.
    std::vector<std::uint64_t> local;
    std::vector<std::size_t> place;
    std::tuple<std::vector<std::uint8_t>, std::vector<std::uint16_t>, std::vector<std::uint32_t>,
               std::vector<std::uint64_t>> copies;
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t first = bucketStart[b], last = bucketStart[b + 1], size = last - first;
        const std::size_t low = b << shift, high = std::min(n, (b + 1) << shift);
        local.assign(parked + first, parked + last);
        for (std::size_t key = low; key < high; ++key) start[key + 1] = 0;
        for (std::uint64_t entry : local) ++start[low + (entry >> minorBits) + 1];
        start[low] = static_cast<std::int64_t>(first);
        for (std::size_t key = low; key < high; ++key) start[key + 1] += start[key];
        place.resize(size);
        {
            std::vector<std::int64_t> cursor(start + low, start + high);
            for (std::size_t e = 0; e < size; ++e) {
                const std::size_t to = static_cast<std::size_t>(cursor[local[e] >> minorBits]++);
                place[e] = to;
                parked[to] = local[e] & minorMask;  // the minor index, as int64
            }
        }
        for (std::size_t d = 0; d < outs.size(); ++d)
            withElements(outs[d], outs[d], [&](const auto*, auto* out) {
                auto& kept = std::get<std::vector<std::remove_pointer_t<decltype(out)>>>(copies);
                kept.assign(out + first, out + last);
                for (std::size_t e = 0; e < size; ++e) out[place[e]] = kept[e];
            });
    }
    py::list moved;
    for (py::array& out : outs) moved.append(std::move(out));
    return py::make_tuple(starts, indices, moved);
}

// The compressed arrays of the transpose: (indptr, indices, [data...], canonical)
// as SciPy's csr_tocsc makes them, indices ascending within each new column;
// `canonical` tells whether the input's indices ascended strictly within every
// column (found on the pass that checks them).
py::tuple transpose(std::int64_t vertices, py::handle indptr, py::handle indices, const py::list& items) {
    const std::size_t n = checkedCount(vertices);
    py::object result = withCompressed(indptr, indices, [&](auto starts, auto rows) -> py::object {
        const std::size_t count = checkedStarts(starts, n, rows.size);
        const bool canonical = checkedColumns(starts, rows, n);
        const std::vector<py::array> datas = dataArrays(items, count);
        auto entries = [starts, rows, n](auto&& visit) {
            for (std::size_t j = 0; j < n; ++j) {
                const std::size_t end = unsignedIndex(starts.data[j + 1]);
                for (std::size_t k = unsignedIndex(starts.data[j]); k < end; ++k) visit(k, unsignedIndex(rows.data[k]), j);
            }
        };
        const py::tuple sorted = countingSort(n, count, entries, datas);
        return py::make_tuple(sorted[0], sorted[1], sorted[2], py::bool_(canonical));
    });
    return py::reinterpret_borrow<py::tuple>(result);
}

// Coordinate entries compressed by their major index (COO to CSR, stably).
py::tuple compress(std::int64_t vertices, py::handle majors, py::handle minors, const py::list& items) {
    const std::size_t n = checkedCount(vertices);
    py::object result = withIndexVector(majors, "majors", [&](auto keys) {
        return withIndexVector(minors, "minors", [&](auto others) -> py::object {
            const std::size_t count = keys.size;
            if (others.size != count) badStructure("majors and minors differ in length");
            checkIndices(keys, count, n);
            checkIndices(others, count, n);
            const std::vector<py::array> datas = dataArrays(items, count);
            auto entries = [keys, others, count](auto&& visit) {
                for (std::size_t k = 0; k < count; ++k)
                    visit(k, unsignedIndex(keys.data[k]), unsignedIndex(others.data[k]));
            };
            return countingSort(n, count, entries, datas);
        });
    });
    return py::reinterpret_borrow<py::tuple>(result);
}

// Whether indices ascend strictly within every column: sorted, no duplicates.
bool isCanonical(std::int64_t vertices, py::handle indptr, py::handle indices) {
    const std::size_t n = checkedCount(vertices);
    py::object result = withCompressed(indptr, indices, [&](auto starts, auto rows) -> py::object {
        checkedStarts(starts, n, rows.size);
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t end = unsignedIndex(starts.data[j + 1]);
            for (std::size_t k = unsignedIndex(starts.data[j]) + 1; k < end; ++k)
                if (!(rows.data[k - 1] < rows.data[k])) return py::bool_(false);
        }
        return py::bool_(true);
    });
    return result.cast<bool>();
}

// The strict lower triangle of the undirected graph of canonical compressed arrays.
//
// Entry (i, j) lands at row max(i, j), column min(i, j); diagonal entries are
// dropped. The entries below the diagonal are in place already (each column's
// tail); those above it (each column's head) are transposed by one counting sort,
// and each column is then the merge of two ascending runs. Returns None when every
// entry lies below the diagonal (the arrays are the answer as they are), otherwise
// (indptr, indices, [data...], at, [mirror...]): each data array holds the value
// of the entry below the diagonal where there is one and of its mirror otherwise;
// `at` lists the places that have both, and each mirror array the mirror's
// values there, for the caller to combine. Takes one data array or more.
py::object fold(std::int64_t vertices, py::handle indptr, py::handle indices, const py::list& items) {
    const std::size_t n = checkedCount(vertices);
    return withCompressed(indptr, indices, [&](auto starts, auto rows) -> py::object {
        const std::size_t count = checkedStarts(starts, n, rows.size);
        // The runs below rely on ascending columns.
        if (!checkedColumns(starts, rows, n)) throw py::value_error("fold needs canonical compressed arrays");
        const std::vector<py::array> datas = dataArrays(items, count);
        auto begin = [starts](std::size_t j) { return unsignedIndex(starts.data[j]); };
        auto row = [rows](std::size_t k) { return unsignedIndex(rows.data[k]); };

        if (datas.empty()) throw py::value_error("fold needs at least one data array");

        // The counts, and the first entry below the diagonal of each column.
        py::array_t<std::int64_t> lowerStarts = indexArray(n);
        std::int64_t* lowerStart = lowerStarts.mutable_data();
        std::size_t below = 0, above = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t first = begin(j), end = begin(j + 1);
            std::size_t atOrAbove = 0;
            for (std::size_t k = first; k < end; ++k) {
                const std::size_t i = row(k);
                atOrAbove += i <= j;
                above += i < j;
            }
            below += end - first - atOrAbove;
            lowerStart[j] = static_cast<std::int64_t>(first + atOrAbove);
        }
        if (below == count) return py::none();
        auto belowStart = [lowerStart](std::size_t j) { return static_cast<std::size_t>(lowerStart[j]); };
        // The entries above the diagonal, transposed: compressed by their row.
        const py::tuple upper = countingSort(
            n, above,
            [&](auto&& visit) {
                for (std::size_t j = 0; j < n; ++j) {
                    std::size_t end = belowStart(j);
                    if (end > begin(j) && row(end - 1) == j) --end;  // the diagonal entry
                    for (std::size_t k = begin(j); k < end; ++k) visit(k, row(k), j);
                }
            },
            datas);
        const std::int64_t* upperStart = upper[0].cast<py::array_t<std::int64_t>>().data();
        const std::int64_t* upperRow = upper[1].cast<py::array_t<std::int64_t>>().data();
        const auto upperValues = upper[2].cast<py::list>();

        // Sized for the most there can be and cut to what there are: memory
        // never written is never touched.
        const std::size_t bound = below + above, pairBound = std::min(below, above);
        py::array_t<std::int64_t> outStarts = indexArray(n + 1);
        py::array_t<std::int64_t> outRows = indexArray(bound);
        py::array_t<std::int64_t> places = indexArray(pairBound);
        std::int64_t* outStart = outStarts.mutable_data();
        std::int64_t* outRow = outRows.mutable_data();
        std::int64_t* at = places.mutable_data();
        std::vector<py::array> outs, mirrors;
        for (const py::array& data : datas) {
            outs.push_back(emptyLike(data, bound));
            mirrors.push_back(emptyLike(data, pairBound));
        }
        outStart[0] = 0;

        // Each column is the merge of its entries below the diagonal (input
        // entries k) and the transposed ones above it (upper entries u). The
        // structure comes with the first data array; a place where both runs
        // hold a row keeps the value below and records the mirror's. Taking the
        // smaller row is written as a select, as the comparison is a coin toss.
        std::pair<std::size_t, std::size_t> size;
        withElements(datas[0], outs[0], [&](const auto* in, auto* to) {
            const auto* up = static_cast<decltype(in)>(upperValues[0].cast<py::array>().data());
            auto* mirror = static_cast<decltype(to)>(mirrors[0].mutable_data());
            std::size_t place = 0, pair = 0;
            for (std::size_t j = 0; j < n; ++j) {
                std::size_t k = belowStart(j), u = static_cast<std::size_t>(upperStart[j]);
                const std::size_t end = begin(j + 1), upperEnd = static_cast<std::size_t>(upperStart[j + 1]);
                while (k < end && u < upperEnd) {
                    const std::size_t r1 = row(k), r2 = static_cast<std::size_t>(upperRow[u]);
                    const auto v1 = in[k], v2 = up[u];
                    if (r1 == r2) {
                        outRow[place] = static_cast<std::int64_t>(r1);
                        to[place] = v1;
                        at[pair] = static_cast<std::int64_t>(place);
                        mirror[pair++] = v2;
                        ++place, ++k, ++u;
                        continue;
                    }
                    const bool lower = r1 < r2;
                    outRow[place] = static_cast<std::int64_t>(lower ? r1 : r2);
                    to[place++] = lower ? v1 : v2;
                    k += lower;
                    u += !lower;
                }
                for (; k < end; ++k, ++place) {
                    outRow[place] = static_cast<std::int64_t>(row(k));
                    to[place] = in[k];
                }
                for (; u < upperEnd; ++u, ++place) {
                    outRow[place] = upperRow[u];
                    to[place] = up[u];
                }
                outStart[j + 1] = static_cast<std::int64_t>(place);
            }
            size = {place, pair};
        });
        // Further data arrays follow the structure just made.
        for (std::size_t d = 1; d < datas.size(); ++d)
            withElements(datas[d], outs[d], [&](const auto* in, auto* to) {
                const auto* up = static_cast<decltype(in)>(upperValues[d].cast<py::array>().data());
                auto* mirror = static_cast<decltype(to)>(mirrors[d].mutable_data());
                std::size_t pair = 0;
                for (std::size_t j = 0; j < n; ++j) {
                    std::size_t k = belowStart(j), u = static_cast<std::size_t>(upperStart[j]);
                    const std::size_t end = begin(j + 1), upperEnd = static_cast<std::size_t>(upperStart[j + 1]);
                    for (std::size_t place = static_cast<std::size_t>(outStart[j]), last = static_cast<std::size_t>(outStart[j + 1]);
                         place < last; ++place) {
                        const std::size_t r = static_cast<std::size_t>(outRow[place]);
                        const bool fromLower = k < end && row(k) == r;
                        const bool fromUpper = u < upperEnd && static_cast<std::size_t>(upperRow[u]) == r;
                        if (fromLower && fromUpper) mirror[pair++] = up[u];
                        to[place] = fromLower ? in[k] : up[u];
                        k += fromLower;
                        u += fromUpper;
                    }
                }
            });

        const auto [folded, pairs] = size;
        if (folded != bound) outRows.resize({static_cast<py::ssize_t>(folded)}, false);
        if (pairs != pairBound) places.resize({static_cast<py::ssize_t>(pairs)}, false);
        py::list values, mirrorValues;
        for (std::size_t d = 0; d < datas.size(); ++d) {
            if (folded != bound) outs[d].resize({static_cast<py::ssize_t>(folded)}, false);
            if (pairs != pairBound) mirrors[d].resize({static_cast<py::ssize_t>(pairs)}, false);
            values.append(outs[d]);
            mirrorValues.append(mirrors[d]);
        }
        return py::make_tuple(outStarts, outRows, values, places, mirrorValues);
    });
}

// The value stored at each place (major, minor) of canonical compressed arrays
// (indices ascending within each major) as float64, NaN where none is stored.
// `data` holds float64 or bool values, one per entry.
py::array_t<double> storedAt(py::handle indptr, py::handle indices, const py::array& data, py::handle majors,
                             py::handle minors) {
    py::object result = withCompressed(indptr, indices, [&](auto starts, auto rows) -> py::object {
        if (starts.size == 0) badStructure("indptr must hold one entry per column and one more");
        const std::size_t n = starts.size - 1;
        const std::size_t count = checkedStarts(starts, n, rows.size);
        const auto keys = vectorView<std::int64_t>(majors);
        const auto others = vectorView<std::int64_t>(minors);
        if (!keys || !others || keys->size != others->size)
            throw py::type_error("majors and minors must be contiguous int64 arrays of one length");
        const auto doubles = vectorView<double>(data);
        const auto flags = vectorView<bool>(data);
        if (!doubles && !flags) throw py::type_error("data must be a contiguous 1-d float64 or bool array");
        if ((doubles ? doubles->size : flags->size) < count) badStructure("data ends before the entries");
        py::array_t<double> values(static_cast<py::ssize_t>(keys->size));
        double* value = values.mutable_data();
        for (std::size_t q = 0; q < keys->size; ++q) {
            const std::size_t j = unsignedIndex(keys->data[q]);
            const std::int64_t minor = others->data[q];
            value[q] = std::numeric_limits<double>::quiet_NaN();
            if (j >= n) continue;
            const auto* first = rows.data + unsignedIndex(starts.data[j]);
            const auto* last = rows.data + unsignedIndex(starts.data[j + 1]);
            const auto* hit = std::lower_bound(first, last, minor,
                                               [](auto stored, std::int64_t wanted) { return stored < wanted; });
            if (hit == last || static_cast<std::int64_t>(*hit) != minor) continue;
            const std::size_t at = static_cast<std::size_t>(hit - rows.data);
            value[q] = doubles ? doubles->data[at] : (flags->data[at] ? 1.0 : 0.0);
        }
        return values;
    });
    return py::reinterpret_borrow<py::array_t<double>>(result);
}

// 0-based vertices from the module's 1-based vertex numbers (float64), or None
// when one is not a whole number in 1..n (0..n for predecessors, where NaN is
// allowed too). Predecessors 0 (a start) and NaN (unreached) become `null`.
py::object vertexIndices(const py::array_t<double, py::array::c_style>& numbers, std::int64_t n, bool predecessors,
                         std::int64_t null) {
    if (numbers.ndim() != 1) throw py::type_error("vertex numbers must be a 1-d array");
    const std::size_t size = static_cast<std::size_t>(numbers.shape(0));
    const double* number = numbers.data();
    // No graph has 2^62 vertices; the bound keeps every accepted number in int64's range.
    const double low = predecessors ? 0.0 : 1.0, high = static_cast<double>(std::min<std::int64_t>(n, std::int64_t{1} << 62));
    py::array_t<std::int64_t> indices = indexArray(size);
    std::int64_t* index = indices.mutable_data();
    for (std::size_t k = 0; k < size; ++k) {
        const double v = number[k];
        if (std::isnan(v)) {
            if (!predecessors) return py::none();
            index[k] = null;
        } else if (!(v >= low && v <= high && std::floor(v) == v)) {
            return py::none();
        } else {
            // A whole number in 0..2^62: exact as an integer.
            index[k] = v >= 1.0 ? static_cast<std::int64_t>(v) - 1 : null;
        }
    }
    return indices;
}

}  // namespace

PYBIND11_MODULE(_linkwork, m) {
    m.doc() = "Bridge between linkwork's Python package and the linkwork runtime.";
    linkwork::Channels channels;
    channels.trace = traceLine;
    channels.warning = hostWarning;
    linkwork::setChannels(std::move(channels));
    py::module_::import("atexit").attr("register")(py::cpp_function([] { interpreterEnding.store(true); }));

    m.def("load", &loadModule, py::arg("path"), "Load the module file once per process; later calls do nothing.");
    m.def("loaded_path", &loadedPath, "Path of the loaded module, or '' when none is loaded.");
    m.def("default_module_path", &linkwork::defaultModulePath,
          "$LINKWORK_MODULE, or linkwork.hxe beside the runtime library this extension uses.");
    m.def("call", &call, py::arg("inputs"), py::arg("nargout"),
          "Call hgwFunction with converted inputs; returns max(nargout, 1) outputs.");
    m.def("round_trip", &roundTrip, py::arg("item"),
          "Convert one input to a host array and back, with a description of the host array.");
    m.def("transpose", &transpose, py::arg("n"), py::arg("indptr"), py::arg("indices"), py::arg("datas"),
          "Compressed arrays of the transpose by a stable counting sort: (indptr, indices, [data...], canonical).");
    m.def("compress", &compress, py::arg("n"), py::arg("majors"), py::arg("minors"), py::arg("datas"),
          "Coordinate entries compressed by major index, stably: (indptr, indices, [data...]).");
    m.def("is_canonical", &isCanonical, py::arg("n"), py::arg("indptr"), py::arg("indices"),
          "Whether indices ascend strictly within every column.");
    m.def("fold", &fold, py::arg("n"), py::arg("indptr"), py::arg("indices"), py::arg("datas"),
          "The strict lower triangle of the undirected graph of canonical arrays (None: the arrays as they are).");
    m.def("vertex_indices", &vertexIndices, py::arg("numbers"), py::arg("n"), py::arg("predecessors"), py::arg("null"),
          "0-based vertices from 1-based vertex numbers, or None when one lies outside the graph.");
    m.def("stored_at", &storedAt, py::arg("indptr"), py::arg("indices"), py::arg("data"), py::arg("majors"),
          py::arg("minors"), "Values stored at (major, minor) places of canonical compressed arrays, NaN where none is.");
}
