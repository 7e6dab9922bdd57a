// phantom: writes a CT series of an analytic water phantom with known truth
// (geometry, blur, noise) for tests, benchmarks and demonstrations.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <numbers>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "dicom_write.h"
#include "phantom_model.h"

namespace fs = std::filesystem;
using namespace phantom;

namespace {

struct Options {
    int slices = 40;
    double start = 0.0;
    double spacing = 1.0;  // negative: descending positions
    double dfov = 250.0;
    double thickness = 1.0;
    double sigma = 0.4;
    double sigmaZ = -1.0;  // not given: FWHM equal to the slice thickness
    double noise = 10.0;
    uint64_t seed = 1;
    double discZ = NAN;  // not given: the middle slice's position
    double wireX = 0.0, wireY = -70.0;
    std::vector<InsertSpec> inserts;
    double noiseCorr = 0.0;  // sigma of the noise's correlation kernel in pixels; 0: white
    std::string out, prefix = "PH";
    FileForm form = FileForm::ImplicitLittle;
    SeriesHeader header;
};

double sliceZ(const Options& o, int k) { return o.start + k * o.spacing; }

struct OptionSpec {
    const char* name;
    const char* arg;
    const char* help;
    std::function<bool(Options&, const std::string&)> set;
};

template <class T>
bool parseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if constexpr (std::is_floating_point_v<T>)
        if (!std::isfinite(value)) return false;
    return ec == std::errc() && ptr == end;
}

// "C:D[,C:D...]": contrast in HU and diameter in mm of each insert of the
// ring. Every insert must lie inside the cylinder and clear of its
// neighbours on the ring.
bool parseInserts(const std::string& text, std::vector<InsertSpec>& inserts) {
    inserts.clear();
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const size_t colon = item.find(':');
        InsertSpec spec;
        if (colon == std::string::npos || !parseNumber(item.substr(0, colon), spec.contrast) ||
            !parseNumber(item.substr(colon + 1), spec.diameter))
            return false;
        if (!(spec.diameter > 0.0) || kInsertRingRadius + 0.5 * spec.diameter >= 0.5 * Phantom{}.cylinderDiameter)
            return false;
        inserts.push_back(spec);
    }
    if (inserts.empty() || text.back() == ',') return false;
    const std::vector<Disk> ring = ringInserts(inserts);
    for (size_t i = 0; i < ring.size() && ring.size() > 1; ++i) {
        const Disk& a = ring[i];
        const Disk& b = ring[(i + 1) % ring.size()];
        if (std::hypot(a.cx - b.cx, a.cy - b.cy) <= 0.5 * (a.diameter + b.diameter)) return false;
    }
    return true;
}

// A DICOM text value must fit its VR and must not hold the value separator.
bool plainText(const std::string& text, size_t maxLength) {
    return text.size() <= maxLength && text.find('\\') == std::string::npos;
}

const std::vector<OptionSpec>& optionSpecs() {
    static const std::vector<OptionSpec> specs = {
        {"--out", "DIR", "output folder (created if missing; required)",
         [](Options& o, const std::string& v) { o.out = v; return !v.empty(); }},
        {"--form", "FORM", "implicit (default), explicit, bigendian, multiframe or raw",
         [](Options& o, const std::string& v) { return parseFileForm(v, o.form); }},
        {"--slices", "N", "number of slices, 1..9999 (default 40)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.slices) && o.slices >= 1 && o.slices <= 9999; }},
        {"--start", "MM", "position of the first slice (default 0)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.start); }},
        {"--spacing", "MM", "slice spacing, negative for descending positions (default 1)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.spacing) && o.spacing != 0.0; }},
        {"--dfov", "MM", "display field of view; pixel size = DFOV / 512 (default 250)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.dfov) && o.dfov > 0.0; }},
        {"--thickness", "MM", "slice thickness written to the header (default 1)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.thickness) && o.thickness > 0.0; }},
        {"--sigma", "MM", "sigma of the in-plane Gaussian blur (default 0.4)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.sigma) && o.sigma > 0.0; }},
        {"--sigma-z", "MM", "sigma of the Gaussian blur along z (default: FWHM = thickness)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.sigmaZ) && o.sigmaZ > 0.0; }},
        {"--noise", "HU", "standard deviation of the white noise (default 10; 0 for none)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.noise) && o.noise >= 0.0; }},
        {"--noise-corr", "SIGMA_PX", "correlate the noise by a Gaussian of SIGMA_PX pixels, up to 16 (see below)",
         [](Options& o, const std::string& v) {
             return parseNumber(v, o.noiseCorr) && o.noiseCorr > 0.0 && o.noiseCorr <= 16.0;
         }},
        {"--inserts", "C:D[,C:D...]", "inserts of contrast C HU and diameter D mm on a 40 mm circle (see below)",
         [](Options& o, const std::string& v) { return parseInserts(v, o.inserts); }},
        {"--seed", "N", "seed of the noise (default 1)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.seed); }},
        {"--disc-z", "MM", "z of the thin disc (default: the middle slice's position)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.discZ); }},
        {"--wire-x", "MM", "x of the wire (default 0)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.wireX); }},
        {"--wire-y", "MM", "y of the wire (default -70; rows grow with y)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.wireY); }},
        {"--prefix", "TEXT", "file-name prefix (default PH: PH0001.dcm ...)",
         [](Options& o, const std::string& v) { o.prefix = v; return v.find('/') == std::string::npos; }},
        {"--kernel", "TEXT", "convolution kernel text, up to 16 characters (default STANDARD)",
         [](Options& o, const std::string& v) { o.header.kernel = v; return plainText(v, 16); }},
        {"--series", "N", "series number (default 1)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.header.seriesNumber); }},
        {"--patient", "TEXT", "patient name (default PHANTOM^WATER)",
         [](Options& o, const std::string& v) { o.header.patientName = v; return plainText(v, 64); }},
        {"--kvp", "KV", "tube voltage (default 120)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.header.kvp); }},
        {"--ma", "MA", "tube current, integer (default 200)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.header.tubeCurrent); }},
        {"--mas", "MAS", "exposure, integer (default 100)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.header.exposure); }},
        {"--exposure-time", "MS", "exposure time in ms, integer (default 500)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.header.exposureTimeMs); }},
        {"--ctdivol", "MGY", "CTDIvol (default 12.3456)",
         [](Options& o, const std::string& v) { return parseNumber(v, o.header.ctdiVol); }},
    };
    return specs;
}

void printUsage(std::ostream& os) {
    os << "usage: phantom --out DIR [options]\n"
          "Writes a CT series of a 200 mm water cylinder with a 25 mm +300 HU rod, a +100 HU block\n"
          "with a 3 degree tilted edge, a 0.2 mm wire and a 0.5 mm thin disc across z, blurred by\n"
          "Gaussians in-plane and along z, plus white noise, and phantom_truth.txt beside it.\n\n";
    for (const OptionSpec& s : optionSpecs()) {
        std::string head = std::string("  ") + s.name + " " + s.arg;
        head.resize(std::max<size_t>(head.size() + 1, 24), ' ');
        os << head << s.help << "\n";
    }
    os << "  --help                print this text\n\n"
          "--inserts: insert k (0-based) of n runs along z at the angle a = 45 + 360 k / n degrees on a circle of\n"
          "40 mm radius about the centre, x = 40 cos a, y = 40 sin a mm (y grows with the row: clockwise on\n"
          "screen); each must lie inside the cylinder and clear of its neighbours.\n"
          "--noise-corr: the white noise is blurred along rows and columns by a Gaussian sampled out to 4 sigma,\n"
          "the borders wrapping around, and scaled so that the pixel SD stays --noise; the truth file gives its NPS.\n"
          "Every insert and the NPS are written to phantom_truth.txt.\n";
}

// 0: parsed, 1: help printed, 2: error printed.
int parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            printUsage(std::cout);
            return 1;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : optionSpecs())
            if (name == s.name) spec = &s;
        if (!spec) {
            std::cerr << "phantom: unknown option " << name << " (see --help)\n";
            return 2;
        }
        if (i + 1 >= argc || !spec->set(o, argv[++i])) {
            std::cerr << "phantom: " << name << " needs " << spec->arg << ": " << spec->help << "\n";
            return 2;
        }
    }
    if (o.out.empty()) {
        std::cerr << "phantom: --out DIR is required (see --help)\n";
        return 2;
    }
    // One Pixel Data length must hold all frames, and the reader looks for
    // that element within the first 450000 bytes; the image store takes 2048
    // slices, which keeps both well inside their limits.
    if (o.form == FileForm::MultiFrame && o.slices > 2048) {
        std::cerr << "phantom: a multi-frame file holds at most 2048 frames\n";
        return 2;
    }
    if (o.sigmaZ < 0.0) o.sigmaZ = o.thickness / (2.0 * std::sqrt(2.0 * std::numbers::ln2));
    if (std::isnan(o.discZ)) o.discZ = sliceZ(o, (o.slices - 1) / 2);  // on a slice, so its peak is sampled
    o.header.sliceThickness = o.thickness;
    o.header.dfov = o.dfov;
    return 0;
}

std::string fileName(const Options& o, int number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", number);
    return o.prefix + digits + (o.form == FileForm::Raw ? ".raw" : ".dcm");
}

std::string twoValues(double a, double b) { return decimalText(a) + ", " + decimalText(b); }

// Largest |HU| of the noise-free slice at z over columns and rows 128..384,
// the program's centred 256-pixel ROI, which should be plain water.
double centralSquareDeviation(const SliceSampler& sampler, double z) {
    std::vector<double> hu;
    sampler.sliceHu(z, hu);
    double worst = 0.0;
    for (int row = 128; row <= 384; ++row)
        for (int col = 128; col <= 384; ++col) worst = std::max(worst, std::abs(hu[row * kSide + col] - kWaterHu));
    return worst;
}

// The truth of the correlated noise: the kernel, the exact NPS it gives and
// how close the continuous Gaussian's NPS comes to it.
void correlatedNoiseTruth(const Options& o, const std::function<void(const std::string&, const std::string&)>& line) {
    const NoiseKernel kernel(o.noiseCorr);
    const double p = o.dfov / kSide, s = o.noiseCorr, white = o.noise * o.noise * p * p;
    const double a = white * 4.0 * std::numbers::pi * s * s;
    const double b = 4.0 * std::numbers::pi * std::numbers::pi * s * s * p * p;
    // The worst relative difference between the two over a grid of the
    // quadrant up to the Nyquist frequency, where the exact NPS is above 1 %
    // of its peak.
    const double peak = white * kernel.power(0) * kernel.power(0);
    double worst = 0.0;
    for (int i = 0; i <= 50; ++i)
        for (int j = 0; j <= 50; ++j) {
            const double u = i / 100.0, v = j / 100.0;
            const double exact = white * kernel.power(u) * kernel.power(v);
            const double gaussian = a * std::exp(-b * (u * u + v * v) / (p * p));
            if (exact >= 0.01 * peak) worst = std::max(worst, std::abs(gaussian / exact - 1.0));
        }
    line("noise_corr_sigma_px", decimalText(s));
    line("noise_corr_kernel", "g(k) = exp(-k^2 / (2 s^2)) / sqrt(sum_j exp(-j^2 / s^2)), |k|, |j| <= noise_corr_radius_px, "
                              "s = noise_corr_sigma_px (sum of g^2 = 1)");
    line("noise_corr_radius_px", std::to_string(kernel.radius()));
    line("noise_nps", "noise_sd_hu^2 p^2 |G(fx p)|^2 |G(fy p)|^2 HU^2 mm^2, G(u) = sum_k g(k) exp(-2 pi i k u), "
                      "p = pixel_size_mm, f in cycles/mm (exact for these slices)");
    line("noise_nps_at_zero_hu2mm2", decimalText(peak));
    line("noise_nps_gaussian", "noise_sd_hu^2 p^2 4 pi s^2 exp(-4 pi^2 s^2 (f p)^2) = A exp(-B f^2), the continuous "
                               "Gaussian's NPS: within 1 % of noise_nps for s >= 1 px; below that the aliased tail "
                               "of noise_nps lies well above it near the Nyquist frequency (75 % at s = 0.7)");
    line("noise_nps_gaussian_a_hu2mm2", decimalText(a));
    line("noise_nps_gaussian_b_mm2", decimalText(b));
    line("noise_nps_gaussian_max_deviation", decimalText(worst) +
                                                 " (relative to noise_nps, up to the Nyquist frequency where noise_nps "
                                                 "is above 1 % of its peak)");
}

std::string truthText(const Options& o, const Phantom& ph, double squareDeviation) {
    const double p = o.dfov / kSide;
    const double s = o.sigma;
    auto px = [p](double mm) { return mmToPixel(mm, p); };
    std::ostringstream t;
    auto line = [&t](const std::string& key, const std::string& value) { t << key << " = " << value << "\n"; };
    auto num = [](double v) { return decimalText(v); };

    line("form", fileFormName(o.form));
    line("transfer_syntax", o.form == FileForm::Raw ? "none (headerless 512 x 512 int16 little endian)"
                                                    : transferSyntaxUid(o.form));
    line("files", o.form == FileForm::MultiFrame ? fileName(o, 1) + " (all frames)"
                                                 : fileName(o, 1) + " .. " + fileName(o, o.slices));
    line("stored_value", o.form == FileForm::Raw ? "round(HU) (raw slices carry no offset)" : "round(HU + 1024)");
    line("rounding", "half away from zero, clamped to -32768..32767");
    if (o.form != FileForm::Raw) line("rescale_intercept", "-1024");
    line("pixel_convention", "pixel (column c, row r), 0-based, has its centre at x = (c - 255.5) * pixel_size_mm, "
                             "y = (r - 255.5) * pixel_size_mm; x grows with the column, y with the row; "
                             "positions are given as column, row or x, y");
    line("dfov_mm", num(o.dfov));
    line("pixel_size_mm", num(p));
    line("slices", std::to_string(o.slices));
    line("slice_start_mm", num(o.start));
    line("slice_spacing_mm", num(o.spacing));
    line("slice_thickness_mm", num(o.thickness));
    std::string zs;
    for (int k = 0; k < o.slices; ++k) zs += (k ? ", " : "") + num(sliceZ(o, k));
    line("slice_z_mm", zs);

    line("sigma_xy_mm", num(s));
    line("sigma_xy_px", num(s / p));
    line("sigma_z_mm", num(o.sigmaZ));
    line("mtf_xy", "exp(-2 pi^2 sigma_xy_mm^2 f^2), f in cycles/mm (presampled, every edge)");
    line("mtf50_xy_per_mm", num(std::sqrt(std::numbers::ln2 / 2.0) / (std::numbers::pi * s)));
    line("lsf_fwhm_xy_mm", num(2.0 * std::sqrt(2.0 * std::numbers::ln2) * s));
    line("mtf_z", "exp(-2 pi^2 sigma_z_mm^2 f^2)");
    line("noise_sd_hu", num(o.noise));
    if (o.noiseCorr > 0.0) {
        line("noise", "white Gaussian blurred along rows and columns by noise_corr_kernel, borders wrapping around, "
                      "so that every pixel has the SD noise_sd_hu");
        correlatedNoiseTruth(o, line);
    } else {
        line("noise", "white Gaussian, independent per pixel");
    }
    line("seed", std::to_string(o.seed));

    line("background_hu", num(kAirHu));
    line("water_hu", num(kWaterHu));
    line("cylinder_centre_px", twoValues(kCentrePixel, kCentrePixel));
    line("cylinder_centre_mm", twoValues(0, 0));
    line("cylinder_diameter_mm", num(ph.cylinderDiameter));
    line("cylinder_diameter_px", num(ph.cylinderDiameter / p));

    line("rod_centre_px", twoValues(px(ph.rod.cx), px(ph.rod.cy)));
    line("rod_centre_mm", twoValues(ph.rod.cx, ph.rod.cy));
    line("rod_diameter_mm", num(ph.rod.diameter));
    line("rod_diameter_px", num(ph.rod.diameter / p));
    line("rod_contrast_hu", num(ph.rod.contrast));

    const Block& b = ph.block;
    const double a = b.angleDeg * std::numbers::pi / 180.0;
    line("block_centre_px", twoValues(px(b.cx), px(b.cy)));
    line("block_centre_mm", twoValues(b.cx, b.cy));
    line("block_width_mm", num(b.width) + " (across the tilted edges, before turning)");
    line("block_height_mm", num(b.height));
    line("block_angle_deg", num(b.angleDeg) + " (turned clockwise on screen)");
    line("block_contrast_hu", num(b.contrast));
    // The left edge, the one facing the image centre, crosses the block's
    // centre row at x = cx - (width / 2) / cos(a) and moves left by tan(a)
    // columns per row down.
    line("block_left_edge_col_at_centre_row", num(px(b.cx - 0.5 * b.width / std::cos(a))));
    line("block_left_edge_col_shift_per_row", num(-std::tan(a)));

    const Disk& w = ph.wire;
    const double wr = 0.5 * w.diameter;
    line("wire_centre_px", twoValues(px(w.cx), px(w.cy)));
    line("wire_centre_mm", twoValues(w.cx, w.cy));
    line("wire_diameter_mm", num(w.diameter));
    line("wire_contrast_hu", num(w.contrast));
    line("wire_peak_hu", num(w.contrast * (1.0 - std::exp(-wr * wr / (2.0 * s * s)))) +
                             " (relative to water, noise-free, at the wire centre)");
    line("wire_own_transfer", "2 J1(pi d f) / (pi d f) with d = wire_diameter_mm (multiplies mtf_xy)");

    const Plate& d = ph.disc;
    line("disc_centre_px", twoValues(px(d.disk.cx), px(d.disk.cy)));
    line("disc_centre_mm", twoValues(d.disk.cx, d.disk.cy));
    line("disc_diameter_mm", num(d.disk.diameter));
    line("disc_z_mm", num(d.z));
    line("disc_thickness_mm", num(d.thickness));
    line("disc_contrast_hu", num(d.disk.contrast));
    line("disc_peak_hu", num(d.disk.contrast * (2.0 * normalCdf(0.5 * d.thickness / o.sigmaZ) - 1.0)) +
                             " (relative to water, noise-free, inside the disc at z = disc_z_mm)");
    line("ssp", "disc_thickness_mm slab convolved with a Gaussian of sigma_z_mm");

    for (size_t i = 0; i < ph.inserts.size(); ++i) {
        const Disk& insert = ph.inserts[i];
        const std::string key = "insert_" + std::to_string(i + 1) + "_";
        line(key + "centre_px", twoValues(px(insert.cx), px(insert.cy)));
        line(key + "centre_mm", twoValues(insert.cx, insert.cy));
        line(key + "diameter_mm", num(insert.diameter));
        line(key + "diameter_px", num(insert.diameter / p));
        line(key + "contrast_hu", num(insert.contrast));
    }
    if (!ph.inserts.empty()) {
        line("insert_count", std::to_string(ph.inserts.size()));
        line("insert_placement", "insert k + 1 (k = 0 .. insert_count - 1) at the angle a = 45 + 360 k / insert_count "
                                 "degrees on a circle of 40 mm radius about the centre: x = 40 cos a, y = 40 sin a mm; "
                                 "they run along z");
    }

    line("uniform_roi", "columns 128..384, rows 128..384: water");
    if (!ph.inserts.empty()) line("uniform_roi_inserts", "the inserts lie inside this square; it is water around them");
    line("uniform_roi_max_deviation_hu", num(squareDeviation) + " (noise-free)");

    const SeriesHeader& h = o.header;
    line("patient_name", h.patientName);
    line("kernel", h.kernel);
    line("series_number", std::to_string(h.seriesNumber));
    line("kvp", num(h.kvp));
    line("tube_current_ma", std::to_string(h.tubeCurrent));
    line("exposure_mas", std::to_string(h.exposure));
    line("exposure_time_ms", std::to_string(h.exposureTimeMs));
    line("ctdivol_mgy", num(h.ctdiVol));
    return t.str();
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path.string());
}

void writeSeries(const Options& o, const SliceSampler& sampler) {
    const fs::path dir = o.out;
    const bool big = o.form == FileForm::ExplicitBig;
    const double offset = o.form == FileForm::Raw ? 0.0 : 1024.0;
    std::vector<double> hu;
    std::vector<int16_t> stored;
    std::vector<uint8_t> bytes;
    const std::optional<NoiseKernel> kernel = o.noiseCorr > 0.0 ? std::optional<NoiseKernel>(o.noiseCorr) : std::nullopt;

    std::ofstream multi;
    if (o.form == FileForm::MultiFrame) {
        std::vector<double> zs;
        for (int k = 0; k < o.slices; ++k) zs.push_back(sliceZ(o, k));
        bytes = multiFrameHead(o.header, zs);
        multi.open(dir / fileName(o, 1), std::ios::binary | std::ios::trunc);
        multi.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    for (int k = 0; k < o.slices; ++k) {
        const double z = sliceZ(o, k);
        sampler.sliceHu(z, hu);
        if (kernel) addCorrelatedNoise(hu, o.noise, *kernel, o.seed, k);
        else addNoise(hu, o.noise, o.seed, k);
        toStored(hu, offset, stored);
        switch (o.form) {
        case FileForm::MultiFrame:
            bytes.clear();
            appendPixels(bytes, stored, false);
            multi.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            break;
        case FileForm::Raw:
            bytes.clear();
            appendPixels(bytes, stored, false);
            writeFile(dir / fileName(o, k + 1), bytes);
            break;
        default:
            bytes = sliceFileHead(o.header, o.form, k + 1, z);
            appendPixels(bytes, stored, big);
            writeFile(dir / fileName(o, k + 1), bytes);
        }
    }
    if (multi.is_open()) {
        multi.close();
        if (!multi) throw std::runtime_error("cannot write " + (dir / fileName(o, 1)).string());
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int r = parseOptions(argc, argv, o)) return r == 1 ? 0 : 2;
    try {
        Phantom ph = standardPhantom(o.discZ, o.wireX, o.wireY);
        // The central square is checked for the standard objects only: the
        // ring's inserts lie inside it on purpose.
        const double deviation = centralSquareDeviation(SliceSampler(ph, o.dfov, {o.sigma, o.sigmaZ}), o.discZ);
        ph.inserts = ringInserts(o.inserts);
        const SliceSampler sampler(ph, o.dfov, {o.sigma, o.sigmaZ});
        if (deviation > 0.5)
            std::cerr << "phantom: warning: with this DFOV and wire position the inserts reach into the central "
                         "256-pixel square (up to " << decimalText(deviation) << " HU)\n";
        if (o.form == FileForm::MultiFrame && o.slices < 4)
            std::cerr << "phantom: note: a multi-frame file of fewer than 4 frames is below 2000001 bytes, "
                         "which the series reader takes for a single-slice file\n";

        fs::create_directories(o.out);
        std::string truth = truthText(o, ph, deviation);
        o.header.uidRoot = uidRootFromText(truth);
        truth += "uid_root = " + o.header.uidRoot + "\n";
        writeSeries(o, sampler);
        std::ofstream truthFile(fs::path(o.out) / "phantom_truth.txt");
        if (!(truthFile << truth)) throw std::runtime_error("cannot write phantom_truth.txt");
        std::cout << "phantom: " << o.slices << (o.slices == 1 ? " slice" : " slices") << " ("
                  << fileFormName(o.form) << ") written to " << o.out << "\n";
    } catch (const std::exception& e) {
        std::cerr << "phantom: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
