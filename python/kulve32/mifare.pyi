# SPDX-License-Identifier: MIT
# kulve32.mifare is kulve32.families.mifare (made so at import); this names it for type checkers.
from .families.mifare import *  # noqa: F401,F403
