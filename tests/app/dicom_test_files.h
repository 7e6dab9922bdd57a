// Small DICOM files for the reader tests, written byte by byte so that every
// offset, length and pad byte is under the test's control.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dicom/DICOMM.h"
#include "workspace/slice_list.h"

namespace dicom_test {

// Reads store.currentPath as the loaders do: the read starts from the
// workspace's geometry, and the workspace takes the file's back.
inline void loadHeader(halvex::DICOMM& dicom, halvex::ImageStore& store) {
    halvex::takeGeometry(store, dicom.DCMHDRREAD(store.currentPath, halvex::sliceGeometry(store)));
}
inline void loadAnalysis(halvex::DICOMM& dicom, halvex::ImageStore& store) {
    halvex::takeAnalysedGeometry(store, dicom.DCMANA(store.currentPath, halvex::sliceGeometry(store)));
}

inline constexpr const char* kImplicitSyntax = "1.2.840.10008.1.2";
inline constexpr const char* kExplicitSyntax = "1.2.840.10008.1.2.1";
inline constexpr const char* kBigEndianSyntax = "1.2.840.10008.1.2.2";
inline constexpr int kFramePixels = 512 * 512;
inline constexpr int kFrameBytes = kFramePixels * 2;

enum class Layout { Implicit, ExplicitLittle, ExplicitBig };

inline const char* layoutName(Layout layout) {
    switch (layout) {
        case Layout::Implicit: return "implicit VR little endian";
        case Layout::ExplicitLittle: return "explicit VR little endian";
        case Layout::ExplicitBig: return "explicit VR big endian";
    }
    return "";
}

// A folder of its own per test, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/halvex_dicom_XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Builds a file: preamble and meta group in explicit VR little endian, then
// data elements in the chosen layout.
class DicomBytes {
public:
    explicit DicomBytes(Layout layout = Layout::Implicit) : layout_(layout) {}

    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }

    // Preamble, "DICM" and the transfer syntax UID padded with a zero byte.
    DicomBytes& meta(const std::string& syntax) {
        bytes.assign(128, 0);
        raw("DICM");
        const Layout dataLayout = layout_;
        layout_ = Layout::ExplicitLittle;
        element(0x0002, 0x0010, "UI", syntax.size() % 2 ? syntax + '\0' : syntax);
        layout_ = dataLayout;
        return *this;
    }

    // The meta group for the file's own layout.
    DicomBytes& meta() {
        return meta(layout_ == Layout::Implicit         ? kImplicitSyntax
                    : layout_ == Layout::ExplicitLittle ? kExplicitSyntax
                                                        : kBigEndianSyntax);
    }

    // A text value exactly as given (the test chooses the padding).
    DicomBytes& element(uint16_t group, uint16_t elem, const std::string& vr, const std::string& value) {
        header(group, elem, vr, static_cast<uint32_t>(value.size()));
        raw(value);
        return *this;
    }

    // A text value padded with one blank to an even length, as files store it.
    DicomBytes& text(uint16_t group, uint16_t elem, const std::string& vr, const std::string& value) {
        return element(group, elem, vr, value.size() % 2 ? value + ' ' : value);
    }

    DicomBytes& us(uint16_t group, uint16_t elem, uint16_t value) {
        header(group, elem, "US", 2);
        number(value, 2);
        return *this;
    }

    DicomBytes& fd(uint16_t group, uint16_t elem, double value) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, 8);
        header(group, elem, "FD", 8);
        number(bits, 8);
        return *this;
    }

    // Tag, VR and length only; the value follows with raw() or pixels().
    DicomBytes& header(uint16_t group, uint16_t elem, const std::string& vr, uint32_t length) {
        number(group, 2);
        number(elem, 2);
        if (layout_ == Layout::Implicit) {
            number(length, 4);
        } else if (longForm(vr)) {
            raw(vr);
            number(0, 2);
            number(length, 4);
        } else {
            raw(vr);
            number(length, 2);
        }
        return *this;
    }

    // An item tag or a delimiter (FFFE,elem): no VR in any layout, a 4-byte
    // length. item() opens a delimited item; itemEnd() and sequenceEnd()
    // close a delimited item or sequence.
    DicomBytes& delimiter(uint16_t elem, uint32_t length) {
        number(0xFFFE, 2);
        number(elem, 2);
        number(length, 4);
        return *this;
    }
    DicomBytes& item(uint32_t length = 0xFFFFFFFFu) { return delimiter(0xE000, length); }
    DicomBytes& itemEnd() { return delimiter(0xE00D, 0); }
    DicomBytes& sequenceEnd() { return delimiter(0xE0DD, 0); }

    // Pixel Data holding these values in the file's byte order.
    DicomBytes& pixelData(const std::vector<int16_t>& values) {
        header(0x7FE0, 0x0010, "OW", static_cast<uint32_t>(values.size() * 2));
        return pixels(values);
    }

    DicomBytes& pixels(const std::vector<int16_t>& values) {
        for (int16_t v : values) number(static_cast<uint16_t>(v), 2);
        return *this;
    }

    DicomBytes& raw(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }

    // A private element of zeros so that the next element starts at `offset`.
    DicomBytes& fillTo(size_t offset) {
        const size_t head = layout_ == Layout::Implicit ? 8 : 12;
        if (offset < bytes.size() + head || (offset - bytes.size()) % 2)
            throw std::logic_error("fillTo: no room for a filler element");
        const size_t length = offset - bytes.size() - head;
        header(0x0009, 0x1010, "OB", static_cast<uint32_t>(length));
        bytes.resize(offset, 0);
        return *this;
    }

    // Zero bytes up to `length` (trailing data the readers ignore).
    DicomBytes& padTo(size_t length) {
        bytes.resize(length, 0);
        return *this;
    }

    void save(const std::string& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path);
    }

private:
    static bool longForm(const std::string& vr) {
        return vr == "OB" || vr == "OW" || vr == "OF" || vr == "SQ" || vr == "UT" || vr == "UN";
    }

    void number(uint64_t value, int count) {
        for (int i = 0; i < count; ++i) {
            const int shift = 8 * (layout_ == Layout::ExplicitBig ? count - 1 - i : i);
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
    }

    Layout layout_;
};

// A recognisable slice: value i is (37 i mod 4096) - 1024 + 100 * frame.
inline std::vector<int16_t> framePattern(int frame) {
    std::vector<int16_t> values(kFramePixels);
    for (int i = 0; i < kFramePixels; ++i)
        values[static_cast<size_t>(i)] = static_cast<int16_t>((37LL * i) % 4096 - 1024 + 100 * frame);
    return values;
}

}  // namespace dicom_test
