#include "dicom_write.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "phantom_model.h"

namespace phantom {

namespace {

constexpr const char* kCtImageStorage = "1.2.840.10008.5.1.4.1.1.2";
constexpr const char* kImplicitLittle = "1.2.840.10008.1.2";
constexpr const char* kExplicitLittle = "1.2.840.10008.1.2.1";
constexpr const char* kExplicitBig = "1.2.840.10008.1.2.2";
// Identifies this generator as the writer of the files; fixed for all of them.
constexpr const char* kImplementationClassUid = "2.25.183749265011572938469527319083620474213";
constexpr const char* kImplementationVersion = "HALVEX_PHANTOM";
constexpr uint32_t kItem = 0xFFFEE000;
constexpr uint32_t kPixelData = 0x7FE00010;

constexpr uint32_t tag(uint16_t group, uint16_t element) { return (uint32_t{group} << 16) | element; }

// Writes elements in one transfer syntax and insists on ascending tags, the
// order every reader of these files relies on.
class Encoder {
public:
    Encoder(bool explicitVr, bool bigEndian) : explicit_(explicitVr), big_(bigEndian) {}

    void text(uint32_t t, const char* vr, std::string value) {
        if (value.size() % 2 != 0) value.push_back(std::strcmp(vr, "UI") == 0 ? '\0' : ' ');
        header(t, vr, static_cast<uint32_t>(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
    }
    void us(uint32_t t, uint16_t v) {
        header(t, "US", 2);
        put16(v);
    }
    void ul(uint32_t t, uint32_t v) {
        header(t, "UL", 4);
        put32(v);
    }
    void fd(uint32_t t, double v) {
        header(t, "FD", 8);
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        if (big_) {
            put32(static_cast<uint32_t>(bits >> 32));
            put32(static_cast<uint32_t>(bits));
        } else {
            put32(static_cast<uint32_t>(bits));
            put32(static_cast<uint32_t>(bits >> 32));
        }
    }
    void ob(uint32_t t, const std::vector<uint8_t>& v) {
        header(t, "OB", static_cast<uint32_t>(v.size()));
        bytes.insert(bytes.end(), v.begin(), v.end());
    }
    // A sequence of already encoded items, each with its defined length.
    void sequence(uint32_t t, const std::vector<std::vector<uint8_t>>& items) {
        uint32_t length = 0;
        for (const auto& item : items) length += 8 + static_cast<uint32_t>(item.size());
        header(t, "SQ", length);
        for (const auto& item : items) {
            putTag(kItem);
            put32(static_cast<uint32_t>(item.size()));
            bytes.insert(bytes.end(), item.begin(), item.end());
        }
    }
    // The Pixel Data element without its value.
    void pixelDataHead(uint32_t length) { header(kPixelData, "OW", length); }

    std::vector<uint8_t> bytes;

private:
    void header(uint32_t t, const char* vr, uint32_t length) {
        if (t <= last_) throw std::logic_error("DICOM elements out of order");
        last_ = t;
        putTag(t);
        if (!explicit_) {
            put32(length);
            return;
        }
        bytes.push_back(static_cast<uint8_t>(vr[0]));
        bytes.push_back(static_cast<uint8_t>(vr[1]));
        if (longLength(vr)) {
            put16(0);
            put32(length);
        } else {
            if (length > 0xFFFF) throw std::logic_error("value too long for its VR");
            put16(static_cast<uint16_t>(length));
        }
    }
    static bool longLength(const char* vr) {
        for (const char* v : {"OB", "OW", "SQ", "UN", "UT"})
            if (std::strcmp(vr, v) == 0) return true;
        return false;
    }
    void putTag(uint32_t t) {
        put16(static_cast<uint16_t>(t >> 16));
        put16(static_cast<uint16_t>(t));
    }
    void put16(uint16_t v) {
        uint8_t lo = static_cast<uint8_t>(v), hi = static_cast<uint8_t>(v >> 8);
        bytes.push_back(big_ ? hi : lo);
        bytes.push_back(big_ ? lo : hi);
    }
    void put32(uint32_t v) {
        if (big_) {
            put16(static_cast<uint16_t>(v >> 16));
            put16(static_cast<uint16_t>(v));
        } else {
            put16(static_cast<uint16_t>(v));
            put16(static_cast<uint16_t>(v >> 16));
        }
    }

    bool explicit_, big_;
    uint32_t last_ = 0;
};

std::string sopInstanceUid(const SeriesHeader& s, int instance) { return s.uidRoot + ".4." + std::to_string(instance); }

// Preamble, "DICM" and the file meta group, which is always explicit VR little endian.
std::vector<uint8_t> fileMeta(const std::string& sopInstance, FileForm form) {
    Encoder meta(true, false);
    meta.ob(tag(0x0002, 0x0001), {0x00, 0x01});
    meta.text(tag(0x0002, 0x0002), "UI", kCtImageStorage);
    meta.text(tag(0x0002, 0x0003), "UI", sopInstance);
    meta.text(tag(0x0002, 0x0010), "UI", transferSyntaxUid(form));
    meta.text(tag(0x0002, 0x0012), "UI", kImplementationClassUid);
    meta.text(tag(0x0002, 0x0013), "SH", kImplementationVersion);
    Encoder group(true, false);
    group.ul(tag(0x0002, 0x0000), static_cast<uint32_t>(meta.bytes.size()));

    std::vector<uint8_t> out(128, 0);
    for (char c : {'D', 'I', 'C', 'M'}) out.push_back(static_cast<uint8_t>(c));
    out.insert(out.end(), group.bytes.begin(), group.bytes.end());
    out.insert(out.end(), meta.bytes.begin(), meta.bytes.end());
    return out;
}

std::string positionText(double pixelSize, double z) {
    std::string corner = decimalText(pixelToMm(0, pixelSize));  // centre of the top-left pixel
    return corner + "\\" + corner + "\\" + decimalText(z);
}

// The data set of a single-slice file (one z) or of the multi-frame file
// (one z per frame, positions in the per-frame functional groups only, so
// that successive Image Position occurrences are the frames in order).
std::vector<uint8_t> fileHead(const SeriesHeader& s, FileForm form, int instance, const std::vector<double>& z) {
    const bool multi = form == FileForm::MultiFrame;
    const double pixelSize = s.dfov / kSide;
    const std::string sop = sopInstanceUid(s, instance);
    Encoder e(form == FileForm::ExplicitLittle || form == FileForm::ExplicitBig, form == FileForm::ExplicitBig);

    e.text(tag(0x0008, 0x0008), "CS", "ORIGINAL\\PRIMARY\\AXIAL");
    e.text(tag(0x0008, 0x0016), "UI", kCtImageStorage);
    e.text(tag(0x0008, 0x0018), "UI", sop);
    e.text(tag(0x0008, 0x0020), "DA", "");
    e.text(tag(0x0008, 0x0030), "TM", "");
    e.text(tag(0x0008, 0x0050), "SH", "");
    e.text(tag(0x0008, 0x0060), "CS", "CT");
    e.text(tag(0x0008, 0x0070), "LO", "halvex phantom");
    e.text(tag(0x0008, 0x0090), "PN", "");
    e.text(tag(0x0010, 0x0010), "PN", s.patientName);
    e.text(tag(0x0010, 0x0020), "LO", "");
    e.text(tag(0x0010, 0x0030), "DA", "");
    e.text(tag(0x0010, 0x0040), "CS", "");
    e.text(tag(0x0018, 0x0050), "DS", decimalText(s.sliceThickness));
    e.text(tag(0x0018, 0x0060), "DS", decimalText(s.kvp));
    e.text(tag(0x0018, 0x1100), "DS", decimalText(s.dfov));
    e.text(tag(0x0018, 0x1150), "IS", std::to_string(s.exposureTimeMs));
    e.text(tag(0x0018, 0x1151), "IS", std::to_string(s.tubeCurrent));
    e.text(tag(0x0018, 0x1152), "IS", std::to_string(s.exposure));
    e.text(tag(0x0018, 0x1210), "SH", s.kernel);
    e.text(tag(0x0018, 0x5100), "CS", "HFS");
    e.fd(tag(0x0018, 0x9345), s.ctdiVol);
    e.text(tag(0x0020, 0x000D), "UI", s.uidRoot + ".1");
    e.text(tag(0x0020, 0x000E), "UI", s.uidRoot + ".2");
    e.text(tag(0x0020, 0x0010), "SH", "");
    e.text(tag(0x0020, 0x0011), "IS", std::to_string(s.seriesNumber));
    e.text(tag(0x0020, 0x0013), "IS", std::to_string(instance));
    if (!multi) e.text(tag(0x0020, 0x0032), "DS", positionText(pixelSize, z.front()));
    e.text(tag(0x0020, 0x0037), "DS", "1\\0\\0\\0\\1\\0");
    e.text(tag(0x0020, 0x0052), "UI", s.uidRoot + ".3");
    e.text(tag(0x0020, 0x1040), "LO", "");
    e.text(tag(0x0020, 0x1041), "DS", decimalText(z.front()));
    e.us(tag(0x0028, 0x0002), 1);
    e.text(tag(0x0028, 0x0004), "CS", "MONOCHROME2");
    if (multi) e.text(tag(0x0028, 0x0008), "IS", std::to_string(z.size()));
    e.us(tag(0x0028, 0x0010), kSide);
    e.us(tag(0x0028, 0x0011), kSide);
    e.text(tag(0x0028, 0x0030), "DS", decimalText(pixelSize) + "\\" + decimalText(pixelSize));
    e.us(tag(0x0028, 0x0100), 16);
    e.us(tag(0x0028, 0x0101), 16);
    e.us(tag(0x0028, 0x0102), 15);
    e.us(tag(0x0028, 0x0103), 1);
    e.text(tag(0x0028, 0x1050), "DS", "40");
    e.text(tag(0x0028, 0x1051), "DS", "400");
    e.text(tag(0x0028, 0x1052), "DS", "-1024");
    e.text(tag(0x0028, 0x1053), "DS", "1");
    if (multi) {
        std::vector<std::vector<uint8_t>> frames;
        for (double frameZ : z) {
            Encoder position(false, false);
            position.text(tag(0x0020, 0x0032), "DS", positionText(pixelSize, frameZ));
            Encoder frame(false, false);
            frame.sequence(tag(0x0020, 0x9113), {position.bytes});
            frames.push_back(std::move(frame.bytes));
        }
        e.sequence(tag(0x5200, 0x9230), frames);
    }
    e.pixelDataHead(static_cast<uint32_t>(z.size() * kSliceSize * 2));

    std::vector<uint8_t> out = fileMeta(sop, form);
    out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    return out;
}

}  // namespace

bool parseFileForm(const std::string& text, FileForm& form) {
    for (FileForm f : {FileForm::ImplicitLittle, FileForm::ExplicitLittle, FileForm::ExplicitBig, FileForm::MultiFrame,
                       FileForm::Raw}) {
        if (text == fileFormName(f)) {
            form = f;
            return true;
        }
    }
    return false;
}

std::string fileFormName(FileForm form) {
    switch (form) {
    case FileForm::ImplicitLittle: return "implicit";
    case FileForm::ExplicitLittle: return "explicit";
    case FileForm::ExplicitBig: return "bigendian";
    case FileForm::MultiFrame: return "multiframe";
    case FileForm::Raw: return "raw";
    }
    return "";
}

std::string transferSyntaxUid(FileForm form) {
    switch (form) {
    case FileForm::ImplicitLittle:
    case FileForm::MultiFrame: return kImplicitLittle;
    case FileForm::ExplicitLittle: return kExplicitLittle;
    case FileForm::ExplicitBig: return kExplicitBig;
    case FileForm::Raw: return "";
    }
    return "";
}

std::string decimalText(double v) {
    char buf[40];
    for (int precision = 15; precision > 1; --precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strlen(buf) <= 16) break;
    }
    return std::strcmp(buf, "-0") == 0 ? "0" : buf;
}

std::vector<uint8_t> sliceFileHead(const SeriesHeader& series, FileForm form, int instance, double z) {
    return fileHead(series, form, instance, {z});
}

std::vector<uint8_t> multiFrameHead(const SeriesHeader& series, const std::vector<double>& z) {
    return fileHead(series, FileForm::MultiFrame, 1, z);
}

void appendPixels(std::vector<uint8_t>& out, std::span<const int16_t> pixels, bool bigEndian) {
    size_t at = out.size();
    out.resize(at + 2 * pixels.size());
    for (int16_t p : pixels) {
        uint16_t v = static_cast<uint16_t>(p);
        uint8_t lo = static_cast<uint8_t>(v), hi = static_cast<uint8_t>(v >> 8);
        out[at++] = bigEndian ? hi : lo;
        out[at++] = bigEndian ? lo : hi;
    }
}

std::string uidRootFromText(const std::string& text) {
    // Two FNV-1a hashes with different starting values, each scrambled, give
    // the 128 bits; written in decimal by long division of 32-bit limbs.
    auto hash = [&text](uint64_t h) {
        for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ull;
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        return h ^ (h >> 33);
    };
    uint64_t hi = hash(0xCBF29CE484222325ull), lo = hash(0x84222325CBF29CE4ull);
    std::array<uint32_t, 4> limbs{static_cast<uint32_t>(hi >> 32), static_cast<uint32_t>(hi),
                                  static_cast<uint32_t>(lo >> 32), static_cast<uint32_t>(lo)};
    std::string digits;
    auto nonZero = [&limbs] { return limbs[0] | limbs[1] | limbs[2] | limbs[3]; };
    do {
        uint64_t rest = 0;
        for (uint32_t& limb : limbs) {
            uint64_t cur = (rest << 32) | limb;
            limb = static_cast<uint32_t>(cur / 10);
            rest = cur % 10;
        }
        digits.insert(digits.begin(), static_cast<char>('0' + rest));
    } while (nonZero());
    return "2.25." + digits;
}

}  // namespace phantom
