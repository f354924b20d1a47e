"""The raw gateway call: Python values to host arrays and back."""

import operator
import os
import sys
import threading

import numpy as np
import scipy.sparse

from . import _linkwork
from ._errors import ModuleLoadError

__all__ = ["call", "module_path"]

# The module creates at most four outputs; a bound keeps absurd requests from
# allocating millions of empty slots.
MAX_NARGOUT = 1024

_DENSE_DTYPES = frozenset(
    np.dtype(name)
    for name in (
        "float64", "float32", "bool", "complex128",
        "int8", "uint8", "int16", "uint16", "int32", "uint32", "int64", "uint64",
    )
)
_SPARSE_DTYPES = frozenset(np.dtype(name) for name in ("float64", "bool", "complex128"))

_load_lock = threading.Lock()
_loaded = False


def module_path():
    """The module file this process loads (or has loaded).

    ``$LINKWORK_MODULE`` when set, otherwise ``linkwork.hxe`` beside the runtime
    library: ``<build>/lib`` in a build tree, the package's own folder in a wheel.
    """
    return _linkwork.loaded_path() or os.path.normpath(_linkwork.default_module_path())


def _ensure_loaded():
    global _loaded
    if _loaded:
        return
    with _load_lock:
        if not _loaded:
            path = module_path()
            if not os.path.exists(path):
                raise ModuleLoadError(f"the linkwork module is not at {path!r} (set LINKWORK_MODULE)")
            _linkwork.load(path)
            _loaded = True


def _type_name(value):
    kind = type(value)
    return kind.__name__ if kind.__module__ == "builtins" else f"{kind.__module__}.{kind.__qualname__}"


def _unsupported(position, value, why=""):
    detail = f": {why}" if why else ""
    return TypeError(f"argument {position} of type {_type_name(value)} cannot be passed to the module{detail}")


def _dense(array, position, original):
    if array.ndim > 2:
        raise _unsupported(position, original, f"{array.ndim}-d arrays have no host form")
    dtype = array.dtype
    if dtype.byteorder not in ("=", "|"):
        dtype = dtype.newbyteorder("=")
    if dtype not in _DENSE_DTYPES:
        raise _unsupported(position, original, f"dtype {array.dtype} has no host class")
    if array.ndim < 2:
        array = array.reshape(1, -1)
    return np.asfortranarray(array, dtype=dtype)


def _sparse(matrix, position):
    dtype = matrix.dtype
    if dtype.byteorder not in ("=", "|"):
        dtype = dtype.newbyteorder("=")
    if dtype not in _SPARSE_DTYPES:
        raise _unsupported(position, matrix, f"sparse dtype {matrix.dtype} has no host class")
    # A CSC matrix goes as stored, index order and explicit zeros included.
    csc = matrix if matrix.format == "csc" else matrix.tocsc()
    rows, cols = csc.shape
    return (
        np.ascontiguousarray(csc.data, dtype=dtype),
        np.ascontiguousarray(csc.indices, dtype=np.int64),
        np.ascontiguousarray(csc.indptr, dtype=np.int64),
        int(rows),
        int(cols),
    )


def _to_host(value, position):
    """The form of one input that the extension turns into a host array."""
    if value is None:
        return None
    if isinstance(value, str):
        return value.encode("utf-8")
    if isinstance(value, (bool, np.bool_)):
        return np.array([[bool(value)]], dtype=bool, order="F")
    if scipy.sparse.issparse(value):
        return _sparse(value, position)
    if isinstance(value, np.ndarray):
        return _dense(value, position, value)
    if isinstance(value, (complex, np.complexfloating)):
        return np.array([[complex(value)]], dtype=np.complex128, order="F")
    if isinstance(value, (int, float, np.integer, np.floating)):
        try:
            number = float(value)
        except OverflowError:
            raise OverflowError(f"argument {position}: {value!r} is too large for a double") from None
        return np.array([[number]], dtype=np.float64, order="F")
    raise _unsupported(position, value)


def _csc_output(data, indices, indptr, rows, cols):
    # Built empty and then filled, so that scipy keeps the int64 indices that view
    # the host array instead of copying them down to int32.
    matrix = scipy.sparse.csc_matrix((rows, cols), dtype=data.dtype)
    matrix.data = data
    matrix.indices = indices
    matrix.indptr = indptr
    return matrix


def _from_host(output):
    if isinstance(output, tuple):
        return _csc_output(*output)
    return output


def _flush_stdout():
    flush = getattr(sys.stdout, "flush", None)
    if flush is not None:
        flush()


def call(*inputs, nargout=1):
    """Call the module's entry point ``hgwFunction`` with host arrays.

    Parameters
    ----------
    *inputs
        The algorithm code (a str such as ``"dij"``), the trace level (0, 1 or
        2), the directed flag, then the algorithm's own inputs: the graph as a
        square SciPy sparse matrix (row = source, column = target), 1-based
        vertex numbers and other arguments. Conversions: ``str`` to a char row;
        ``bool`` to a 1-by-1 logical; ``int``, ``float`` and NumPy scalars to a
        1-by-1 double (complex values to complex double); ``numpy.ndarray`` by
        dtype, 1-d arrays as rows; SciPy sparse matrices of float64, bool or
        complex128 to sparse arrays (CSC as stored); ``None`` to a 0-by-0 double.
    nargout : int, optional
        Number of outputs asked for (default 1).

    Returns
    -------
    tuple
        ``max(nargout, 1)`` outputs: 2-d ``numpy.ndarray`` for numeric and
        logical arrays, ``str`` for char arrays, ``scipy.sparse.csc_matrix``
        for sparse arrays, and ``None`` for a slot the module left unassigned.

    Raises
    ------
    HostError
        The module or the runtime raised a host error.
    ModuleError
        Another exception left the module (trace levels 1 and 2).
    TypeError
        An input has no host form.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csc_matrix(([1.0, 1.0], ([0, 1], [2, 2])), shape=(3, 3))
    >>> linkwork.call("top", 0, 1, graph)
    (array([[2., 1., 3.]]),)
    >>> linkwork.call("xyz")
    Traceback (most recent call last):
        ...
    linkwork.HostError: Unknown algorithm.

    See also
    --------
    module_path : which module file is called.
    """
    count = operator.index(nargout)
    if not 0 <= count <= MAX_NARGOUT:
        raise ValueError(f"nargout must lie between 0 and {MAX_NARGOUT}, not {count}")
    items = [_to_host(value, position) for position, value in enumerate(inputs, start=1)]
    _ensure_loaded()
    _flush_stdout()
    return tuple(_from_host(output) for output in _linkwork.call(items, count))
