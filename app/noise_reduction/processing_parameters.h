// The thirteen values that steer the 3D noise reduction, their text in the
// main window's boxes and in "PARAM.TXT", and the checks a run applies.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

inline constexpr const char* kParameterFile = "PARAM.TXT";
inline constexpr int kParameterFields = 13;
inline constexpr int kMaxParameterSets = 10;
inline constexpr size_t kMaxParameterLines = 16;  // the "END" line included

struct ProcessingParameters {
    int16_t iterations = 2;        // along-edge passes
    int16_t windowHalfWidth = 6;   // r of the (2r+1)^3 along-edge window
    float edgeLow = 70;            // gradient thresholds of the adaptive passes
    float edgeHigh = 150;
    float rangeSigma1 = 150;       // CT-difference scale of the first pass
    float rangeSigma2 = 100;       // and of the later ones
    float blendRatio = 0.3f;       // fine texture of the input mixed back in
    int16_t zReposition = 1;       // 1: output at the input positions; 0: at cubic spacing
    int16_t preType = 1;           // pre-enhancement: 0 none, 1 or 2
    float type1Enhance = 2.5f;
    float type2Low = 0.7f;
    float type2High = 0.3f;
    float type2ZEnhance = 1.5f;

    // The limits a run applies when it reads the boxes.
    ProcessingParameters limited() const;
};

// The boxes' texts in file order, the check box (field 7) as "0" or "1".
using ParameterTexts = std::array<std::string, kParameterFields>;

// Reads the texts as a run does: leading numbers, integers halves to even.
ProcessingParameters parseParameters(const ParameterTexts& texts);

// One line of "PARAM.TXT" with the fixed field formats, no line end.
std::string formatParameterLine(const ProcessingParameters& p);

// The fields of a line, split at every single space; nothing when the line
// holds fewer than 13.
std::optional<ParameterTexts> splitParameterLine(const std::string& line);

// The parameter lines of a file's text: the lines before "END", at most 15;
// a file without "END" gives its first 15 lines. Line ends CR LF or LF.
std::vector<std::string> parameterLines(const std::string& fileText);

// The file's text for these parameter lines: each line and "END", CR LF.
std::string parameterFileText(const std::vector<std::string>& lines);

// Why a run can't use these (limited) values: the box and what is wrong;
// empty when they are sound.
std::string parameterProblem(const ProcessingParameters& p);

}  // namespace halvex
