#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Every reader status the simulator answers with is in docs/reader-statuses.md
and named by the tool (tools/sim_statuses.cpp), and the doc lists no other.

    statuses_documented.py REPO
"""
import re
import sys
from pathlib import Path

repo = Path(sys.argv[1])
answered = {}  # status -> constant, from the status namespaces of the simulator's headers
for header in sorted((repo / "sim").rglob("*.h")):
    for block in re.finditer(r"namespace (\w*status) \{(.*?)\}", header.read_text(), re.S):
        for name, value in re.findall(r"constexpr std::uint8_t (k\w+) = (0x[0-9A-Fa-f]+);", block.group(2)):
            if int(value, 16) != 0:
                answered[int(value, 16)] = f"{block.group(1)}::{name} ({header.relative_to(repo)})"
documented = {int(v, 16) for v in re.findall(r"^\| (0x[0-9A-F]{2}) \|", (repo / "docs/reader-statuses.md").read_text(), re.M)}
named = (repo / "tools/sim_statuses.cpp").read_text()

faults = [f"not in docs/reader-statuses.md: 0x{s:02X} {c}" for s, c in sorted(answered.items()) if s not in documented]
faults += [f"docs/reader-statuses.md lists 0x{s:02X}, which the simulator never answers" for s in sorted(documented - set(answered))]
faults += [f"tools/sim_statuses.cpp does not name {c}" for s, c in sorted(answered.items())
           if s >= 0x80 and c.split(" ")[0] not in named]
print("\n".join(faults) or f"{len(answered)} statuses documented and named")
sys.exit(1 if faults else 0)
