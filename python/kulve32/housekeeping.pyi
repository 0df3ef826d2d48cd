# SPDX-License-Identifier: MIT
# kulve32.housekeeping is kulve32.families.housekeeping (made so at import); this names it for type checkers.
from .families.housekeeping import *  # noqa: F401,F403
