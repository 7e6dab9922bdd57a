#include "noise_reduction/processing_parameters.h"

#include <algorithm>

#include "platform/number_text.h"

namespace halvex {

ProcessingParameters ProcessingParameters::limited() const {
    ProcessingParameters p = *this;
    p.iterations = std::min<int16_t>(p.iterations, 3);
    p.windowHalfWidth = std::min<int16_t>(p.windowHalfWidth, 7);
    p.type1Enhance = std::min(p.type1Enhance, 3.5f);
    p.type2Low = std::max(p.type2Low, 0.0f);
    p.type2High = std::max(p.type2High, 0.0f);
    p.type2ZEnhance = std::max(p.type2ZEnhance, 0.0f);
    return p;
}

ProcessingParameters parseParameters(const ParameterTexts& t) {
    auto real = [&](int i) { return static_cast<float>(leadingNumber(t[static_cast<size_t>(i)])); };
    auto whole = [&](int i) { return textToInt16(t[static_cast<size_t>(i)]); };
    ProcessingParameters p;
    p.iterations = whole(0);
    p.windowHalfWidth = whole(1);
    p.edgeLow = real(2);
    p.edgeHigh = real(3);
    p.rangeSigma1 = real(4);
    p.rangeSigma2 = real(5);
    p.blendRatio = real(6);
    p.zReposition = whole(7);
    p.preType = whole(8);
    p.type1Enhance = real(9);
    p.type2Low = real(10);
    p.type2High = real(11);
    p.type2ZEnhance = real(12);
    return p;
}

std::string formatParameterLine(const ProcessingParameters& p) {
    return formatFixed(p.iterations, "0") + formatFixed(p.windowHalfWidth, " 0") + formatFixed(p.edgeLow, " 00") +
           formatFixed(p.edgeHigh, " 00") + formatFixed(p.rangeSigma1, " 00") + formatFixed(p.rangeSigma2, " 00") +
           formatFixed(p.blendRatio, " 0.00") + formatFixed(p.zReposition, " 0") + formatFixed(p.preType, " 0") +
           formatFixed(p.type1Enhance, " 0.0") + formatFixed(p.type2Low, " 0.0") + formatFixed(p.type2High, " 0.0") +
           formatFixed(p.type2ZEnhance, " 0.0");
}

std::optional<ParameterTexts> splitParameterLine(const std::string& line) {
    ParameterTexts fields;
    size_t start = 0;
    for (int k = 0; k < kParameterFields; ++k) {
        if (start > line.size()) return std::nullopt;
        const size_t space = line.find(' ', start);
        const size_t end = space == std::string::npos ? line.size() : space;
        fields[static_cast<size_t>(k)] = line.substr(start, end - start);
        start = space == std::string::npos ? line.size() + 1 : space + 1;
    }
    return fields;
}

std::vector<std::string> parameterLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size() && lines.size() < kMaxParameterLines) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "END") return lines;
        lines.push_back(std::move(line));
        start = end + 1;
    }
    // No "END" within the lines read: the last one read stands for it.
    if (lines.size() == kMaxParameterLines) lines.pop_back();
    return lines;
}

std::string parameterFileText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text + "END\r\n";
}

std::string parameterProblem(const ProcessingParameters& p) {
    if (p.windowHalfWidth < 1) return "Iteration wn: the window half-width wn must be 1 or more.";
    if (!(p.rangeSigma1 > 0) || !(p.rangeSigma2 > 0)) return "CT1 CT2: both CT scales must be above 0.";
    if (!(p.edgeHigh > p.edgeLow)) return "Edge1 Edge2: Edge2 must be above Edge1.";
    if (p.zReposition != 0 && p.zReposition != 1) return "z reposi: must be 0 or 1.";
    if (!(p.blendRatio >= 0 && p.blendRatio <= 0.5f)) return "Rorg: the blending ratio must be 0 to 0.5.";
    return {};
}

}  // namespace halvex
