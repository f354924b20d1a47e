"""Argument checks, error translation and result conventions of the Pythonic API.

The raw call reports failures with the module's fixed texts. The functions of
the Pythonic API check their arguments first, so that a bad vertex or a short
weight vector is reported with the offending value and the valid range, and
translate what the raw call still raises into an exception class per
identifier family (``ValueError`` and ``MemoryError`` subclasses of
``HostError``).
"""

import numbers
import operator

import numpy as np
import scipy.sparse

from . import _graph
from ._errors import (
    InvalidArgumentError, InvalidGraphError, InvalidVertexError, InvalidWeightsError, pythonic,
)

NULL_VERTEX = _graph.NULL_VERTEX
_INT32_MAX = np.iinfo(np.int32).max


def raw(code, trace, directed, *inputs, nargout=1):
    """The raw call, with its errors turned into the Pythonic exception classes."""
    try:
        return _graph.raw(code, trace, directed, *inputs, nargout=nargout)
    except Exception as error:  # noqa: BLE001 -- re-raised unchanged unless translated
        translated = pythonic(error)
        if translated is None:
            raise
        raise translated.with_traceback(error.__traceback__) from None


def _shape_of(csgraph):
    if scipy.sparse.issparse(csgraph):
        return csgraph.shape
    return np.shape(csgraph)


def check_graph(csgraph, name="csgraph"):
    """Refuse a graph that is not a square matrix, with its shape in the message."""
    if not scipy.sparse.issparse(csgraph):
        dtype = getattr(csgraph, "dtype", None)
        if dtype is None:
            try:
                dtype = np.asarray(csgraph).dtype
            except (ValueError, TypeError) as error:
                raise InvalidGraphError("genokit:linkworkhgw:NotSparseArray",
                                        f"{name} must be a sparse matrix or a 2-d array ({error})") from None
        if dtype == object:
            raise InvalidGraphError("genokit:linkworkhgw:NotSparseArray",
                                    f"{name} must be a sparse matrix or a 2-d array of numbers, not of objects")
    shape = _shape_of(csgraph)
    if len(shape) != 2 or shape[0] != shape[1]:
        raise InvalidGraphError("genokit:linkworkhgw:NotSquareArray",
                                f"{name} must be a square matrix, not of shape {tuple(shape)}")
    return shape[0]


def check_weights(csgraph, weights, name="weights", identifier="genokit:linkworkhgw:IncorrectSizeCustomWeights"):
    """Refuse custom weights whose count differs from the stored entries of the graph."""
    if weights is None:
        return
    if not scipy.sparse.issparse(csgraph):
        raise InvalidWeightsError(identifier, f"{name} need the graph as a sparse matrix, whose stored entries "
                                              f"they follow; the graph is a dense {type(csgraph).__name__}")
    if csgraph.format not in ("csr", "csc", "coo"):
        raise InvalidWeightsError(identifier, f"{name} need the graph in CSR, CSC or COO format, whose data "
                                              f"order they follow, not {csgraph.format.upper()}")
    values = np.asarray(weights)
    if values.dtype.kind not in "biuf":
        raise InvalidWeightsError(identifier.replace("Size", "Type"),
                                  f"{name} must be real numbers, not of dtype {values.dtype}")
    if values.size != csgraph.nnz:
        raise InvalidWeightsError(
            identifier, f"{name} must hold one value per stored entry of the graph: "
                        f"expected {csgraph.nnz}, given {values.size}")


def prepare(csgraph, *, directed=True, weights=None, name="csgraph", weights_name="weights", **options):
    """The canonical graph of `csgraph`, after the checks that name the offending value."""
    check_graph(csgraph, name)
    identifier = ("genokit:linkworkhgw:IncorrectSizeCustomCaps" if weights_name == "capacities"
                  else "genokit:linkworkhgw:IncorrectSizeCustomWeights")
    check_weights(csgraph, weights, weights_name, identifier)
    try:
        return _graph.prepare(csgraph, directed=directed, weights=weights, name=name, weights_name=weights_name,
                              **options)
    except ValueError as error:
        # What is left after the checks above: a malformed sparse structure.
        raise InvalidGraphError("linkwork:python:MalformedSparseArray", str(error)) from None


def stored_values(csgraph, rows, cols, *, weights=None, name="csgraph"):
    """The value `csgraph` stores at each (rows[k], cols[k]), NaN where none, after the checks of prepare."""
    check_graph(csgraph, name)
    check_weights(csgraph, weights)
    try:
        return _graph.stored_values(csgraph, rows, cols, weights=weights, name=name)
    except ValueError as error:
        raise InvalidGraphError("linkwork:python:MalformedSparseArray", str(error)) from None


def index(value, name):
    """`value` as a Python int, refusing floats, strings and booleans with a TypeError."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be an integer, not a bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__} {value!r}") from None


def _range_text(n):
    return f"the graph has {n} vertices ({'0..' + str(n - 1) if n else 'none'})"


def vertex(value, n, role="source"):
    """The raw 1-based number of the 0-based vertex `value`, refused with its range when outside."""
    k = index(value, role)
    if not 0 <= k < n:
        raise InvalidVertexError("genokit:linkworkhgw:NotValidNode", f"{role} {k} is out of range: {_range_text(n)}")
    return float(k + 1)


def vertex_array(indices, n, role="index"):
    """`indices` as an int64 array of vertices, each checked against the graph."""
    array = np.asarray(indices)
    if array.dtype == np.bool_ or not (array.size == 0 or np.issubdtype(array.dtype, np.integer)):
        if array.size and np.issubdtype(array.dtype, np.floating) and np.all(np.floor(array) == array):
            pass  # whole floats, as NumPy index arrays often arrive
        else:
            raise TypeError(f"indices must be integers, not of dtype {array.dtype}")
    if array.size and array.dtype.kind == "f" and not np.all(np.abs(array) < 2.0**62):
        bad = array[~(np.abs(array) < 2.0**62)][0]
        raise InvalidVertexError("genokit:linkworkhgw:NotValidNode", f"{role} {bad} is out of range: {_range_text(n)}")
    array = array.astype(np.int64)
    outside = (array < 0) | (array >= n)
    if outside.any():
        raise InvalidVertexError("genokit:linkworkhgw:NotValidNode",
                                 f"{role} {int(array[outside][0])} is out of range: {_range_text(n)}")
    return array


def depth_limit(value):
    """A depth limit as the raw call takes it: None for none, otherwise a real number >= 0 (inf included).

    Integers go through ``operator.index``; floats are taken as the module
    takes them (a vertex at depth d is expanded while d < limit). Strings and
    booleans are refused.
    """
    if value is None:
        return np.inf
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (numbers.Real, np.floating, np.integer)):
        raise TypeError(f"depth_limit must be a number, not {type(value).__name__} {value!r}")
    limit = float(index(value, "depth_limit")) if isinstance(value, (numbers.Integral, np.integer)) else float(value)
    if not limit >= 0:
        raise InvalidArgumentError("genokit:linkworkhgw:NotNumericDepth",
                                   f"depth_limit must be at least 0, not {value!r}")
    return limit


def distance_limit(value):
    """A distance limit: a real number >= 0 (inf for none)."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, (numbers.Real, np.floating, np.integer)):
        raise TypeError(f"limit must be a real number, not {type(value).__name__} {value!r}")
    limit = float(value)
    if not limit >= 0:
        raise ValueError(f"limit must be >= 0, not {value!r}")
    return limit


def boolean(value, name):
    """A flag argument; anything NumPy reads as a truth value."""
    return bool(value)


def index_dtype(n):
    """int32 for vertex numbers, as scipy.sparse.csgraph returns them; int64 past its range."""
    return np.int32 if n <= _INT32_MAX else np.int64


def as_index_array(values, n):
    return np.asarray(values).astype(index_dtype(n), copy=False)
