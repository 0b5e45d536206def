// Python face of configurable pipelines and named profiles: `_TextPipeline`,
// `_get_pipeline` and `_list_profiles`.
#include "py/ref.hpp"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "presets/pipeline.hpp"
#include "presets/profiles.hpp"
#include "py/bind.hpp"
#include "py/configured.hpp"
#include "py/errors.hpp"
#include "py/registry.hpp"

namespace kelrad::py {
namespace {

using pipeline::PipelineOptions;
using pipeline::PipelineWorkspace;
using pipeline::TextPipeline;

// ---- _TextPipeline -----------------------------------------------------------------------

enum Option : std::size_t {
    kNormalize,
    kTransliterate,
    kLang,
    kStrictIso9,
    kGost7034,
    kConfusables,
    kStripAccents,
    kFoldCase,
    kCollapseWhitespace,
    kStripControl,
    kStripZeroWidth,
    kDemojize,
    kDemojizeReplacement,
    kStripBidi,
    kStripZalgo,
    kStripPua,
    kStripPlane14,
    kResolveDeletions,
    kResolveCr,
    kDigitPolicy,
    kOptionCount,
};

constexpr std::array<Param, kOptionCount> kPipelineParams = {{
    {"normalize", Param::KeywordOnly},         {"transliterate", Param::KeywordOnly},
    {"lang", Param::KeywordOnly},              {"strict_iso9", Param::KeywordOnly},
    {"gost7034", Param::KeywordOnly},          {"confusables", Param::KeywordOnly},
    {"strip_accents", Param::KeywordOnly},     {"fold_case", Param::KeywordOnly},
    {"collapse_whitespace", Param::KeywordOnly}, {"strip_control", Param::KeywordOnly},
    {"strip_zero_width", Param::KeywordOnly},  {"demojize", Param::KeywordOnly},
    {"demojize_replacement", Param::KeywordOnly}, {"strip_bidi", Param::KeywordOnly},
    {"strip_zalgo", Param::KeywordOnly},       {"strip_pua", Param::KeywordOnly},
    {"strip_plane14", Param::KeywordOnly},     {"resolve_deletions", Param::KeywordOnly},
    {"resolve_cr", Param::KeywordOnly},        {"digit_policy", Param::KeywordOnly},
}};
constexpr Param kTextParam[] = {{"text", Param::Required}};
constexpr Param kGetPipelineParams[] = {{"profile", Param::Required}, {"digit_policy", Param::KeywordOnly}};

// A bool, or None for "not given".
std::optional<bool> optional_boolean(Args& in, std::size_t i) {
    if (in.raw(i) == nullptr || in.raw(i) == Py_None) return std::nullopt;
    return in.boolean(i, false);
}

PyObject* pipeline_type();

PyObject* new_pipeline_object(PyTypeObject* type, TextPipeline pipeline) {
    if (type == nullptr) return nullptr;
    return new_configured(type, std::move(pipeline));
}

PyObject* pipeline_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        Args in({"__new__", kPipelineParams, "_TextPipeline"}, args, kwargs);
        PipelineOptions o;
        o.normalize = in.optional_str(kNormalize);
        o.transliterate = in.boolean(kTransliterate, false);
        o.lang = in.optional_str(kLang);
        o.strict_iso9 = in.boolean(kStrictIso9, false);
        o.gost7034 = in.boolean(kGost7034, false);
        o.confusables = in.boolean(kConfusables, false);
        o.strip_accents = in.boolean(kStripAccents, false);
        o.fold_case = in.boolean(kFoldCase, false);
        o.collapse_whitespace = in.boolean(kCollapseWhitespace, false);
        o.strip_control = optional_boolean(in, kStripControl);
        o.strip_zero_width = optional_boolean(in, kStripZeroWidth);
        o.demojize = in.boolean(kDemojize, false);
        o.demojize_replacement = in.optional_str(kDemojizeReplacement);
        o.strip_bidi = in.boolean(kStripBidi, false);
        std::optional<std::int64_t> max_marks;
        if (in.raw(kStripZalgo) != nullptr && in.raw(kStripZalgo) != Py_None) max_marks = in.i64(kStripZalgo, 0);
        o.strip_pua = in.boolean(kStripPua, false);
        o.strip_plane14 = in.boolean(kStripPlane14, false);
        o.resolve_deletions = in.boolean(kResolveDeletions, false);
        o.resolve_cr = in.boolean(kResolveCr, false);
        o.digit_policy = in.str(kDigitPolicy, "numeric");
        if (!in) return nullptr;
        if (max_marks) {
            if (*max_marks < 0) {
                return raise_invalid_argument(
                    "strip_zalgo (max_marks) must be a non-negative value that fits the platform word size, got " +
                    std::to_string(*max_marks));
            }
            o.strip_zalgo = static_cast<std::size_t>(*max_marks);
        }
        auto built = TextPipeline::create(o);
        if (!built) return raise(built.error());
        return new_pipeline_object(type, std::move(*built));
    });
}

PyObject* pipeline_process(TextPipeline& pipeline, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Args in({"process", kTextParam, "_TextPipeline"}, args, nargs, kwnames);
    std::string_view text = in.str(0);
    if (!in) return nullptr;
    // Each thread keeps its buffers between calls; the pipeline itself is
    // only read, so one object serves any number of threads.
    thread_local PipelineWorkspace workspace;
    auto result = pipeline.process(text, workspace);
    if (!result) return raise(result.error());
    PyObject* out = to_py(*result);
    workspace.shrink();
    return out;
}

PyObject* pipeline_steps(TextPipeline& pipeline) {
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const pipeline::ActiveStep& step : pipeline.active_steps()) {
        Ref name = Ref::steal(to_py(step.name));
        Ref detail = step.detail ? Ref::steal(to_py(std::string_view(*step.detail))) : Ref::borrow(Py_None);
        if (!name || !detail) return nullptr;
        Ref pair = Ref::steal(PyTuple_Pack(2, name.get(), detail.get()));
        if (!pair || PyList_Append(list.get(), pair.get()) < 0) return nullptr;
    }
    return list.release();
}

PyObject* pipeline_purpose(TextPipeline& pipeline) {
    if (pipeline.purpose().empty()) return Py_NewRef(Py_None);
    return to_py(pipeline.purpose());
}

std::string pipeline_repr(const TextPipeline& pipeline) { return pipeline.repr(); }

#define KELRAD_PIPELINE_OPTIONS                                                                                \
    "normalize=None, transliterate=False, lang=None, strict_iso9=False, gost7034=False, confusables=False, "  \
    "strip_accents=False, fold_case=False, collapse_whitespace=False, strip_control=None, "                   \
    "strip_zero_width=None, demojize=False, demojize_replacement=None, strip_bidi=False, strip_zalgo=None, "  \
    "strip_pua=False, strip_plane14=False, resolve_deletions=False, resolve_cr=False, digit_policy=\"numeric\""

const PyMethodDef kPipelineMethods[] = {
    {"process", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(
                    fast_method<TextPipeline, Use::Shared, pipeline_process>)),
     METH_FASTCALL | METH_KEYWORDS,
     "process($self, text)\n--\n\n"
     "Process text through the pipeline."},
    {"steps", noargs_method<TextPipeline, Use::Shared, pipeline_steps>, METH_NOARGS,
     "steps($self)\n--\n\n"
     "Return the ordered list of active pipeline steps and their parameters."},
    {"purpose", noargs_method<TextPipeline, Use::Shared, pipeline_purpose>, METH_NOARGS,
     "purpose($self)\n--\n\n"
     "What the named profile this was built from is for, or `None`."},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* pipeline_type() {
    static PyObject* type = configured_type<TextPipeline>({
        .name = "builtins._TextPipeline",
        .doc = "_TextPipeline(*, " KELRAD_PIPELINE_OPTIONS ")\n--\n\n"
               "Composable, pre-compiled text cleaning pipeline.",
        .constructor = pipeline_new,
        .methods = kPipelineMethods,
        .repr = shared_repr<TextPipeline, pipeline_repr>,
    });
    return type;
}

#undef KELRAD_PIPELINE_OPTIONS

// ---- _get_pipeline, _list_profiles -------------------------------------------------------

PyObject* get_pipeline(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        Args in({"_get_pipeline", kGetPipelineParams}, args, nargs, kwnames);
        std::string_view name = in.str(0);
        std::string_view policy_text = in.str(1, "numeric");
        if (!in) return nullptr;
        auto built = profiles::build_profile(name);
        if (!built) {
            return raise_invalid_argument("Unknown profile " + error::quoted_debug_literal(name) +
                                          "; available: " + profiles::joined_profile_names());
        }
        if (!*built) return raise(built->error());
        auto policy = confusables::parse_digit_policy(policy_text);
        if (!policy) return raise(policy.error());
        auto pipeline = std::move(**built).with_digit_policy(*policy);
        if (!pipeline) return raise(pipeline.error());
        return new_pipeline_object(reinterpret_cast<PyTypeObject*>(pipeline_type()), std::move(*pipeline));
    });
}

PyObject* list_profiles(PyObject*, PyObject*) {
    return guarded([] { return to_py(std::span<const std::string>(profiles::profile_names())); });
}

const PyMethodDef kFunctions[] = {
    fastcall<get_pipeline>(
        "_get_pipeline",
        "_get_pipeline(profile, *, digit_policy=\"numeric\")\n--\n\n"
        "Build the `_TextPipeline` for a named policy profile (`get_pipeline`).\n\n"
        "`digit_policy` is fixed here, at construction, because a profile is a resolved\n"
        "pipeline and `process` takes text and nothing else. A profile with no confusables\n"
        "step refuses a non-default policy rather than keep a setting that would never run."),
    noargs<list_profiles>("_list_profiles",
                          "_list_profiles()\n--\n\n"
                          "Sorted names of the available named policy profiles (`list_profiles`)."),
};

const ModuleClass kClasses[] = {
    {"_TextPipeline", pipeline_type},
};

}  // namespace

Area pipeline_area() { return {kFunctions, kClasses}; }

}  // namespace kelrad::py
