// Calls from the module into Python callables (the unique-slug check, and
// any other callback an operation runs).
//
// An exception the callable raises comes back as nullptr with the exception
// set, for the caller to pass on unchanged. The one exception to that is the
// module's own internal-failure class: a PanicException raised inside the
// callback (by a nested call into the module, say) is not an error the
// callback chose to raise, so the module reports it on standard error with
// its traceback and continues it as an internal failure of its own, thrown as
// `Panic` with the first failure's message.
#pragma once

#include "py/ref.hpp"

namespace kelrad::py {

// `callable(*args, **kwargs)`, `args` a tuple, `kwargs` a dict or nullptr;
// see above for failures.
Ref call_python(PyObject* callable, PyObject* args, PyObject* kwargs = nullptr);

}  // namespace kelrad::py
