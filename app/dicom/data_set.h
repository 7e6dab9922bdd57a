// The elements of a DICOM file, walked one after the other from the start of
// its data set, so that a tag is found only where an element begins: never
// inside the binary value of a private element, inside the pixels, or (for
// the top-level lookups) inside a sequence item. Every read is checked against
// the bytes the walk was given.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace halvex {

// group << 16 | element, as the tag is written in the standard's (gggg,eeee).
using DicomTag = uint32_t;

constexpr DicomTag dicomTag(uint16_t group, uint16_t element) { return DicomTag{group} << 16 | element; }

inline constexpr DicomTag kPixelDataTag = dicomTag(0x7FE0, 0x0010);

// The two transfer syntaxes without compression in little-endian order.
inline constexpr std::string_view kImplicitVrLittleEndian = "1.2.840.10008.1.2";
inline constexpr std::string_view kExplicitVrLittleEndian = "1.2.840.10008.1.2.1";

// How the data set after the file meta group is encoded.
enum class DataSetEncoding { ImplicitLittle, ExplicitLittle, ExplicitBig, Unknown };

struct DataElement {
    DicomTag tag = 0;
    int depth = 0;            // 0: the data set itself; 1, 2 ...: inside sequence items
    int64_t offset = 0;       // of its tag
    int64_t valueStart = 0;
    int64_t length = 0;       // of its value; kUndefinedLength for a delimited sequence or pixel data
    static constexpr int64_t kUndefinedLength = -1;
};

class DataSet {
public:
    // Walks `head`, the first bytes of a file `fileLength` bytes long: the
    // file meta group after the preamble and "DICM" (explicit VR little
    // endian), then the data set in the encoding its transfer syntax names,
    // into sequences and their items, up to the image's Pixel Data. A walk
    // that reaches the end of `head` while the file goes on just stops there;
    // one whose element structure breaks (a length or an item past the end of
    // the file or of its sequence) stops and records where.
    static DataSet walk(std::span<const uint8_t> head, int64_t fileLength);

    DataSetEncoding encoding() const { return encoding_; }

    // The first element `tag` of the data set itself (not inside a sequence)
    // whose tag lies at or after `from`; null when there is none.
    const DataElement* find(DicomTag tag, int64_t from = 0) const;
    // The first element `tag` at any depth whose tag lies at or after `from`
    // (successive per-frame values of a multi-frame file).
    const DataElement* next(DicomTag tag, int64_t from) const;
    // The Pixel Data element that holds the image: the first one of the data
    // set itself that is longer than a small icon-like element (or
    // delimited); null when the walk did not reach one.
    const DataElement* image() const { return image_ < 0 ? nullptr : &elements_[static_cast<size_t>(image_)]; }
    // The last Pixel Data element of the data set itself that the walk passed
    // (the image, or a short one), null when none.
    const DataElement* lastPixelData() const;

    // Where the element structure broke before the image, -1 when it held.
    int64_t brokenAt() const { return brokenAt_; }

    const std::vector<DataElement>& elements() const { return elements_; }

    // A Pixel Data element of up to this many bytes is an icon or the like,
    // not the slice.
    static constexpr int64_t kLongestShortPixelData = 65299;

private:
    friend class DataSetWalker;
    std::vector<DataElement> elements_;  // in file order
    DataSetEncoding encoding_ = DataSetEncoding::Unknown;
    int64_t image_ = -1;
    int64_t brokenAt_ = -1;
};

// The encoding of the data set that a transfer syntax UID names (one
// trailing pad byte allowed); Unknown for a deflated or unknown syntax.
DataSetEncoding dataSetEncodingOf(std::span<const uint8_t> uid);

}  // namespace halvex
