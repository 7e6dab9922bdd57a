// Compressed slices made readable: their frames are decoded once, on every
// core, into the instance's decoded-slice cache, where list entries point
// like any other slice file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dicom/DICOMM.h"
#include "workspace/image_store.h"

namespace halvex {

struct CompressedFile {
    std::string path;        // the file as the user chose it, which the decoder reads
    std::string headerFrom;  // what our reader read: the file, or the plain header copy of a deflated one
    DicomHeader header;
    std::string refusal;     // why it is not loaded; empty while it may be
};

// Where a decoded file's frames went: slots firstSlot .. firstSlot + frames - 1.
struct DecodedSlots {
    int firstSlot = -1;
    int frames = 0;
    bool lossy = false;
};

// Decodes every file without a refusal into consecutive cache slots (the
// cache starts afresh when no slot is in use). A file that can't be decoded,
// or whose frames can't be written or don't fit, gets its refusal and no
// slots. `waiting` is called on the calling thread, about every 20 ms, with
// the number of files done, until all are.
std::vector<DecodedSlots> decodeIntoCache(ImageStore& store, std::vector<CompressedFile>& files,
                                          const std::function<void(int done, int total)>& waiting);

}  // namespace halvex
