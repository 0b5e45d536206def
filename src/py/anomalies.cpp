// Python functions of token anomalies and smuggled payloads, their result
// classes and the Lexicon handle.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "py/results.hpp"
#include "security/anomalies.hpp"
#include "security/smuggled.hpp"
#include "text/error.hpp"

namespace kelrad::py {
namespace {

using anomalies::Lexicon;
using smuggled::SmuggledPayload;

// The double-quoted, escaped form the representations use.
std::string quoted(std::string_view s) { return error::quoted_debug_literal(s); }

PyObject* optional_str(const std::optional<std::string>& s) noexcept {
    return s ? to_py(std::string_view(*s)) : Py_NewRef(Py_None);
}

PyObject* to_py_size(std::size_t v) noexcept { return to_py(static_cast<std::uint64_t>(v)); }

// ---- SmuggledPayload --------------------------------------------------------

PyObject* payload_scheme(const SmuggledPayload& p) { return to_py(smuggled::scheme_name(p.scheme)); }
PyObject* payload_start(const SmuggledPayload& p) { return to_py_size(p.start); }
PyObject* payload_end(const SmuggledPayload& p) { return to_py_size(p.end); }
PyObject* payload_units(const SmuggledPayload& p) { return to_py_size(p.units); }
PyObject* payload_data(const SmuggledPayload& p) { return bytes_to_py(p.data); }
PyObject* payload_text(const SmuggledPayload& p) { return optional_str(p.text); }

std::string payload_repr(const SmuggledPayload& p) {
    return "SmuggledPayload(scheme=" + quoted(smuggled::scheme_name(p.scheme)) + ", start=" + std::to_string(p.start) +
           ", end=" + std::to_string(p.end) + ", units=" + std::to_string(p.units) +
           ", text=" + (p.text ? quoted(*p.text) : std::string("None")) + ")";
}

const PyGetSetDef kPayloadGetters[] = {
    {"scheme", getter<SmuggledPayload, payload_scheme>, nullptr,
     "How the run was hidden: \"tag_ascii\", \"variation_bytes\", \"zero_width_binary\" or\n"
     "\"percent_escape\". The last is reported here only, never by `inspect_anomalies`:\n"
     "a percent run that spells readable text is ordinary in any URL.",
     nullptr},
    {"start", getter<SmuggledPayload, payload_start>, nullptr,
     "Byte offset of the first carrier character, as `Finding.start`: bytes, not\n"
     "characters, so slice the UTF-8 encoding of the text.",
     nullptr},
    {"end", getter<SmuggledPayload, payload_end>, nullptr, "Byte offset one past the last carrier character.",
     nullptr},
    {"units", getter<SmuggledPayload, payload_units>, nullptr,
     "Characters the run consumed, not bytes decoded: the span's length in characters\n"
     "(the zero-width scheme counts its ZWJ/WJ/BOM separators, the tag scheme a\n"
     "trailing CANCEL TAG).",
     nullptr},
    {"data", getter<SmuggledPayload, payload_data>, nullptr, "The decoded bytes.", nullptr},
    {"text", getter<SmuggledPayload, payload_text>, nullptr,
     "The decoded string, and only when the bytes are valid UTF-8 and wholly printable.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* smuggled_payload_type() {
    static PyObject* type = result_type<SmuggledPayload>({
        .name = "builtins.SmuggledPayload",
        .doc = "One decoded smuggled run.\n\n"
               "A return-only result object of the same shape as `KeyCollision`.",
        .getters = kPayloadGetters,
        .repr = repr_slot<SmuggledPayload, payload_repr>,
    });
    return type;
}

// ---- Finding and AnomalyReport ----------------------------------------------

struct FindingRecord {
    std::string kind;
    std::string token;
    std::string detail;
    std::string reason;
    std::size_t start;
    std::size_t end;
};

struct ReportRecord {
    bool anomalous;
    std::vector<std::string> kinds;
    std::vector<FindingRecord> findings;
    std::optional<std::string> reason;
};

PyObject* finding_kind(const FindingRecord& f) { return to_py(std::string_view(f.kind)); }
PyObject* finding_token(const FindingRecord& f) { return to_py(std::string_view(f.token)); }
PyObject* finding_start(const FindingRecord& f) { return to_py_size(f.start); }
PyObject* finding_end(const FindingRecord& f) { return to_py_size(f.end); }
PyObject* finding_detail(const FindingRecord& f) { return to_py(std::string_view(f.detail)); }
PyObject* finding_reason(const FindingRecord& f) { return to_py(std::string_view(f.reason)); }

// Token and detail quoted as the reason sentences quote them, so that no
// character the scan calls invisible appears raw.
std::string finding_repr(const FindingRecord& f) {
    return "Finding(kind=" + quoted(f.kind) + ", token=" + anomalies::visible_literal(f.token) +
           ", start=" + std::to_string(f.start) + ", end=" + std::to_string(f.end) +
           ", detail=" + anomalies::visible_literal(f.detail) + ")";
}

const PyGetSetDef kFindingGetters[] = {
    {"kind", getter<FindingRecord, finding_kind>, nullptr,
     "Which branch fired: `\"invisible\"`, `\"bidi\"`, `\"zalgo\"`, `\"mixed_script\"`, `\"leet\"`, "
     "or `\"segmentation\"`.",
     nullptr},
    {"token", getter<FindingRecord, finding_token>, nullptr, "The offending whitespace token, as it appeared.",
     nullptr},
    {"start", getter<FindingRecord, finding_start>, nullptr, "Byte offset of the token start in the input.", nullptr},
    {"end", getter<FindingRecord, finding_end>, nullptr, "Byte offset of the token end in the input.", nullptr},
    {"detail", getter<FindingRecord, finding_detail>, nullptr,
     "Evidence: the codepoint, the scripts, or the decoded word.", nullptr},
    {"reason", getter<FindingRecord, finding_reason>, nullptr, "A plain-language sentence describing the finding.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* finding_type() {
    static PyObject* type = result_type<FindingRecord>({
        .name = "builtins.Finding",
        .doc = "One reason a token is anomalous (the native finding record of the anomaly scan).",
        .getters = kFindingGetters,
        .repr = repr_slot<FindingRecord, finding_repr>,
    });
    return type;
}

PyObject* report_anomalous(const ReportRecord& r) { return to_py(r.anomalous); }
PyObject* report_kinds(const ReportRecord& r) { return to_py(std::span<const std::string>(r.kinds)); }
PyObject* report_reason(const ReportRecord& r) { return optional_str(r.reason); }

PyObject* report_findings(const ReportRecord& r) {
    return list_to_py(r.findings, [](const FindingRecord& f) { return new_result(finding_type(), f); });
}

std::string report_repr(const ReportRecord& r) {
    return std::string("AnomalyReport(anomalous=") + (r.anomalous ? "True" : "False") +
           ", kinds=" + repr_list(r.kinds, [](const std::string& kind) { return "'" + kind + "'"; }) + ")";
}

const PyGetSetDef kReportGetters[] = {
    {"anomalous", getter<ReportRecord, report_anomalous>, nullptr,
     "Whether any token tripped (the same value `has_anomalies` returns).", nullptr},
    {"kinds", getter<ReportRecord, report_kinds>, nullptr,
     "The anomaly kinds that fired, in order of first appearance.", nullptr},
    {"findings", getter<ReportRecord, report_findings>, nullptr, "Every finding, with span and detail.", nullptr},
    {"reason", getter<ReportRecord, report_reason>, nullptr, "The first finding's reason, or `None`.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* anomaly_report_type() {
    static PyObject* type = result_type<ReportRecord>({
        .name = "builtins.AnomalyReport",
        .doc = "Structured anomaly report, parallel to `HostnameAnalysis`.",
        .getters = kReportGetters,
        .repr = repr_slot<ReportRecord, report_repr>,
    });
    return type;
}

// The stored report: kind names and reason sentences rendered once.
ReportRecord build_anomaly_report(anomalies::AnomalyReport report) {
    ReportRecord out{report.anomalous, {}, {}, std::move(report.reason)};
    out.kinds.reserve(report.kinds.size());
    for (anomalies::AnomalyKind k : report.kinds) out.kinds.emplace_back(anomalies::kind_name(k));
    out.findings.reserve(report.findings.size());
    for (anomalies::Finding& f : report.findings) {
        std::string reason = f.reason();
        out.findings.push_back({std::string(anomalies::kind_name(f.kind)), std::move(f.token), std::move(f.detail),
                                std::move(reason), f.start, f.end});
    }
    return out;
}

// ---- Lexicon ------------------------------------------------------------------

constexpr Param kLexiconParams[] = {{"words", Param::Required}};

PyObject* lexicon_type();

PyObject* lexicon_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        Args in({"__new__", kLexiconParams, "Lexicon"}, args, kwargs);
        std::vector<std::string> words = in.str_list(0);
        if (!in) return nullptr;
        PyObject* self = PyType_GenericAlloc(type, 0);
        if (!self) return nullptr;
        new (&record_of<Lexicon>(self)) Lexicon(words);
        return self;
    });
}

Py_ssize_t lexicon_len(PyObject* self) noexcept { return static_cast<Py_ssize_t>(record_of<Lexicon>(self).size()); }

PyObject* lexicon_type() {
    static PyObject* type = [] {
        PyType_Slot slots[] = {
            {Py_tp_doc, const_cast<char*>(
                            "Lexicon(words)\n--\n\n"
                            "A reusable, opaque lexicon handle.\n\n"
                            "`has_anomalies` and `inspect_anomalies` rebuild a word set from the caller's\n"
                            "word collection on every call, so calling them in a loop with a large lexicon\n"
                            "pays that rebuild each time. A `Lexicon` builds its set once, lower-cased, and\n"
                            "is reused across calls; it is immutable.")},
            {Py_tp_new, reinterpret_cast<void*>(lexicon_new)},
            {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_record<Lexicon>)},
            {Py_sq_length, reinterpret_cast<void*>(lexicon_len)},
            {Py_mp_length, reinterpret_cast<void*>(lexicon_len)},
            {0, nullptr},
        };
        // Not subclassable, no instance dictionary, no weak references.
        PyType_Spec spec = {"builtins.Lexicon", static_cast<int>(sizeof(Boxed<Lexicon>)), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
        return PyType_FromSpec(&spec);
    }();
    return type;
}

// The word set of the per-call lexicon argument: None gives the empty set,
// any iterable of str its words. A str is refused rather than read as a
// word per character.
std::optional<Lexicon> lexicon_words(PyObject* obj) {
    if (obj == nullptr || obj == Py_None) return Lexicon();
    if (PyUnicode_Check(obj)) {
        raise_type_error("Can't extract `str` to `Vec`");
        return std::nullopt;
    }
    Ref iter = Ref::steal(PyObject_GetIter(obj));
    if (!iter) return std::nullopt;
    std::vector<std::string> words;
    while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
        auto word = utf8_view(item.get());
        if (!word) return std::nullopt;
        words.emplace_back(*word);
    }
    if (PyErr_Occurred()) return std::nullopt;
    return Lexicon(words);
}

// ---- Functions ------------------------------------------------------------------

PyObject* decode_smuggled(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return text_entry("_decode_smuggled", args, nargs, kwnames, [](std::string_view text) -> PyObject* {
        std::vector<SmuggledPayload> payloads = smuggled::decode_smuggled(text, true);
        return list_to_py(payloads,
                          [](SmuggledPayload& p) { return new_result(smuggled_payload_type(), std::move(p)); });
    });
}

constexpr Param kLexiconOptional[] = {{"text", Param::Required}, {"lexicon", Param::Optional}};
constexpr Param kLexiconRequired[] = {{"text", Param::Required}, {"lexicon", Param::Required}};

PyObject* report_to_py(anomalies::AnomalyReport report) {
    return new_result(anomaly_report_type(), build_anomaly_report(std::move(report)));
}

PyObject* has_anomalies(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_has_anomalies", kLexiconOptional}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::optional<Lexicon> lexicon = lexicon_words(in.raw(1));
        if (!lexicon) return nullptr;
        return to_py(anomalies::has_anomalies(text, *lexicon));
    });
}

PyObject* inspect_anomalies(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_inspect_anomalies", kLexiconOptional}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        if (!in) return nullptr;
        std::optional<Lexicon> lexicon = lexicon_words(in.raw(1));
        if (!lexicon) return nullptr;
        return report_to_py(anomalies::inspect_anomalies(text, *lexicon));
    });
}

// The `_lex` forms read the set a Lexicon built once; it never changes, so
// no lock is needed.
template <class Body>
PyObject* with_lexicon_handle(std::string_view function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                              Body&& body) {
    return guarded([&]() -> PyObject* {
        Args in({function, kLexiconRequired}, args, nargs, kwnames);
        std::string_view text = in.str(0);
        PyObject* type = lexicon_type();
        if (!type) return nullptr;
        PyObject* handle = in.instance(1, reinterpret_cast<PyTypeObject*>(type), "Lexicon");
        if (!in) return nullptr;
        return body(text, record_of<Lexicon>(handle));
    });
}

PyObject* has_anomalies_lex(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_lexicon_handle("_has_anomalies_lex", args, nargs, kwnames,
                               [](std::string_view text, const Lexicon& lexicon) {
                                   return to_py(anomalies::has_anomalies(text, lexicon));
                               });
}

PyObject* inspect_anomalies_lex(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return with_lexicon_handle("_inspect_anomalies_lex", args, nargs, kwnames,
                               [](std::string_view text, const Lexicon& lexicon) {
                                   return report_to_py(anomalies::inspect_anomalies(text, lexicon));
                               });
}

const PyMethodDef kFunctions[] = {
    fastcall<decode_smuggled>("_decode_smuggled",
                              "_decode_smuggled(text)\n--\n\n"
                              "Decode the payloads hidden in the text, in order of appearance: Unicode tag\n"
                              "characters spelling ASCII, runs of variation selectors used as bytes, zero-width\n"
                              "spaces and non-joiners used as bits, and runs of percent escapes."),
    fastcall<has_anomalies>("_has_anomalies",
                            "_has_anomalies(text, lexicon=None)\n--\n\n"
                            "True when some token of the text is anomalous (hidden, direction-control,\n"
                            "look-alike, mixed-script, stacked-mark, leet or split spellings), a carriage\n"
                            "return overwrites a line, or a hidden payload decodes to readable text. The\n"
                            "optional lexicon is an iterable of words for the leet and split-word checks."),
    fastcall<inspect_anomalies>("_inspect_anomalies",
                                "_inspect_anomalies(text, lexicon=None)\n--\n\n"
                                "The full `AnomalyReport` of the text: every finding with its token, byte span,\n"
                                "evidence and reason."),
    fastcall<has_anomalies_lex>("_has_anomalies_lex",
                                "_has_anomalies_lex(text, lexicon)\n--\n\n"
                                "`_has_anomalies` with a prebuilt `Lexicon`."),
    fastcall<inspect_anomalies_lex>("_inspect_anomalies_lex",
                                    "_inspect_anomalies_lex(text, lexicon)\n--\n\n"
                                    "`_inspect_anomalies` with a prebuilt `Lexicon`."),
};

const ModuleClass kClasses[] = {
    {"SmuggledPayload", smuggled_payload_type},
    {"AnomalyReport", anomaly_report_type},
    {"Finding", finding_type},
    {"Lexicon", lexicon_type},
};

}  // namespace

Area anomalies_area() { return {kFunctions, kClasses}; }

}  // namespace kelrad::py
