# SPDX-License-Identifier: MIT
# kulve32.attendance is kulve32.families.attendance (made so at import); this names it for type checkers.
from .families.attendance import *  # noqa: F401,F403
