// The extension module `kelrad._core`: its definition and execution step.
#include "py/ref.hpp"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "py/batch.hpp"
#include "py/bind.hpp"
#include "py/errors.hpp"
#include "py/registry.hpp"

namespace kelrad::py {
namespace {

enum class Kind { Function, Class, Exception, Constant };

struct CanonicalName {
    std::string_view name;
    Kind kind;
};

constexpr CanonicalName F(std::string_view n) { return {n, Kind::Function}; }
constexpr CanonicalName C(std::string_view n) { return {n, Kind::Class}; }
constexpr CanonicalName E(std::string_view n) { return {n, Kind::Exception}; }
constexpr CanonicalName K(std::string_view n) { return {n, Kind::Constant}; }

// The order in which names are added to the module and listed in __all__.
constexpr std::array<CanonicalName, 106> kCanonicalOrder = {
    C("SurrogateSafe"), F("_transliterate"), F("_transliterate_entry"), F("_set_transliterate_fallback"),
    F("_validate_transliterate_args"), F("_find_untranslatable"), F("_transliterate_context"),
    F("_strip_accents"), F("_is_ascii"), F("_list_langs"), F("_register_lang"), F("_register_replacements"),
    F("_remove_replacement"), F("_clear_replacements"), F("_seal_registrations"), F("_registrations_sealed"),
    F("_slugify"), F("_strip_log_injection"), F("_normalize"), F("_is_normalized"), F("_stream_safe"),
    F("_is_normalized_stream_safe"), F("_normalize_confusables"), F("_is_confusable"),
    F("_unmapped_confusables"), F("_confusable_coverage"), F("_find_confusables"), F("_decode_smuggled"),
    C("SmuggledPayload"), F("_find_unmapped_confusables"), F("_escape_html"), F("_percent_encode"),
    F("_sanitize_filename"), F("_fold_case"), F("_is_case_fold_stable"), F("_find_key_collisions"),
    F("_edit_distance"), F("_nearest_match"), C("NearestMatch"), F("_collapse_whitespace"),
    F("_strip_control_chars"), F("_strip_zero_width_chars"), F("_detect_scripts"), F("_is_mixed_script"),
    F("_has_bidi_conflict"), F("_has_bidi_control"), F("_inspect_auto_lang"), F("_transliterate_batch"),
    F("_strip_accents_batch"), F("_slugify_batch"), F("_normalize_batch"), C("_Slugifier"),
    C("_UniqueSlugifier"), C("_TextPipeline"), F("_get_pipeline"), F("_list_profiles"), F("_canonicalize"),
    F("_is_canonical"), F("_skeleton_key"), F("_ml_normalize"), F("_catalog_key"), F("_strip_format"),
    F("_search_key"), F("_sort_key"), F("_strip_bidi"), F("_strip_tags"), F("_fold_punctuation"),
    F("_strip_variation_selectors"), F("_strip_noncharacters"), F("_strip_pua"), F("_canonicalize_strict"),
    F("_strip_obfuscation"), F("_is_zalgo"), F("_strip_zalgo"), F("_grapheme_len"), F("_grapheme_split"),
    F("_grapheme_truncate"), F("_terminal_width"), F("_grapheme_width"), F("_is_suspicious_hostname"),
    C("HostnameAnalysis"), F("_has_anomalies"), F("_inspect_anomalies"), F("_has_anomalies_lex"),
    F("_inspect_anomalies_lex"), C("AnomalyReport"), C("Finding"), C("Lexicon"), C("KeyCollision"),
    F("_detect_encoding"), F("_decode_to_utf8"), F("_reverse_transliterate"), F("_reverse_langs"),
    F("_demojize"), F("_replace_emoji"), F("_set_emoji_provider"), E("KelradError"),
    E("InvalidArgumentError"), E("ResourceLimitError"), E("UnsupportedError"), K("_MAX_BATCH_SIZE"),
    K("_CONFUSABLES_VERSION"), K("_UNICODE_VERSION"), K("_KEY_SCHEMA_VERSION"),
    K("_DEFAULT_ZALGO_THRESHOLD"), K("_DEFAULT_ZALGO_MAX_MARKS"),
};

constexpr Area (*kAreas[])() = {
    text_area,     normalize_area, transliterate_area, registration_area, emoji_area,   encoding_area,
    security_area, hostname_area,  anomalies_area,     presets_area,      pipeline_area, slugify_area,
    collisions_area,
};

const PyMethodDef* find_function(std::string_view name) {
    for (auto area : kAreas) {
        for (const PyMethodDef& def : area().functions) {
            if (name == def.ml_name) return &def;
        }
    }
    return nullptr;
}

const ModuleClass* find_class(std::string_view name) {
    for (auto area : kAreas) {
        for (const ModuleClass& cls : area().classes) {
            if (name == cls.name) return &cls;
        }
    }
    return nullptr;
}

// Appends the name to __all__ (creating it on first use), then binds it.
bool add(PyObject* module, PyObject* name, PyObject* value) {
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = Ref::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    if (!PyList_Check(all.get())) return raise_type_mismatch(all.get(), "list"), false;
    if (PyList_Append(all.get(), name) < 0) {
        PyErr_Clear();
        panic("could not append __name__ to __all__");
    }
    return PyObject_SetAttr(module, name, value) == 0;
}

bool add(PyObject* module, std::string_view name, Ref value) {
    if (!value) return false;
    Ref key = new_str(name);
    return key && add(module, key.get(), value.get());
}

Ref exception_class(std::string_view name) {
    if (name == "KelradError") return Ref::borrow(kelrad_error());
    if (name == "InvalidArgumentError") return Ref::borrow(invalid_argument_error());
    if (name == "ResourceLimitError") return Ref::borrow(resource_limit_error());
    return Ref::borrow(unsupported_error());
}

Ref constant(std::string_view name) {
    if (name == "_MAX_BATCH_SIZE") return Ref::steal(PyLong_FromUnsignedLongLong(kMaxBatchSize));
    if (name == "_CONFUSABLES_VERSION" || name == "_UNICODE_VERSION") return new_str("17.0.0");
    if (name == "_KEY_SCHEMA_VERSION") return Ref::steal(PyLong_FromLongLong(10));
    return Ref::steal(PyLong_FromUnsignedLongLong(3));  // the two zalgo defaults
}

bool add_function(PyObject* module, const PyMethodDef& def) {
    Ref module_name = Ref::steal(PyObject_GetAttrString(module, "__name__"));
    if (!module_name) return false;
    Ref fn = Ref::steal(PyCFunction_NewEx(const_cast<PyMethodDef*>(&def), module, module_name.get()));
    if (!fn) return false;
    Ref name = Ref::steal(PyObject_GetAttrString(fn.get(), "__name__"));
    return name && add(module, name.get(), fn.get());
}

std::size_t area_export_count() {
    std::size_t n = 0;
    for (auto area : kAreas) n += area().functions.size() + area().classes.size();
    return n;
}

int exec_module(PyObject* module) {
    PyObject* ok = guarded([&]() -> PyObject* {
        if (!PyModule_Check(module)) return raise_type_mismatch(module, "PyModule");
        std::size_t from_areas = 0;
        for (const CanonicalName& entry : kCanonicalOrder) {
            bool added = true;
            switch (entry.kind) {
                case Kind::Function: {
                    const PyMethodDef* def = find_function(entry.name);
                    if (!def) panic(std::string("no area exports the function ") + std::string(entry.name));
                    ++from_areas;
                    added = add_function(module, *def);
                    break;
                }
                case Kind::Class: {
                    const ModuleClass* cls = find_class(entry.name);
                    if (!cls) panic(std::string("no area exports the class ") + std::string(entry.name));
                    ++from_areas;
                    added = add(module, entry.name, Ref::borrow(cls->type()));
                    break;
                }
                case Kind::Exception: added = add(module, entry.name, exception_class(entry.name)); break;
                case Kind::Constant: added = add(module, entry.name, constant(entry.name)); break;
            }
            if (!added) return nullptr;
        }
        // A name an area exports outside the canonical order (or twice) would
        // otherwise be left out of the module without a word.
        KELRAD_ASSERT(from_areas == area_export_count(), "an area exports a name the module does not list");
        return Py_NewRef(Py_None);
    });
    if (!ok) return -1;
    Py_DECREF(ok);
    return 0;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT,
    "_core",
    "The private compiled extension module, imported as `kelrad._core`.\n\n"
    "The package's public Python interface wraps the functions and classes\n"
    "defined here. Not a public interface.",
    0,
    nullptr,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace kelrad::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__core() {
    return PyModuleDef_Init(&kelrad::py::kModuleDef);
}
