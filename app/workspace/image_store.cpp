#include "workspace/image_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/number_text.h"

namespace halvex {

bool isTempSlot(const SliceInfo& entry) { return entry.name.rfind(kTempStackName, 0) == 0; }

int tempSlotOf(const SliceInfo& entry) {
    const std::string& n = entry.name;
    return textToInt(n.size() >= 4 ? n.substr(n.size() - 4) : n);
}

void STOREIMG(ImageStore& store, int16_t ctOffset, float position, float dfov) {
    const int slot = store.tempSlotCount;
    const int n = store.sliceCount;
    if (n >= kMaxSlices)
        throw WorkspaceError("The slice list is full (" + std::to_string(kMaxSlices) + " slices): clear some slices first.");
    if (slot >= kMaxTempSlots || slot < 0)
        throw WorkspaceError("The temporary stack file is full (" + std::to_string(kMaxTempSlots) +
                             " slots): clear all slices to start it again.");
    if (!writeAt(store.tempStackPath(), int64_t(slot) * kSliceBytes, store.workImage.data(), kSliceBytes))
        throw WorkspaceError("Cannot write the temporary stack file " + store.tempStackPath() + ".");

    const std::string name = kTempStackName + formatFixed(slot, "0000");
    const SliceInfo& current = store.slices[static_cast<size_t>(store.currentSlice)];
    SliceInfo& entry = store.slices[static_cast<size_t>(n)];
    entry.path = store.appFolder + name;
    entry.name = name;
    entry.ctOffset = ctOffset;
    entry.pixelOffset = 0;
    entry.dfov = dfov;
    entry.position = position;
    entry.kernel = current.kernel;
    entry.series = current.series;
    entry.thickness = current.thickness;
    entry.mAs = current.mAs;
    entry.mA = current.mA;
    // A slice made from a lossy one is no better.
    entry.lossy = current.lossy;
    entry.sourceFile.clear();

    setSliceScrollMaximum(store, n);
    store.tempSlotCount = static_cast<int16_t>(slot + 1);
    store.sliceCount = static_cast<int16_t>(n + 1);
}

void setSliceScrollMaximum(ImageStore& store, int maximum) {
    for (ScrollBar* bar : store.sliceScrollBars) bar->setMaximum(maximum);
}

namespace {

// Decoded slices live in the cache, which is longer than any slice file.
bool isDecodedSlot(const ImageStore& store, const SliceInfo& entry) {
    return !entry.sourceFile.empty() && entry.path == store.decodedCachePath();
}

}  // namespace

bool slicePixelsAvailable(const ImageStore& store, const SliceInfo& entry) {
    if (isTempSlot(entry)) return fileLength(store.tempStackPath()) >= (int64_t(tempSlotOf(entry)) + 1) * kSliceBytes;
    const int64_t length = fileLength(entry.path);
    const int64_t longest = isDecodedSlot(store, entry) ? length + 1 : kMaxSliceFileBytes;
    return length >= 0 && length < longest && entry.pixelOffset >= 0 && int64_t(entry.pixelOffset) + kSliceBytes <= length;
}

bool readSlicePixels(ImageStore& store, const SliceInfo& entry, int16_t* image) {
    if (isTempSlot(entry)) {
        readAt(store.tempStackPath(), int64_t(tempSlotOf(entry)) * kSliceBytes, image, kSliceBytes);
        return true;
    }
    store.currentPath = entry.path;
    const int64_t length = fileLength(entry.path);
    if (length < 0 || (length >= kMaxSliceFileBytes && !isDecodedSlot(store, entry))) return false;
    readAt(entry.path, entry.pixelOffset, image, kSliceBytes);
    return true;
}

std::string readListedSlice(ImageStore& store, int index, std::vector<int16_t>& pixels) {
    pixels.resize(kSlicePixels);
    if (index < 0 || index >= store.sliceCount) return "Slice " + std::to_string(index + 1) + " is not in the list.";
    const SliceInfo& entry = store.slices[static_cast<size_t>(index)];
    if (slicePixelsAvailable(store, entry) && readSlicePixels(store, entry, pixels.data())) return {};
    return "Slice " + std::to_string(index + 1) + " can't be read (" + entry.path + ").";
}

std::string claimTempStack(ImageStore& store) {
    releaseTempStack(store);
    constexpr int kInstances = 64;
    for (int k = 1; k <= kInstances; ++k) {
        const std::string name = k == 1 ? std::string(kTempStackName) : kTempStackName + std::string("-") + std::to_string(k);
        const int fd = ::open((store.appFolder + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) break;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            store.tempStackName = name;
            store.tempStackLock = fd;
            return name;
        }
        ::close(fd);
    }
    store.tempStackName = kTempStackName;
    return {};
}

ImageStore::~ImageStore() { releaseTempStack(*this); }

void releaseTempStack(ImageStore& store) {
    // The cache's name is this instance's while it holds its stack file.
    if (!store.appFolder.empty() && (store.tempStackLock >= 0 || store.decodedSlotCount > 0))
        ::unlink(store.decodedCachePath().c_str());
    store.decodedSlotCount = 0;
    if (store.tempStackLock < 0) return;
    // A file of its own goes with the instance; the folder's own stays.
    if (store.tempStackName != kTempStackName) ::unlink(store.tempStackPath().c_str());
    ::close(store.tempStackLock);
    store.tempStackLock = -1;
    store.tempStackName = kTempStackName;
}

void LOADSLICE(ImageStore& store, int16_t index) {
    if (index < 0 || index >= kMaxSlices) return;
    const SliceInfo& entry = store.slices[static_cast<size_t>(index)];
    readSlicePixels(store, entry, store.workImage.data());
    store.workCtOffset = entry.ctOffset;
}

}  // namespace halvex
