// The decoding library runs in a helper process of its own (halvex-decoder):
// a corrupt file that makes it abort, crash or hang ends that process, not
// halvex, and the file is refused. One DecoderProcess talks to one helper,
// started on first use and again after it stopped; use one per thread.
#pragma once

#include <sys/types.h>

#include <string>

#include "dicom/compressed_pixels.h"

namespace halvex {

class DecoderProcess {
public:
    DecoderProcess() = default;
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    // decodePixels in the helper. A helper that can't be started, stops or
    // takes too long (5 s and 0.3 s per megabyte of the file) gives a
    // refusal saying so.
    DecodedPixels decode(const std::string& path);
    // writePlainHeaderCopy in the helper; false on any failure.
    bool writePlainHeaderCopy(const std::string& path, const std::string& copyPath);

private:
    bool start();
    void stop();
    // One request and the status word of its answer; false when the helper
    // could not be reached or stopped.
    bool request(int operation, const std::string& path, const std::string& copyPath, int& status);
    bool receive(void* data, size_t bytes);

    pid_t child_ = -1;
    int socket_ = -1;
    int timeoutMs_ = 5000;  // for the answer to the current request
};

// The helper's program: beside the running executable, else in the
// install's helper folder.
std::string decoderProgram();

// The helper's requests (one 32-bit word) and answers.
enum DecoderOperation : int { kDecodeOperation = 1, kHeaderCopyOperation = 2 };

}  // namespace halvex
