"""kelrad: Unicode text hygiene.

The work is done by the compiled module ``kelrad._core``; this package
re-exports its exception classes and version constants.
"""

from kelrad import _core
from kelrad._core import (
    InvalidArgumentError,
    KelradError,
    ResourceLimitError,
    UnsupportedError,
)

UNICODE_VERSION = _core._UNICODE_VERSION
CONFUSABLES_VERSION = _core._CONFUSABLES_VERSION
MAX_BATCH_SIZE = _core._MAX_BATCH_SIZE

__all__ = [
    "KelradError",
    "InvalidArgumentError",
    "ResourceLimitError",
    "UnsupportedError",
    "UNICODE_VERSION",
    "CONFUSABLES_VERSION",
    "MAX_BATCH_SIZE",
]
