// What each binding area contributes to the module.
//
// Each area file (text.cpp, normalize.cpp, ...) exports its functions and
// classes through one accessor below; module.cpp adds whatever the areas
// provide in the module's canonical order and skips the names no area has.
#pragma once

#include "py/ref.hpp"

#include <span>

namespace kelrad::py {

// A class the module exposes: its bare name and its type object's getter.
struct ModuleClass {
    const char* name;
    PyObject* (*type)();
};

struct Area {
    std::span<const PyMethodDef> functions;
    std::span<const ModuleClass> classes;
};

Area text_area();            // text primitives (text.cpp)
Area normalize_area();       // normalization (normalize.cpp)
Area transliterate_area();   // transliteration (transliterate.cpp)
Area registration_area();    // registered languages, replacements, the seal (registration.cpp)
Area security_area();        // security analysis (security.cpp)
Area presets_area();         // presets, pipelines, slugs, file names (presets.cpp)

}  // namespace kelrad::py
