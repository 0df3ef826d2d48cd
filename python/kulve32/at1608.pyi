# SPDX-License-Identifier: MIT
# kulve32.at1608 is kulve32.families.at1608 (made so at import); this names it for type checkers.
from .families.at1608 import *  # noqa: F401,F403
