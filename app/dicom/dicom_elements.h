// The element writers of the DICOM writer: each one puts one element at the
// write position of a header buffer of fixed size and moves the position
// behind it. A buffer never grows and is never written past its end: an
// element that does not fit is not written at all, and the buffer remembers
// that, so that a header that did not fit is never saved.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dicom/DICOMM.h"

namespace halvex {

// The 8-digit key the element readers take: 0x00280030 -> "00280030".
std::string tagText(DicomTag tag);

class HeaderBuffer {
public:
    explicit HeaderBuffer(size_t capacity) : bytes_(capacity, 0) {}

    size_t capacity() const { return bytes_.size(); }
    size_t position() const { return position_; }
    // Moves the write position (to patch an element written before); a
    // position past the end marks the buffer as overflowed.
    void setPosition(size_t position);
    bool overflowed() const { return overflowed_; }
    // The bytes from 0 up to the write position.
    std::span<const uint8_t> written() const { return {bytes_.data(), position_}; }

    // Zeroes the buffer and starts again at 0.
    void clear();
    // True when `count` more bytes fit; false (and overflowed from then on)
    // when they don't.
    bool reserve(size_t count);
    // These write only what reserve() has made room for.
    void put(std::span<const uint8_t> bytes);
    void put16(uint16_t value);
    void put32(uint32_t value);
    void putTag(DicomTag tag);

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    bool overflowed_ = false;
};

// Text as the files store it: one byte per character of the 8-bit code page.
// The program holds texts as UTF-8 (the reader turns each byte of a value
// into one character), so this gives back the bytes the reader found;
// characters beyond the code page become '?'.
std::string codePageBytes(std::string_view text);

// Explicit VR little endian, the form of the file meta group.
void PUTUIEXP(HeaderBuffer& b, DicomTag tag, std::string_view uid);
void PUTTEXTEXP(HeaderBuffer& b, DicomTag tag, std::string_view vr, std::string_view text);
void PUTULEXP(HeaderBuffer& b, DicomTag tag, uint32_t value);

// Implicit VR little endian, the form of the data set.
void PUTUI(HeaderBuffer& b, DicomTag tag, std::string_view uid);
void PUTTEXT(HeaderBuffer& b, DicomTag tag, std::string_view text);
void PUTUL(HeaderBuffer& b, DicomTag tag, uint32_t value);
void PUTUS(HeaderBuffer& b, DicomTag tag, uint16_t value);

// The element's text as the info file holds it (read with TAGSTR from the
// head `info` loaded last, in that file's mode); nothing when the file has
// no such element or its text is empty.
void PUTCOPY(HeaderBuffer& b, DicomTag tag, DICOMM& info, int mode);
// The same, but an element the objects must hold gets `fallback` when the
// info file has no text for it: the empty text for one that may be empty, a
// generated value for one that may not.
void putCopyOr(HeaderBuffer& b, DicomTag tag, DICOMM& info, int mode, std::string_view fallback);

// A data-set group starts with its length element, written with a
// placeholder; once the group's last element is written, endGroup writes it
// again with the count of bytes that follow it in the group.
size_t beginGroup(HeaderBuffer& b, uint16_t group);
void endGroup(HeaderBuffer& b, size_t groupStart);

}  // namespace halvex
