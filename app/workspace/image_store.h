// The workspace state every window and processing driver shares: the slice
// list, the working image and its companions, the window setting and the ROI.
// Slices are not held in memory: each entry names a file and the byte offset
// of its pixels; slices the program makes go to the stack file "ATEMP".
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "dicom/slice_format.h"
#include "platform/controls.h"

namespace halvex {

inline constexpr int kMaxSlices = 2048;
inline constexpr int kMaxTempSlots = 4095;              // slot offsets stay below 2^31
inline constexpr int64_t kMaxSliceFileBytes = 600000;   // larger files are not read as one slice
inline constexpr const char* kTempStackName = "ATEMP";
inline constexpr const char* kDecodedCacheName = "DECODED";
inline constexpr int kMaxDecodedSlots = 4095;  // pixel offsets stay within 32 bits

// A command that would overfill the slice list or the stack file, or that
// can't write the stack file, ends with this message.
class WorkspaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SliceInfo {
    std::string path;
    std::string name;
    float position = 0;
    float imagePositionZ = 0;
    int32_t series = 0;
    int32_t pixelOffset = 0;
    int16_t ctOffset = 0;
    float thickness = 0;
    float dfov = 0;
    float rotationTime = 0;
    std::string patientName;
    std::string kernel;
    int16_t mAs = 0;
    float mA = 0;
    float ctdi = 0;
    int16_t kV = 0;
    int32_t fileNumberKey = 0;
    int32_t kernelKey = 0;
    int32_t patientKey = 0;
    // A slice decoded from a compressed file: the file it came from (the
    // header a save copies), while path and pixelOffset point into the
    // decoded-slice cache; empty for every other slice.
    std::string sourceFile;
    bool lossy = false;  // decoded from a lossy compressed file
};

// " lossy" for a slice decoded from a lossy compressed file, else nothing:
// the mark its information line and measurement labels carry.
inline std::string lossyMark(const SliceInfo& entry) { return entry.lossy ? " lossy" : ""; }

struct ImageStore {
    ImageStore() = default;
    ~ImageStore();
    // One store per instance: it holds the lock on its stack file.
    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;

    std::vector<int16_t> workImage = std::vector<int16_t>(kSlicePixels);
    std::vector<int16_t> referenceImage = std::vector<int16_t>(kSlicePixels);
    std::vector<int16_t> scratchImage = std::vector<int16_t>(kSlicePixels);
    std::vector<uint8_t> displayBytes = std::vector<uint8_t>(kSlicePixels);
    std::array<uint8_t, 2560> stampBitmap{};
    std::vector<SliceInfo> slices = std::vector<SliceInfo>(kMaxSlices);
    int16_t sliceCount = 0;
    int16_t currentSlice = 0;
    int16_t dualCurrentSlice = 0;
    int16_t tempSlotCount = 0;
    int16_t workCtOffset = 0;
    int16_t windowWidth = 0, windowCentre = 0;
    int16_t dualWindowWidth = 0, dualWindowCentre = 0;
    int16_t fftSize = 0;
    float currentDfov = 0;
    float inverseDfov = 0;
    float pixelSize = 0;
    int16_t currentKv = 0;
    int16_t zoomOn = 0;
    int16_t roiLeft = 0, roiTop = 0, roiWidth = 0, roiHeight = 0;
    // 1 after the ROI was placed anew: the circular edge then starts from
    // the ROI's centre instead of the centre adjusted before.
    int16_t newRoi = 0;
    std::string appFolder;  // with its trailing separator
    std::string currentPath;
    std::string versionLabel;
    float pi = 0, twoPi = 0;

    // The slice scroll bars of the windows, whose maximum follows the list.
    std::vector<ScrollBar*> sliceScrollBars;

    // The stack file this instance holds locked: "ATEMP", or "ATEMP-2" ...
    // when another halvex already holds the program folder's "ATEMP".
    std::string tempStackName = kTempStackName;
    int tempStackLock = -1;  // the open, locked stack file; -1 when none
    std::string tempStackPath() const { return appFolder + tempStackName; }
    // The decoded-slice cache of this instance ("DECODED", "DECODED-2" ...
    // with the stack file's suffix): slot k at byte k x 524288, removed at
    // exit; decodedSlotCount slots are in use.
    std::string decodedCachePath() const {
        return appFolder + kDecodedCacheName + tempStackName.substr(std::string(kTempStackName).size());
    }
    int decodedSlotCount = 0;
};

// True for entries that live in the stack file ("ATEMP" + four digits).
bool isTempSlot(const SliceInfo& entry);
// The slot number of a stack-file entry: the value of the last four characters.
int tempSlotOf(const SliceInfo& entry);

// Appends workImage as a new slice in the next slot of the stack file.
// Throws WorkspaceError (and changes nothing) when the list or the stack file
// is full or the slot can't be written.
void STOREIMG(ImageStore& store, int16_t ctOffset, float position, float dfov);

// Sets the maximum of every window's slice scroll bar.
void setSliceScrollMaximum(ImageStore& store, int maximum);

// Takes an exclusive lock on the program folder's stack file, or, when
// another process holds it, on "ATEMP-2", "ATEMP-3" ... beside it, so that
// two instances never write each other's slots. Returns the name taken
// (kTempStackName when the folder's own file was free); empty when none
// could be locked (the folder's own file is used unlocked).
std::string claimTempStack(ImageStore& store);
// Releases the lock; a stack file of its own beside the folder's is removed,
// and so is the decoded-slice cache.
void releaseTempStack(ImageStore& store);

// True when the entry's 524288 pixel bytes can all be read.
bool slicePixelsAvailable(const ImageStore& store, const SliceInfo& entry);

// Reads the pixels of list entry `index` into `pixels` (made one slice
// long). Empty when they were read, else the message that says why not.
std::string readListedSlice(ImageStore& store, int index, std::vector<int16_t>& pixels);

// Reads slice `index` into workImage without showing it.
void LOADSLICE(ImageStore& store, int16_t index);

// Reads the 524288 pixel bytes of an entry into `image`: from the stack file
// for temp slots, else from its file at pixelOffset unless that file is
// 600000 bytes or longer (then `image` keeps its content). Returns whether
// pixels were read.
bool readSlicePixels(ImageStore& store, const SliceInfo& entry, int16_t* image);

}  // namespace halvex
