// The reader's element walk on the input as a file's head, in memory: for
// the walk alone, many times faster than the reader's target, which goes
// through files and the decoder process. Whatever the bytes, the walk keeps
// to them, lists its elements in file order, and never takes an image that
// starts past the file's end.
#include <cstdint>
#include <span>

#include "dicom/data_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    // The input as a whole file, and as the head of a longer one.
    for (const int64_t fileLength : {static_cast<int64_t>(size), static_cast<int64_t>(size) + 1000000}) {
        const halvex::DataSet set = halvex::DataSet::walk(bytes, fileLength);
        int64_t previous = -1;
        for (const halvex::DataElement& e : set.elements()) {
            if (e.offset <= previous || e.offset + 8 > static_cast<int64_t>(size) || e.valueStart > fileLength)
                __builtin_trap();
            if (e.length != halvex::DataElement::kUndefinedLength && e.length < 0) __builtin_trap();
            previous = e.offset;
        }
        if (const halvex::DataElement* image = set.image(); image && image->valueStart >= fileLength) __builtin_trap();
        if (set.brokenAt() >= 0 && set.image()) __builtin_trap();
    }
    return 0;
}
