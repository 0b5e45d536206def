// Python functions of byte-encoding detection and decoding.
#include <bit>

#include "py/bind.hpp"
#include "py/registry.hpp"
#include "text/decoders.hpp"
#include "text/encoding.hpp"
#include "util/utf8.hpp"

namespace kelrad::py {
namespace {

using tables::Encoding;

constexpr double kDefaultMinConfidence = 0.95;

PyObject* detect_encoding(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"data", Param::Required}};
        Args in({"_detect_encoding", params}, args, nargs, kwnames);
        std::string_view data = in.bytes(0);
        if (!in) return nullptr;
        encoding::DetectedEncoding d = encoding::detect_encoding(data);
        std::string_view name = d.name();
        return Py_BuildValue("(s#d)", name.data(), static_cast<Py_ssize_t>(name.size()), d.confidence);
    });
}

// True for the encodings whose text is mostly ideographs and syllables from
// U+3000 up. The interpreter builds a str from UTF-16 at memory speed while
// every unit is below 0x8000 but checks each unit for surrogates above that;
// from UTF-32 it costs the same whatever the characters, half as much as
// UTF-16 for these scripts and three times as much for alphabetic ones.
bool mostly_above_u8000(Encoding e) noexcept {
    switch (e) {
        case Encoding::GBK:
        case Encoding::gb18030:
        case Encoding::Big5:
        case Encoding::EUC_JP:
        case Encoding::ISO_2022_JP:
        case Encoding::Shift_JIS:
        case Encoding::EUC_KR: return true;
        default: return false;
    }
}

// Decodes to UTF-16 or UTF-32 and builds the str from that; with `strict`, a
// lossy decoding raises instead.
template <class Unit>
PyObject* decode_via(Encoding used, std::string_view bytes, bool strict, bool& had_errors) {
    std::basic_string<Unit> units;
    had_errors = decoders::decode(used, bytes, units);
    if (strict && had_errors) return raise(encoding::lossy_decode(used));
    // An explicit byte order, so that a leading U+FEFF stays a character.
    int order = std::endian::native == std::endian::little ? -1 : 1;
    auto build = sizeof(Unit) == 2 ? PyUnicode_DecodeUTF16 : PyUnicode_DecodeUTF32;
    return build(reinterpret_cast<const char*>(units.data()), static_cast<Py_ssize_t>(units.size() * sizeof(Unit)),
                 nullptr, &order);
}

// The input decoded to a new str, and whether anything was replaced. Input
// that decodes to itself goes to the interpreter's UTF-8 decoder as it is:
// well-formed UTF-8 (which the interpreter's strict decoder tells apart
// without a check of ours) and pure ASCII in an encoding that keeps ASCII.
// Anything else is decoded to UTF-16 or UTF-32, from which the interpreter
// builds the str in one pass; from UTF-8 it would cost several times as much
// for non-Latin text, since the interpreter must find each character's length.
PyObject* decode_to_str(encoding::DecodeInput input, bool strict, bool& had_errors) {
    auto [used, bytes] = input;
    auto size = static_cast<Py_ssize_t>(bytes.size());
    had_errors = false;
    if (used == Encoding::UTF_8) {
        if (PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), size, nullptr)) return text;
        if (!PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) return nullptr;
        PyErr_Clear();
    } else if (decoders::is_ascii_compatible(used) && utf8::is_ascii(bytes)) {
        return PyUnicode_DecodeUTF8(bytes.data(), size, nullptr);
    }
    return mostly_above_u8000(used) ? decode_via<char32_t>(used, bytes, strict, had_errors)
                                    : decode_via<char16_t>(used, bytes, strict, had_errors);
}

PyObject* decode_to_utf8(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"data", Param::Required},
                                           {"encoding", Param::Optional},
                                           {"min_confidence", Param::Optional},
                                           {"strict", Param::Optional}};
        Args in({"_decode_to_utf8", params}, args, nargs, kwnames);
        std::string_view data = in.bytes(0);
        std::optional<std::string_view> label = in.optional_str(1);
        double min_confidence = in.f64(2, kDefaultMinConfidence);
        bool strict = in.boolean(3, false);
        if (!in) return nullptr;
        auto input = encoding::decode_input(data, label, min_confidence);
        if (!input) return raise(input.error());
        bool had_errors = false;
        Ref text = Ref::steal(decode_to_str(*input, strict, had_errors));
        if (!text) return nullptr;
        return PyTuple_Pack(2, text.get(), had_errors ? Py_True : Py_False);
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<detect_encoding>("_detect_encoding",
                              "_detect_encoding(data)\n--\n\n"
                              "Guess the encoding of a byte string: byte order marks, the NUL pattern of\n"
                              "UTF-16, ASCII, ISO-2022-JP escapes and UTF-8 first, then a statistical guess.\n"
                              "Returns (name, confidence): a canonical WHATWG encoding name and the fixed\n"
                              "confidence 0.95."),
    fastcall<decode_to_utf8>("_decode_to_utf8",
                             "_decode_to_utf8(data, encoding=None, min_confidence=0.95, strict=False)\n--\n\n"
                             "`decode_to_utf8(data, encoding=None, min_confidence=0.95, strict=False) -> "
                             "tuple[str, bool]`"),
};

}  // namespace

Area encoding_area() { return {kFunctions, {}}; }

}  // namespace kelrad::py
