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

// Input that decodes to itself (well-formed UTF-8, or pure ASCII in an
// encoding that keeps ASCII) goes to the interpreter's UTF-8 decoder as it
// is. Anything else is decoded to UTF-16, from which the interpreter builds
// the str in one pass: for non-Latin text that costs a quarter of building
// it from UTF-8, which must find each character's length first.
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
        auto [used, bytes] = *input;
        bool unchanged = used == Encoding::UTF_8 ? decoders::is_utf8(bytes)
                                                 : decoders::is_ascii_compatible(used) && utf8::is_ascii(bytes);
        bool had_errors = false;
        Ref text;
        if (unchanged) {
            text = Ref::steal(PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), nullptr));
        } else {
            std::u16string units;
            had_errors = decoders::decode(used, bytes, units);
            if (strict && had_errors) return raise(encoding::lossy_decode(used));
            // An explicit byte order, so that a leading U+FEFF stays a character.
            int order = std::endian::native == std::endian::little ? -1 : 1;
            text = Ref::steal(PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(units.data()),
                                                    static_cast<Py_ssize_t>(units.size() * 2), nullptr, &order));
        }
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
