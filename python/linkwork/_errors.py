"""Errors and warnings that reach Python from the linkwork module."""

import os
import sys
import warnings

from scipy.sparse.csgraph import NegativeCycleError as _CsgraphNegativeCycleError

__all__ = ["HostError", "ModuleError", "ModuleLoadError", "HostWarning", "NegativeCycleError"]

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
    """The host error "NegativeCycle"; also a ``scipy.sparse.csgraph.NegativeCycleError``."""

    def __init__(self, identifier, message):
        HostError.__init__(self, identifier, message)


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
for _public in (HostError, NegativeCycleError, ModuleError, ModuleLoadError, HostWarning):
    _public.__module__ = "linkwork"

_ERRORS_BY_IDENTIFIER = {"genokit:linkworkhgw:NegativeCycle": NegativeCycleError}


def host_error(identifier, message):
    """The exception object for a host error (used by the extension)."""
    return _ERRORS_BY_IDENTIFIER.get(identifier, HostError)(identifier, message)


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
