# SPDX-License-Identifier: MIT
# kulve32.memcard is kulve32.families.memcard (made so at import); this names it for type checkers.
from .families.memcard import *  # noqa: F401,F403
