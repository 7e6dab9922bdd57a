// The library's binary interface: every one of its 117 names can be found
// by name, as callers bind them, and nothing else leaves the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

#include "lumvek.h"

namespace {

constexpr std::array<const char*, 117> kExports = {
    "CRC16", "alongblfilter3dms", "alongfilter3dms", "bilate2dct", "bilate2dcts", "bilate2dms", "bilate3dcti",
    "bilate3dctms", "boxblfilter3dal1", "boxblfilter3dal1ms", "boxfilter2dctivms", "boxfilter2dctms",
    "boxfilter2dctneoms", "boxfilter3dct", "boxfilter3dctms", "boxfilter3dctzms", "bpj", "cfft", "cfft2d", "cfft2df",
    "cfftfree", "cfftprep", "circleblur2dct", "ct2bgtrn", "ct2trn", "ct2trn2x", "ct2trn2xcubic", "ct4bgtrn",
    "ct4trn", "ctbicubic", "ctbicubic2si", "ctbicubicsi", "ctcircleblur", "ctcubicmag", "ctinr2dfilter",
    "ctmatrixmag", "ctorgmix", "ctorgmul", "ctsmooth_tf1dset", "ctsmooth_tffree", "ctsmooth_tfset", "ctsmooth_wotf",
    "ctsmooth_wtf", "cttf", "cttf1d2d", "ctzwait", "dr2strn", "dr2trn", "dr4trn", "fpdlogms", "fpj", "fpjbig",
    "imgcubicmag", "imghalf", "imgrota", "li2bmp", "lumvektst", "lumvektst2", "mediantd", "memdown", "memtrn",
    "nlm2dct", "nlm3dct", "randomadd", "randomaddsi", "randomimg", "randomimgf", "randominit", "shortfree",
    "shortmalloc", "strkfpj", "strkrmap", "strkwaitsum", "tagposi", "tagposis", "var2addconst", "var2addconstnz",
    "var2clr", "var2idiv", "var2imul", "var2ismulconst", "var2ito4i", "var2itofloat", "var2lin", "var2log",
    "var2mulconst", "var2tofloat", "var2tofloat_sp", "var2tosinglect", "var2trn", "var4add", "var4addconst",
    "var4addnz", "var4ave", "var4clr", "var4moveave", "var4mul", "var4mulconst", "var4skiptrn", "var4sub",
    "var4swap", "var4trn", "var4trn_sp", "varclr", "varfloatto2", "varsingleto2ct", "varswap", "vartrn",
    "vartwo2isto2imulconst", "vartwo2istofloat", "vartwo2ito2imulconst", "vartwo2itofloat", "vartwosingleave",
    "vecana3d", "vecana3dms", "volumeget", "zintp"};

// The file the library was loaded from.
std::string libraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&var2clr), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

TEST(LibraryInterface, AllNamesAndNothingElse) {
    const std::string path = libraryPath();
    ASSERT_FALSE(path.empty());
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : kExports) EXPECT_NE(dlsym(library, name), nullptr) << name;
    dlclose(library);

    // The dynamic symbol table's defined names, as the loader sees them.
    std::set<std::string> exported;
    FILE* nm = popen(("nm -D --defined-only '" + path + "'").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    char address[64], type[8], name[512];
    while (std::fscanf(nm, "%63s %7s %511s", address, type, name) == 3) exported.insert(name);
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(exported, std::set<std::string>(kExports.begin(), kExports.end()));
}

}  // namespace
