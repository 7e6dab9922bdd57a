#include "platform/number_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace halvex {

double leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const size_t start = i;
    auto digitsFrom = [&](size_t& p) {
        size_t n = 0;
        while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) ++p, ++n;
        return n;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t mantissaDigits = digitsFrom(i);
    if (i < text.size() && text[i] == '.') {
        size_t p = i + 1;
        size_t fraction = digitsFrom(p);
        if (fraction > 0 || mantissaDigits > 0) i = p;
        mantissaDigits += fraction;
    }
    if (mantissaDigits == 0) return 0.0;
    // An exponent counts only when digits follow it ("1e" reads as 1).
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t p = i + 1;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
        if (digitsFrom(p) > 0) i = p;
    }
    std::string number(text.substr(start, i - start));
    double v = std::strtod(number.c_str(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}

int32_t roundHalfEven(double v) {
    if (!std::isfinite(v)) return 0;
    double r = std::nearbyint(v);  // the default rounding mode is to nearest, ties to even
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

int16_t roundHalfEven16(double v) {
    int32_t r = roundHalfEven(v);
    if (r > 32767) return 32767;
    if (r < -32768) return -32768;
    return static_cast<int16_t>(r);
}

int32_t textToInt(std::string_view text) { return roundHalfEven(leadingNumber(text)); }
int16_t textToInt16(std::string_view text) { return roundHalfEven16(leadingNumber(text)); }

namespace {

// Adds one unit in the last place of a string of decimal digits.
void incrementDigits(std::string& digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

}  // namespace

std::string formatFixed(double v, std::string_view pattern) {
    const size_t firstZero = pattern.find('0');
    const std::string prefix(pattern.substr(0, firstZero == std::string_view::npos ? pattern.size() : firstZero));
    std::string_view body = firstZero == std::string_view::npos ? std::string_view() : pattern.substr(firstZero);
    const size_t point = body.find('.');
    const size_t intDigits = point == std::string_view::npos ? body.size() : point;
    const size_t decimals = point == std::string_view::npos ? 0 : body.size() - point - 1;
    if (!std::isfinite(v)) v = 0.0;

    // The value's 15-significant-digit decimal form, then decimal rounding of
    // that text, half away from zero, so 2.675 gives 2.68 as a user expects.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
    std::string mantissa;  // digits without the point
    mantissa += buf[0];
    mantissa.append(buf + 2, buf + 16);
    const int exponent = std::atoi(buf + 17);
    // Position of the decimal point within `mantissa`: after (exponent + 1) digits.
    int pointPos = exponent + 1;
    if (pointPos < 0) {
        mantissa.insert(0, static_cast<size_t>(-pointPos), '0');
        pointPos = 0;
    }
    if (static_cast<int>(mantissa.size()) < pointPos + static_cast<int>(decimals) + 1)
        mantissa.append(pointPos + decimals + 1 - mantissa.size(), '0');
    std::string kept = mantissa.substr(0, pointPos + decimals);
    const bool roundUp = mantissa[pointPos + decimals] >= '5';
    if (kept.empty()) kept = "0";
    if (roundUp) incrementDigits(kept);
    std::string intPart = kept.substr(0, kept.size() - decimals);
    std::string fracPart = kept.substr(kept.size() - decimals);
    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
    if (intPart.size() < intDigits) intPart.insert(0, intDigits - intPart.size(), '0');
    const bool allZero = (intPart + fracPart).find_first_not_of('0') == std::string::npos;
    std::string out = prefix;
    if (v < 0 && !allZero) out += '-';
    out += intPart;
    if (decimals > 0) out += '.' + fracPart;
    return out;
}

namespace {

std::string withSign(std::string digits, bool negative) { return (negative ? "-" : " ") + digits; }

// Shortest text with at most `significant` digits that reads back the same at
// that precision.
std::string shortestText(double v, int significant) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", significant, std::fabs(v));
    return std::string(buf);
}

}  // namespace

std::string str(int64_t v) { return withSign(std::to_string(v < 0 ? -static_cast<uint64_t>(v) : v), v < 0); }
std::string str(int32_t v) { return str(static_cast<int64_t>(v)); }
std::string str(int16_t v) { return str(static_cast<int64_t>(v)); }
std::string strSingle(float v) { return withSign(shortestText(v, 7), v < 0); }
std::string strDouble(double v) { return withSign(shortestText(v, 15), v < 0); }
std::string trimmedInt(int64_t v) { return std::to_string(v); }

std::string generalSingle(float v) { return (v < 0 ? "-" : "") + shortestText(v, 7); }

std::string formatTrimmed(double v, int decimals) {
    std::string text = formatFixed(v, "0." + std::string(static_cast<size_t>(std::max(decimals, 1)), '0'));
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    if (text == "-0") return "0";
    const size_t digits = text[0] == '-' ? 1 : 0;
    if (text.compare(digits, 2, "0.") == 0) text.erase(digits, 1);
    return text;
}

}  // namespace halvex
