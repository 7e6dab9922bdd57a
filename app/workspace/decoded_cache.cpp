#include "workspace/decoded_cache.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "dicom/decoder_process.h"
#include "platform/files.h"

namespace halvex {

namespace {

bool writeAll(int fd, const void* data, size_t bytes, int64_t offset) {
    const char* p = static_cast<const char*>(data);
    return moveAll(bytes, [&](size_t done, size_t left) {
        return ::pwrite(fd, p + done, left, offset + static_cast<int64_t>(done));
    });
}

}  // namespace

std::vector<DecodedSlots> decodeIntoCache(ImageStore& store, std::vector<CompressedFile>& files,
                                          const std::function<void(int done, int total)>& waiting) {
    std::vector<DecodedSlots> slots(files.size());
    const std::string cache = store.decodedCachePath();
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (store.decodedSlotCount == 0 ? O_TRUNC : 0);
    const int fd = ::open(cache.c_str(), flags, 0644);
    if (fd < 0) {
        for (CompressedFile& f : files)
            if (f.refusal.empty()) f.refusal = "the decoded-slice cache " + cache + " can't be written";
        return slots;
    }

    std::atomic<size_t> next{0};
    std::atomic<int> done{0};
    std::atomic<int> nextSlot{store.decodedSlotCount};
    auto work = [&] {
        DecoderProcess decoder;
        for (size_t i; (i = next.fetch_add(1)) < files.size(); done.fetch_add(1)) {
            CompressedFile& f = files[i];
            if (!f.refusal.empty()) continue;
            DecodedPixels d;
            try {
                d = decoder.decode(f.path);
            } catch (const std::exception& e) {  // a thread must not let one escape
                d.refusal = std::string("its pixels can't be taken (") + e.what() + ")";
            }
            if (!d.refusal.empty()) {
                f.refusal = d.refusal;
                continue;
            }
            const int first = nextSlot.fetch_add(d.frameCount);
            if (first + d.frameCount > kMaxDecodedSlots) {
                f.refusal = "the decoded-slice cache is full (" + std::to_string(kMaxDecodedSlots) +
                            " slices): clear all slices to start it again";
            } else if (!writeAll(fd, d.frames.data(), d.frames.size() * sizeof(int16_t), int64_t(first) * kSliceBytes)) {
                f.refusal = "its pixels can't be written to " + cache;
            } else {
                slots[i] = {first, d.frameCount, d.lossy};
            }
        }
    };
    // Decoding is the slow part of reading a compressed series: it gets
    // every core (two at least, so the waiting thread is never alone).
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    struct Workers {
        std::vector<std::thread> threads;
        int fd;
        // Joined and closed however the wait ends.
        ~Workers() {
            for (std::thread& t : threads) t.join();
            ::close(fd);
        }
    } workers{{}, fd};
    for (unsigned k = 0; k < std::min<size_t>(cores, files.size()); ++k) workers.threads.emplace_back(work);
    const int total = static_cast<int>(files.size());
    while (done.load() < total) {
        waiting(done.load(), total);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    for (const DecodedSlots& s : slots)
        if (s.frames > 0) store.decodedSlotCount = std::max(store.decodedSlotCount, s.firstSlot + s.frames);
    return slots;
}

}  // namespace halvex
