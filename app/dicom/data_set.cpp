#include "dicom/data_set.h"

#include <algorithm>
#include <string_view>

namespace halvex {
namespace {

constexpr int64_t kPreamble = 128;
constexpr uint16_t kMetaGroup = 0x0002;
constexpr DicomTag kTransferSyntaxTag = dicomTag(0x0002, 0x0010);
constexpr DicomTag kItem = dicomTag(0xFFFE, 0xE000);
constexpr DicomTag kItemEnd = dicomTag(0xFFFE, 0xE00D);
constexpr DicomTag kSequenceEnd = dicomTag(0xFFFE, 0xE0DD);
constexpr uint32_t kUndefined = 0xFFFFFFFFu;
// Real files nest a few levels (per-frame groups hold a sequence of
// positions); a file nested deeper than this is taken as broken.
constexpr int kDeepestNesting = 32;

// The explicit VRs whose length takes four bytes behind two reserved ones.
bool longFormVr(uint8_t a, uint8_t b) {
    static constexpr std::string_view kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                                 "SV", "UC", "UN", "UR", "UT", "UV"};
    return std::any_of(std::begin(kLong), std::end(kLong), [&](std::string_view vr) { return vr[0] == a && vr[1] == b; });
}

}  // namespace

DataSetEncoding dataSetEncodingOf(std::span<const uint8_t> uid) {
    std::string_view text(reinterpret_cast<const char*>(uid.data()), uid.size());
    if (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.remove_suffix(1);
    if (text == kImplicitVrLittleEndian) return DataSetEncoding::ImplicitLittle;
    if (text == kExplicitVrLittleEndian) return DataSetEncoding::ExplicitLittle;
    if (text == "1.2.840.10008.1.2.2") return DataSetEncoding::ExplicitBig;
    // The compressed syntaxes keep the data set before the pixels plain.
    if (text.starts_with("1.2.840.10008.1.2.4.") || text == "1.2.840.10008.1.2.5") return DataSetEncoding::ExplicitLittle;
    return DataSetEncoding::Unknown;
}

// One walk over the bytes. Each step reads an element's header, records the
// element and moves behind its value; a sequence's items are walked in turn.
class DataSetWalker {
public:
    DataSetWalker(std::span<const uint8_t> head, int64_t fileLength, DataSet& out)
        : bytes_(head), fileLength_(std::max<int64_t>(fileLength, static_cast<int64_t>(head.size()))), out_(out) {}

    void run() {
        static constexpr uint8_t kMagic[] = {'D', 'I', 'C', 'M'};
        // The file meta group follows the preamble and its "DICM"; a file
        // that lacks the four letters is still given its meta group when one
        // starts right after the preamble.
        const bool prefixed = has(kPreamble, 4) && std::equal(kMagic, kMagic + 4, bytes_.begin() + kPreamble);
        int64_t pos = prefixed ? kPreamble + 4 : kPreamble;
        encoding_ = DataSetEncoding::ExplicitLittle;
        while (has(pos, 2) && read(pos, 2, false) == kMetaGroup) {
            if (step(pos, 0, fileLength_) != Step::Next) return;
        }
        const DataElement* syntax = out_.find(kTransferSyntaxTag);
        out_.encoding_ = encoding_ =
            syntax && syntax->length >= 0 && has(syntax->valueStart, syntax->length)
                ? dataSetEncodingOf(bytes_.subspan(static_cast<size_t>(syntax->valueStart), static_cast<size_t>(syntax->length)))
                : DataSetEncoding::Unknown;
        if (encoding_ == DataSetEncoding::Unknown) return;
        while (pos < size()) {
            if (step(pos, 0, fileLength_) != Step::Next) return;
        }
    }

private:
    enum class Step {
        Next,     // behind the element
        End,      // a delimiter ended the container
        Stop,     // the image's pixels, or the end of the bytes given
        Broken,   // the structure broke (recorded)
    };

    int64_t size() const { return static_cast<int64_t>(bytes_.size()); }
    bool has(int64_t pos, int64_t count) const { return pos >= 0 && count >= 0 && pos <= size() - count; }
    bool bigEndian() const { return encoding_ == DataSetEncoding::ExplicitBig; }

    uint32_t read(int64_t pos, int count, bool big) const {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i) v = v << 8 | bytes_[static_cast<size_t>(pos + (big ? i : count - 1 - i))];
        return v;
    }

    // Bytes missing at `end`: the file itself ends there (or the container
    // does) and the structure is broken, or only the bytes given end there
    // and the walk just stops.
    Step missing(int64_t pos, int64_t end, int64_t containerEnd) {
        if (end > fileLength_ || end > containerEnd) {
            out_.brokenAt_ = pos;
            return Step::Broken;
        }
        return Step::Stop;
    }

    // The element whose tag starts at pos, inside a container that ends at
    // containerEnd (the file's end for the data set and delimited items).
    Step step(int64_t& pos, int depth, int64_t containerEnd) {
        const int64_t limit = std::min(containerEnd, size());
        if (!has(pos, 8) || pos + 8 > limit) return missing(pos, pos + 8, containerEnd);
        const bool big = bigEndian();
        const DicomTag tag = read(pos, 2, big) << 16 | read(pos + 2, 2, big);
        if (tag == kItemEnd || tag == kSequenceEnd) {
            pos += 8;
            return Step::End;
        }
        // Item tags and delimiters have no VR in any encoding.
        const bool explicitVr = encoding_ != DataSetEncoding::ImplicitLittle && (tag >> 16) != 0xFFFE;
        bool sequence = false, unknownVr = false;
        int64_t valueStart = pos + 8;
        uint32_t length = 0;
        if (!explicitVr) {
            length = read(pos + 4, 4, big);
        } else {
            const uint8_t a = bytes_[static_cast<size_t>(pos + 4)], b = bytes_[static_cast<size_t>(pos + 5)];
            if (longFormVr(a, b)) {
                if (!has(pos, 12) || pos + 12 > limit) return missing(pos, pos + 12, containerEnd);
                length = read(pos + 8, 4, big);
                valueStart = pos + 12;
                sequence = a == 'S' && b == 'Q';
                unknownVr = a == 'U' && b == 'N';
            } else {
                length = read(pos + 6, 2, big);
            }
        }
        const bool undefined = length == kUndefined;
        const bool image = depth == 0 && tag == kPixelDataTag && (undefined || length > DataSet::kLongestShortPixelData);
        const int64_t valueEnd = valueStart + (undefined ? 0 : int64_t{length});
        if (!image && !undefined && valueEnd > limit) return missing(pos, valueEnd, containerEnd);
        // Pixels that would start at or past the file's end are no image.
        if (image && valueStart >= fileLength_) return missing(pos, valueStart + 1, containerEnd);
        out_.elements_.push_back(DataElement{tag, depth, pos, valueStart,
                                             undefined ? DataElement::kUndefinedLength : int64_t{length}});
        const size_t index = out_.elements_.size() - 1;
        if (image) {
            out_.image_ = static_cast<int64_t>(index);
            return Step::Stop;
        }
        if (undefined) {
            // A delimited value is a sequence of items: data sets for a
            // sequence (in implicit VR inside an unknown one), fragments for
            // anything else.
            const DataSetEncoding kept = encoding_;
            if (unknownVr) encoding_ = DataSetEncoding::ImplicitLittle;
            pos = valueStart;
            const bool dataSets = tag != kPixelDataTag && (sequence || unknownVr || !explicitVr);
            const Step s = items(pos, depth + 1, containerEnd, dataSets);
            encoding_ = kept;
            return s == Step::End ? Step::Next : s;
        }
        // A sequence of defined length is walked for what it holds; when its
        // inside does not hold together, it is still skipped whole, as its
        // length says (an implicit VR value is taken for a sequence only
        // when it starts with an item).
        if (sequence || (!explicitVr && length >= 8 && read(valueStart, 2, big) == 0xFFFE &&
                         read(valueStart + 2, 2, big) == 0xE000)) {
            int64_t inner = valueStart;
            const int64_t brokenBefore = out_.brokenAt_;
            if (items(inner, depth + 1, valueEnd, true) != Step::End || inner != valueEnd) {
                out_.elements_.resize(index + 1);
                out_.brokenAt_ = brokenBefore;
            }
        }
        pos = valueEnd;
        return Step::Next;
    }

    // The items of a sequence from pos up to its delimiter (or up to `end`
    // for one of defined length, which then counts as its end).
    Step items(int64_t& pos, int depth, int64_t end, bool dataSets) {
        if (depth > kDeepestNesting) {
            out_.brokenAt_ = pos;
            return Step::Broken;
        }
        const bool big = bigEndian();
        while (true) {
            if (pos == end) return Step::End;
            if (!has(pos, 8) || pos + 8 > end) return missing(pos, pos + 8, end);
            const DicomTag tag = read(pos, 2, big) << 16 | read(pos + 2, 2, big);
            const uint32_t length = read(pos + 4, 4, big);
            if (tag == kSequenceEnd) {
                pos += 8;
                return Step::End;
            }
            if (tag != kItem) {
                out_.brokenAt_ = pos;
                return Step::Broken;
            }
            pos += 8;
            if (length == kUndefined) {
                if (!dataSets) {
                    out_.brokenAt_ = pos - 8;  // a fragment always has a length
                    return Step::Broken;
                }
                Step s = Step::Next;
                while (s == Step::Next) s = step(pos, depth, end);
                if (s != Step::End) return s;
                continue;
            }
            const int64_t itemEnd = pos + length;
            if (itemEnd > std::min(end, size())) return missing(pos - 8, itemEnd, end);
            if (dataSets) {
                Step s = Step::Next;
                while (s == Step::Next && pos < itemEnd) s = step(pos, depth, itemEnd);
                if (s == Step::End || (s == Step::Next && pos != itemEnd)) {
                    out_.brokenAt_ = pos;  // a delimiter inside an item of defined length
                    return Step::Broken;
                }
                if (s != Step::Next) return s;
            }
            pos = itemEnd;
        }
    }

    std::span<const uint8_t> bytes_;
    int64_t fileLength_;
    DataSet& out_;
    DataSetEncoding encoding_ = DataSetEncoding::ExplicitLittle;
};

DataSet DataSet::walk(std::span<const uint8_t> head, int64_t fileLength) {
    DataSet set;
    DataSetWalker(head, fileLength, set).run();
    return set;
}

const DataElement* DataSet::find(DicomTag tag, int64_t from) const {
    for (const DataElement& e : elements_)
        if (e.tag == tag && e.depth == 0 && e.offset >= from) return &e;
    return nullptr;
}

const DataElement* DataSet::next(DicomTag tag, int64_t from) const {
    auto first = std::lower_bound(elements_.begin(), elements_.end(), from,
                                  [](const DataElement& e, int64_t at) { return e.offset < at; });
    auto found = std::find_if(first, elements_.end(), [tag](const DataElement& e) { return e.tag == tag; });
    return found == elements_.end() ? nullptr : &*found;
}

const DataElement* DataSet::lastPixelData() const {
    for (auto e = elements_.rbegin(); e != elements_.rend(); ++e)
        if (e->tag == kPixelDataTag && e->depth == 0) return &*e;
    return nullptr;
}

}  // namespace halvex
