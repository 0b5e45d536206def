#include <algorithm>
#include <limits>
#include <map>
#include <random>

#include "presets/collisions.hpp"
#include "testing.hpp"
#include "text/utils.hpp"
#include "util/utf8.hpp"

using namespace kelrad;

namespace {

constexpr std::uint64_t kNoBound = std::numeric_limits<std::uint64_t>::max();

// "none" or the distance, so that a failed check prints.
std::string shown(std::optional<std::uint64_t> d) { return d ? std::to_string(*d) : "none"; }

// What edit_distance_within owes for a full distance and a bound.
std::string within(std::uint64_t full, std::uint64_t bound) { return full <= bound ? std::to_string(full) : "none"; }

// Short texts over a few characters of every UTF-8 length, a combining mark
// among them, so that random texts share prefixes and suffixes often; or
// over the first four only, which are ASCII.
std::string random_text(std::mt19937& rng, std::size_t max_len, bool ascii = false) {
    static const char32_t pool[] = {U'a', U'b', U'c', U'e', 0x00E9, 0x0301, 0x65E5, 0x1F600};
    std::string s;
    for (std::size_t n = rng() % (max_len + 1); n > 0; --n) {
        utf8::append(s, pool[rng() % (ascii ? 4 : std::size(pool))]);
    }
    return s;
}

// `text` after a few random insertions, deletions and substitutions.
std::string mutated(std::mt19937& rng, std::string_view text, bool ascii = false) {
    std::u32string cps;
    for (auto [cp, len] : utf8::chars(text)) cps.push_back(cp);
    std::string other = random_text(rng, 1, ascii);
    char32_t fresh = other.empty() ? U'z' : utf8::decode(other, 0).cp;
    for (std::size_t edits = rng() % 4; edits > 0; --edits) testing::random_edit(rng, cps, fresh);
    return testing::u8(cps);
}

std::uint64_t random_bound(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: return kNoBound;
        case 1: return rng() % 3;
        default: return rng() % 16;
    }
}

// The keys the tests use in place of the real ones: ASCII lower-casing,
// with every value starting "!" failing as an unknown language.
int stand_in_calls = 0;

std::expected<bool, CoreError> lower_key(std::string_view value, collisions::KeyForm,
                                         std::optional<std::string_view> lang, std::string& out) {
    ++stand_in_calls;
    if (value.starts_with("!")) return fail(error::UnknownLang{std::string(value), "", std::string(lang.value_or(""))});
    if (std::ranges::none_of(value, [](char c) { return c >= 'A' && c <= 'Z'; })) return false;
    out.assign(value);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return true;
}

std::string render(const std::vector<collisions::KeyCollision>& groups) {
    std::string s;
    for (const auto& g : groups) {
        s += g.key + ":";
        for (const auto& v : g.values) s += " " + v;
        s += " |";
        for (auto i : g.indices) s += " " + std::to_string(i);
        s += "\n";
    }
    return s;
}

std::string render(const std::expected<std::vector<collisions::KeyCollision>, CoreError>& r) {
    return r ? render(*r) : "error: " + error::message(r.error());
}

// The grouping as the rules state it, one linear search per step.
std::string reference_groups(const std::vector<std::string>& values) {
    std::vector<collisions::KeyCollision> groups;
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string key;
        if (!*lower_key(values[i], collisions::KeyForm::FoldCase, std::nullopt, key)) key = values[i];
        bool was_seen = std::ranges::find(seen, values[i]) != seen.end();
        if (!was_seen) seen.push_back(values[i]);
        auto g = std::ranges::find_if(groups, [&](const auto& c) { return c.key == key; });
        if (g == groups.end()) {
            groups.push_back({key, {values[i]}, {i}});
        } else {
            if (!was_seen) g->values.push_back(values[i]);
            g->indices.push_back(i);
        }
    }
    std::erase_if(groups, [](const auto& g) { return g.values.size() < 2; });
    return render(groups);
}

auto find_groups(const std::vector<std::string>& values, std::optional<std::string_view> lang = std::nullopt) {
    std::vector<std::string_view> views(values.begin(), values.end());
    return collisions::find_key_collisions(views, collisions::KeyForm::FoldCase, lang, lower_key);
}

}  // namespace

TEST(edit_distance_within_matches_the_full_distance) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        bool ascii = round % 2;
        std::string a = random_text(rng, 12, ascii);
        std::string b = rng() % 2 ? mutated(rng, a, ascii) : random_text(rng, 12, ascii);
        std::uint64_t bound = random_bound(rng);
        std::uint64_t full = utils::edit_distance(a, b);
        CHECK_EQ(shown(utils::edit_distance_within(a, b, bound)), within(full, bound));
        CHECK_EQ(shown(utils::edit_distance_within(b, a, bound)), within(full, bound));
    }
}

// Bands wider than the in-place scratch, and texts far longer than the bound.
TEST(edit_distance_within_long_texts) {
    std::mt19937 rng(8);
    for (int round = 0; round < 200; ++round) {
        std::string a = random_text(rng, 300);
        std::string b = mutated(rng, mutated(rng, a));
        if (rng() % 4 == 0) b = random_text(rng, 300);
        std::uint64_t bound = rng() % 2 ? kNoBound : rng() % 200;
        CHECK_EQ(shown(utils::edit_distance_within(a, b, bound)), within(utils::edit_distance(a, b), bound));
    }
    std::string long_a(100000, 'a'), long_b(100000, 'b');
    CHECK_EQ(shown(utils::edit_distance_within(long_a, long_b, 1)), "none");
    CHECK_EQ(shown(utils::edit_distance_within(long_a, long_a + "b", 1)), "1");
    CHECK_EQ(shown(utils::edit_distance_within(long_a, "b" + long_a.substr(1), kNoBound)), "1");
}

TEST(key_collisions_group_in_order_of_first_appearance) {
    struct Case {
        std::vector<std::string> values;
        const char* groups;
    };
    const Case cases[] = {
        {{"A", "a", "A"}, "a: A a | 0 1 2\n"},
        {{"x", "B", "X", "b"}, "x: x X | 0 2\nb: B b | 1 3\n"},
        {{"a", "a"}, ""},
        {{"b", "B", "a", "A", "B"}, "b: b B | 0 1 4\na: a A | 2 3\n"},
        // Computed keys longer than the small-string buffer, each founding
        // its group while the computing buffer is reused.
        {{"LONG-KEY-" + std::string(40, 'X'), "OTHER-" + std::string(40, 'Y'), "long-key-" + std::string(40, 'x'),
          "other-" + std::string(40, 'y')},
         nullptr},
    };
    for (const auto& c : cases) {
        CHECK_EQ(render(find_groups(c.values)), c.groups ? std::string(c.groups) : reference_groups(c.values));
    }
}

TEST(key_collisions_match_the_reference_grouping) {
    std::mt19937 rng(10);
    const char* pool[] = {"a", "A", "ab", "aB", "Ab", "AB", "b", "", "long value shared by many", "LONG VALUE"};
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> values(rng() % 20);
        for (auto& v : values) v = pool[rng() % std::size(pool)];
        CHECK_EQ(render(find_groups(values)), reference_groups(values));
    }
}

// The count is checked before any key; the first failing key, in input
// order, is the error.
TEST(key_collisions_check_order) {
    stand_in_calls = 0;
    CHECK_EQ(render(find_groups({})), "");
    std::vector<std::string> too_many(collisions::MAX_KEY_COLLISION_ITEMS + 1, "!fails");
    CHECK_EQ(render(find_groups(too_many)), "error: batch too large (100001 items); maximum is 100000 items");
    CHECK_EQ(stand_in_calls, 0);

    std::vector<std::string> most(collisions::MAX_KEY_COLLISION_ITEMS, "v");
    most[7] = "V";
    std::string indices;
    for (std::size_t i = 0; i < most.size(); ++i) indices += " " + std::to_string(i);
    CHECK_EQ(render(find_groups(most)), "v: v V |" + indices + "\n");

    auto failed = find_groups({"a", "A", "!first", "!second"}, "zz");
    CHECK(!failed && std::get<error::UnknownLang>(failed.error()).got == "!first");
}
