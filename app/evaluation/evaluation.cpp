#include "evaluation/evaluation.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

#include "evaluation/bootstrap.h"
#include "measurement/edge_ttf.h"
#include "measurement/noise_spectrum.h"
#include "measurement/region_stats.h"
#include "measurement/slice_profile.h"
#include "measurement/wire_mtf.h"

namespace halvex {

namespace {

constexpr int kSide = 512;
// A single slice is resampled by angular sectors (edges, regions) and by its
// uniform ROIs (noise) instead of slices.
constexpr int kSectors = 16;
// A TTF whose CNR over all its slices is below this is too noisy to trust:
// see docs/ARCHITECTURE.md ("The automatic evaluation").
constexpr double kLeastTtfCnr = 15.0;
constexpr double kLeastNpsSlices = 5;
// A wire or edge MTF that rises this far above 1 at low frequencies, or
// whose interval at MTF50 is this wide, is noise rather than resolution.
constexpr double kHighestLowMtf = 1.1;
constexpr double kWidestMtf50Interval = 0.2;
// The NPS has no peak to speak of when its largest value is within this
// factor of its mean.
constexpr double kFlatNps = 1.2;
// The insert's background for its contrast and CNR: an annulus from this
// many radii out.
constexpr double kAnnulusInner = 1.5;
// An ESF that reaches less far than this many radii is said to be short.
constexpr double kShortestReach = 1.5;

std::string pixelText(double x, double y) {
    char text[64];
    std::snprintf(text, sizeof text, "(%.1f, %.1f) px", x, y);
    return text;
}

std::string fixed(double v, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    return text;
}

int sectorOf(double dx, double dy) {
    const double turn = (std::atan2(dy, dx) + std::numbers::pi) / (2 * std::numbers::pi);
    return std::clamp(static_cast<int>(turn * kSectors), 0, kSectors - 1);
}

// The weights of one replicate: per slice, and, for a single slice, per
// sector and per uniform ROI.
struct Weights {
    std::vector<int> slice, sector, roi;
    // A slice's sector: the slice's weight, and for a single slice the sector's.
    int at(size_t s, size_t q) const { return slice.size() > 1 ? slice[s] : sector[q]; }
    int atRoi(size_t s, size_t r) const { return slice.size() > 1 ? slice[s] : roi[r]; }
};

Weights allOnes(size_t slices, size_t rois) {
    return {std::vector<int>(slices, 1), std::vector<int>(kSectors, 1), std::vector<int>(rois, 1)};
}

double hu(const SliceImage& s, int column, int row) {
    return s.stored[static_cast<size_t>(row) * kSide + column] + s.ctOffset;
}

// The pixels of a region of every slice, kept per slice and sector.
// Across slices the region's mean and SD are the means of the slices' (the
// window's CT value and SD tools); within a single slice its sectors are
// pooled.
class RegionMeasure {
public:
    template <typename Inside>
    RegionMeasure(const std::vector<SliceImage>& slices, double cx, double cy, double reach, Inside inside) {
        const int x0 = std::max(0, static_cast<int>(std::floor(cx - reach))),
                  x1 = std::min(kSide - 1, static_cast<int>(std::ceil(cx + reach)));
        const int y0 = std::max(0, static_cast<int>(std::floor(cy - reach))),
                  y1 = std::min(kSide - 1, static_cast<int>(std::ceil(cy + reach)));
        // Summed about the first slice's value at the centre.
        const double shift = slices.empty() ? 0
                                            : hu(slices[0], std::clamp(static_cast<int>(std::lround(cx)), 0, kSide - 1),
                                                 std::clamp(static_cast<int>(std::lround(cy)), 0, kSide - 1));
        sums_.assign(slices.size(), std::vector<PixelSums>(kSectors, PixelSums{shift}));
        for (size_t s = 0; s < slices.size(); ++s)
            for (int row = y0; row <= y1; ++row)
                for (int column = x0; column <= x1; ++column) {
                    const double dx = column - cx, dy = row - cy;
                    if (inside(dx, dy)) sums_[s][size_t(sectorOf(dx, dy))].add(hu(slices[s], column, row));
                }
    }

    // Mean and SD (HU) under the weights; single: the sectors of one slice pooled.
    std::pair<double, double> stats(const Weights& w) const {
        if (sums_.size() == 1) {
            PixelSums all{sums_[0][0].shift};
            for (size_t q = 0; q < kSectors; ++q) all.add(sums_[0][q], w.at(0, q));
            return {all.mean(), all.sd()};
        }
        double mean = 0, sd = 0;
        int64_t count = 0;
        for (size_t s = 0; s < sums_.size(); ++s) {
            if (w.slice[s] == 0) continue;
            const PixelSums slice = pooled(sums_[s]);
            mean += w.slice[s] * slice.mean();
            sd += w.slice[s] * slice.sd();
            count += w.slice[s];
        }
        return count > 0 ? std::pair{mean / count, sd / count} : std::pair{0.0, 0.0};
    }

private:
    static PixelSums pooled(const std::vector<PixelSums>& sectors) {
        PixelSums all{sectors.front().shift};
        for (const PixelSums& q : sectors) all.add(q, 1);
        return all;
    }

    std::vector<std::vector<PixelSums>> sums_;  // [slice][sector]
};

// The circular-edge ESF of an insert, kept per slice (and per sector for a
// single slice), summed per replicate: the window's binning done once.
class TtfMeasure {
public:
    // The ESF reaches `width` pixels from the centres.
    TtfMeasure(const std::vector<SliceImage>& slices, const std::vector<Point2>& centres, int width,
               const EvaluationParameters& p, float fov)
        : fov_(fov), choices_{p.ttfTailWidths, static_cast<float>(p.curveInterval)} {
        roi_ = EdgeRoi{0, 0, width, width};
        const bool perSector = slices.size() == 1;
        partials_.assign(slices.size(), std::vector<Esf>(perSector ? kSectors : 1));
        for (size_t s = 0; s < slices.size(); ++s) {
            const int offset = slices[s].ctOffset;
            forEachCircularEsfSample(slices[s].stored, roi_, static_cast<float>(centres[s].x),
                                     static_cast<float>(centres[s].y), [&](int bin, double dx, double dy, int16_t v) {
                                         Esf& esf = partials_[s][perSector ? size_t(sectorOf(dx, dy)) : 0];
                                         if (bin < 0 || bin >= kEsfBins) return;
                                         esf.value[size_t(bin)] += v + offset;
                                         esf.count[size_t(bin)] += 1;
                                     });
        }
    }

    std::optional<EdgeMtf> measure(const Weights& w) const {
        Esf esf;
        const int last = esfLastBin(roi_);
        for (size_t s = 0; s < partials_.size(); ++s)
            for (size_t q = 0; q < partials_[s].size(); ++q) {
                const int weight = partials_[s].size() == 1 ? w.slice[s] : w.at(s, q);
                if (weight == 0) continue;
                const Esf& part = partials_[s][q];
                for (int b = 0; b <= last; ++b) {
                    esf.value[size_t(b)] += weight * part.value[size_t(b)];
                    esf.count[size_t(b)] += weight * part.count[size_t(b)];
                }
            }
        return automaticEdgeMtf(std::move(esf), roi_, true, fov_, choices_);
    }

private:
    float fov_;
    EdgeMtfChoices choices_;
    EdgeRoi roi_;
    std::vector<std::vector<Esf>> partials_;
};

// The radial NPS of the uniform ROIs of every slice, and their pixel
// variance about each ROI's mean, kept per slice and ROI.
class NpsMeasure {
public:
    NpsMeasure(const std::vector<SliceImage>& slices, const std::vector<const FoundObject*>& rois, int side,
               float pixelMm, NpsWindow window)
        : binning_(radialNpsBinning(side, pixelMm * kSide)) {
        std::vector<int16_t> scratch(size_t(kSide) * kSide);  // the window's display copy, unused here
        for (const SliceImage& slice : slices) {
            parts_.emplace_back();
            for (const FoundObject* roi : rois) {
                const int x0 = static_cast<int>(std::lround(roi->cx - (side - 1) / 2.0));
                const int y0 = static_cast<int>(std::lround(roi->cy - (side - 1) / 2.0));
                Part part{NpsAccumulator(kRadialNpsBins), {}};
                accumulateRadialNps(slice.stored, slice.ctOffset, x0, y0, side, pixelMm, binning_, window,
                                    part.spectrum, scratch.data());
                PixelSums pixels{hu(slice, x0, y0)};
                for (int row = y0; row < y0 + side; ++row)
                    for (int column = x0; column < x0 + side; ++column) pixels.add(hu(slice, column, row));
                part.variance = pixels.sd() * pixels.sd();
                parts_.back().push_back(std::move(part));
            }
        }
    }

    struct Figures {
        std::vector<double> f, nps;
        double noise = 0, fPeak = 0, fAv = 0;
        bool flat = false;
    };

    std::optional<Figures> measure(const Weights& w) const {
        NpsAccumulator sum(kRadialNpsBins);
        double variance = 0;
        int64_t count = 0;
        for (size_t s = 0; s < parts_.size(); ++s)
            for (size_t r = 0; r < parts_[s].size(); ++r) {
                const int weight = w.atRoi(s, r);
                if (weight == 0) continue;
                for (size_t b = 0; b < sum.sum.size(); ++b) {
                    sum.sum[b] += weight * parts_[s][r].spectrum.sum[b];
                    sum.count[b] += weight * parts_[s][r].spectrum.count[b];
                }
                variance += weight * parts_[s][r].variance;
                count += weight;
            }
        if (count == 0) return std::nullopt;
        Figures out;
        double weighted = 0, total = 0, peak = -1;
        for (int k = 1; k <= binning_.bins; ++k) {
            if (sum.count[size_t(k)] == 0) return std::nullopt;
            const double f = k * binning_.binWidth, v = sum.sum[size_t(k)] / sum.count[size_t(k)];
            out.f.push_back(f);
            out.nps.push_back(v);
            weighted += f * v;
            total += v;
            if (v > peak) peak = v, out.fPeak = f;
        }
        if (!(total > 0)) return std::nullopt;
        out.fAv = weighted / total;
        out.flat = peak < kFlatNps * total / binning_.bins;
        out.noise = std::sqrt(variance / static_cast<double>(count));
        return out;
    }

private:
    struct Part {
        NpsAccumulator spectrum;
        double variance;
    };
    NpsBinning binning_;
    std::vector<std::vector<Part>> parts_;  // [slice][roi]
};

// The 2D-FFT MTF of a wire or bead: the mean of its 256 x 256 patches over
// the slices, less the mean of an annulus just outside the disc it is cut
// to, transformed. The disc is only as large as the object's spread needs,
// so that a background a little off can't outweigh a weak object.
class WireMeasure {
public:
    WireMeasure(const std::vector<SliceImage>& slices, const FoundObject& wire, const EvaluationParameters& p,
                float pixelMm)
        : radius_(radiusOf(wire, p)),
          annulus_(p.wireAnnulus), interval_(static_cast<float>(p.curveInterval)), pixelMm_(pixelMm) {
        const int cx = static_cast<int>(std::lround(wire.cx)), cy = static_cast<int>(std::lround(wire.cy));
        const int reach = this->reach();
        for (int s = std::max(wire.firstSlice, 0); s <= std::min<int>(wire.lastSlice, int(slices.size()) - 1); ++s) {
            // Only the disc and its annulus are read; the rest of the patch
            // is cut away by the transform's mask anyway.
            std::vector<float> patch(size_t(kWirePatch) * kWirePatch, 0.0f);
            for (int i = -reach; i <= reach; ++i)
                for (int j = -reach; j <= reach; ++j)
                    patch[size_t(kWirePatch / 2 + i) * kWirePatch + size_t(kWirePatch / 2 + j)] =
                        static_cast<float>(hu(slices[size_t(s)], cx + j, cy + i));
            patches_.push_back(std::move(patch));
            sliceOf_.push_back(static_cast<size_t>(s));
        }
    }

    // Why the wire can't be measured: its disc and annulus would leave the slice.
    static std::string problem(const FoundObject& wire, const EvaluationParameters& p) {
        const int reach = reachOf(radiusOf(wire, p), p.wireAnnulus);
        const int cx = static_cast<int>(std::lround(wire.cx)), cy = static_cast<int>(std::lround(wire.cy));
        if (cx - reach < 0 || cy - reach < 0 || cx + reach >= kSide || cy + reach >= kSide)
            return "lies too near the slice's edge for its patch";
        return {};
    }

    // The background ring's pixel SD of the mean patch: the noise a single
    // slice's replicates are given.
    double ringSd() const { return ringStats(meanPatch(allWeights())).second; }
    // The peak of the mean patch above its background.
    double contrast() const {
        const std::vector<float> patch = meanPatch(allWeights());
        const int c = kWirePatch / 2, r = static_cast<int>(radius_);
        float peak = patch[size_t(c) * kWirePatch + c];
        for (int i = c - r; i <= c + r; ++i)
            for (int j = c - r; j <= c + r; ++j) peak = std::max(peak, patch[size_t(i) * kWirePatch + j]);
        return peak - ringStats(patch).first;
    }

    std::vector<int> allWeights() const { return std::vector<int>(patches_.size(), 1); }
    std::vector<int> weightsOf(const Weights& w) const {
        std::vector<int> out;
        for (size_t s : sliceOf_) out.push_back(w.slice[s]);
        return out;
    }

    std::vector<float> meanPatch(const std::vector<int>& weights) const {
        std::vector<double> sum(size_t(kWirePatch) * kWirePatch, 0.0);
        int count = 0;
        for (size_t i = 0; i < patches_.size(); ++i) {
            if (weights[i] == 0) continue;
            for (size_t k = 0; k < sum.size(); ++k) sum[k] += weights[i] * double(patches_[i][k]);
            count += weights[i];
        }
        std::vector<float> mean(sum.size());
        for (size_t k = 0; k < sum.size(); ++k) mean[k] = count > 0 ? static_cast<float>(sum[k] / count) : 0.0f;
        return mean;
    }

    struct Figures {
        CurvePoints curve;
        std::optional<double> mtf50, mtf10;
        double lowest = 0;  // the largest value below a quarter of the Nyquist frequency
    };

    std::optional<Figures> measure(const std::vector<float>& patch) const {
        const double background = ringStats(patch).first;
        const auto mtf = ringMtf(patch, radius_, background);
        if (!mtf) return std::nullopt;
        const float step = 1.0f / (kWirePatch * pixelMm_);
        Figures out;
        out.curve = resampleMtf(*mtf, step, interval_);
        std::vector<float> binFrequency(mtf->size());
        for (size_t k = 0; k < mtf->size(); ++k) binFrequency[k] = static_cast<float>(k) * step;
        out.mtf50 = curveCrossing(binFrequency, *mtf, 0.5);
        out.mtf10 = curveCrossing(binFrequency, *mtf, 0.1);
        const float quarterNyquist = 0.25f / (2 * pixelMm_);
        for (size_t k = 1; k < mtf->size() && binFrequency[k] <= quarterNyquist; ++k)
            out.lowest = std::max(out.lowest, double((*mtf)[k]));
        return out;
    }

private:
    static double radiusOf(const FoundObject& wire, const EvaluationParameters& p) {
        return std::max<double>(p.wireMinRadius, p.wireRadiusFactor * wire.radiusPx);
    }
    static int reachOf(double radius, int annulus) { return static_cast<int>(std::ceil(radius + annulus)) + 1; }
    int reach() const { return reachOf(radius_, annulus_); }

    // Mean and SD of the annulus just outside the disc the patch is cut to.
    std::pair<double, double> ringStats(const std::vector<float>& patch) const {
        const int c = kWirePatch / 2, outer = static_cast<int>(std::ceil(radius_ + annulus_));
        PixelSums ring{patch[size_t(c) * kWirePatch + size_t(c + outer)]};
        for (int i = c - outer; i <= c + outer; ++i)
            for (int j = c - outer; j <= c + outer; ++j) {
                const double r = std::hypot(i - c, j - c);
                if (r > radius_ && r <= radius_ + annulus_) ring.add(patch[size_t(i) * kWirePatch + j]);
            }
        return {ring.mean(), ring.sd()};
    }

    double radius_;
    int annulus_;
    float interval_;
    float pixelMm_;
    std::vector<std::vector<float>> patches_;
    std::vector<size_t> sliceOf_;
};

// The SSP of a thin object: the mean of a disc inside it on every slice of
// its range, kept per sector (the slices are the profile, so a replicate
// resamples the sectors).
class SspMeasure {
public:
    SspMeasure(const std::vector<SliceImage>& slices, const FoundObject& object, double share)
        : first_(std::max(object.firstSlice, 0)), last_(std::min<int>(object.lastSlice, int(slices.size()) - 1)) {
        const double radius = share * object.radiusPx;
        for (int s = first_; s <= last_; ++s) {
            const SliceImage& slice = slices[size_t(s)];
            std::vector<PixelSums> sectors(kSectors, PixelSums{hu(slice, std::clamp(static_cast<int>(std::lround(object.cx)), 0, kSide - 1),
                                                                   std::clamp(static_cast<int>(std::lround(object.cy)), 0, kSide - 1))});
            for (int row = static_cast<int>(std::floor(object.cy - radius)); row <= std::ceil(object.cy + radius); ++row)
                for (int column = static_cast<int>(std::floor(object.cx - radius));
                     column <= std::ceil(object.cx + radius); ++column) {
                    const double dx = column - object.cx, dy = row - object.cy;
                    if (row < 0 || column < 0 || row >= kSide || column >= kSide || std::hypot(dx, dy) > radius)
                        continue;
                    sectors[size_t(sectorOf(dx, dy))].add(hu(slice, column, row));
                }
            profile_.push_back(std::move(sectors));
        }
        if (last_ - first_ >= 1)
            interval_ = sliceInterval(slices[size_t(first_)].position, slices[size_t(first_ + 1)].position,
                                      slices[size_t(last_ - 1)].position, slices[size_t(last_)].position);
    }

    int count() const { return last_ - first_ + 1; }
    bool evenlySpaced() const { return interval_.has_value(); }

    struct Figures {
        double fwhm = 0, fwtm = 0;  // mm
        std::vector<float> profile;  // levelled, the peak 1
        double centre = 0;           // of the half-maximum crossings, in slices of the range
        double interval = 0;         // mm between slices
    };

    // FWHM and FWTM of the profile under the sector weights, as the window's
    // SSP takes them (profileWidths).
    std::optional<Figures> measure(const std::vector<int>& sectorWeights) const {
        if (!interval_ || count() < 3) return std::nullopt;
        Figures f;
        for (const std::vector<PixelSums>& sectors : profile_) {
            PixelSums all{sectors.front().shift};
            for (size_t q = 0; q < sectors.size(); ++q) all.add(sectors[q], sectorWeights[q]);
            f.profile.push_back(static_cast<float>(all.mean()));
        }
        const ProfileWidths widths = profileWidths(f.profile, false);
        if (!widths.crossed) return std::nullopt;
        f.interval = *interval_;
        f.fwhm = widths.fwhm * f.interval;
        f.fwtm = widths.fwtm * f.interval;
        f.centre = widths.centre;
        return f;
    }

private:
    int first_, last_;
    std::vector<std::vector<PixelSums>> profile_;  // [slice of the range][sector]
    std::optional<double> interval_;
};

// How far from an insert's centre its surroundings are its background: up
// to the body's edge or the nearest other object, less a margin.
double clearance(const FoundObject& insert, const std::vector<FoundObject>& objects) {
    constexpr double kMargin = 2;  // pixels
    double room = 1e9;
    for (const FoundObject& o : objects) {
        const double d = std::hypot(o.cx - insert.cx, o.cy - insert.cy);
        if (o.kind == ObjectKind::Body) room = std::min(room, o.radiusPx - d);
        else if ((o.kind == ObjectKind::Insert || o.kind == ObjectKind::Wire) && &o != &insert)
            room = std::min(room, d - o.radiusPx);
    }
    return room - kMargin;
}

// The background annulus of an insert whose surroundings are clear out to
// `reach` pixels: from 1.5 radii (or halfway out) to `reach`.
std::pair<double, double> annulusOf(double r, double reach) {
    const double inner = std::min(kAnnulusInner * r, 0.5 * (r + reach));
    return {inner, std::max(reach, inner + 1)};
}

// The insert's centre on a mean image: the auto-edge circle fit from the
// given centre, at the level halfway between its inside and its annulus.
std::optional<Point2> fitInsert(const std::vector<float>& image, const FoundObject& insert, int reach) {
    PixelSums inside, outside;
    const double r = insert.radiusPx;
    const auto [inner, outer] = annulusOf(r, reach);
    const int window = static_cast<int>(std::ceil(outer));
    for (int dy = -window; dy <= window; ++dy)
        for (int dx = -window; dx <= window; ++dx) {
            const int column = static_cast<int>(std::lround(insert.cx)) + dx, row = static_cast<int>(std::lround(insert.cy)) + dy;
            if (column < 0 || row < 0 || column >= kSide || row >= kSide) continue;
            const double d = std::hypot(column - insert.cx, row - insert.cy);
            const float v = image[size_t(row) * kSide + column];
            if (d <= 0.5 * r) inside.add(v);
            else if (d >= inner && d <= outer) outside.add(v);
        }
    const float level = static_cast<float>((inside.mean() + outside.mean()) / 2);
    return fitCircleCentre(image.data(), EdgeRoi{0, 0, reach, reach}, static_cast<float>(insert.cx),
                           static_cast<float>(insert.cy), level);
}

// Each slice's centre of an insert. The centre fitted on the mean image
// serves every slice unless the fits on the first and second half of the
// range differ (a rod that is not parallel to z): then each slice takes the
// centre on the line between those two fits at its place in the range.
std::vector<Point2> insertCentres(const std::vector<SliceImage>& slices, const FoundObject& insert, int reach) {
    constexpr double kDrift = 0.25;  // pixels
    std::vector<Point2> centres(slices.size(), Point2{insert.cx, insert.cy});
    const size_t n = slices.size();
    if (n < 6) return centres;
    const auto a = fitInsert(meanImage(slices, 0, n / 2), insert, reach);
    const auto b = fitInsert(meanImage(slices, n / 2, n), insert, reach);
    if (!a || !b || std::hypot(a->x - b->x, a->y - b->y) <= kDrift) return centres;
    // The halves' fits stand for their middle slices.
    const double sa = (n / 2 - 1) / 2.0, sb = (n / 2 + n - 1) / 2.0;
    for (size_t s = 0; s < n; ++s) {
        const double t = (static_cast<double>(s) - sa) / (sb - sa);
        centres[s] = Point2{a->x + t * (b->x - a->x), a->y + t * (b->y - a->y)};
    }
    return centres;
}

// Collects the replicates' values of every figure by name.
class Replicates {
public:
    void add(const std::string& key, double v) {
        if (std::isfinite(v)) values_[key].push_back(v);
    }
    void addCurve(const std::string& key, const std::vector<double>& v) {
        for (size_t i = 0; i < v.size(); ++i) add(key + "#" + std::to_string(i), v[i]);
    }
    Estimate estimate(const std::string& key, std::optional<double> value) const {
        Estimate e;
        if (!value || !std::isfinite(*value)) return e;
        e.defined = true;
        e.value = e.lo = e.hi = *value;
        const auto found = values_.find(key);
        if (found == values_.end()) return e;
        if (const auto interval = percentileInterval(found->second)) std::tie(e.lo, e.hi) = *interval;
        return e;
    }
    EstimatedCurve curve(const std::string& key, const std::vector<double>& f, const std::vector<double>& v) const {
        EstimatedCurve c;
        c.f = f;
        c.value = v;
        for (size_t i = 0; i < v.size(); ++i) {
            const Estimate e = estimate(key + "#" + std::to_string(i), v[i]);
            c.lo.push_back(e.lo);
            c.hi.push_back(e.hi);
        }
        return c;
    }

private:
    std::map<std::string, std::vector<double>> values_;
};

std::vector<double> asDouble(const std::vector<float>& v) { return std::vector<double>(v.begin(), v.end()); }

// The curve's values at the first `count` points: a replicate whose curve
// ended early is left out of the points it does not reach.
std::vector<double> firstPoints(const std::vector<float>& v, size_t count) {
    return std::vector<double>(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(count, v.size())));
}

std::vector<float> log10Of(const std::vector<double>& v) {
    std::vector<float> out;
    for (double x : v) out.push_back(static_cast<float>(std::log10(x)));
    return out;
}

std::vector<float> asFloat(const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); }

// The largest value of a curve below a quarter of its last frequency's
// Nyquist share, and the width of its interval where it falls to 0.5.
double lowFrequencyPeak(const EstimatedCurve& c, double nyquist) {
    double peak = 0;
    for (size_t i = 1; i < c.f.size() && c.f[i] <= 0.25 * nyquist; ++i) peak = std::max(peak, c.value[i]);
    return peak;
}

double intervalAtHalf(const EstimatedCurve& c, const Estimate& mtf50) {
    if (!mtf50.defined || c.f.empty()) return 0;
    size_t nearest = 0;
    for (size_t i = 1; i < c.f.size(); ++i)
        if (std::fabs(c.f[i] - mtf50.value) < std::fabs(c.f[nearest] - mtf50.value)) nearest = i;
    return c.hi[nearest] - c.lo[nearest];
}

// The figures that noise decides, said as warnings.
void warnAboutNoise(EvaluationResult& result, size_t slices, size_t uniformRois) {
    const double nyquist = result.series.pixelMm > 0 ? 0.5 / result.series.pixelMm : 0;
    auto mtfWarnings = [&](const std::string& what, const EstimatedCurve& curve, const Estimate& mtf50) {
        if (lowFrequencyPeak(curve, nyquist) > kHighestLowMtf)
            result.warnings.push_back(what + " rises to " + fixed(lowFrequencyPeak(curve, nyquist), 2) +
                                      " at low frequencies: noise or the background decides it.");
        if (intervalAtHalf(curve, mtf50) > kWidestMtf50Interval)
            result.warnings.push_back(what + ": its 95 % interval spans " + fixed(intervalAtHalf(curve, mtf50), 2) +
                                      " at MTF50: average more slices.");
    };
    for (const TtfResult& t : result.ttf) {
        const double effective = t.cnr * std::sqrt(static_cast<double>(slices));
        if (effective < kLeastTtfCnr)
            result.warnings.push_back(t.object + ": CNR " + fixed(t.cnr, 1) + " over " + std::to_string(slices) +
                                      " slices (CNR x sqrt(slices) = " + fixed(effective, 1) + ", below " +
                                      fixed(kLeastTtfCnr, 0) + "): noise decides its TTF.");
        mtfWarnings(t.object + " TTF", t.curve, t.mtf50);
    }
    if (result.wire) mtfWarnings(result.wire->object + " MTF", result.wire->curve, result.wire->mtf50);
    if (result.nps) {
        if (slices < kLeastNpsSlices)
            result.warnings.push_back("The NPS rests on " + std::to_string(slices) + " slice(s) of " +
                                      std::to_string(uniformRois) + " ROIs: fewer than 5 slices make it noisy.");
        if (result.nps->flat)
            result.warnings.push_back("The NPS is flat (white noise): its peak frequency says little.");
    }
}

// The objects of a run by kind, and the d' tasks it measures.
struct ObjectSet {
    std::vector<const FoundObject*> inserts, uniform;
    const FoundObject *wire = nullptr, *zobject = nullptr;
    explicit ObjectSet(const std::vector<FoundObject>& objects) {
        for (const FoundObject& o : objects) {
            if (o.kind == ObjectKind::Insert) inserts.push_back(&o);
            if (o.kind == ObjectKind::Uniform) uniform.push_back(&o);
            if (o.kind == ObjectKind::Wire && !wire) wire = &o;
            if (o.kind == ObjectKind::ZObject && !zobject) zobject = &o;
        }
    }
};

// The figures of one replicate (or of a series itself).
struct Figures {
    std::vector<std::optional<EdgeMtf>> ttf;
    std::optional<NpsMeasure::Figures> nps;
    std::vector<std::pair<double, double>> inserts, uniform;
    std::optional<WireMeasure::Figures> wire;
    std::optional<SspMeasure::Figures> ssp;
    std::vector<std::optional<double>> dprime;  // per task, NPW then NPWE
    double uniformity() const {
        double u = 0;
        for (size_t i = 1; i < uniform.size(); ++i) u = std::max(u, std::fabs(uniform[i].first - uniform[0].first));
        return u;
    }
};

struct Task {
    DetectabilityTask task;
    size_t insert;  // the TTF it uses
};

// Everything a series gives for the objects: its per-slice partial sums,
// made once, and the figures of any set of weights.
class SeriesMeasures {
public:
    SeriesMeasures(const std::vector<SliceImage>& slices, float pixelMm, const std::vector<FoundObject>& objects,
                   const EvaluationParameters& p, std::vector<std::string>& warnings)
        : objects_(objects), slices_(slices.size()) {
        const float fov = pixelMm * kSide;
        for (const FoundObject* insert : objects_.inserts) {
            const double r = insert->radiusPx;
            // The ESF and the background annulus reach as far as the insert
            // is clear of the body's edge and of the other objects.
            const double reach = std::min(p.ttfReach * r, clearance(*insert, objects));
            if (reach < kShortestReach * r)
                warnings.push_back(insert->id + " at " + pixelText(insert->cx, insert->cy) +
                                   " lies close to the body's edge or another object: its ESF reaches only " +
                                   fixed(reach / r, 2) + " radii.");
            const int width = std::max(8, static_cast<int>(std::lround(reach)));
            ttf_.emplace_back(slices, insertCentres(slices, *insert, width), width, p, fov);
            const double share = p.insertRoiShare * r;
            insertRegions_.emplace_back(slices, insert->cx, insert->cy, r,
                                        [share](double dx, double dy) { return std::hypot(dx, dy) <= share; });
            const std::pair<double, double> ring = annulusOf(r, reach);
            const double inner = ring.first, outer = ring.second;
            annuli_.emplace_back(slices, insert->cx, insert->cy, outer, [inner, outer](double dx, double dy) {
                const double d = std::hypot(dx, dy);
                return d >= inner && d <= outer;
            });
        }
        int npsSide = 0;
        for (const FoundObject* u : objects_.uniform) {
            const double half = (u->roiSide - 1) / 2.0;
            uniformRegions_.emplace_back(slices, u->cx, u->cy, half, [half](double dx, double dy) {
                return std::fabs(dx) <= half + 1e-9 && std::fabs(dy) <= half + 1e-9;
            });
            npsSide = u->roiSide;
        }
        if (!objects_.uniform.empty()) {
            if (npsSide == 64 || npsSide == 128 || npsSide == 256)
                nps_.emplace(slices, objects_.uniform, npsSide, pixelMm, p.npsWindow == "trend" ? kNpsTrend : kNpsHann);
            else
                warnings.push_back("The uniform ROIs are " + std::to_string(npsSide) +
                                   " pixels wide: the radial NPS needs 64, 128 or 256, so no NPS was measured.");
        }
        if (const FoundObject* wire = objects_.wire) {
            if (const std::string problem = WireMeasure::problem(*wire, p); problem.empty()) {
                wire_.emplace(slices, *wire, p, pixelMm);
                wireNoise_ = slices.size() == 1 ? wire_->ringSd() : 0;
            } else {
                warnings.push_back(wire->id + " at " + pixelText(wire->cx, wire->cy) + " " + problem + ": no wire MTF.");
            }
        }
        if (const FoundObject* z = objects_.zobject) {
            ssp_.emplace(slices, *z, p.sspRoiShare);
            if (ssp_->count() < 5 || !ssp_->evenlySpaced()) {
                warnings.push_back(z->id + ": " + std::to_string(ssp_->count()) +
                                   (ssp_->evenlySpaced() ? " slices are too few" : " slices are not evenly spaced") +
                                   " for its SSP: no SSP.");
                ssp_.reset();
            }
        }
    }

    const ObjectSet& objects() const { return objects_; }
    size_t slices() const { return slices_; }
    bool hasSsp() const { return ssp_.has_value(); }

    // The contrast and CNR of each insert, and the wire's peak above its
    // background, on the whole series.
    std::pair<double, double> insertContrast(size_t i, const Weights& all) const {
        const auto [inside, insideSd] = insertRegions_[i].stats(all);
        const auto [around, aroundSd] = annuli_[i].stats(all);
        const double contrast = inside - around;
        return {contrast, aroundSd > 0 ? std::fabs(contrast) / aroundSd : 0};
    }
    std::optional<double> wireContrast() const { return wire_ ? std::optional(wire_->contrast()) : std::nullopt; }

    // `noise` draws the new noise a single slice's wire replicate gets; none
    // for the series itself.
    Figures figures(const Weights& w, BootstrapDraws* noise) const {
        Figures f;
        for (const TtfMeasure& t : ttf_) f.ttf.push_back(t.measure(w));
        if (nps_) f.nps = nps_->measure(w);
        for (const RegionMeasure& r : insertRegions_) f.inserts.push_back(r.stats(w));
        for (const RegionMeasure& r : uniformRegions_) f.uniform.push_back(r.stats(w));
        if (wire_) {
            std::vector<float> patch = wire_->meanPatch(wire_->weightsOf(w));
            // One slice has no others to resample: its replicates get new
            // noise of the background's SD over its own pixels.
            if (noise && slices_ == 1)
                for (float& v : patch) v += static_cast<float>(wireNoise_ * noise->normal());
            f.wire = wire_->measure(patch);
        }
        if (ssp_) f.ssp = ssp_->measure(w.sector);
        return f;
    }

private:
    ObjectSet objects_;
    size_t slices_;
    std::vector<TtfMeasure> ttf_;
    std::vector<RegionMeasure> insertRegions_, annuli_, uniformRegions_;
    std::optional<NpsMeasure> nps_;
    std::optional<WireMeasure> wire_;
    double wireNoise_ = 0;
    std::optional<SspMeasure> ssp_;
};

// d' of every task for both observers, from one replicate's TTFs and NPS;
// the grids of task spectra are made on first use and kept.
class DprimeMeasure {
public:
    DprimeMeasure(std::vector<Task> tasks, const Observer& npwe) : tasks_(std::move(tasks)) {
        observers_[0] = Observer{false, npwe.viewingDistance, npwe.zoom, false};
        observers_[1] = Observer{true, npwe.viewingDistance, npwe.zoom, npwe.internalNoise};
    }
    const std::vector<Task>& tasks() const { return tasks_; }
    static constexpr const char* kObserverNames[2] = {"NPW", "NPWE"};

    void measure(Figures& f) {
        f.dprime.clear();
        size_t k = 0;
        for (const Task& t : tasks_)
            for (const Observer& o : observers_) {
                const std::optional<EdgeMtf>& mtf = f.ttf[t.insert];
                std::optional<Detectability> d;
                if (mtf && f.nps) {
                    const std::vector<float> npsF = asFloat(f.nps->f);
                    if (grids_.size() <= k)
                        grids_.push_back(detectabilityGrid(t.task, o, detectabilityReach(mtf->curve.frequency, npsF)));
                    d = detectabilityOfCurves(grids_[k], mtf->curve.frequency, mtf->curve.value, npsF,
                                              log10Of(f.nps->nps));
                }
                f.dprime.push_back(d ? std::optional<double>(d->dPrime) : std::nullopt);
                ++k;
            }
    }

private:
    std::vector<Task> tasks_;
    Observer observers_[2];
    std::vector<DetectabilityGrid> grids_;
};

// One task per insert (its own diameter and contrast), then those asked for,
// each with the TTF of the insert whose |contrast| is nearest.
std::vector<Task> tasksOf(const std::vector<const FoundObject*>& inserts, const std::vector<double>& contrast,
                          double pixelMm, const std::vector<DetectabilityTask>& extra) {
    std::vector<Task> tasks;
    for (size_t i = 0; i < inserts.size(); ++i) tasks.push_back({{2 * inserts[i]->radiusPx * pixelMm, contrast[i]}, i});
    for (const DetectabilityTask& t : extra) {
        if (inserts.empty()) break;
        size_t nearest = 0;
        for (size_t i = 1; i < inserts.size(); ++i)
            if (std::fabs(std::fabs(contrast[i]) - std::fabs(t.contrast)) <
                std::fabs(std::fabs(contrast[nearest]) - std::fabs(t.contrast)))
                nearest = i;
        tasks.push_back({t, nearest});
    }
    return tasks;
}

// Keeps every figure of a replicate under `prefix`.
void record(Replicates& reps, const std::string& prefix, const Figures& f, const Figures& full) {
    for (size_t i = 0; i < f.ttf.size(); ++i) {
        if (!f.ttf[i]) continue;
        const std::string key = prefix + "ttf" + std::to_string(i);
        if (f.ttf[i]->mtf50) reps.add(key + ".mtf50", *f.ttf[i]->mtf50);
        if (f.ttf[i]->mtf10) reps.add(key + ".mtf10", *f.ttf[i]->mtf10);
        if (full.ttf[i]) reps.addCurve(key + ".curve", firstPoints(f.ttf[i]->curve.value, full.ttf[i]->curve.value.size()));
    }
    if (f.nps) {
        reps.add(prefix + "nps.noise", f.nps->noise);
        reps.add(prefix + "nps.fpeak", f.nps->fPeak);
        reps.add(prefix + "nps.fav", f.nps->fAv);
        reps.addCurve(prefix + "nps.curve", f.nps->nps);
    }
    for (size_t i = 0; i < f.inserts.size(); ++i) {
        reps.add(prefix + "insert" + std::to_string(i) + ".mean", f.inserts[i].first);
        reps.add(prefix + "insert" + std::to_string(i) + ".sd", f.inserts[i].second);
    }
    for (size_t i = 0; i < f.uniform.size(); ++i) {
        reps.add(prefix + "uniform" + std::to_string(i) + ".mean", f.uniform[i].first);
        reps.add(prefix + "uniform" + std::to_string(i) + ".sd", f.uniform[i].second);
    }
    if (f.uniform.size() > 1) reps.add(prefix + "uniformity", f.uniformity());
    if (f.wire) {
        if (f.wire->mtf50) reps.add(prefix + "wire.mtf50", *f.wire->mtf50);
        if (f.wire->mtf10) reps.add(prefix + "wire.mtf10", *f.wire->mtf10);
        if (full.wire) reps.addCurve(prefix + "wire.curve", firstPoints(f.wire->curve.value, full.wire->curve.value.size()));
    }
    if (f.ssp) {
        reps.add(prefix + "ssp.fwhm", f.ssp->fwhm);
        reps.add(prefix + "ssp.fwtm", f.ssp->fwtm);
        reps.addCurve(prefix + "ssp.profile", asDouble(f.ssp->profile));
    }
    for (size_t i = 0; i < f.dprime.size(); ++i)
        if (f.dprime[i]) reps.add(prefix + "dprime" + std::to_string(i), *f.dprime[i]);
}

// The series' figures with their intervals, as results.
EvaluationResult assemble(const SeriesMeasures& m, const std::vector<FoundObject>& objects, const Figures& full,
                          const Replicates& reps, const std::string& prefix, const std::vector<Task>& tasks,
                          const Weights& all, float pixelMm) {
    EvaluationResult result;
    result.objects = objects;
    result.series.pixelMm = pixelMm;
    const ObjectSet& set = m.objects();
    // The objects carry what was measured here, so that a recipe's rerun
    // reports the same.
    for (FoundObject& o : result.objects) {
        for (size_t i = 0; i < set.inserts.size(); ++i)
            if (o.id == set.inserts[i]->id) std::tie(o.contrastHu, o.cnr) = m.insertContrast(i, all);
        if (set.wire && o.id == set.wire->id && m.wireContrast()) o.contrastHu = *m.wireContrast();
    }
    for (size_t i = 0; i < set.inserts.size(); ++i) {
        TtfResult t;
        t.object = set.inserts[i]->id;
        std::tie(t.contrastHu, t.cnr) = m.insertContrast(i, all);
        const std::string key = prefix + "ttf" + std::to_string(i);
        if (const auto& mtf = full.ttf[i]) {
            t.mtf50 = reps.estimate(key + ".mtf50", mtf->mtf50);
            t.mtf10 = reps.estimate(key + ".mtf10", mtf->mtf10);
            t.curve = reps.curve(key + ".curve", asDouble(mtf->curve.frequency), asDouble(mtf->curve.value));
        } else {
            result.warnings.push_back(t.object + ": no edge found for its TTF.");
        }
        result.ttf.push_back(std::move(t));
        const std::string insert = prefix + "insert" + std::to_string(i);
        result.ctNumbers.push_back({set.inserts[i]->id, reps.estimate(insert + ".mean", full.inserts[i].first),
                                    reps.estimate(insert + ".sd", full.inserts[i].second)});
    }
    for (size_t i = 0; i < set.uniform.size(); ++i) {
        const std::string uniform = prefix + "uniform" + std::to_string(i);
        result.ctNumbers.push_back({set.uniform[i]->id, reps.estimate(uniform + ".mean", full.uniform[i].first),
                                    reps.estimate(uniform + ".sd", full.uniform[i].second)});
    }
    if (set.uniform.size() > 1) result.uniformityHu = reps.estimate(prefix + "uniformity", full.uniformity());
    if (full.nps) {
        NpsResult r;
        r.noiseHu = reps.estimate(prefix + "nps.noise", full.nps->noise);
        r.fPeak = reps.estimate(prefix + "nps.fpeak", full.nps->fPeak);
        r.fAv = reps.estimate(prefix + "nps.fav", full.nps->fAv);
        r.curve = reps.curve(prefix + "nps.curve", full.nps->f, full.nps->nps);
        r.flat = full.nps->flat;
        result.nps = std::move(r);
    }
    if (set.wire && full.wire) {
        WireResult r;
        r.object = set.wire->id;
        r.mtf50 = reps.estimate(prefix + "wire.mtf50", full.wire->mtf50);
        r.mtf10 = reps.estimate(prefix + "wire.mtf10", full.wire->mtf10);
        r.curve = reps.curve(prefix + "wire.curve", asDouble(full.wire->curve.frequency), asDouble(full.wire->curve.value));
        result.wire = std::move(r);
    }
    if (set.zobject && full.ssp) {
        std::vector<double> z;
        for (size_t k = 0; k < full.ssp->profile.size(); ++k) z.push_back((k - full.ssp->centre) * full.ssp->interval);
        result.ssp = SspResult{set.zobject->id, reps.estimate(prefix + "ssp.fwhm", full.ssp->fwhm),
                               reps.estimate(prefix + "ssp.fwtm", full.ssp->fwtm),
                               reps.curve(prefix + "ssp.profile", z, asDouble(full.ssp->profile))};
    } else if (m.hasSsp()) {
        result.warnings.push_back(set.zobject->id + ": its profile has no clear peak: no SSP.");
    }
    size_t k = 0;
    for (const Task& t : tasks)
        for (const char* observer : DprimeMeasure::kObserverNames) {
            result.dprime.push_back({t.task.diameter, t.task.contrast, observer, set.inserts[t.insert]->id,
                                     reps.estimate(prefix + "dprime" + std::to_string(k), full.dprime[k])});
            ++k;
        }
    return result;
}

// The ratios and shifts of the other series against the first, per replicate.
void recordComparison(Replicates& reps, const Figures& a, const Figures& b) {
    for (size_t i = 0; i < a.ttf.size(); ++i) {
        if (!a.ttf[i] || !b.ttf[i]) continue;
        if (a.ttf[i]->mtf50 && b.ttf[i]->mtf50)
            reps.add("cmp.ttf" + std::to_string(i) + ".mtf50", *b.ttf[i]->mtf50 / *a.ttf[i]->mtf50);
        if (a.ttf[i]->mtf10 && b.ttf[i]->mtf10)
            reps.add("cmp.ttf" + std::to_string(i) + ".mtf10", *b.ttf[i]->mtf10 / *a.ttf[i]->mtf10);
    }
    if (a.nps && b.nps) {
        reps.add("cmp.noise", b.nps->noise / a.nps->noise);
        reps.add("cmp.fav", b.nps->fAv - a.nps->fAv);
    }
    for (size_t i = 0; i < a.dprime.size(); ++i)
        if (a.dprime[i] && b.dprime[i]) reps.add("cmp.dprime" + std::to_string(i), *b.dprime[i] / *a.dprime[i]);
}

std::optional<double> ratio(const std::optional<double>& a, const std::optional<double>& b) {
    return a && b && *a != 0 ? std::optional(*b / *a) : std::nullopt;
}

// The two series' figures and their comparison, from one set of draws: the
// same slices are drawn in both (a paired bootstrap).
struct Run {
    EvaluationResult first;
    std::optional<EvaluationResult> other;
    std::optional<Comparison> comparison;
};

Run runEvaluation(const std::vector<SliceImage>& slices, const std::vector<SliceImage>* otherSlices, float pixelMm,
                  const std::vector<FoundObject>& objects, const EvaluationParameters& p,
                  const std::function<void(int done, int total)>& progress) {
    const size_t n = slices.size();
    const int replicates = std::max(p.bootstrap, 0);
    const int total = static_cast<int>(n) + replicates;
    auto report = [&](int done) {
        if (progress) progress(done, total);
    };
    Run run;
    std::vector<std::string> warnings, otherWarnings;
    const SeriesMeasures measures(slices, pixelMm, objects, p, warnings);
    std::optional<SeriesMeasures> otherMeasures;
    if (otherSlices) otherMeasures.emplace(*otherSlices, pixelMm, objects, p, otherWarnings);
    report(static_cast<int>(n));

    const ObjectSet& set = measures.objects();
    const Weights all = allOnes(n, set.uniform.size());
    std::vector<double> contrast;
    for (size_t i = 0; i < set.inserts.size(); ++i) contrast.push_back(measures.insertContrast(i, all).first);
    DprimeMeasure dprime(tasksOf(set.inserts, contrast, pixelMm, p.tasks), p.npwe);

    Figures full = measures.figures(all, nullptr);
    dprime.measure(full);
    std::optional<Figures> otherFull;
    if (otherMeasures) {
        otherFull = otherMeasures->figures(all, nullptr);
        dprime.measure(*otherFull);
    }

    // The replicates: weights drawn in a fixed order from the seed, so a
    // rerun gives the same intervals.
    Replicates reps;
    BootstrapDraws draws(p.seed);
    for (int r = 0; r < replicates; ++r) {
        // Slices are the units; a single slice resamples its sectors and
        // ROIs instead. The SSP, whose slices are its profile, always
        // resamples the sectors of its disc.
        Weights w = all;
        if (n > 1) w.slice = draws.weights(static_cast<int>(n));
        else w.roi = draws.weights(static_cast<int>(set.uniform.size()));
        w.sector = draws.weights(kSectors);
        Figures f = measures.figures(w, &draws);
        dprime.measure(f);
        record(reps, "a.", f, full);
        if (otherMeasures) {
            Figures g = otherMeasures->figures(w, &draws);
            dprime.measure(g);
            record(reps, "b.", g, *otherFull);
            recordComparison(reps, f, g);
        }
        report(static_cast<int>(n) + r + 1);
    }

    run.first = assemble(measures, objects, full, reps, "a.", dprime.tasks(), all, pixelMm);
    run.first.warnings.insert(run.first.warnings.begin(), warnings.begin(), warnings.end());
    warnAboutNoise(run.first, n, set.uniform.size());
    if (!otherMeasures) return run;
    run.other = assemble(*otherMeasures, objects, *otherFull, reps, "b.", dprime.tasks(), all, pixelMm);
    run.other->warnings.insert(run.other->warnings.begin(), otherWarnings.begin(), otherWarnings.end());
    warnAboutNoise(*run.other, n, set.uniform.size());

    Comparison c;
    for (size_t i = 0; i < set.inserts.size(); ++i) {
        const std::optional<EdgeMtf>& a = full.ttf[i];
        const std::optional<EdgeMtf>& b = otherFull->ttf[i];
        const std::string key = "cmp.ttf" + std::to_string(i);
        c.ttf.push_back({set.inserts[i]->id, reps.estimate(key + ".mtf50", a && b ? ratio(a->mtf50, b->mtf50) : std::nullopt),
                         reps.estimate(key + ".mtf10", a && b ? ratio(a->mtf10, b->mtf10) : std::nullopt)});
    }
    if (full.nps && otherFull->nps) {
        c.noiseRatio = reps.estimate("cmp.noise", otherFull->nps->noise / full.nps->noise);
        c.fAvShift = reps.estimate("cmp.fav", otherFull->nps->fAv - full.nps->fAv);
    }
    size_t k = 0;
    for (const Task& t : dprime.tasks())
        for (const char* observer : DprimeMeasure::kObserverNames) {
            c.dprime.push_back({t.task.diameter, t.task.contrast, observer,
                                reps.estimate("cmp.dprime" + std::to_string(k), ratio(full.dprime[k], otherFull->dprime[k]))});
            ++k;
        }
    run.comparison = std::move(c);
    return run;
}

}  // namespace

EvaluationResult evaluateSeries(const std::vector<SliceImage>& slices, float pixelMm,
                                const std::vector<FoundObject>& objects, const EvaluationParameters& parameters,
                                const std::function<void(int done, int total)>& progress) {
    if (slices.empty()) {
        EvaluationResult empty;
        empty.objects = objects;
        empty.series.pixelMm = pixelMm;
        return empty;
    }
    return runEvaluation(slices, nullptr, pixelMm, objects, parameters, progress).first;
}

std::optional<ComparedSeries> compareSeries(const std::vector<SliceImage>& slices,
                                            const std::vector<SliceImage>& otherSlices, float pixelMm,
                                            const std::vector<FoundObject>& objects,
                                            const EvaluationParameters& parameters,
                                            const std::function<void(int done, int total)>& progress) {
    if (slices.empty() || slices.size() != otherSlices.size()) return std::nullopt;
    Run run = runEvaluation(slices, &otherSlices, pixelMm, objects, parameters, progress);
    return ComparedSeries{std::move(run.first), std::move(*run.other), std::move(*run.comparison)};
}

}  // namespace halvex
