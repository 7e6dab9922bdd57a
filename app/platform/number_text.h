// The number and text rules of the program, in one place: how an answer typed
// into a prompt or a box becomes a number, how numbers become integers, and
// how results are written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halvex {

// The leading decimal number of a text: after leading blanks, the longest
// prefix that reads as a number with optional sign, fraction and exponent.
// A text without one gives 0 ("0.48\0.48" gives 0.48, "" gives 0).
double leadingNumber(std::string_view text);

// Nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2), saturated
// to the int32 range.
int32_t roundHalfEven(double v);

// The same, saturated to the int16 range of the program's 16-bit fields.
int16_t roundHalfEven16(double v);

// leadingNumber then roundHalfEven: how prompts and text boxes give integers.
int32_t textToInt(std::string_view text);
int16_t textToInt16(std::string_view text);

// A fixed pattern such as "0.00", "0000", " 0.0" or "0": characters before
// the first '0' are copied, the '0's before the point give the least number of
// integer digits, those after it the number of decimals. Rounds half away from
// zero on the value's 15-digit decimal form.
std::string formatFixed(double v, std::string_view pattern);

// Decimal text with a leading blank for non-negative numbers and "-" for
// negative ones: " 500", "-3", " 12.5". Integers print without a point;
// singles with up to 7 significant digits, doubles with up to 15.
std::string str(int64_t v);
std::string str(int32_t v);
std::string str(int16_t v);
std::string strSingle(float v);
std::string strDouble(double v);

// A single's shortest general form without the leading blank: "1.5",
// "0.05", "-2", "48".
std::string generalSingle(float v);

// v rounded to `decimals` places (half away from zero) in its shortest
// decimal form, without a zero before the point: 1 -> "1", 0.5 -> ".5",
// 0.1234 -> ".123", -0.25 -> "-.25", 0.0001 -> "0".
std::string formatTrimmed(double v, int decimals);

// The trimmed decimal text written into text boxes ("500", "-3").
std::string trimmedInt(int64_t v);

}  // namespace halvex
