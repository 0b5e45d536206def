"""Character tables of the token anomaly scan.

- DECIMAL_ZEROS: the digit zero of every decimal numbering system
  (General_Category Nd with digit value 0). Decimal digits come in runs of ten
  consecutive code points (Unicode 4.6), so the zero at or below a character,
  when the character lies within nine of it, names the character's system:
  UTS #39's "mixed numbers" test needs nothing more.
- DASH_CONNECTOR_CHARS: every dash (Pd) and connector punctuation (Pc)
  character, and the full stop, the separators of letters spelled apart
  ("p-a-y-p-a-l", "p_a_y", "p.a.y").

The scan also reads the Alphabetic property (the scripts tables' ALPHABETIC)
and White_Space (the regex classes' REGEX_SPACE).
"""

from __future__ import annotations

import phf
from emit import banner, wrap, write
from ucd import unicode_data

DECIMAL_ZERO_COUNT = 77
DASH_CONNECTOR_COUNT = 38


def main() -> None:
    zeros: list[int] = []
    dash_connector = {0x2E}
    for fields in unicode_data():
        cp, category, digit = int(fields[0], 16), fields[2], fields[6]
        if category == "Nd" and digit == "0":
            zeros.append(cp)
        if category in ("Pd", "Pc"):
            dash_connector.add(cp)
    zeros.sort()
    assert len(zeros) == DECIMAL_ZERO_COUNT, len(zeros)
    assert len(dash_connector) == DASH_CONNECTOR_COUNT, len(dash_connector)

    lay = phf.layout(sorted(dash_connector))
    assert all(phf.lookup(lay, cp) is not None for cp in dash_connector)
    displacements = wrap(f"{{{d1}, {d2}}}" for d1, d2 in lay.displacements)
    entries = wrap(f"{{0x{cp:04X}, true}}" for cp in lay.slots)

    head = banner("gen_anomalies.py", ["UCD 17.0.0 UnicodeData.txt"])
    write(
        "anomalies.hpp",
        head
        + f"""// Character tables of the token anomaly scan.
//
// DECIMAL_ZEROS: the {len(zeros)} code points of General_Category Nd with digit value 0,
// sorted: the zero of every decimal numbering system. Decimal digits come in
// runs of ten (Unicode 4.6), so a character that lies at most nine above the
// largest zero not above it is a digit of that zero's system. Binary search;
// only non-ASCII characters get there.
//
// DASH_CONNECTOR_CHARS: the {len(dash_connector)} dashes (Pd) and connector punctuation (Pc)
// characters and U+002E FULL STOP, as a perfect-hash set ({len(lay.displacements)} displacements):
// one probe for a membership test that runs on every character of a token.
#pragma once

#include <cstddef>

#include "util/perfect_hash.hpp"

namespace kelrad::tables {{

inline constexpr std::size_t kDecimalZeroCount = {len(zeros)};
extern const char32_t DECIMAL_ZEROS[kDecimalZeroCount];

inline constexpr std::size_t kDashConnectorCount = {len(dash_connector)};
extern const phf::Map<bool> DASH_CONNECTOR_CHARS;

}}  // namespace kelrad::tables
""",
    )
    write(
        "anomalies.cpp",
        head
        + f"""#include "tables/anomalies.hpp"

namespace kelrad::tables {{

const char32_t DECIMAL_ZEROS[kDecimalZeroCount] = {{
{wrap(f"0x{cp:04X}" for cp in zeros)}}};

namespace {{

const phf::Displacement kDashConnectorDisplacements[{len(lay.displacements)}] = {{
{displacements}}};

const phf::Entry<bool> kDashConnectorEntries[kDashConnectorCount] = {{
{entries}}};

}}  // namespace

constinit const phf::Map<bool> DASH_CONNECTOR_CHARS = {{0x{lay.key:X}, kDashConnectorDisplacements,
                                                        kDashConnectorEntries}};

}}  // namespace kelrad::tables
""",
    )


if __name__ == "__main__":
    main()
