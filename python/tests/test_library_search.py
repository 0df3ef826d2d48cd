# SPDX-License-Identifier: MIT
"""Where the package looks for the library when run from a clone."""

from __future__ import annotations

import os
from pathlib import Path
from typing import Dict, List

import pytest

from kulve32 import _library

# The files of a tree (path -> modification time) and the libraries found
# there, in order. CLONE are the files that make it a source tree.
CLONE = {"CMakeLists.txt": 1, "python/pyproject.toml": 1}
CASES = [
    ("release first, then the newest", {**CLONE, "build/asan/src/libkulve32.so": 30,
                                        "build/release/src/libkulve32.so": 10,
                                        "build/tsan/src/libkulve32.so": 20},
     ["build/release/src/libkulve32.so", "build/asan/src/libkulve32.so", "build/tsan/src/libkulve32.so"]),
    ("a clone with nothing built", CLONE, []),
    ("an installed package: no source tree around it", {"build/release/src/libkulve32.so": 1}, []),
]


@pytest.mark.skipif(_library.ON_WINDOWS, reason="the POSIX file names")
@pytest.mark.parametrize("name,files,found", CASES, ids=[c[0] for c in CASES])
def test_build_tree_libraries(tmp_path: Path, name: str, files: Dict[str, int], found: List[str]) -> None:
    for relative, mtime in files.items():
        path = tmp_path / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"")
        os.utime(path, (mtime, mtime))
    package = tmp_path / "python" / "kulve32"
    assert _library._build_tree_libraries(package) == [str(tmp_path / f) for f in found]
