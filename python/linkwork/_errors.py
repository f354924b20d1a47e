"""Errors and warnings that reach Python from the linkwork module."""

import os
import sys
import warnings

from scipy.sparse.csgraph import NegativeCycleError as _CsgraphNegativeCycleError

__all__ = [
    "HostError", "ModuleError", "ModuleLoadError", "HostWarning", "NegativeCycleError",
    "InvalidVertexError", "InvalidArgumentError", "InvalidGraphError", "InvalidWeightsError",
    "GraphStructureError", "AlgorithmError", "OutOfMemoryError", "CallInterrupted",
]

_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__)) + os.sep


class HostError(Exception):
    """A host error raised by the module or the runtime.

    ``identifier`` names the failure (for instance
    ``"genokit:linkworkhgw:NotValidNode"``) and ``message`` is its text, which
    is also ``str(error)``.
    """

    def __init__(self, identifier, message):
        super().__init__(message)
        self.identifier = identifier
        self.message = message

    def __reduce__(self):
        return (type(self), (self.identifier, self.message))

    def __repr__(self):
        return f"{type(self).__name__}({self.identifier!r}, {self.message!r})"


class NegativeCycleError(HostError, _CsgraphNegativeCycleError):
    """A negative cycle makes shortest paths undefined ("NegativeCycle").

    Also a ``scipy.sparse.csgraph.NegativeCycleError``.
    """

    def __init__(self, identifier, message):
        HostError.__init__(self, identifier, message)


class InvalidVertexError(HostError, ValueError):
    """A vertex argument (source, sink, root, index) lies outside the graph ("NotValidNode")."""


class InvalidArgumentError(HostError, ValueError):
    """An argument other than a vertex is missing or of the wrong kind (a depth limit, a method)."""


class InvalidGraphError(HostError, ValueError):
    """The graph is not a square real sparse matrix, or breaks a rule of the algorithm.

    For instance a non-square matrix ("NotSquareArray"), a dense array where
    the raw call needs a sparse one ("NotSparseArray"), or opposite edges in
    the raw flow codes ("ParallelEdges").
    """


class InvalidWeightsError(HostError, ValueError):
    """Custom weights or capacities of the wrong count or kind, or a negative value where none is allowed.

    Identifiers "IncorrectSizeCustomWeights", "IncorrectTypeCustomWeights",
    their "...Caps" twins, "NegativeEdges" (a negative capacity), and the
    negative weights that Dijkstra's and Prim's searches refuse.
    """


class GraphStructureError(HostError, ValueError):
    """The graph has a cycle where the algorithm needs none (topological order, acyclic paths)."""


class AlgorithmError(HostError, RuntimeError):
    """The graph library failed in a way that no input check foresees."""


class OutOfMemoryError(HostError, MemoryError):
    """An allocation failed ("linkwork:runtime:OutOfMemory"); also a ``MemoryError``."""


class CallInterrupted(HostError, KeyboardInterrupt):
    """The call was interrupted (Ctrl-C) while the algorithm ran; also a ``KeyboardInterrupt``."""


class ModuleError(RuntimeError):
    """An exception other than a host error left the module.

    Its text is the exception's own, e.g. "The graph must be a DAG." from the
    graph library at trace levels 1 and 2.
    """


class ModuleLoadError(OSError):
    """The module file is missing, cannot be loaded or does not export hgwFunction."""


class HostWarning(UserWarning):
    """A warning issued by the module, with ``identifier`` and ``message``."""

    def __init__(self, identifier, message):
        super().__init__(message)
        self.identifier = identifier
        self.message = message

    def __reduce__(self):
        return (type(self), (self.identifier, self.message))


# Shown as linkwork.HostError and so on, where users import them from.
_PUBLIC = (HostError, NegativeCycleError, InvalidVertexError, InvalidArgumentError, InvalidGraphError,
           InvalidWeightsError, GraphStructureError, AlgorithmError, OutOfMemoryError, CallInterrupted,
           ModuleError, ModuleLoadError, HostWarning)
for _public in _PUBLIC:
    _public.__module__ = "linkwork"

OUT_OF_MEMORY = "linkwork:runtime:OutOfMemory"
INTERRUPTED = "linkwork:runtime:Interrupted"

# What the raw call raises: HostError, except where a built-in's handlers must see it.
_RAW_ERRORS = {
    "genokit:linkworkhgw:NegativeCycle": NegativeCycleError,
    OUT_OF_MEMORY: OutOfMemoryError,
    INTERRUPTED: CallInterrupted,
}

# What the Pythonic functions raise, by the last part of the identifier.
_FAMILIES = {
    "NotValidNode": InvalidVertexError,
    "NotEnoughInputs": InvalidArgumentError, "NotNumericDepth": InvalidArgumentError,
    "UnknownAlgorithm": InvalidArgumentError, "MissingInput": InvalidArgumentError,
    "NotSquareArray": InvalidGraphError, "NotSparseArray": InvalidGraphError,
    "MalformedSparseArray": InvalidGraphError, "ParallelEdges": InvalidGraphError,
    "IncorrectSizeCustomWeights": InvalidWeightsError, "IncorrectTypeCustomWeights": InvalidWeightsError,
    "IncorrectSizeCustomCaps": InvalidWeightsError, "IncorrectTypeCustomCaps": InvalidWeightsError,
    "NegativeEdges": InvalidWeightsError, "DijkstraAlgorithmError": InvalidWeightsError,
    "PrimAlgorithmError": InvalidWeightsError,
    "TopoSortAlgorithmError": GraphStructureError, "DAGspAlgorithmError": GraphStructureError,
    "NotAForest": GraphStructureError,
    "NegativeCycle": NegativeCycleError, "OutOfMemory": OutOfMemoryError, "Interrupted": CallInterrupted,
}


def host_error(identifier, message):
    """The exception object for a host error of the raw call (used by the extension)."""
    return _RAW_ERRORS.get(identifier, HostError)(identifier, message)


def family(identifier):
    """The Pythonic exception class of a host error identifier."""
    name = identifier.rsplit(":", 1)[-1]
    if name in _FAMILIES:
        return _FAMILIES[name]
    return AlgorithmError if name.endswith("AlgorithmError") else HostError


def pythonic(error):
    """The exception the Pythonic functions raise for `error` from the raw call, or None to keep it."""
    if isinstance(error, HostError):
        kind = family(error.identifier)
        if type(error) is kind:
            return None
        return kind(error.identifier, error.message)
    if isinstance(error, ModuleError) and "bad_alloc" in str(error):
        return OutOfMemoryError(OUT_OF_MEMORY, f"Out of memory in the module ({error}).")
    return None


def _stacklevel():
    # Point the warning at the first frame outside this package: the user's call.
    level = 1
    frame = sys._getframe(1)
    while frame is not None and frame.f_code.co_filename.startswith(_PACKAGE_DIR):
        frame = frame.f_back
        level += 1
    return level


def emit_warning(identifier, message):
    """Issue a host warning (used by the extension while a call runs)."""
    warnings.warn(HostWarning(identifier, message), stacklevel=_stacklevel())
