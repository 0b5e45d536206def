"""A short look at kelrad after installation."""

import kelrad
from kelrad import _core

print(f"kelrad with Unicode {kelrad.UNICODE_VERSION}: {len(_core.__all__)} names in kelrad._core")
print("edit distance kitten/sitting:", _core._edit_distance("kitten", "sitting"))
print("folded punctuation:", _core._fold_punctuation("\u201cSmart\u201d quotes \u2014 and\u2026"))
