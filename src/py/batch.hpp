// The convention the batch functions share.
//
// A batch crosses into the module once for many texts. Its arguments are
// converted and its options checked with the interpreter lock held; then the
// item count is compared with the limit (more than kMaxBatchSize items is
// `BatchTooLarge`, before any item is processed); then the per-item work runs
// with the lock released, and the result list is built with it held again.
// The copy-all batches take `texts` through `Args::str_list`, so the loop
// touches native strings only.
#pragma once

#include "py/ref.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "py/bind.hpp"
#include "py/errors.hpp"

namespace kelrad::py {

// The largest batch accepted; also the module constant _MAX_BATCH_SIZE.
inline constexpr std::uint64_t kMaxBatchSize = 100000;

// Sets BatchTooLarge and returns false when the batch holds too many items.
inline bool check_batch_size(std::size_t len) {
    if (len <= kMaxBatchSize) return true;
    raise(CoreError(error::BatchTooLarge{len, kMaxBatchSize}));
    return false;
}

// The copy-all batch after its option checks: the count check, then
// `per_item(std::string&)` on every item in order with the lock released
// (each item is replaced by its result), then a new list of new str objects.
template <class PerItem>
PyObject* run_copy_all_batch(std::vector<std::string>& items, PerItem&& per_item) {
    if (!check_batch_size(items.size())) return nullptr;
    {
        ReleasedGil released;
        for (std::string& item : items) per_item(item);
    }
    return to_py(std::span<const std::string>(items));
}

}  // namespace kelrad::py
