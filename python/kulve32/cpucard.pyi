# SPDX-License-Identifier: MIT
# kulve32.cpucard is kulve32.families.cpucard (made so at import); this names it for type checkers.
from .families.cpucard import *  # noqa: F401,F403
