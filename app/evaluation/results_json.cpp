#include "evaluation/results_json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "evaluation/recipe.h"

namespace halvex {

namespace {

using Json = nlohmann::ordered_json;

Json scalar(const Estimate& e) {
    if (!e.defined) return Json(nullptr);
    return Json{{"value", e.value}, {"ci95", {e.lo, e.hi}}};
}

Json curve(const EstimatedCurve& c) { return Json{{"f", c.f}, {"value", c.value}, {"lo", c.lo}, {"hi", c.hi}}; }

std::string fixed(double v, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    return text;
}

// "0.375 [0.372, 0.380]", or "-" when not measured.
std::string withInterval(const Estimate& e, int digits) {
    if (!e.defined) return "-";
    return fixed(e.value, digits) + " [" + fixed(e.lo, digits) + ", " + fixed(e.hi, digits) + "]";
}

std::string padded(std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + " ";
}

// Everything of one series' results but the version and time.
Json seriesResults(const EvaluationResult& r) {
    Json j;
    const SeriesSummary& s = r.series;
    j["series"] = {{"source", s.source},       {"files", s.files},         {"slices", {s.first, s.last}},
                   {"pixel_mm", s.pixelMm},    {"kernel", s.kernel},       {"thickness_mm", s.thicknessMm},
                   {"kv", s.kv},               {"mas", s.mas},             {"ctdivol_mgy", s.ctdiVolMgy}};
    j["objects"] = Json::array();
    for (const FoundObject& o : r.objects)
        j["objects"].push_back({{"id", o.id},
                                {"kind", kindName(o.kind)},
                                {"centre_px", {o.cx, o.cy}},
                                {"radius_mm", o.radiusPx * s.pixelMm},
                                {"contrast_hu", o.contrastHu},
                                {"slices", {s.first + o.firstSlice, s.first + o.lastSlice}}});
    j["ttf"] = Json::array();
    for (const TtfResult& t : r.ttf)
        j["ttf"].push_back({{"object", t.object},
                            {"contrast_hu", t.contrastHu},
                            {"cnr", t.cnr},
                            {"mtf50", scalar(t.mtf50)},
                            {"mtf10", scalar(t.mtf10)},
                            {"curve", curve(t.curve)}});
    if (r.nps)
        j["nps"] = {{"noise_hu", scalar(r.nps->noiseHu)}, {"f_peak", scalar(r.nps->fPeak)},
                    {"f_av", scalar(r.nps->fAv)},         {"flat", r.nps->flat},
                    {"curve", curve(r.nps->curve)}};
    else
        j["nps"] = nullptr;
    j["ct_numbers"] = Json::array();
    for (const CtNumberResult& c : r.ctNumbers)
        j["ct_numbers"].push_back({{"object", c.object}, {"mean_hu", scalar(c.meanHu)}, {"sd_hu", scalar(c.sdHu)}});
    j["uniformity_hu"] = scalar(r.uniformityHu);
    if (r.wire)
        j["wire_mtf"] = {{"object", r.wire->object},
                         {"mtf50", scalar(r.wire->mtf50)},
                         {"mtf10", scalar(r.wire->mtf10)},
                         {"curve", curve(r.wire->curve)}};
    else
        j["wire_mtf"] = nullptr;
    if (r.ssp)
        j["ssp"] = {{"object", r.ssp->object}, {"fwhm_mm", scalar(r.ssp->fwhmMm)}, {"fwtm_mm", scalar(r.ssp->fwtmMm)}};
    else
        j["ssp"] = nullptr;
    j["dprime"] = Json::array();
    for (const DprimeResult& d : r.dprime)
        j["dprime"].push_back({{"diameter_mm", d.diameterMm},
                               {"contrast_hu", d.contrastHu},
                               {"observer", d.observer},
                               {"ttf_object", d.ttfObject},
                               {"value", scalar(d.value)}});
    j["warnings"] = r.warnings;
    return j;
}

Json comparisonJson(const Comparison& c) {
    Json j;
    j["ttf"] = Json::array();
    for (const TtfComparison& t : c.ttf)
        j["ttf"].push_back({{"object", t.object}, {"mtf50_ratio", scalar(t.mtf50Ratio)}, {"mtf10_ratio", scalar(t.mtf10Ratio)}});
    j["noise_ratio"] = scalar(c.noiseRatio);
    j["f_av_shift"] = scalar(c.fAvShift);
    j["dprime"] = Json::array();
    for (const DprimeComparison& d : c.dprime)
        j["dprime"].push_back({{"diameter_mm", d.diameterMm},
                               {"contrast_hu", d.contrastHu},
                               {"observer", d.observer},
                               {"dprime_ratio", scalar(d.ratio)}});
    return j;
}

const char* const kMinus = "\xE2\x88\x92";  // the minus sign

// A ratio as a change in percent with a sign: "+85", "−3".
std::string percent(double ratio) {
    const double p = std::round((ratio - 1) * 100);
    return (p < 0 ? std::string(kMinus) : "+") + fixed(std::fabs(p), 0);
}

std::string change(const Estimate& ratio) {
    if (!ratio.defined) return "-";
    return percent(ratio.value) + " % [" + percent(ratio.lo) + ", " + percent(ratio.hi) + "]";
}

std::string contrastText(double contrast) {
    return (contrast < 0 ? std::string(kMinus) : "+") + fixed(std::fabs(contrast), 0) + " HU";
}

}  // namespace

std::string resultsJson(const EvaluationResult& r, const std::string& halvexVersion, const std::string& created,
                        const EvaluationResult* other, const Comparison* comparison) {
    Json j;
    j["halvex_version"] = halvexVersion;
    j["created"] = created;
    j.update(seriesResults(r));
    if (other) j["other"] = seriesResults(*other);
    if (comparison) j["comparison"] = comparisonJson(*comparison);
    return j.dump(2) + "\n";
}

std::string comparisonSummary(const Comparison& c, const EvaluationResult& first) {
    std::string text = "noise " + change(c.noiseRatio);
    // The inserts from the faintest on, where a denoiser loses resolution first.
    std::vector<size_t> order(c.ttf.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::fabs(first.ttf[a].contrastHu) < std::fabs(first.ttf[b].contrastHu);
    });
    for (size_t i : order) text += ", MTF50 at " + contrastText(first.ttf[i].contrastHu) + " " + change(c.ttf[i].mtf50Ratio);
    for (const DprimeComparison& d : c.dprime)
        if (d.observer == "NPW" && !order.empty() && d.contrastHu == first.ttf[order.front()].contrastHu) {
            text += ", d' " + change(d.ratio);
            break;
        }
    return text;
}

std::string curvesCsv(const EvaluationResult& r, const std::string& series) {
    std::string csv = "series,curve,f,value,lo,hi\n";
    // Names are quoted, doubling any quote inside, so that a folder name
    // with a comma stays one field.
    auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    auto rows = [&](const std::string& name, const EstimatedCurve& c) {
        char line[160];
        for (size_t i = 0; i < c.f.size(); ++i) {
            std::snprintf(line, sizeof line, ",%.6g,%.9g,%.9g,%.9g\n", c.f[i], c.value[i], c.lo[i], c.hi[i]);
            csv += quoted(series) + "," + quoted(name) + line;
        }
    };
    for (const TtfResult& t : r.ttf) rows("ttf " + t.object, t.curve);
    if (r.nps) rows("nps", r.nps->curve);
    if (r.wire) rows("wire_mtf " + r.wire->object, r.wire->curve);
    return csv;
}

std::string summaryText(const EvaluationResult& r) {
    std::string out;
    const SeriesSummary& s = r.series;
    out += s.source + ": slices " + std::to_string(s.first) + "-" + std::to_string(s.last) + ", pixel " +
           fixed(s.pixelMm, 3) + " mm, kernel " + (s.kernel.empty() ? "-" : s.kernel) + ", thickness " +
           fixed(s.thicknessMm, 2) + " mm\n";
    out += "\n" + padded("object", 16) + padded("kind", 8) + padded("centre (px)", 16) + padded("radius (mm)", 12) +
           "contrast (HU)\n";
    for (const FoundObject& o : r.objects)
        out += padded(o.id, 16) + padded(kindName(o.kind), 8) + padded(fixed(o.cx, 1) + ", " + fixed(o.cy, 1), 16) +
               padded(fixed(o.radiusPx * s.pixelMm, 2), 12) + fixed(o.contrastHu, 1) + "\n";
    if (!r.ttf.empty()) {
        out += "\n" + padded("TTF", 16) + padded("contrast", 9) + padded("CNR", 6) + padded("MTF50 (cycles/mm)", 26) +
               "MTF10 (cycles/mm)\n";
        for (const TtfResult& t : r.ttf)
            out += padded(t.object, 16) + padded(fixed(t.contrastHu, 1), 9) + padded(fixed(t.cnr, 1), 6) +
                   padded(withInterval(t.mtf50, 3), 26) + withInterval(t.mtf10, 3) + "\n";
    }
    if (r.nps)
        out += "\nNPS: noise " + withInterval(r.nps->noiseHu, 2) + " HU, f_peak " + withInterval(r.nps->fPeak, 3) +
               (r.nps->flat ? " (flat)" : "") + ", f_av " + withInterval(r.nps->fAv, 3) + " cycles/mm\n";
    if (!r.ctNumbers.empty()) {
        out += "\n" + padded("CT number", 16) + padded("mean (HU)", 26) + "SD (HU)\n";
        for (const CtNumberResult& c : r.ctNumbers)
            out += padded(c.object, 16) + padded(withInterval(c.meanHu, 2), 26) + withInterval(c.sdHu, 2) + "\n";
        if (r.uniformityHu.defined) out += "uniformity " + withInterval(r.uniformityHu, 2) + " HU\n";
    }
    if (r.wire)
        out += "\nwire MTF (" + r.wire->object + "): MTF50 " + withInterval(r.wire->mtf50, 3) + ", MTF10 " +
               withInterval(r.wire->mtf10, 3) + " cycles/mm\n";
    if (r.ssp)
        out += "SSP (" + r.ssp->object + "): FWHM " + withInterval(r.ssp->fwhmMm, 3) + " mm, FWTM " +
               withInterval(r.ssp->fwtmMm, 3) + " mm\n";
    if (!r.dprime.empty()) {
        out += "\n" + padded("d'", 26) + padded("observer", 9) + "value\n";
        for (const DprimeResult& d : r.dprime)
            out += padded(fixed(d.diameterMm, 1) + " mm " + fixed(d.contrastHu, 1) + " HU", 26) + padded(d.observer, 9) +
                   withInterval(d.value, 2) + "\n";
    }
    for (const std::string& w : r.warnings) out += "warning: " + w + "\n";
    return out;
}

}  // namespace halvex
