#include "platform/lumvek_binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <unordered_map>

#include "platform/files.h"

namespace halvex {
namespace {

constexpr const char* kLibraryName = "liblumvek.so";

// The library handle and the bound exports belong to the process, as the
// library itself does; only the user-interface thread calls in here.
struct Binding {
    void* handle = nullptr;
    std::unordered_map<std::string, void*> exports;
};

Binding& binding() {
    static Binding b;
    return b;
}

void* loadLibrary() {
    Binding& b = binding();
    if (b.handle) return b.handle;
    // Beside the executable first, so that a build uses its own library;
    // then wherever the loader looks; then the library folder of the install
    // the executable belongs to (an unpacked package).
    const std::string beside = executableFolder() + kLibraryName;
    const std::string installed = executableFolder() + "../" HALVEX_INSTALL_LIBDIR "/" + kLibraryName;
    b.handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!b.handle) b.handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!b.handle) b.handle = dlopen(installed.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!b.handle) {
        const char* why = dlerror();
        throw LumvekLoadError(why ? why : std::string(kLibraryName) + ": cannot be loaded");
    }
    return b.handle;
}

}  // namespace

void* resolveLumvekExport(const char* name) {
    Binding& b = binding();
    if (auto it = b.exports.find(name); it != b.exports.end()) return it->second;
    void* handle = loadLibrary();
    dlerror();
    void* address = dlsym(handle, name);
    if (!address) {
        const char* why = dlerror();
        throw LumvekLoadError(why ? why : std::string(name) + ": export not found");
    }
    b.exports.emplace(name, address);
    return address;
}

}  // namespace halvex
