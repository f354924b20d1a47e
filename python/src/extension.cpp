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

#include <atomic>
#include <cerrno>
#include <climits>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
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
}
