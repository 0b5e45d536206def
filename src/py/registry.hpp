// What each binding area contributes to the module.
//
// Each area file (text.cpp, normalize.cpp, ...) exports its functions and
// classes through one accessor below; module.cpp adds whatever the areas
// provide in the module's canonical order; a listed name that no area exports
// fails the import.
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
Area emoji_area();           // emoji names and replacement (emoji.cpp)
Area encoding_area();        // byte-encoding detection and decoding (encoding.cpp)
Area security_area();        // confusables (security.cpp)
Area hostname_area();        // host-name homoglyph analysis (hostname.cpp)
Area anomalies_area();       // token anomalies and smuggled payloads (anomalies.cpp)
Area presets_area();         // presets and the canonical check (presets.cpp)
Area pipeline_area();        // configurable pipelines and named profiles (pipeline.cpp)
Area slugify_area();         // slugs (slugify.cpp)
Area collisions_area();      // key collisions, nearest match, file names (collisions.cpp)

}  // namespace kelrad::py
