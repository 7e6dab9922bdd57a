#include "dicom/dicom_elements.h"

#include <cstdio>

namespace halvex {

namespace {

constexpr uint32_t kGroupLengthPlaceholder = 100;
constexpr size_t kMaxShortLength = 0xFFFF;

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Tag, VR and the 16-bit length of the short explicit form, the value, and
// the pad byte that makes the length even.
void explicitText(HeaderBuffer& b, DicomTag tag, std::string_view vr, std::string_view value, char pad) {
    const size_t padded = value.size() + value.size() % 2;
    if (vr.size() != 2 || padded > kMaxShortLength || !b.reserve(8 + padded)) return;
    b.putTag(tag);
    b.put(bytesOf(vr));
    b.put16(static_cast<uint16_t>(padded));
    b.put(bytesOf(value));
    if (padded != value.size()) b.put(bytesOf(std::string_view(&pad, 1)));
}

// Tag, the 32-bit length and the padded value.
void implicitText(HeaderBuffer& b, DicomTag tag, std::string_view value, char pad) {
    const size_t padded = value.size() + value.size() % 2;
    if (!b.reserve(8 + padded)) return;
    b.putTag(tag);
    b.put32(static_cast<uint32_t>(padded));
    b.put(bytesOf(value));
    if (padded != value.size()) b.put(bytesOf(std::string_view(&pad, 1)));
}

}  // namespace

std::string tagText(DicomTag tag) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", tag);
    return text;
}

void HeaderBuffer::setPosition(size_t position) {
    if (position > bytes_.size()) {
        overflowed_ = true;
        position = bytes_.size();
    }
    position_ = position;
}

void HeaderBuffer::clear() {
    std::fill(bytes_.begin(), bytes_.end(), 0);
    position_ = 0;
    overflowed_ = false;
}

bool HeaderBuffer::reserve(size_t count) {
    if (!overflowed_ && count <= bytes_.size() - position_) return true;
    overflowed_ = true;
    return false;
}

void HeaderBuffer::put(std::span<const uint8_t> bytes) {
    // Callers reserve first; this check only keeps a slip from writing past the end.
    if (bytes.size() > bytes_.size() - position_) {
        overflowed_ = true;
        return;
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ += bytes.size();
}

void HeaderBuffer::put16(uint16_t value) {
    const uint8_t le[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    put(le);
}

void HeaderBuffer::put32(uint32_t value) {
    put16(static_cast<uint16_t>(value));
    put16(static_cast<uint16_t>(value >> 16));
}

void HeaderBuffer::putTag(DicomTag tag) {
    put16(static_cast<uint16_t>(tag >> 16));
    put16(static_cast<uint16_t>(tag));
}

std::string codePageBytes(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
                   (static_cast<uint8_t>(text[i + 1]) & 0xC0) == 0x80) {
            bytes += static_cast<char>((c & 0x03) << 6 | (static_cast<uint8_t>(text[++i]) & 0x3F));
        } else {
            // Skip the rest of a longer sequence: one '?' per character.
            while (i + 1 < text.size() && (static_cast<uint8_t>(text[i + 1]) & 0xC0) == 0x80) ++i;
            bytes += '?';
        }
    }
    return bytes;
}

void PUTUIEXP(HeaderBuffer& b, DicomTag tag, std::string_view uid) { explicitText(b, tag, "UI", uid, '\0'); }

void PUTTEXTEXP(HeaderBuffer& b, DicomTag tag, std::string_view vr, std::string_view text) {
    explicitText(b, tag, vr, codePageBytes(text), ' ');
}

void PUTULEXP(HeaderBuffer& b, DicomTag tag, uint32_t value) {
    if (!b.reserve(12)) return;
    b.putTag(tag);
    b.put(bytesOf("UL"));
    b.put16(4);
    b.put32(value);
}

void PUTUI(HeaderBuffer& b, DicomTag tag, std::string_view uid) { implicitText(b, tag, uid, '\0'); }

void PUTTEXT(HeaderBuffer& b, DicomTag tag, std::string_view text) { implicitText(b, tag, codePageBytes(text), ' '); }

void PUTUL(HeaderBuffer& b, DicomTag tag, uint32_t value) {
    if (!b.reserve(12)) return;
    b.putTag(tag);
    b.put32(4);
    b.put32(value);
}

void PUTUS(HeaderBuffer& b, DicomTag tag, uint16_t value) {
    if (!b.reserve(10)) return;
    b.putTag(tag);
    b.put32(2);
    b.put16(value);
}

void PUTCOPY(HeaderBuffer& b, DicomTag tag, DICOMM& info, int mode) {
    const std::string text = info.TAGSTR(tagText(tag), mode);
    if (!text.empty()) PUTTEXT(b, tag, text);
}

void putCopyOr(HeaderBuffer& b, DicomTag tag, DICOMM& info, int mode, std::string_view fallback) {
    const std::string text = info.TAGSTR(tagText(tag), mode);
    PUTTEXT(b, tag, text.empty() ? fallback : std::string_view(text));
}

size_t beginGroup(HeaderBuffer& b, uint16_t group) {
    const size_t start = b.position();
    PUTUL(b, DicomTag{group} << 16, kGroupLengthPlaceholder);
    return start;
}

void endGroup(HeaderBuffer& b, size_t groupStart) {
    const size_t end = b.position();
    if (b.overflowed() || end < groupStart + 12) return;
    const DicomTag lengthTag = DicomTag{b.written()[groupStart + 1]} << 24 | DicomTag{b.written()[groupStart]} << 16;
    b.setPosition(groupStart);
    PUTUL(b, lengthTag, static_cast<uint32_t>(end - groupStart - 12));
    b.setPosition(end);
}

}  // namespace halvex
