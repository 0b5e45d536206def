// Python functions of host-name homoglyph analysis.
#include "py/bind.hpp"
#include "py/registry.hpp"
#include "py/results.hpp"
#include "security/hostname.hpp"

#include <ranges>

namespace kelrad::py {
namespace {

using hostname::HostnameAnalysis;

template <bool HostnameAnalysis::*Flag>
PyObject* get_flag(const HostnameAnalysis& r) {
    return to_py(r.*Flag);
}

PyObject* get_scripts(const HostnameAnalysis& r) { return to_py(std::span<const std::string_view>(r.scripts)); }

PyObject* get_label_scripts(const HostnameAnalysis& r) {
    return list_to_py(std::views::iota(std::size_t{0}, r.labels.size()),
                      [&](std::size_t i) { return to_py(r.label_scripts(i)); });
}

PyObject* get_label_whole_script_confusable(const HostnameAnalysis& r) {
    return bool_list_to_py(r.labels | std::views::transform(&hostname::LabelFindings::whole_script_confusable));
}

PyObject* get_canonical(const HostnameAnalysis& r) { return to_py(std::string_view(r.canonical)); }

template <PyObject* (*Get)(const HostnameAnalysis&)>
constexpr PyGetSetDef attribute(const char* name) {
    return {name, getter<HostnameAnalysis, Get>, nullptr, nullptr, nullptr};
}

const PyGetSetDef kGetters[] = {
    attribute<get_flag<&HostnameAnalysis::suspicious>>("suspicious"),
    attribute<get_scripts>("scripts"),
    attribute<get_flag<&HostnameAnalysis::mixed_script>>("mixed_script"),
    attribute<get_flag<&HostnameAnalysis::has_confusables>>("has_confusables"),
    attribute<get_flag<&HostnameAnalysis::bidi_conflict>>("bidi_conflict"),
    attribute<get_flag<&HostnameAnalysis::bidi_control>>("bidi_control"),
    attribute<get_flag<&HostnameAnalysis::has_invisible>>("has_invisible"),
    attribute<get_flag<&HostnameAnalysis::compat_fold>>("compat_fold"),
    attribute<get_flag<&HostnameAnalysis::cross_label_script>>("cross_label_script"),
    attribute<get_label_scripts>("label_scripts"),
    attribute<get_flag<&HostnameAnalysis::whole_script_confusable>>("whole_script_confusable"),
    attribute<get_label_whole_script_confusable>("label_whole_script_confusable"),
    attribute<get_canonical>("canonical"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* hostname_analysis_type() {
    static PyObject* type = result_type<HostnameAnalysis>({
        .name = "builtins.HostnameAnalysis",
        .doc = "Findings from a hostname homoglyph analysis.\n"
               "\n"
               "Reports factual findings; it claims nothing about absolute safety. A\n"
               "`suspicious == false` result is not a safety certificate (see\n"
               "`_is_suspicious_hostname`).",
        .getters = kGetters,
    });
    return type;
}

PyObject* is_suspicious_hostname(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        static constexpr Param params[] = {{"hostname", Param::Required}, {"contractions", Param::KeywordOnly}};
        Args in({"_is_suspicious_hostname", params}, args, nargs, kwnames);
        std::string_view host = in.str(0);
        bool contractions = in.boolean(1, false);
        if (!in) return nullptr;
        HostnameAnalysis analysis = hostname::analyze(host, contractions);
        bool suspicious = analysis.suspicious;
        Ref record = Ref::steal(new_result(hostname_analysis_type(), std::move(analysis)));
        if (!record) return nullptr;
        return PyTuple_Pack(2, suspicious ? Py_True : Py_False, record.get());
    });
}

const PyMethodDef kFunctions[] = {
    fastcall<is_suspicious_hostname>(
        "_is_suspicious_hostname",
        "_is_suspicious_hostname(hostname, *, contractions=False)\n--\n\n"
        "Analyse a host name for signs of a homoglyph or spoofing attack: each label\n"
        "is processed as a resolver would (UTS #46), brought to NFKC and cleared of\n"
        "invisible characters, then checked for compatibility characters, invisible\n"
        "characters, bidirectional controls and conflicts, mixed scripts and\n"
        "confusable characters. Returns (suspicious, HostnameAnalysis). With\n"
        "contractions, letter pairs that imitate one letter ('rn' for 'm') are\n"
        "contracted in the canonical form. Bracketed IPv6 literals are harmless."),
};

const ModuleClass kClasses[] = {{"HostnameAnalysis", hostname_analysis_type}};

}  // namespace

Area hostname_area() { return {kFunctions, kClasses}; }

}  // namespace kelrad::py
