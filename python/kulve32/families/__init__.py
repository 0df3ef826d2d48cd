# SPDX-License-Identifier: MIT
"""The Reader's method groups, one module per family of device functions.

Every module here (not starting with "_") is imported in name order; each
FamilyMethods subclass it defines becomes a base of kulve32.Reader, and the
module itself is reachable as kulve32.<module name> for its constants and
functions. Adding a family is adding a module: see docs/python.md.
"""

from __future__ import annotations

import importlib
import pkgutil
from types import ModuleType
from typing import Dict, Tuple, Type

from .._device import FamilyMethods

_modules: Dict[str, ModuleType] = {}


def modules() -> Dict[str, ModuleType]:
    """Every family module, by name, imported on first use."""
    if not _modules:
        for info in sorted(pkgutil.iter_modules(__path__), key=lambda found: found.name):
            if not info.name.startswith("_"):
                _modules[info.name] = importlib.import_module(f"{__name__}.{info.name}")
    return dict(_modules)


def method_groups() -> Tuple[Type[FamilyMethods], ...]:
    """The method classes of every family, in module-name order."""
    modules()
    return tuple(FamilyMethods.registered)
