"""HTML escaping, percent-encoding and log-injection stripping."""

import random

import pytest

from kelrad import InvalidArgumentError, _core


@pytest.mark.parametrize(
    "text, expected",
    [
        pytest.param("<a>&\"'", "&lt;a&gt;&amp;&quot;&#x27;", id="all_five_in_order"),
        pytest.param("&amp;", "&amp;amp;", id="entity_escaped_again"),
        pytest.param("caf\xe9 <b>\U0001F600</b>", "caf\xe9 &lt;b&gt;\U0001F600&lt;/b&gt;", id="non_ascii_kept"),
        pytest.param("x" * 40 + "'", "x" * 40 + "&#x27;", id="last_character"),
    ],
)
def test_escape_html(text, expected):
    assert _core._escape_html(text) == expected


@pytest.mark.parametrize(
    "text, component, expected",
    [
        pytest.param("a b&c", "query", "a%20b%26c", id="query_space_and_amp"),
        pytest.param("a b+c", "form", "a+b%2Bc", id="form_space_plus"),
        pytest.param("a/b:c", "segment", "a%2Fb:c", id="segment_slash"),
        pytest.param("a/b c", "path", "a/b%20c", id="path_keeps_slash"),
        pytest.param("-._~AZaz09", "query", "-._~AZaz09", id="unreserved"),
        pytest.param("!$&'()*+,;=:@", "segment", "!$&'()*+,;=:@", id="segment_sub_delims"),
        pytest.param("!$&'()*+,;=:@/", "query", "%21%24%26%27%28%29%2A%2B%2C%3B%3D%3A%40%2F", id="query_escapes"),
        pytest.param("%?#[]", "path", "%25%3F%23%5B%5D", id="path_gen_delims"),
        pytest.param("\x00\x7f", "form", "%00%7F", id="controls"),
        pytest.param("\U0001F600", "path", "%F0%9F%98%80", id="four_byte_character"),
        pytest.param("", "form", "", id="empty"),
    ] + [pytest.param("\xe9", c, "%C3%A9", id=f"utf8_bytes_{c}") for c in ("path", "segment", "query", "form")],
)
def test_percent_encode(text, component, expected):
    assert _core._percent_encode(text, component=component) == expected


@pytest.mark.parametrize(
    "component, message",
    [
        pytest.param("PATH", 'unknown percent-encode component "PATH"', id="upper_case"),
        pytest.param("", 'unknown percent-encode component ""', id="empty"),
        pytest.param('a"\n', 'unknown percent-encode component "a\\"\\n"', id="escaped"),
    ],
)
def test_percent_encode_unknown_component(component, message):
    with pytest.raises(InvalidArgumentError) as info:
        _core._percent_encode("x", component=component)
    assert str(info.value) == message + "; expected one of: 'path', 'segment', 'query', 'form'"
    assert info.value.args == (str(info.value),)


# Which characters are neutralized is checked against the plain reference below.
@pytest.mark.parametrize(
    "text, replacement, keep_tab, expected",
    [
        pytest.param("a\x00\x1f\x7f\x80\x9fb", "", False, "ab", id="empty_replacement_deletes"),
        pytest.param("a\r\nb", "\\n", False, "a\\n\\nb", id="longer_replacement"),
        pytest.param("\x1b[31mred", "\u2400", False, "\u2400[31mred", id="escape_sequence"),
        pytest.param("a\nb", "\t", True, "a\tb", id="tab_replacement_with_keep_tab"),
        pytest.param("a\tb", "?", True, "a\tb", id="kept_tab_hands_back_the_text"),
    ],
)
def test_strip_log_injection(text, replacement, keep_tab, expected):
    out = _core._strip_log_injection(text, replacement=replacement, keep_tab=keep_tab)
    assert out == expected
    assert (out is text) is (expected == text)


@pytest.mark.parametrize(
    "replacement, keep_tab, codepoint",
    [
        pytest.param("[\n]", False, "000A", id="line_feed"),
        pytest.param("\t", False, "0009", id="tab_without_keep_tab"),
        pytest.param("ok\u2028\n", True, "2028", id="first_offender_named"),
        pytest.param("\x9b", True, "009B", id="c1_control"),
    ],
)
def test_strip_log_injection_refuses_a_neutralized_replacement(replacement, keep_tab, codepoint):
    with pytest.raises(InvalidArgumentError) as info:
        _core._strip_log_injection("", replacement=replacement, keep_tab=keep_tab)
    assert str(info.value) == (
        f"replacement must not contain a character this call neutralizes (found U+{codepoint})"
    )


def _ref_strip_log(text, replacement, keep_tab):
    def neutralized(c):
        cp = ord(c)
        return (cp <= 0x1F and not (keep_tab and c == "\t")) or 0x7F <= cp <= 0x9F or cp in (0x2028, 0x2029)
    return "".join(replacement if neutralized(c) else c for c in text)


@pytest.mark.parametrize("keep_tab", [False, True])
def test_strip_log_injection_agrees_with_plain_reference(keep_tab):
    # Neutralized characters and their byte-level neighbours (U+00A0 and
    # U+00C2 share a lead byte with the C1 controls, U+2027 and U+202A with
    # the separators) in and across eight-byte words.
    alphabet = list("abc de") * 4 + ["\t", "\n", "\x00", "\x1f", "\x7f", "\x80", "\x85", "\x9f", "\xa0", "\xc2",
                                     "\u2027", "\u2028", "\u2029", "\u202a", "\u20ac", "\U0001F600"]
    rng = random.Random(keep_tab)
    for _ in range(2000):
        text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(40)))
        got = _core._strip_log_injection(text, replacement="?", keep_tab=keep_tab)
        assert got == _ref_strip_log(text, "?", keep_tab), ascii(text)
