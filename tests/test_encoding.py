"""Encoding detection and decoding: the Encoding Standard's decoders, labels and byte order marks."""

import collections
import json
import random

import pytest

from conftest import DATA, in_threads
from kelrad import InvalidArgumentError, KelradError, _core

WHATWG = DATA / "whatwg-encoding-a985b62"
FFFD = "\ufffd"


def read_index(name):
    """{pointer: code point}; split on "\\n" only, since names hold U+0085."""
    index = {}
    for line in (WHATWG / f"index-{name}.txt").read_text(encoding="utf-8").split("\n"):
        if line.strip() and not line.startswith("#"):
            pointer, cp = line.split("\t")[:2]
            index[int(pointer)] = int(cp, 16)
    return index


ENCODINGS = [e for group in json.loads((WHATWG / "encodings.json").read_text()) for e in group["encodings"]]
CANONICAL = {label: e["name"] for e in ENCODINGS for label in e["labels"]}
SINGLE_BYTE = [e["name"] for e in ENCODINGS if e["name"] not in (
    "UTF-8", "GBK", "gb18030", "Big5", "EUC-JP", "ISO-2022-JP", "Shift_JIS", "EUC-KR", "replacement", "UTF-16BE",
    "UTF-16LE", "x-user-defined")]
INDEXES = {name: read_index(name) for name in ("jis0208", "jis0212", "euc-kr", "gb18030", "big5")}
GB_RANGES = sorted(read_index("gb18030-ranges").items())


# The Standard's decoders as it writes them: one byte (None at the end) in,
# a code point, an error, nothing, or the end out; bytes are put back at the
# front of the queue.
ERROR, FINISHED = "error", "finished"


def is_ascii(b):
    return b is not None and b < 0x80


def pair_result(cp, b, queue):
    """A lead and trail byte b: the code point, or an error that puts an ASCII b back."""
    if cp is not None:
        return cp
    if is_ascii(b):
        queue.appendleft(b)
    return ERROR


def ranges_code_point(pointer):
    if 39419 < pointer < 189000 or pointer > 1237575:
        return None
    if pointer == 7457:
        return 0xE7C7
    offset, cp = max(r for r in GB_RANGES if r[0] <= pointer)
    return cp + pointer - offset


def gb18030_decoder(s, b, queue):
    first, second, third = s.get("first", 0), s.get("second", 0), s.get("third", 0)
    if b is None:
        s["first"] = s["second"] = s["third"] = 0
        return FINISHED if first == second == third == 0 else ERROR
    if third:
        s["first"] = s["second"] = s["third"] = 0
        if not 0x30 <= b <= 0x39:
            queue.extendleft(reversed([second, third, b]))
            return ERROR
        cp = ranges_code_point((first - 0x81) * 12600 + (second - 0x30) * 1260 + (third - 0x81) * 10 + b - 0x30)
        return ERROR if cp is None else cp
    if second:
        if 0x81 <= b <= 0xFE:
            s["third"] = b
            return None
        queue.extendleft(reversed([second, b]))
        s["first"] = s["second"] = 0
        return ERROR
    if first:
        if 0x30 <= b <= 0x39:
            s["second"] = b
            return None
        s["first"] = 0
        cp = None
        if 0x40 <= b <= 0x7E or 0x80 <= b <= 0xFE:
            cp = INDEXES["gb18030"].get((first - 0x81) * 190 + b - (0x40 if b < 0x7F else 0x41))
        return pair_result(cp, b, queue)
    if b < 0x80:
        return b
    if b == 0x80:
        return 0x20AC
    if 0x81 <= b <= 0xFE:
        s["first"] = b
        return None
    return ERROR


def two_byte_decoder(leads, pointer_of, lookup, singles):
    """The shape Big5, EUC-KR and Shift_JIS share: single bytes, or a lead and a trail."""
    def decoder(s, b, queue):
        if b is None:
            if s.get("lead"):
                s["lead"] = 0
                return ERROR
            return FINISHED
        if s.get("lead"):
            lead, s["lead"] = s["lead"], 0
            pointer = pointer_of(lead, b)
            return pair_result(None if pointer is None else lookup(pointer), b, queue)
        if b in singles:
            return singles[b]
        if b in leads:
            s["lead"] = b
            return None
        return ERROR
    return decoder


def big5_lookup(pointer):
    return {1133: [0xCA, 0x304], 1135: [0xCA, 0x30C], 1164: [0xEA, 0x304], 1166: [0xEA, 0x30C]}.get(
        pointer, INDEXES["big5"].get(pointer))


def shift_jis_lookup(pointer):
    return 0xE000 - 8836 + pointer if 8836 <= pointer <= 10715 else INDEXES["jis0208"].get(pointer)


ASCII = {b: b for b in range(0x80)}
big5_decoder = two_byte_decoder(
    range(0x81, 0xFF),
    lambda l, b: ((l - 0x81) * 157 + b - (0x40 if b < 0x7F else 0x62)
                  if 0x40 <= b <= 0x7E or 0xA1 <= b <= 0xFE else None),
    big5_lookup, ASCII)
euc_kr_decoder = two_byte_decoder(
    range(0x81, 0xFF), lambda l, b: (l - 0x81) * 190 + b - 0x41 if 0x41 <= b <= 0xFE else None,
    INDEXES["euc-kr"].get, ASCII)
shift_jis_decoder = two_byte_decoder(
    [*range(0x81, 0xA0), *range(0xE0, 0xFD)],
    lambda l, b: ((l - (0x81 if l < 0xA0 else 0xC1)) * 188 + b - (0x40 if b < 0x7F else 0x41)
                  if 0x40 <= b <= 0x7E or 0x80 <= b <= 0xFC else None),
    shift_jis_lookup, {**ASCII, 0x80: 0x80, **{b: 0xFF61 - 0xA1 + b for b in range(0xA1, 0xE0)}})


def euc_jp_decoder(s, b, queue):
    lead = s.get("lead", 0)
    if b is None:
        s["lead"] = 0
        return ERROR if lead else FINISHED
    if lead == 0x8E and 0xA1 <= b <= 0xDF:
        s["lead"] = 0
        return 0xFF61 - 0xA1 + b
    if lead == 0x8F and 0xA1 <= b <= 0xFE:
        s["jis0212"], s["lead"] = True, b
        return None
    if lead:
        s["lead"] = 0
        cp = None
        if 0xA1 <= lead <= 0xFE and 0xA1 <= b <= 0xFE:
            cp = INDEXES["jis0212" if s.get("jis0212") else "jis0208"].get((lead - 0xA1) * 94 + b - 0xA1)
        s["jis0212"] = False
        return pair_result(cp, b, queue)
    if b < 0x80:
        return b
    if b in (0x8E, 0x8F) or 0xA1 <= b <= 0xFE:
        s["lead"] = b
        return None
    return ERROR


def iso_2022_jp_decoder(s, b, queue):
    state, out_flag = s.setdefault("state", "ascii"), s.get("output", False)
    s.setdefault("out_state", "ascii")
    if state in ("ascii", "roman", "katakana", "lead"):
        if b == 0x1B:
            s["state"] = "escape start"
            return None
        if b is None:
            return FINISHED
        s["output"] = False
        if state == "katakana":
            return 0xFF61 - 0x21 + b if 0x21 <= b <= 0x5F else ERROR
        if state == "lead":
            if 0x21 <= b <= 0x7E:
                s["lead"], s["state"] = b, "trail"
                return None
            return ERROR
        if state == "roman" and b in (0x5C, 0x7E):
            return 0xA5 if b == 0x5C else 0x203E
        return b if b < 0x80 and b not in (0x0E, 0x0F) else ERROR
    if state == "trail":
        s["state"] = "lead"
        if b == 0x1B:
            s["state"] = "escape start"
        elif b is None:
            queue.appendleft(None)
        elif 0x21 <= b <= 0x7E:
            cp = INDEXES["jis0208"].get((s["lead"] - 0x21) * 94 + b - 0x21)
            return ERROR if cp is None else cp
        return ERROR
    if state == "escape start":
        if b in (0x24, 0x28):
            s["lead"], s["state"] = b, "escape"
            return None
        queue.appendleft(b)
        s["output"], s["state"] = False, s["out_state"]
        return ERROR
    lead = s["lead"]
    new = {(0x28, 0x42): "ascii", (0x28, 0x4A): "roman", (0x28, 0x49): "katakana", (0x24, 0x40): "lead",
           (0x24, 0x42): "lead"}.get((lead, b))
    if new:
        s["state"] = s["out_state"] = new
        s["output"] = True
        return ERROR if out_flag else None
    queue.extendleft([b, lead])
    s["output"], s["state"] = False, s["out_state"]
    return ERROR


REFERENCE = {
    "gb18030": gb18030_decoder, "GBK": gb18030_decoder, "Big5": big5_decoder, "EUC-KR": euc_kr_decoder,
    "Shift_JIS": shift_jis_decoder, "EUC-JP": euc_jp_decoder, "ISO-2022-JP": iso_2022_jp_decoder,
}


# CPython's UTF-8 and UTF-16 decoders replace exactly where the Standard's do
# (maximal subparts, unpaired surrogates, one error for a cut sequence).
PYTHON_CODECS = {"UTF-8": "utf-8", "UTF-16BE": "utf-16-be", "UTF-16LE": "utf-16-le"}


def reference_decode(encoding, data):
    if encoding in PYTHON_CODECS:
        codec = PYTHON_CODECS[encoding]
        try:
            return data.decode(codec), False
        except UnicodeDecodeError:
            return data.decode(codec, "replace"), True
    decoder, state, queue = REFERENCE[encoding], {}, collections.deque(data)
    out, errors = [], False
    while True:
        result = decoder(state, queue.popleft() if queue else None, queue)
        if result == FINISHED:
            return "".join(out), errors
        if result == ERROR:
            out.append(FFFD)
            errors = True
        elif result is not None:
            out.extend(chr(cp) for cp in (result if isinstance(result, list) else [result]))


def decode(data, encoding):
    """Decoding with an explicit label that removes no byte order mark."""
    return _core._decode_to_utf8(data, encoding)


# --- Detection -------------------------------------------------------------

@pytest.mark.parametrize(
    "data, expected",
    [
        pytest.param(b"", "UTF-8", id="empty"),
        pytest.param(b"plain ascii", "UTF-8", id="ascii"),
        pytest.param(b"\xef\xbb\xbf", "UTF-8", id="utf8-bom-alone"),
        pytest.param(b"\xff\xfe", "UTF-16LE", id="utf16le-bom-alone"),
        pytest.param(b"\xff\xfe\x00\x00", "UTF-16LE", id="utf32le-bom-is-utf16le"),
        pytest.param(b"\xfe\xff\x00a", "UTF-16BE", id="utf16be-bom"),
        pytest.param(b"a\x00b\x00", "UTF-16LE", id="nul-at-odd-offsets"),
        pytest.param(b"\x00a\x00b", "UTF-16BE", id="nul-at-even-offsets"),
        pytest.param(b"abc\x00ef", "UTF-8", id="one-nul-in-six-is-too-few"),
        pytest.param(b"a\x00bc\x00\x00", "UTF-8", id="nul-at-both-parities"),
        pytest.param(b"a\x00b\x00c", "UTF-8", id="odd-length-never-utf16"),
        pytest.param(b"\x1b$B%F%9%H\x1b(B", "ISO-2022-JP", id="iso-2022-jp-escapes"),
        pytest.param(b"\x1b(Babc", "ISO-2022-JP", id="escape-to-ascii-alone"),
        pytest.param(b"abc\x1b", "UTF-8", id="escape-cut-short"),
        pytest.param(b"\x1b$B\x1b(Babc", "UTF-8", id="two-escapes-in-a-row"),
        pytest.param("café".encode(), "UTF-8", id="utf8-a-statistical-guess-calls-windows-1250"),
        pytest.param("Привет мир".encode()[:-1], "UTF-8", id="utf8-cut-inside-the-last-character"),
        pytest.param("日本語".encode()[:-2], "UTF-8", id="utf8-cut-after-the-lead-byte"),
        pytest.param("déjà vu, très bien".encode() + b"\xe9", "UTF-8", id="utf8-with-a-stray-byte-stays-utf8"),
        pytest.param(b"abc\xd0", "windows-1252", id="lead-byte-without-a-whole-sequence"),
    ],
)
def test_detect_encoding(data, expected):
    assert _core._detect_encoding(data) == (expected, 0.95)


def utf16_by_zero_bytes(data, high, low, codec):
    """The rule stated plainly: zero bytes at a quarter of the data or more at
    one parity, at most an eighth as many at the other, and then, unless there
    are none there, well-formed UTF-16."""
    return 4 * high >= len(data) and 8 * low <= high and (low == 0 or reference_decode(codec, data)[1] is False)


# Units whose low byte is zero, surrogates paired and not, units without a zero byte.
RARE_UNITS = [[0x4E00], [0x0100], [0xD83D, 0xDE00], [0xD83D, 0xDE00], [0xD83D], [0xDE00], [0], [0xE9E9], [0x4E01]]


def random_zero_byte_data(rng):
    """Bytes of any kind, or UTF-16 of ASCII with some rare units, up to 6 kB
    (past the 2,040 bytes the word-at-a-time count takes between flushes)."""
    if rng.random() < 0.5:
        return bytes(rng.choice([0, 0, 0, 0x41, 0xE9, 0x1B, 0xD8, 0xDC]) for _ in range(rng.randrange(4, 40, 2)))
    rate, units = rng.random() / 4, []
    for _ in range(rng.randrange(2, rng.choice([20, 200, 3000]))):
        units += rng.choice(RARE_UNITS) if rng.random() < rate else [0x41]
    order = rng.choice(["little", "big"])
    return b"".join(u.to_bytes(2, order) for u in units)


def test_detection_counts_zero_bytes_per_parity():
    # The word-at-a-time count and the UTF-16 rule against the rule stated plainly.
    rng = random.Random(7)
    for _ in range(6000):
        data = random_zero_byte_data(rng)
        even, odd = data[0::2].count(0), data[1::2].count(0)
        expected = ("UTF-16LE" if utf16_by_zero_bytes(data, odd, even, "UTF-16LE")
                    else "UTF-16BE" if utf16_by_zero_bytes(data, even, odd, "UTF-16BE") else None)
        got = _core._detect_encoding(data)[0]
        assert (got if got.startswith("UTF-16") else None) == expected, data


LATIN = "hello world " * 20
INT32 = b"".join(k.to_bytes(4, "little") for k in range(1, 200))


@pytest.mark.parametrize(
    "text, utf16",
    [
        # The low byte of a unit is zero at the other parity from the high bytes.
        pytest.param(LATIN + "\U0001F600", True, id="emoji-trail-surrogate-ends-in-00"),
        pytest.param("Release notes, version \u4e00 " * 10, True, id="cjk-unit-ends-in-00"),
        pytest.param("\u0100" + LATIN + "\u0100", True, id="zero-bytes-at-the-ends"),
        pytest.param("a" * 8 + "\u4e00", True, id="an-eighth-of-the-high-zero-bytes"),
        pytest.param("a" * 7 + "\u4e00", False, id="more-than-an-eighth"),
        pytest.param("a" * 8 + "\u4e01" * 7 + "\u4e00", True, id="high-zero-bytes-a-quarter-of-the-data"),
        pytest.param("a" * 8 + "\u4e01" * 8 + "\u4e00", False, id="high-zero-bytes-under-a-quarter"),
        pytest.param(LATIN + "\udc00", False, id="lone-trail-surrogate-ending-in-00"),
        pytest.param(LATIN + "\ud83d\u0100", False, id="lead-surrogate-then-a-unit-ending-in-00"),
        pytest.param("\u0100" + LATIN + "\ud83d", False, id="lead-surrogate-at-the-end"),
        # Without a zero byte at the other parity the data need not be well-formed.
        pytest.param(LATIN + "\ud83d", True, id="lone-surrogate-without-other-zero-bytes"),
    ],
)
@pytest.mark.parametrize("codec, name", [("utf-16-le", "UTF-16LE"), ("utf-16-be", "UTF-16BE")],
                         ids=["le", "be"])
def test_utf16_without_a_byte_order_mark(text, utf16, codec, name):
    data = text.encode(codec, "surrogatepass")
    got = _core._detect_encoding(data)[0]
    if utf16:
        assert got == name
        assert _core._decode_to_utf8(data) == reference_decode(name, data)
    else:
        assert not got.startswith("UTF-16")


@pytest.mark.parametrize(
    "data",
    [
        pytest.param(b"\x00" * 64, id="zero-filled"),
        pytest.param(b"\x00\x00ab" * 16, id="zero-bytes-at-both-parities"),
        pytest.param(b"\x00" * 40 + b"\x00a" * 8, id="zero-bytes-mostly-at-one-parity-then-balanced"),
        pytest.param(INT32, id="array-of-little-endian-int32"),
    ],
)
def test_binary_data_goes_on_to_the_detector(data):
    assert not _core._detect_encoding(data)[0].startswith("UTF-16")


LEGACY = {
    "ru": "Съешь же ещё этих мягких французских булок да выпей чаю. Вчера вечером мы долго гуляли по "
          "набережной, обсуждая планы на лето и новую работу; всё казалось возможным.",
    "fr": "L'été dernier, nous sommes allés à la mer ; les enfants ont bâti des châteaux de sable près du "
          "phare. Où est passée la clé ? Ça ne fait rien, répondit-elle.",
    "pl": "Zażółć gęślą jaźń. Pchnąć w tę łódź jeża lub ośm skrzyń fig. Wczoraj wieczorem długo "
          "spacerowaliśmy brzegiem rzeki i rozmawialiśmy o pracy.",
    "el": "Ξεσκεπάζω την ψυχοφθόρα βδελυγμία. Χθες το βράδυ περπατήσαμε πολύ δίπλα στη θάλασσα και μιλήσαμε "
          "για τα σχέδια του καλοκαιριού.",
    "tr": "Pijamalı hasta yağız şoföre çabucak güvendi. Dün akşam sahilde uzun uzun yürüdük ve yaz "
          "planlarımızı konuştuk.",
    "he": "דג סקרן שט בים מאוכזב ולפתע מצא חברה. אתמול בערב טיילנו הרבה לאורך הים ודיברנו על התוכניות לקיץ.",
    "ar": "نص حكيم له سر قاطع وذو شأن عظيم مكتوب على ثوب أخضر ومغلف بجلد أزرق. أمس مساءً تمشينا طويلاً على الشاطئ.",
    "th": "เป็นมนุษย์สุดประเสริฐเลิศคุณค่า กว่าบรรดาฝูงสัตว์เดรัจฉาน เมื่อวานเราเดินเล่นริมทะเลและคุยกันเรื่องแผนการในฤดูร้อน",
    "lt": "Įlinkdama fechtuotojo špaga sublykčiojusi pragręžė apvalų arbūzą. Vakar vakare ilgai vaikščiojome pakrante.",
    "ja": "日本語のテキストです。今日は良い天気ですね。昨日の夜、私たちは海辺を長い間散歩して、夏の計画について話しました。",
    "zh": "我们昨天在公园里散步，天气非常好。孩子们在草地上玩耍，老人们坐在长椅上聊天。这座城市的历史悠久，每一条街道都有自己的故事。",
    "tw": "我們昨天在公園裡散步，天氣非常好。孩子們在草地上玩耍，老人們坐在長椅上聊天。這座城市的歷史悠久，每一條街道都有自己的故事。",
    "ko": "안녕하세요 오늘 날씨가 좋네요. 우리는 어제 공원에서 산책을 했습니다. 아이들은 잔디밭에서 놀고 노인들은 벤치에 앉아 이야기를 나눴습니다.",
}


@pytest.mark.parametrize(
    "lang, codec, expected",
    [
        ("ru", "cp1251", "windows-1251"), ("ru", "koi8_r", "KOI8-R"), ("ru", "iso8859_5", "ISO-8859-5"),
        ("ru", "cp866", "IBM866"), ("ru", "mac_cyrillic", "x-mac-cyrillic"), ("fr", "cp1252", "windows-1252"),
        ("pl", "cp1250", "windows-1250"), ("pl", "iso8859_2", "ISO-8859-2"), ("el", "iso8859_7", "ISO-8859-7"),
        ("tr", "cp1254", "windows-1254"), ("he", "cp1255", "windows-1255"), ("ar", "cp1256", "windows-1256"),
        ("ar", "iso8859_6", "ISO-8859-6"), ("th", "cp874", "windows-874"), ("lt", "iso8859_13", "ISO-8859-13"),
        ("ja", "shift_jis", "Shift_JIS"), ("ja", "euc_jp", "EUC-JP"), ("ja", "iso2022_jp", "ISO-2022-JP"),
        ("zh", "gb18030", "gb18030"), ("tw", "big5", "Big5"), ("ko", "cp949", "EUC-KR"),
    ],
    ids=lambda x: x if isinstance(x, str) else None,
)
def test_legacy_text_comes_back_through_detection(lang, codec, expected):
    data = LEGACY[lang].encode(codec)
    assert _core._detect_encoding(data)[0] == expected
    assert _core._decode_to_utf8(data) == (LEGACY[lang], False)


def test_detected_and_named_decoding_agree_on_random_bytes():
    rng = random.Random(11)
    for _ in range(2000):
        data = bytes(rng.choice([rng.randrange(256), rng.randrange(0x80, 0x100), 0]) for _ in range(rng.randrange(24)))
        assert _core._decode_to_utf8(data) == _core._decode_to_utf8(data, _core._detect_encoding(data)[0]), data


# --- Decoding --------------------------------------------------------------

@pytest.mark.parametrize(
    "args, expected",
    [
        pytest.param((b"",), ("", False), id="empty"),
        pytest.param((b"\xff\xfe",), ("", False), id="utf16le-bom-alone"),
        pytest.param((b"\xef\xbb\xbfabc",), ("abc", False), id="detected-utf8-bom-removed"),
        pytest.param((b"\xfe\xff\x00a",), ("a", False), id="detected-utf16be-bom-removed"),
        pytest.param((b"\xfe\xff\x00a", "utf-16"), ("a", False), id="utf-16-follows-a-big-endian-bom"),
        pytest.param((b"\xfe\xff\x00a", " UTF-16\n"), ("a", False), id="label-trimmed-for-the-bom-rule"),
        pytest.param((b"\xfe\xff\x00a", "utf-16le"), ("\ufffe\u6100", False), id="utf-16le-keeps-a-big-endian-bom"),
        pytest.param((b"\xfe\xff\x00a", "UnicodeFEFF"), ("\ufffe\u6100", False), id="unicodefeff-names-the-order"),
        pytest.param((b"\xff\xfea\x00", "utf-16"), ("a", False), id="utf-16-removes-a-little-endian-bom"),
        pytest.param((b"\xfe\xff\xfe\xff\x00a", "utf-16be"), ("\ufeffa", False), id="second-bom-is-a-character"),
        pytest.param((b"\xef\xbb\xbf\xef\xbb\xbfa", "utf-8"), ("\ufeffa", False), id="utf8-label-removes-one-bom"),
        pytest.param((b"\xff\xfea\x00", "utf-8"), ("\ufffd\ufffda\x00", True), id="utf8-label-ignores-utf16-bom"),
        pytest.param((b"\xef\xbb\xbf", "windows-1252"), ("ï»¿", False), id="legacy-label-keeps-bom-bytes"),
        pytest.param((b"\xc3\x28", "utf-8"), ("\ufffd(", True), id="utf8-malformed"),
        pytest.param((b"\xf0\x80\x80", "utf-8"), (FFFD * 3, True), id="utf8-maximal-subparts"),
        pytest.param((b"\xe9t\xe9", "latin1"), ("été", False), id="latin1-is-windows-1252"),
        pytest.param((b"\x80", "iso-8859-1"), ("€", False), id="iso-8859-1-is-windows-1252"),
        pytest.param((b"\x88\x62", "big5"), ("\u00ca\u0304", False), id="big5-two-code-points"),
        pytest.param((b"\x81\x35\xf4\x37", "gb18030"), ("\ue7c7", False), id="gb18030-four-byte-exception"),
        pytest.param((b"\x81", "shift_jis"), (FFFD, True), id="lead-byte-at-the-end"),
        pytest.param((b"\x1b$B", "iso-2022-jp"), ("", False), id="escape-alone"),
        pytest.param((b"a\x80\xff", "x-user-defined"), ("a\uf780\uf7ff", False), id="x-user-defined"),
    ],
)
def test_decode_to_utf8(args, expected):
    assert _core._decode_to_utf8(*args) == expected


@pytest.mark.parametrize(
    "args, kwargs, cls, message",
    [
        pytest.param((b"x",), {"min_confidence": 0.96}, KelradError,
                     "encoding detection confidence 0.95 is below the required minimum 0.96 (best guess: "
                     "'UTF-8'); provide an explicit encoding instead", id="confidence-too-low"),
        pytest.param((b"x",), {"min_confidence": 0.951}, KelradError,
                     "encoding detection confidence 0.95 is below the required minimum 0.95 (best guess: "
                     "'UTF-8'); provide an explicit encoding instead", id="confidence-just-too-low"),
        pytest.param((b"x", "utf-8", 2), {}, InvalidArgumentError,
                     "min_confidence must be between 0.0 and 1.0, got 2", id="out-of-range-with-a-label"),
        pytest.param((b"x", "nonsense", float("nan")), {}, InvalidArgumentError,
                     "min_confidence must be between 0.0 and 1.0, got NaN", id="nan-before-the-label"),
        pytest.param((b"x", None, -0.5), {}, InvalidArgumentError,
                     "min_confidence must be between 0.0 and 1.0, got -0.5", id="negative"),
        pytest.param((b"\xc3\x28", "utf-8"), {"strict": True}, KelradError,
                     "decoding as 'UTF-8' replaced malformed or invalid byte sequences (lossy); pass "
                     "strict=False to accept the lossy result and inspect had_errors", id="strict-utf8"),
        pytest.param((b"\xfe\xff\xd8\x00",), {"strict": True}, KelradError,
                     "decoding as 'UTF-16BE' replaced malformed or invalid byte sequences (lossy); pass "
                     "strict=False to accept the lossy result and inspect had_errors", id="strict-names-the-bom"),
    ],
)
def test_decode_errors(args, kwargs, cls, message):
    with pytest.raises(cls) as info:
        _core._decode_to_utf8(*args, **kwargs)
    assert type(info.value) is cls and str(info.value) == message


@pytest.mark.parametrize(
    "label, suggestion",
    [
        pytest.param("utf8x", "utf-8", id="one-insertion"),
        pytest.param("utf", "utf-8", id="three-letters-at-distance-two-from-five"),
        pytest.param("ut", None, id="distance-three"),
        pytest.param("koi8-x", "koi8-r", id="first-of-equals"),
        pytest.param("\u212aoi8-r", "koi8-u", id="kelvin-sign-lowers-to-a-name-and-is-skipped"),
        pytest.param("\x0butf-8", "utf-8", id="vertical-tab-is-not-trimmed"),
        pytest.param("iso-2022-kr", "iso-2022-jp", id="replacement-label"),
        pytest.param("hz-gb-2312", None, id="replacement-label-far-from-all"),
        pytest.param("", None, id="empty"),
        pytest.param("windows-1252-x-y", None, id="longer-than-any-name-plus-two"),
    ],
)
def test_unknown_label(label, suggestion):
    with pytest.raises(InvalidArgumentError) as info:
        decode(b"x", label)
    clause = f" (did you mean '{suggestion}'?)" if suggestion else ""
    assert str(info.value) == f"unknown encoding: '{label}'{clause}"


def test_every_label_decodes_as_its_encoding():
    probe = bytes(range(256)) + b"\x81\x40\xa4\xa1\x8e\xa1\x8f\xa2\xaf\x1b$B%F\xfe\xff\x00a"
    refused = {label for label, name in CANONICAL.items() if name == "replacement"}
    wrong = []
    for label, name in CANONICAL.items():
        if label in refused:
            with pytest.raises(InvalidArgumentError):
                decode(probe, label)
        elif not decode(probe, label) == decode(probe, f" \t{label.upper()}\n\f\r") == decode(probe, name):
            wrong.append(label)
    assert wrong == []


def test_single_byte_tables_give_every_byte_as_the_index_does():
    for name in SINGLE_BYTE:
        index = read_index("iso-8859-8" if name == "ISO-8859-8-I" else name.lower())
        expected = "".join(chr(b) if b < 0x80 else chr(index.get(b - 0x80, 0xFFFD)) for b in range(256))
        assert decode(bytes(range(256)), name) == (expected, len(index) < 128), name


def pair_streams(leads, trails, prefix=b""):
    """Every lead-trail pair, each followed by a newline (which ends any
    pending sequence), as one input."""
    return [prefix + bytes([lead, trail]) + b"\n" for lead in leads for trail in trails]


@pytest.mark.parametrize(
    "encoding, pieces",
    [
        pytest.param(name, pair_streams(range(0x80, 0x100), range(256)), id=name)
        for name in ("Big5", "EUC-KR", "gb18030", "Shift_JIS", "EUC-JP")
    ] + [
        pytest.param("EUC-JP", pair_streams([0x8F], range(0xA1, 0xFF), b"\x8f") +
                     [b"\x8f" + bytes([b2, b3]) + b"\n" for b2 in range(0xA1, 0xFF) for b3 in range(0xA1, 0xFF)],
                     id="EUC-JP-jis0212"),
        pytest.param("ISO-2022-JP", [b"\x1b$B" + bytes([a, b]) + b"\x1b(B\n" for a in range(0x80) for b in range(0x80)],
                     id="ISO-2022-JP"),
        pytest.param("gb18030", [bytes([a, b, c, d]) + b"\n" for a in range(0x81, 0xFF, 3) for b in range(0x30, 0x3A)
                                 for c in range(0x81, 0xFF, 5) for d in (0x30, 0x34, 0x39, 0x40)],
                     id="gb18030-four-byte"),
    ],
)
def test_cjk_decoders_match_the_plain_reference(encoding, pieces):
    data = b"".join(pieces)
    if decode(data, encoding) != reference_decode(encoding, data):
        failing = [p.hex(" ") for p in pieces if decode(p, encoding) != reference_decode(encoding, p)]
        assert failing == []


@pytest.mark.parametrize("encoding", sorted([*REFERENCE, *PYTHON_CODECS]))
def test_decoders_match_the_plain_reference_on_random_bytes(encoding):
    rng = random.Random(encoding)
    # Escapes, surrogate halves and digits weigh the draw towards the branches.
    tokens = [b"\x1b$B", b"\x1b(B", b"\x1b(J", b"\x1b(I", b"\x1b", b"\xd8", b"\xdc", b"0", b"9", b"\\", b"~", b"\n"]
    failing = []
    for _ in range(400):
        data = b"".join(rng.choice([bytes([rng.randrange(256)]), bytes([rng.randrange(0x80, 0x100)]),
                                    rng.choice(tokens)]) for _ in range(rng.randrange(40)))
        if decode(data, encoding) != reference_decode(encoding, data):
            failing.append(data.hex(" "))
    assert failing == []


def test_eight_threads_agree_with_sequential_calls():
    rng = random.Random(5)
    inputs = [LEGACY[lang].encode(codec)[: rng.randrange(20, 200)]
              for lang, codec in [("ru", "koi8_r"), ("ja", "euc_jp"), ("zh", "gb18030"), ("fr", "cp1252")] * 4]
    results = in_threads(lambda k: [[(_core._detect_encoding(d), _core._decode_to_utf8(d)) for d in inputs]
                                    for _ in range(20)])
    expected = [(_core._detect_encoding(d), _core._decode_to_utf8(d)) for d in inputs]
    assert results == [[expected] * 20] * 8


def test_a_bytes_subclass_is_taken():
    class Bytes(bytes):
        pass

    assert _core._detect_encoding(Bytes(b"\xff\xfe")) == ("UTF-16LE", 0.95)
    assert _core._decode_to_utf8(Bytes(b"caf\xc3\xa9"), None, 0, False) == ("caf\u00e9", False)
