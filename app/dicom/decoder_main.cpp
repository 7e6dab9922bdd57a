// halvex-decoder: decodes compressed DICOM files for halvex through GDCM, in
// a process of its own so that a file the library can't survive takes only
// this process down. Requests on standard input, answers on standard output
// (see decoder_process.h); it ends at the end of its input.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "dicom/compressed_pixels.h"
#include "dicom/decoder_process.h"
#include "platform/files.h"

namespace {

bool readAll(void* data, size_t bytes) {
    char* p = static_cast<char*>(data);
    return halvex::moveAll(bytes, [&](size_t done, size_t left) { return ::read(0, p + done, left); });
}

bool writeAll(const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    return halvex::moveAll(bytes, [&](size_t done, size_t left) { return ::write(1, p + done, left); });
}

bool readText(std::string& text) {
    uint32_t length = 0;
    if (!readAll(&length, sizeof length) || length > 65536) return false;
    text.resize(length);
    return readAll(text.data(), length);
}

bool answer(int32_t status) { return writeAll(&status, sizeof status); }

bool refuse(const std::string& why) {
    const uint32_t length = static_cast<uint32_t>(why.size());
    return answer(1) && writeAll(&length, sizeof length) && writeAll(why.data(), why.size());
}

}  // namespace

int main() {
    int32_t operation = 0;
    std::string path, copyPath;
    while (readAll(&operation, sizeof operation) && readText(path) && readText(copyPath)) {
        if (operation == halvex::kHeaderCopyOperation) {
            if (!answer(halvex::writePlainHeaderCopy(path, copyPath) ? 0 : 1)) return 1;
            continue;
        }
        const halvex::DecodedPixels d = halvex::decodePixels(path);
        const int32_t frames = d.frameCount, lossy = d.lossy ? 1 : 0;
        const bool sent = d.refusal.empty() ? answer(0) && writeAll(&frames, sizeof frames) &&
                                                  writeAll(&lossy, sizeof lossy) &&
                                                  writeAll(d.frames.data(), d.frames.size() * sizeof(int16_t))
                                            : refuse(d.refusal);
        if (!sent) return 1;
    }
    return 0;
}
