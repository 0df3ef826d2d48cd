# SPDX-License-Identifier: MIT
# kulve32.e5550 is kulve32.families.e5550 (made so at import); this names it for type checkers.
from .families.e5550 import *  # noqa: F401,F403
