#include "app_fixture.h"

#include <fstream>
#include <stdlib.h>

namespace halvex::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "halvex-test-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    path_ = std::string(made ? made : pattern.c_str()) + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string rawSlice(int16_t value, bool ramp) {
    std::string bytes(kSliceBytes, '\0');
    for (int i = 0; i < kSlicePixels; ++i) {
        const int16_t v = static_cast<int16_t>(value + (ramp ? i % kSide : 0));
        bytes[2 * size_t(i)] = static_cast<char>(v & 0xFF);
        bytes[2 * size_t(i) + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    return bytes;
}

WorkspaceTest::WorkspaceTest() = default;

void WorkspaceTest::start(bool withSettings) {
    if (withSettings) {
        for (const char* name : {"VOXIM.INI", "NFD.BMP", "PARAM.TXT"})
            fs::copy_file(std::string(HALVEX_SOURCE_DIR) + "/resources/" + name, folder.path() + name,
                          fs::copy_options::skip_existing);
    }
    ASSERT_TRUE(ws.start(folder.path()));
}

void WorkspaceTest::appendSlices(int count, int16_t firstValue, int16_t ctOffset) {
    for (int i = 0; i < count; ++i) {
        std::fill(store.workImage.begin(), store.workImage.end(), static_cast<int16_t>(firstValue + i));
        STOREIMG(store, ctOffset, static_cast<float>(i), 250.0f);
    }
}

}  // namespace halvex::testing
