#include "evaluation/qt/report.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <map>

#include "evaluation/qt/plot.h"
#include "evaluation/recipe.h"
#include "evaluation/results_json.h"

namespace halvex {

namespace {

constexpr int kGraphWidth = 760, kGraphHeight = 380;
const char* const kMinus = "\xE2\x88\x92";  // the minus sign

std::string fixed(double v, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    return text;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

std::string withInterval(const Estimate& e, int digits) {
    if (!e.defined) return "&ndash;";
    return fixed(e.value, digits) + " [" + fixed(e.lo, digits) + ", " + fixed(e.hi, digits) + "]";
}

std::string contrastLabel(double contrast) {
    return (contrast < 0 ? std::string(kMinus) : "+") + fixed(std::fabs(contrast), 0) + " HU";
}

PlotCurve curveOf(const EstimatedCurve& c, const std::string& label, QColor colour, bool dashed) {
    return {QString::fromStdString(label), c.f, c.value, c.lo, c.hi, colour, dashed};
}

// The document's text with its images named; written out as HTML with the
// images inline, or laid out as PDF pages with them as resources.
class ReportBuilder {
public:
    explicit ReportBuilder(const ReportInput& in) : in_(in), r_(*in.result) { build(); }

    std::string html() const {
        std::string text = body_;
        for (const auto& [name, image] : images_) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            const std::string data = "data:image/png;base64," + png.toBase64().toStdString();
            for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + data.size()))
                text.replace(at, name.size(), data);
        }
        return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>halvex evaluation</title>\n"
               "<style>body{font-family:sans-serif;max-width:800px;margin:auto;padding:12px;color:#111}"
               "table{border-collapse:collapse;margin:6px 0 14px 0}td,th{border:1px solid #999;padding:3px 8px;"
               "text-align:left}th{background:#eee}.warnings{border:2px solid #c60;background:#fff4e5;padding:6px 12px}"
               "img{max-width:100%}h2{margin-top:22px}@media print{h2{page-break-after:avoid}}</style>"
               "</head><body>\n" +
               text + "</body></html>\n";
    }

    std::string pdf() const {
        QTextDocument document;
        for (const auto& [name, image] : images_)
            document.addResource(QTextDocument::ImageResource, QUrl(QString::fromStdString(name)), image);
        document.setHtml(QString::fromStdString("<html><body>" + pdfBody() + "</body></html>"));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
            writer.setResolution(96);
            writer.setTitle("halvex evaluation");
            writer.setCreator(QString::fromStdString("halvex " + in_.halvexVersion));
            document.setPageSize(writer.pageLayout().paintRectPixels(96).size());
            document.print(&writer);
        }
        return bytes.toStdString();
    }

private:
    // The PDF's layout does not know style sheets: the tables get their
    // borders and the warnings their frame as attributes.
    std::string pdfBody() const {
        std::string text = body_;
        auto replaceAll = [&text](const std::string& from, const std::string& to) {
            for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
                text.replace(at, from.size(), to);
        };
        replaceAll("<table>", "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">");
        replaceAll("<div class=\"warnings\">",
                   "<table border=\"2\" cellpadding=\"6\" width=\"100%\" bgcolor=\"#fff4e5\"><tr><td>");
        replaceAll("</div><!--warnings-->", "</td></tr></table>");
        replaceAll("width=\"760\"", "width=\"640\"");
        replaceAll("width=\"512\"", "width=\"420\"");  // the slice picture fits under the header
        return text;
    }

    void add(const std::string& text) { body_ += text; }
    void image(const std::string& name, const QImage& picture, int width) {
        images_[name] = picture;
        add("<p><img src=\"" + name + "\" width=\"" + std::to_string(width) + "\" alt=\"" + name + "\"></p>\n");
    }
    void row(const std::vector<std::string>& cells, bool head = false) {
        add("<tr>");
        for (const std::string& c : cells) add((head ? "<th>" : "<td>") + c + (head ? "</th>" : "</td>"));
        add("</tr>\n");
    }

    void build() {
        const SeriesSummary& s = r_.series;
        add("<h1>halvex evaluation</h1>\n");
        if (!r_.warnings.empty() || (in_.other && !in_.other->warnings.empty())) {
            add("<div class=\"warnings\"><b>Warnings</b><ul>\n");
            for (const std::string& w : r_.warnings) add("<li>" + escaped(w) + "</li>\n");
            if (in_.other)
                for (const std::string& w : in_.other->warnings) add("<li>" + escaped(in_.other->series.source + ": " + w) + "</li>\n");
            add("</ul></div><!--warnings-->\n");
        }
        add("<table>\n");
        auto seriesRows = [&](const SeriesSummary& x, const std::string& which) {
            row({"Series" + which, escaped(x.source)});
            row({"Slices", std::to_string(x.last - x.first + 1) + " (" + std::to_string(x.first) + "&ndash;" +
                               std::to_string(x.last) + "), " +
                               (x.files > 0 ? std::to_string(x.files) + " files" : "made by halvex, no files")});
        };
        seriesRows(s, in_.other ? " (first)" : "");
        if (in_.other) seriesRows(in_.other->series, " (other)");
        row({"Kernel", s.kernel.empty() ? "&ndash;" : escaped(s.kernel)});
        row({"Slice thickness", fixed(s.thicknessMm, 2) + " mm"});
        row({"Pixel size", fixed(s.pixelMm, 3) + " mm"});
        if (s.kv > 0) row({"Tube voltage", fixed(s.kv, 0) + " kV"});
        if (s.mas > 0) row({"Exposure", fixed(s.mas, 0) + " mAs"});
        if (s.ctdiVolMgy > 0) row({"CTDIvol", fixed(s.ctdiVolMgy, 2) + " mGy"});
        row({"halvex", escaped(in_.halvexVersion)});
        row({"Date", escaped(in_.created)});
        row({"Recipe SHA-256", "<span style=\"font-family:monospace;font-size:7pt\">" + escaped(in_.recipeSha256) + "</span>"});
        add("</table>\n");
        if (in_.comparison)
            add("<p><b>Other against first:</b> " + comparisonSummary(*in_.comparison, r_) + "</p>\n");

        if (in_.meanHu.size() == 512u * 512u) {
            add("<h2>Objects</h2>\n<p>The mean of the slices, window 400 / 40 HU, with every object as in the tables.</p>\n");
            image("slice.png", slicePicture(in_.meanHu, r_.objects, 400, 40, 512), 512);
        }
        ctNumbers();
        noise();
        ttf();
        wire();
        ssp();
        dprime();
        if (in_.comparison) comparison();
    }

    // The series' own tables, each under the name of the series when two are compared.
    std::vector<std::pair<const EvaluationResult*, std::string>> series() const {
        if (!in_.other) return {{&r_, ""}};
        return {{&r_, "First series: " + escaped(r_.series.source)},
                {in_.other, "Other series: " + escaped(in_.other->series.source)}};
    }
    void caption(const std::string& text) {
        if (!text.empty()) add("<p><i>" + text + "</i></p>\n");
    }

    void ctNumbers() {
        add("<h2>CT numbers</h2>\n");
        for (const auto& [r, name] : series()) {
            caption(name);
            add("<table>\n");
            row({"Object", "Mean (HU) [95 %]", "SD (HU) [95 %]"}, true);
            for (const CtNumberResult& c : r->ctNumbers)
                row({escaped(c.object), withInterval(c.meanHu, 2), withInterval(c.sdHu, 2)});
            add("</table>\n");
            if (r->uniformityHu.defined)
                add("<p>Uniformity (largest |peripheral &minus; centre|): " + withInterval(r->uniformityHu, 2) + " HU</p>\n");
        }
    }

    void noise() {
        if (!r_.nps) return;
        const NpsResult& n = *r_.nps;
        add("<h2>Noise</h2>\n");
        for (const auto& [r, name] : series()) {
            if (!r->nps) continue;
            caption(name);
            add("<table>\n");
            row({"Noise SD", withInterval(r->nps->noiseHu, 2) + " HU"});
            row({"Peak frequency f<sub>peak</sub>",
                 withInterval(r->nps->fPeak, 3) + " cycles/mm" + (r->nps->flat ? " (flat NPS)" : "")});
            row({"Mean frequency f<sub>av</sub>", withInterval(r->nps->fAv, 3) + " cycles/mm"});
            add("</table>\n");
        }
        PlotSpec spec{"Noise power spectrum", "Spatial frequency (cycles/mm)", "NPS (HU\xC2\xB2 mm\xC2\xB2)", {}};
        spec.curves.push_back(curveOf(n.curve, in_.other ? "first" : "", curveColour(0), false));
        if (in_.other && in_.other->nps) spec.curves.push_back(curveOf(in_.other->nps->curve, "other", curveColour(0), true));
        spec.yMin = 0;
        spec.yMax = 0;
        image("nps.png", plotCurves(spec, kGraphWidth, kGraphHeight), kGraphWidth);
    }

    void ttf() {
        if (r_.ttf.empty()) return;
        add("<h2>TTF of the inserts</h2>\n");
        for (const auto& [r, name] : series()) {
            caption(name);
            add("<table>\n");
            row({"Insert", "Contrast (HU)", "CNR", "MTF50 (cycles/mm) [95 %]", "MTF10 (cycles/mm) [95 %]"}, true);
            for (const TtfResult& t : r->ttf)
                row({escaped(t.object), fixed(t.contrastHu, 1), fixed(t.cnr, 1), withInterval(t.mtf50, 3),
                     withInterval(t.mtf10, 3)});
            add("</table>\n");
        }
        PlotSpec spec{"TTF of the inserts", "Spatial frequency (cycles/mm)", "MTF", {}};
        for (size_t i = 0; i < r_.ttf.size(); ++i) {
            const TtfResult& t = r_.ttf[i];
            spec.curves.push_back(curveOf(t.curve, contrastLabel(t.contrastHu) + " (" + t.object + ")", curveColour(i), false));
            if (in_.other && i < in_.other->ttf.size())
                spec.curves.push_back(curveOf(in_.other->ttf[i].curve, contrastLabel(t.contrastHu) + " other", curveColour(i), true));
        }
        spec.yMin = 0;
        spec.yMax = 1.1;
        image("ttf.png", plotCurves(spec, kGraphWidth, kGraphHeight), kGraphWidth);
    }

    void wire() {
        if (!r_.wire) return;
        add("<h2>Wire MTF (" + escaped(r_.wire->object) + ")</h2>\n");
        for (const auto& [r, name] : series()) {
            if (!r->wire) continue;
            caption(name);
            add("<table>\n");
            row({"MTF50", withInterval(r->wire->mtf50, 3) + " cycles/mm"});
            row({"MTF10", withInterval(r->wire->mtf10, 3) + " cycles/mm"});
            add("</table>\n");
        }
        PlotSpec spec{"MTF of the wire (2D FFT)", "Spatial frequency (cycles/mm)", "MTF", {}};
        spec.curves.push_back(curveOf(r_.wire->curve, in_.other ? "first" : "", curveColour(0), false));
        if (in_.other && in_.other->wire) spec.curves.push_back(curveOf(in_.other->wire->curve, "other", curveColour(0), true));
        spec.yMin = 0;
        spec.yMax = 1.1;
        image("wire.png", plotCurves(spec, kGraphWidth, kGraphHeight), kGraphWidth);
    }

    void ssp() {
        if (!r_.ssp) return;
        add("<h2>Slice sensitivity profile (" + escaped(r_.ssp->object) + ")</h2>\n");
        for (const auto& [r, name] : series()) {
            if (!r->ssp) continue;
            caption(name);
            add("<table>\n");
            row({"FWHM", withInterval(r->ssp->fwhmMm, 3) + " mm"});
            row({"FWTM", withInterval(r->ssp->fwtmMm, 3) + " mm"});
            add("</table>\n");
        }
        if (r_.ssp->profile.f.empty()) return;
        PlotSpec spec{"Slice sensitivity profile", "z from the profile's centre (mm)", "Relative signal", {}};
        spec.curves.push_back(curveOf(r_.ssp->profile, in_.other ? "first" : "", curveColour(0), false));
        if (in_.other && in_.other->ssp)
            spec.curves.push_back(curveOf(in_.other->ssp->profile, "other", curveColour(0), true));
        image("ssp.png", plotCurves(spec, kGraphWidth, kGraphHeight), kGraphWidth);
    }

    void dprime() {
        if (r_.dprime.empty()) return;
        add("<h2>Detectability d'</h2>\n");
        for (const auto& [r, name] : series()) {
            caption(name);
            add("<table>\n");
            row({"Task", "Observer", "d' [95 %]", "TTF of"}, true);
            for (const DprimeResult& d : r->dprime)
                row({fixed(d.diameterMm, 1) + " mm, " + contrastLabel(d.contrastHu), d.observer,
                     withInterval(d.value, 2), escaped(d.ttfObject)});
            add("</table>\n");
        }
        // Bars by task, NPW and NPWE side by side, the other series' lighter.
        std::vector<PlotBar> bars;
        for (size_t i = 0; i < r_.dprime.size(); ++i) {
            const DprimeResult& d = r_.dprime[i];
            const size_t colour = d.observer == "NPW" ? 0 : 1;
            const QString group = QString::fromStdString(fixed(d.diameterMm, 1) + " mm\n" + contrastLabel(d.contrastHu));
            const std::string which = in_.other ? " first" : "";
            if (d.value.defined)
                bars.push_back({group, QString::fromStdString(d.observer + which), d.value.value, d.value.lo,
                                d.value.hi, curveColour(colour)});
            if (in_.other && i < in_.other->dprime.size() && in_.other->dprime[i].value.defined) {
                const Estimate& o = in_.other->dprime[i].value;
                bars.push_back({group, QString::fromStdString(d.observer + " other"), o.value, o.lo, o.hi,
                                curveColour(colour).lighter(150)});
            }
        }
        image("dprime.png", plotBars("Detectability d' (95 % intervals)", "d'", bars, kGraphWidth, kGraphHeight),
              kGraphWidth);
    }

    void comparison() {
        const Comparison& c = *in_.comparison;
        add("<h2>Other series against the first</h2>\n<table>\n");
        row({"Figure", "Other / first [95 %]"}, true);
        for (const TtfComparison& t : c.ttf) {
            row({"MTF50 of " + escaped(t.object), withInterval(t.mtf50Ratio, 3)});
            row({"MTF10 of " + escaped(t.object), withInterval(t.mtf10Ratio, 3)});
        }
        row({"Noise SD", withInterval(c.noiseRatio, 3)});
        row({"Shift of f<sub>av</sub> (cycles/mm)", withInterval(c.fAvShift, 4)});
        for (const DprimeComparison& d : c.dprime)
            row({"d' " + fixed(d.diameterMm, 1) + " mm, " + contrastLabel(d.contrastHu) + " " + d.observer,
                 withInterval(d.ratio, 3)});
        add("</table>\n");
    }

    const ReportInput& in_;
    const EvaluationResult& r_;
    std::string body_;
    std::map<std::string, QImage> images_;
};

}  // namespace

ReportFiles makeReport(const ReportInput& input) {
    const ReportBuilder builder(input);
    return {builder.html(), builder.pdf()};
}

}  // namespace halvex
