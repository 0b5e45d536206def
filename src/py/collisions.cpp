// Python functions of key collisions, nearest match and file names, and the
// result classes KeyCollision and NearestMatch.
#include "py/bind.hpp"
#include "py/batch.hpp"
#include "py/errors.hpp"
#include "py/registry.hpp"
#include "py/results.hpp"
#include "presets/collisions.hpp"
#include "presets/filename.hpp"
#include "text/utils.hpp"
#include "util/utf8.hpp"

namespace kelrad::py {
namespace {

static_assert(collisions::MAX_KEY_COLLISION_ITEMS == kMaxBatchSize);

// KeyCollision

using KeyCollisionRecord = collisions::KeyCollision;

PyObject* get_key(const KeyCollisionRecord& r) { return to_py(std::string_view(r.key)); }
PyObject* get_values(const KeyCollisionRecord& r) { return to_py(std::span<const std::string>(r.values)); }
PyObject* get_indices(const KeyCollisionRecord& r) { return to_py(std::span<const std::uint64_t>(r.indices)); }

std::string key_collision_repr(const KeyCollisionRecord& r) {
    return "KeyCollision(key=" + error::quoted_debug_literal(r.key) +
           ", values=" + repr_list(r.values, error::quoted_debug_literal) +
           ", indices=" + repr_list(r.indices, [](std::uint64_t i) { return std::to_string(i); }) + ")";
}

const PyGetSetDef kKeyCollisionGetters[] = {
    {"key", getter<KeyCollisionRecord, get_key>, nullptr, "The reduced form every member of the group shares.",
     nullptr},
    {"values", getter<KeyCollisionRecord, get_values>, nullptr,
     "The distinct inputs that reduce to it, in order of first appearance.", nullptr},
    {"indices", getter<KeyCollisionRecord, get_indices>, nullptr,
     "Every position in the input list that belongs to this group, ascending.\n"
     "Not parallel to `values`: a value repeated verbatim appears once there and\n"
     "once per occurrence here.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* key_collision_type() {
    static PyObject* type = result_type<KeyCollisionRecord>({
        .name = "builtins.KeyCollision",
        .doc = "One group of distinct inputs that reduce to the same key.",
        .getters = kKeyCollisionGetters,
        .repr = repr_slot<KeyCollisionRecord, key_collision_repr>,
    });
    return type;
}

// NearestMatch

struct NearestMatchRecord {
    std::string value;
    std::uint64_t distance;
};

PyObject* get_value(const NearestMatchRecord& r) { return to_py(std::string_view(r.value)); }
PyObject* get_distance(const NearestMatchRecord& r) { return to_py(r.distance); }

std::string nearest_match_repr(const NearestMatchRecord& r) {
    return "NearestMatch(value=" + error::quoted_debug_literal(r.value) + ", distance=" + std::to_string(r.distance) +
           ")";
}

const PyGetSetDef kNearestMatchGetters[] = {
    {"value", getter<NearestMatchRecord, get_value>, nullptr, "The candidate, in the spelling the caller supplied.",
     nullptr},
    {"distance", getter<NearestMatchRecord, get_distance>, nullptr,
     "Its edit distance. `0` means the value *is* this candidate, which is reported\n"
     "rather than skipped \u2014 see `nearest_match`.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* nearest_match_type() {
    static PyObject* type = result_type<NearestMatchRecord>({
        .name = "builtins.NearestMatch",
        .doc = "One candidate name and how far it is from the value asked about.",
        .getters = kNearestMatchGetters,
        .repr = repr_slot<NearestMatchRecord, nearest_match_repr>,
    });
    return type;
}

PyObject* find_key_collisions(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"values", Param::Required}, {"key", Param::KeywordOnlyRequired}, {"lang", Param::KeywordOnly}};
        Args in({"_find_key_collisions", params}, args, nargs, kwnames);
        std::vector<std::string_view> values;
        Ref items = in.str_tuple(0, [&](PyObject*, std::string_view text, std::size_t count) {
            values.reserve(count);
            values.push_back(text);
        });
        std::string_view key = in.str(1);
        std::optional<std::string_view> lang = in.optional_str(2);
        if (!in) return nullptr;
        auto form = collisions::parse_key_form(key);
        if (!form) return raise(form.error());
        auto groups = collisions::find_key_collisions(values, *form, lang);
        if (!groups) return raise(groups.error());
        return list_to_py(*groups, [](collisions::KeyCollision& group) {
            return new_result(key_collision_type(), std::move(group));
        });
    });
}

constexpr const char* kFindKeyCollisionsDoc =
    "_find_key_collisions(values, *, key, lang=None)\n--\n\n"
    "find_key_collisions(values, *, key, lang=None) -> list[KeyCollision]\n\n"
    "Group the distinct strings of values that reduce to the same key: 'fold_case',\n"
    "'search_key', 'catalog_key', 'canonicalize', 'canonicalize_strict' or\n"
    "'normalize_confusables'. Groups come in the order their keys first appear; a\n"
    "key reached by one distinct string is no collision. At most _MAX_BATCH_SIZE values.";

// A scan of this many candidates, or of this many distance cells, runs with
// the interpreter lock released; below it, releasing costs more than it gives.
constexpr std::size_t kReleaseCandidates = 1000;
constexpr std::uint64_t kReleaseCells = std::uint64_t{1} << 16;

PyObject* nearest_match(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"value", Param::Required}, {"candidates", Param::Required}, {"max_distance", Param::KeywordOnly}};
        Args in({"_nearest_match", params}, args, nargs, kwnames);
        std::string_view value = in.str(0);
        // Every item is converted, and kept alive, before the scan: a bad
        // item fails the call even after an exact match.
        std::vector<collisions::Candidate> candidates;
        Ref items = in.str_tuple(1, [&](PyObject* item, std::string_view text, std::size_t count) {
            candidates.reserve(count);
            candidates.push_back({text, static_cast<std::size_t>(PyUnicode_GetLength(item))});
        });
        std::uint64_t max_distance = in.u64(2, 1);
        if (!in) return nullptr;

        const auto value_length = static_cast<std::size_t>(PyUnicode_GetLength(in.object(0)));
        std::uint64_t cells = 0;
        for (const collisions::Candidate& c : candidates) {
            cells += std::min(utils::distance_cost(value_length, c.length, max_distance), kReleaseCells);
            if (cells >= kReleaseCells) break;
        }
        std::optional<collisions::Match> best;
        if (candidates.size() >= kReleaseCandidates || cells >= kReleaseCells) {
            // The views stay valid: the tuple holds every str, and no Python
            // object is touched until the lock is back.
            ReleasedGil released;
            best = collisions::nearest_match(value, candidates, max_distance);
        } else {
            best = collisions::nearest_match(value, candidates, max_distance);
        }
        if (!best) return Py_NewRef(Py_None);
        return new_result(nearest_match_type(),
                          NearestMatchRecord{std::string(candidates[best->index].text), best->distance});
    });
}

PyObject* sanitize_filename(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {
            {"text", Param::Required},         {"separator", Param::KeywordOnly},
            {"max_length", Param::KeywordOnly}, {"platform", Param::KeywordOnly},
            {"lang", Param::KeywordOnly},       {"preserve_extension", Param::KeywordOnly},
        };
        Args in({"_sanitize_filename", params}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        std::string_view separator = in.str(1, "_");
        std::int64_t max_length = in.i64(2, 255);
        std::string_view platform = in.str(3, "universal");
        std::optional<std::string_view> lang = in.optional_str(4);
        bool preserve_extension = in.boolean(5, true);
        if (!in) return nullptr;
        auto name = filename::sanitize_filename(text, separator, max_length, platform, lang, preserve_extension);
        if (!name) return raise(name.error());
        return to_py(std::string_view(*name));
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<sanitize_filename>(
        "_sanitize_filename",
        "_sanitize_filename(text, *, separator=\"_\", max_length=255, platform=\"universal\", lang=None, "
        "preserve_extension=True)\n--\n\n"
        "sanitize_filename(text, *, separator=\"_\", max_length=255, platform=\"universal\",\n"
        "                  lang=None, preserve_extension=True) -> str\n\n"
        "Turn arbitrary text into one safe file name: NFC, transliteration to ASCII,\n"
        "each run of unsafe characters replaced by separator, the extension kept,\n"
        "reserved device names defused ('CON' becomes '_CON'), and the name cut to\n"
        "max_length UTF-8 bytes (0: no limit) on a character boundary. Never empty."),
    fastcall<find_key_collisions>("_find_key_collisions", kFindKeyCollisionsDoc),
    fastcall<nearest_match>("_nearest_match",
                            "_nearest_match(value, candidates, *, max_distance=1)\n--\n\n"
                            "nearest_match(value, candidates, *, max_distance=1) -> NearestMatch | None\n\n"
                            "The candidate closest to value by edit distance in code points, if one is\n"
                            "within max_distance; the first in list order wins a tie, and an exact match\n"
                            "(distance 0) is reported."),
};

const ModuleClass kClasses[] = {
    {"NearestMatch", nearest_match_type},
    {"KeyCollision", key_collision_type},
};

}  // namespace

Area collisions_area() { return {kFunctions, kClasses}; }

}  // namespace kelrad::py
