#include "dicom/DICOMM.h"

#include <cmath>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/files.h"
#include "platform/number_text.h"
#include "dicom/slice_format.h"

namespace halvex {
namespace {

using Bytes = std::vector<uint8_t>;

// The head of a single-slice file holds every element the reader wants; a
// multi-frame file may carry long per-frame groups before its pixels.
constexpr size_t kSliceHeadBytes = 70000;
constexpr size_t kMultiHeadBytes = 450001;
constexpr int64_t kMaxElementLength = 256;
// Smaller files can't hold a slice, larger ones are not a single slice.
constexpr int64_t kMinHeaderFileBytes = 40000;
constexpr int64_t kMaxHeaderFileBytes = 700000;
// A compressed file may hold one slice in a few hundred bytes or many frames;
// beyond this it is not read at all.
constexpr int64_t kMaxCompressedFileBytes = int64_t(1) << 30;

// The whole-file analysis takes only files of about one slice.
constexpr int64_t kMinAnalysedBytes = 400000;
constexpr int64_t kMaxAnalysedBytes = 600000;
constexpr int64_t kAnalysisCursorReset = 511;
// Where the next per-frame value is looked for once none is left.
constexpr int32_t kNextExhausted = 450001;

const std::string kTransferSyntax = "00020010";
const std::string kImagePosition = "00200032";
const std::string kSliceLocation = "00201041";

// Only the little-endian layouts have a known element form.
bool decodable(int mode) { return VrModes::littleEndian(mode); }

bool inside(const Bytes& buf, int64_t pos, int64_t count) {
    return pos >= 0 && count >= 0 && pos + count <= static_cast<int64_t>(buf.size());
}

// Unsigned integer of `count` bytes at pos, which the caller has checked.
uint64_t readUnsigned(const Bytes& buf, int64_t pos, int count, bool bigEndian) {
    uint64_t v = 0;
    for (int i = 0; i < count; ++i) v = v << 8 | buf[static_cast<size_t>(pos + (bigEndian ? i : count - 1 - i))];
    return v;
}

// The tag of an 8-digit key, group then element ("00280030").
DicomTag tagOf(const std::string& key) {
    uint32_t value = 0;
    std::from_chars(key.data(), key.data() + key.size(), value, 16);
    return value;
}

// Value bytes as text: every byte is one character of the 8-bit code page
// (Latin-1), written as the program's UTF-8.
std::string textOf(const Bytes& buf, int64_t pos, int64_t count) {
    std::string text;
    text.reserve(static_cast<size_t>(count));
    for (int64_t i = pos; i < pos + count; ++i) {
        const uint8_t c = buf[static_cast<size_t>(i)];
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// A binary value: 1 to 4 bytes as an unsigned integer, 8 bytes as a double
// in thousandths (halves to even); any other length gives 0.
int32_t numberOf(const Bytes& buf, int64_t pos, int64_t count, bool bigEndian) {
    if (count >= 1 && count <= 4) return static_cast<int32_t>(readUnsigned(buf, pos, static_cast<int>(count), bigEndian));
    if (count != 8) return 0;
    const uint64_t bits = readUnsigned(buf, pos, 8, bigEndian);
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return roundHalfEven(v * 1000);
}

float single(std::string_view text) { return static_cast<float>(leadingNumber(text)); }

// The largest field of view, pixel spacing and thickness taken as real (mm).
constexpr double kLargestFov = 10000, kLargestSpacing = 20, kLargestThickness = 1000;

// A length of the geometry (mm): a value that is not finite, not above 0 or
// beyond `largest` counts as absent (0), so that nothing downstream divides
// by zero or infinity.
float geometryLength(double v, double largest) {
    return std::isfinite(v) && v > 0 && v <= largest ? static_cast<float>(v) : 0.0f;
}
float geometryLength(std::string_view text, double largest) { return geometryLength(leadingNumber(text), largest); }

// The third of the backslash-separated values (the z of an image position);
// 0 when the text has fewer.
float thirdValue(std::string_view text) {
    const size_t first = text.find('\\');
    const size_t second = first == std::string_view::npos ? first : text.find('\\', first + 1);
    return second == std::string_view::npos ? 0.0f : single(text.substr(second + 1));
}

struct Value {
    int64_t start;
    int64_t length;
};

// The value of an element the header readers decode: nothing for a length
// outside 0..256 or a value that would leave the buffer.
std::optional<Value> shortValue(const Bytes& buf, const DataElement* e) {
    if (!e || e->length < 0 || e->length > kMaxElementLength || !inside(buf, e->valueStart, e->length)) return std::nullopt;
    return Value{e->valueStart, e->length};
}

// Text values are padded to an even length with one blank or zero byte.
std::string withoutPad(const Bytes& buf, const std::optional<Value>& value) {
    if (!value) return {};
    int64_t length = value->length;
    if (length > 0) {
        const uint8_t last = buf[static_cast<size_t>(value->start + length - 1)];
        if (last == ' ' || last == 0) --length;
    }
    return textOf(buf, value->start, length);
}

// The whole-file analysis reads elements one after the other: each lookup
// starts at the cursor, and the cursor moves behind what was read, so the
// elements are found only in the order they are asked for.
class ElementCursor {
public:
    ElementCursor(const Bytes& file, const DataSet& elements) : file_(file), elements_(elements) {}

    bool bigEndian = false;
    int64_t cursor = 0;

    // The value of the next element `key`; nothing (cursor unchanged) when it
    // is not found, nothing (cursor behind the length) when its length is
    // below 1 or runs past the file.
    std::optional<Value> next(const std::string& key) {
        const DataElement* e = elements_.find(tagOf(key), cursor);
        if (!e) return std::nullopt;
        cursor = e->valueStart;
        if (e->length < 1 || !inside(file_, e->valueStart, e->length)) return std::nullopt;
        cursor += e->length;
        return Value{e->valueStart, e->length};
    }

    std::string text(const std::string& key) {
        const std::optional<Value> v = next(key);
        return v ? textOf(file_, v->start, v->length) : std::string();
    }

    // Numbers are stored in the file's byte order.
    int32_t number(const std::string& key) {
        const std::optional<Value> v = next(key);
        return v ? numberOf(file_, v->start, v->length, bigEndian) : 0;
    }

private:
    const Bytes& file_;
    const DataSet& elements_;
};

// The layout named by the end of the transfer syntax UID, zero pad included;
// Unreadable for any other.
int16_t analysedSyntaxMode(const Bytes& file, const std::optional<Value>& syntax) {
    if (!syntax || syntax->length < 4) return VrModes::Unreadable;
    const std::string_view tail(reinterpret_cast<const char*>(&file[static_cast<size_t>(syntax->start + syntax->length - 4)]), 4);
    if (tail == std::string_view("1.2\0", 4)) return VrModes::ImplicitLittle;
    if (tail == std::string_view("2.1\0", 4)) return VrModes::ExplicitLittle;
    if (tail == std::string_view("2.2\0", 4)) return VrModes::BigEndianOrOther;
    return VrModes::Unreadable;
}

}  // namespace

PixelEncoding pixelEncodingOf(std::string_view syntax) {
    // JPEG (.4.50 ...), JPEG-LS (.4.80, .4.81), JPEG 2000 (.4.90 ...), and
    // the other .4 syntaxes, whose decoding the library answers for; RLE.
    if (syntax.starts_with("1.2.840.10008.1.2.4.") || syntax == "1.2.840.10008.1.2.5")
        return PixelEncoding::Encapsulated;
    if (syntax == "1.2.840.10008.1.2.1.99") return PixelEncoding::Deflated;
    return PixelEncoding::Plain;
}

int32_t DICOMM::tagKey(const std::string& key) {
    // The tag's four bytes in a little-endian file read as one word: element, then group.
    const DicomTag tag = tagOf(key);
    return static_cast<int32_t>(tag << 16 | tag >> 16);
}

std::string DICOMM::TAGSTR(const std::string& key, int mode) {
    if (!decodable(mode)) return {};
    return withoutPad(buffer_, shortValue(buffer_, dataSet_.find(tagOf(key))));
}

std::string DICOMM::TAGSTRNEXT(const std::string& key, int mode) {
    if (!decodable(mode)) return {};
    const DataElement* e = dataSet_.next(tagOf(key), nextCursor_);
    if (!e) {
        nextCursor_ = kNextExhausted;  // later calls find nothing either
        return {};
    }
    nextCursor_ = static_cast<int32_t>(e->valueStart);
    return withoutPad(buffer_, shortValue(buffer_, e));
}

int32_t DICOMM::TAGNUM(const std::string& key, int mode) {
    if (!decodable(mode)) return 0;
    const std::optional<Value> value = shortValue(buffer_, dataSet_.find(tagOf(key)));
    return value ? numberOf(buffer_, value->start, value->length, false) : 0;
}

int32_t DICOMM::PIXPOS(int mode) {
    if (!decodable(mode)) return 0;
    // The length of the image element, or of the last short one passed.
    const DataElement* image = dataSet_.image();
    if (const DataElement* e = image ? image : dataSet_.lastPixelData()) header.PixelLength = static_cast<int32_t>(e->length);
    return image ? static_cast<int32_t>(image->valueStart) : 0;
}

int64_t DICOMM::loadSearchHead(const std::string& path) { return loadHead(path, kSliceHeadBytes); }

bool DICOMM::hasDicomPrefix() const {
    static constexpr uint8_t kMagic[] = {'D', 'I', 'C', 'M'};
    constexpr int64_t kPrefixAt = 128;
    return inside(buffer_, kPrefixAt, 4) && std::equal(kMagic, kMagic + 4, buffer_.begin() + kPrefixAt);
}

int64_t DICOMM::loadHead(const std::string& path, size_t size) {
    const int64_t length = fileLength(path);
    buffer_ = readHead(path, size);
    dataSet_ = DataSet::walk(buffer_, length);
    header.BrokenAt = dataSet_.brokenAt();
    nextCursor_ = 0;
    return length;
}

void DICOMM::startFrom(const SliceGeometry& start) {
    header.RescaleIntercept = start.ctOffset;
    header.FOV = start.dfov;
    header.PixelSpacing = start.pixelSize;
}

int16_t DICOMM::transferSyntaxMode() {
    // The file meta group is always explicit VR little endian.
    const std::string syntax = TAGSTR(kTransferSyntax, VrModes::ExplicitLittle);
    header.Encoding = pixelEncodingOf(syntax);
    if (syntax == kImplicitVrLittleEndian) return VrModes::ImplicitLittle;
    if (syntax == kExplicitVrLittleEndian || header.Encoding == PixelEncoding::Encapsulated)
        return VrModes::ExplicitLittle;
    return VrModes::BigEndianOrOther;
}

PixelEncoding DICOMM::encodingOf(const std::string& path) {
    loadSearchHead(path);
    return pixelEncodingOf(TAGSTR(kTransferSyntax, VrModes::ExplicitLittle));
}

void DICOMM::fillFramePositions(std::vector<float>& positions, int mode) {
    nextCursor_ = 0;
    for (float& position : positions) {
        const std::string text = TAGSTRNEXT(kImagePosition, mode);
        if (!text.empty()) position = thirdValue(text);
    }
}

std::vector<float> DICOMM::framePositions(const std::string& path, int count, float fallback) {
    std::vector<float> positions(static_cast<size_t>(std::max(count, 0)), fallback);
    loadHead(path, kMultiHeadBytes);
    fillFramePositions(positions, VrModes::ExplicitLittle);
    return positions;
}

void DICOMM::readCommonFields(int mode) {
    header.PatientName = TAGSTR("00100010", mode);
    header.SliceThickness = geometryLength(TAGSTR("00180050", mode), kLargestThickness);
    header.KVP = textToInt16(TAGSTR("00180060", mode));
    header.FOV = geometryLength(TAGSTR("00181100", mode), kLargestFov);
    header.ConvolutionKernel = TAGSTR("00181210", mode);
    header.SeriesNumber = textToInt(TAGSTR("00200011", mode));
    header.RescaleIntercept = textToInt16(TAGSTR("00281052", mode));
}

const DicomHeader& DICOMM::DCMHDRREAD(const std::string& path, const SliceGeometry& start) {
    startFrom(start);
    // An unreadable path has length -1 and ends below as well. A compressed
    // file's length says nothing about its slices.
    const int64_t length = loadHead(path, kSliceHeadBytes);
    const int mode = header.VrMode = transferSyntaxMode();
    const bool plain = header.Encoding == PixelEncoding::Plain;
    if (length < 0 || (plain && (length < kMinHeaderFileBytes || length > kMaxHeaderFileBytes)) ||
        length > kMaxCompressedFileBytes) {
        header.VrMode = VrModes::Unreadable;
        header.Encoding = PixelEncoding::Plain;
        return header;
    }
    readCommonFields(mode);
    header.ExposureTime = static_cast<float>(leadingNumber(TAGSTR("00181150", mode)) / 1000);  // ms -> s
    header.TubeCurrent = single(TAGSTR("00181151", mode));
    header.Exposure = textToInt16(TAGSTR("00181152", mode));
    header.CTDIvol = static_cast<float>(TAGNUM("00189345", mode) / 1000.0);
    const std::string position = TAGSTR(kImagePosition, mode);
    if (!position.empty()) header.ZPosition = thirdValue(position);
    const std::string location = TAGSTR(kSliceLocation, mode);
    header.SliceLocation = location.empty() ? header.ZPosition : single(location);
    if (header.FOV == 0) {
        header.PixelSpacing = geometryLength(TAGSTR("00280030", mode), kLargestSpacing);
        header.FOV = header.PixelSpacing * kSide;
    }
    header.PixelOffset = PIXPOS(mode);
    return header;
}

std::vector<float> DICOMM::DCMMULTIREAD(const std::string& path, const SliceGeometry& start) {
    startFrom(start);
    if (path.empty()) return {};
    const int64_t length = loadHead(path, kMultiHeadBytes);
    if (length < 0) {
        header.VrMode = VrModes::Unreadable;
        return {};
    }
    const int mode = header.VrMode = transferSyntaxMode();
    readCommonFields(mode);
    header.SliceLocation = single(TAGSTR(kSliceLocation, mode));
    // Compressed frames are the decoder's to count.
    if (!decodable(mode) || header.Encoding != PixelEncoding::Plain) return {};
    // The pixel element is located in the file's own layout.
    header.PixelOffset = PIXPOS(mode);
    if (header.PixelOffset == 0) return {};
    header.PixelSpacing = header.FOV / kSide;
    // Only frames that the file holds completely are handed over.
    const int64_t declared = roundHalfEven(static_cast<double>(header.PixelLength) / kSliceBytes);
    const int64_t present = (length - header.PixelOffset) / kSliceBytes;
    std::vector<float> positions(static_cast<size_t>(std::clamp<int64_t>(declared, 0, std::max<int64_t>(present, 0))),
                                 header.SliceLocation);
    fillFramePositions(positions, mode);
    return positions;
}

bool DICOMM::readFrame(const std::string& path, int k, int16_t* image) const {
    const int64_t offset = header.PixelOffset + static_cast<int64_t>(k) * kSliceBytes;
    return readAt(path, offset, image, kSliceBytes) >= static_cast<size_t>(kSliceBytes);
}

const DicomHeader& DICOMM::DCMANA(const std::string& path, const SliceGeometry& start) {
    startFrom(start);
    header.VrMode = VrModes::Unreadable;
    // Only files of about one slice are analysed; the rest, unreadable paths
    // included, stay unreadable without being read.
    const int64_t length = fileLength(path);
    if (length < kMinAnalysedBytes || length > kMaxAnalysedBytes) return header;
    loadHead(path, static_cast<size_t>(length));

    ElementCursor walk(buffer_, dataSet_);
    header.VrMode = analysedSyntaxMode(buffer_, walk.next(kTransferSyntax));
    if (header.VrMode == VrModes::Unreadable) return header;
    walk.bigEndian = header.VrMode == VrModes::BigEndianOrOther;
    if (walk.cursor > kAnalysisCursorReset) walk.cursor = 0;

    header.PatientName = walk.text("00100010");
    header.SliceThickness = geometryLength(walk.text("00180050"), kLargestThickness);
    header.KVP = textToInt16(walk.text("00180060"));
    header.FOV = single(walk.text("00180090"));  // replaced below; read to keep the walk's order
    header.ExposureTime = static_cast<float>(leadingNumber(walk.text("00181150")) / 1000);  // ms -> s
    header.TubeCurrent = single(walk.text("00181151"));
    header.Exposure = textToInt16(walk.text("00181152"));
    header.ConvolutionKernel = walk.text("00181210");
    header.CTDIvol = static_cast<float>(walk.number("00189345") / 1000.0);
    header.SeriesNumber = textToInt(walk.text("00200011"));
    header.SliceLocation = single(walk.text(kSliceLocation));
    walk.number("00280010");  // rows: every slice is 512 x 512, but the walk passes them
    const int32_t columns = walk.number("00280011");
    header.PixelSpacing = geometryLength(walk.text("00280030"), kLargestSpacing);
    header.FOV = geometryLength(columns * static_cast<double>(header.PixelSpacing), kLargestFov);
    header.RescaleIntercept = textToInt16(walk.text("00281052"));
    const DataElement* image = dataSet_.image();
    header.PixelOffset = image ? static_cast<int32_t>(image->valueStart) : 0;
    return header;
}

}  // namespace halvex
