#include "dicom/decoder_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "platform/files.h"

extern char** environ;

namespace halvex {

namespace {

// How long the helper may take over a file before it counts as hung: five
// seconds, and 0.3 s per megabyte (about twice what JPEG 2000, the slowest
// of the codecs, needs).
int answerTimeoutMs(const std::string& path) {
    const int64_t bytes = std::max<int64_t>(fileLength(path), 0);
    return static_cast<int>(std::min<int64_t>(5000 + bytes * 3 / 10000, 3600000));
}
constexpr size_t kFrameBytes = size_t(512) * 512 * sizeof(int16_t);
constexpr uint32_t kLongestText = 4096;

bool sendAll(int fd, const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    // No SIGPIPE when the helper has gone: the send just fails.
    return moveAll(bytes, [&](size_t done, size_t left) { return ::send(fd, p + done, left, MSG_NOSIGNAL); });
}

bool sendText(int fd, const std::string& text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    return sendAll(fd, &length, sizeof length) && sendAll(fd, text.data(), text.size());
}

DecodedPixels refusedWith(std::string why) {
    DecodedPixels d;
    d.refusal = std::move(why);
    return d;
}

}  // namespace

std::string decoderProgram() {
    const std::string folder = executableFolder();
    const std::string beside = folder + "halvex-decoder";
    std::error_code ec;
    if (std::filesystem::exists(beside, ec)) return beside;
    return folder + "../" HALVEX_INSTALL_LIBEXECDIR "/halvex/halvex-decoder";
}

DecoderProcess::~DecoderProcess() { stop(); }

bool DecoderProcess::start() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper talks on its standard input and output; what the library
    // prints goes nowhere (our refusals say what went wrong).
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string program = decoderProgram();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const int failed = ::posix_spawn(&child_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (failed != 0) {
        ::close(pair[0]);
        child_ = -1;
        return false;
    }
    socket_ = pair[0];
    return true;
}

void DecoderProcess::stop() {
    if (socket_ >= 0) ::close(socket_);  // the helper ends at the end of its input
    socket_ = -1;
    if (child_ > 0) {
        ::kill(child_, SIGKILL);  // in case it hangs
        ::waitpid(child_, nullptr, 0);
    }
    child_ = -1;
}

bool DecoderProcess::receive(void* data, size_t bytes) {
    char* p = static_cast<char*>(data);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    while (bytes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{socket_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
        const ssize_t n = ::recv(socket_, p, bytes, 0);
        if (n <= 0) return false;
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

bool DecoderProcess::request(int operation, const std::string& path, const std::string& copyPath, int& status) {
    if (socket_ < 0 && !start()) return false;
    timeoutMs_ = answerTimeoutMs(path);
    const int32_t op = operation;
    int32_t answer = 0;
    if (sendAll(socket_, &op, sizeof op) && sendText(socket_, path) && sendText(socket_, copyPath) &&
        receive(&answer, sizeof answer)) {
        status = answer;
        return true;
    }
    stop();  // it crashed, hung or never started: the next request starts a new one
    return false;
}

DecodedPixels DecoderProcess::decode(const std::string& path) {
    int status = 0;
    if (!request(kDecodeOperation, path, {}, status)) {
        std::error_code ec;
        return refusedWith(std::filesystem::exists(decoderProgram(), ec)
                               ? "the decoder stopped on it (the file is corrupt)"
                               : "the decoder " + decoderProgram() + " is missing");
    }
    if (status != 0) {
        uint32_t length = 0;
        std::string why(kLongestText, '\0');
        if (!receive(&length, sizeof length) || length > kLongestText || !receive(why.data(), length)) {
            stop();
            return refusedWith("the decoder stopped on it (the file is corrupt)");
        }
        why.resize(length);
        return refusedWith(why);
    }
    int32_t frames = 0, lossy = 0;
    if (!receive(&frames, sizeof frames) || !receive(&lossy, sizeof lossy) || frames < 1 ||
        frames > kMaxDecodedFrames) {
        stop();
        return refusedWith("the decoder stopped on it (the file is corrupt)");
    }
    DecodedPixels d;
    d.frames.resize(size_t(frames) * kFrameBytes / sizeof(int16_t));
    if (!receive(d.frames.data(), size_t(frames) * kFrameBytes)) {
        stop();
        return refusedWith("the decoder stopped on it (the file is corrupt)");
    }
    d.frameCount = frames;
    d.lossy = lossy != 0;
    return d;
}

bool DecoderProcess::writePlainHeaderCopy(const std::string& path, const std::string& copyPath) {
    int status = 0;
    return request(kHeaderCopyOperation, path, copyPath, status) && status == 0;
}

}  // namespace halvex
