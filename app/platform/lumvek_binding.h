// halvex calls lumvek by name: the library is loaded on the first call of any
// export, each export is bound on its own first call, and the library stays
// loaded for the life of the process.
#pragma once

#include <stdexcept>

#include "lumvek.h"  // signatures only; halvex does not link against lumvek

namespace halvex {

// A missing library or export; what() is the loader's message.
class LumvekLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The address of export `name`, loading the library on first use.
// Throws LumvekLoadError when the library or the export can't be found.
void* resolveLumvekExport(const char* name);

template <class Fn>
Fn* boundLumvekExport(const char* name) {
    return reinterpret_cast<Fn*>(resolveLumvekExport(name));
}

}  // namespace halvex

// LUMVEK(var2trn)(dst, src, n): call an export through the binding.
#define LUMVEK(name) (::halvex::boundLumvekExport<decltype(::name)>(#name))
