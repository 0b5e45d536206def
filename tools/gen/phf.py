"""Perfect-hash layouts for maps keyed by code point.

Mirrors src/util/perfect_hash.hpp: `phf_hash` is the C++ `phf::hash` bit for
bit, and `layout` places every key in a slot of its own ("hash and displace":
about four keys per bucket, one displacement pair per bucket, as many slots as
keys). The search is deterministic, so the emitted tables are reproducible.
"""

from __future__ import annotations

from dataclasses import dataclass

M64 = (1 << 64) - 1
KEYS_PER_BUCKET = 4


def phf_hash(c: int, key: int) -> tuple[int, int, int]:
    x = ((c ^ key) * 0x9E3779B97F4A7C15) & M64
    x ^= x >> 29
    x = (x * 0xBF58476D1CE4E5B9) & M64
    x ^= x >> 32
    return x >> 44, (x >> 22) & 0x3FFFFF, x & 0x3FFFFF


def hash_key(attempt: int) -> int:
    """The hash key of the n-th layout attempt. A key with high bits set
    changes the hash of every code point: one that only flipped low bits would
    merely permute a dense run of keys."""
    return ((attempt + 1) * 0x9E3779B97F4A7C15) & M64


def bucket_count(n: int) -> int:
    return 1 if n == 0 else (n + KEYS_PER_BUCKET - 1) // KEYS_PER_BUCKET


@dataclass
class Layout:
    key: int
    displacements: list[tuple[int, int]]
    slots: list[int]  # slots[i] is the code point stored in slot i


def _try(keys: list[int], key: int) -> Layout | None:
    n, nb = len(keys), bucket_count(len(keys))
    hashes = {c: phf_hash(c, key) for c in keys}
    buckets: list[list[int]] = [[] for _ in range(nb)]
    for c in keys:
        buckets[hashes[c][0] % nb].append(c)
    # Largest buckets first, ties by bucket number.
    order = sorted(range(nb), key=lambda b: -len(buckets[b]))
    taken = [False] * n
    slots = [-1] * n
    displacements = [(0, 0)] * nb
    for b in order:
        members = buckets[b]
        if not members:
            continue
        placed = False
        for d1 in range(n):
            for d2 in range(n):
                idx = [(hashes[c][1] * d1 + hashes[c][2] + d2) % n for c in members]
                if len(set(idx)) != len(idx) or any(taken[i] for i in idx):
                    continue
                for c, i in zip(members, idx):
                    taken[i] = True
                    slots[i] = c
                displacements[b] = (d1, d2)
                placed = True
                break
            if placed:
                break
        if not placed:
            return None
    return Layout(key, displacements, slots)


def layout(keys: list[int]) -> Layout:
    if len(set(keys)) != len(keys):
        raise ValueError("duplicate key in a perfect-hash map")
    if len(keys) >= 1 << 16:
        raise ValueError("displacements are 16-bit")
    for attempt in range(256):
        found = _try(sorted(keys), hash_key(attempt))
        if found is not None:
            return found
    raise RuntimeError("no perfect-hash layout found")


def lookup(lay: Layout, c: int) -> int | None:
    """The slot that the C++ lookup reads for c (the test of a layout)."""
    g, f1, f2 = phf_hash(c, lay.key)
    d1, d2 = lay.displacements[g % len(lay.displacements)]
    i = (f1 * d1 + f2 + d2) % len(lay.slots)
    return i if lay.slots[i] == c else None
