#include "measurement/curve_store.h"

#include <cctype>

#include "platform/number_text.h"

namespace halvex {

namespace {

// A slot number written alone: blanks around digits and nothing else.
std::optional<int> slotNumber(const std::string& part, int slots) {
    size_t begin = part.find_first_not_of(' '), end = part.find_last_not_of(' ');
    if (begin == std::string::npos) return std::nullopt;
    const std::string digits = part.substr(begin, end - begin + 1);
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int n = digits.size() > 2 ? 0 : textToInt(digits);
    if (n < 1 || n > slots) return std::nullopt;
    return n;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

std::optional<std::vector<int>> parseSlotSelection(const std::string& text, int slotCount) {
    std::vector<int> slots;
    const auto commaParts = split(text, ',');
    if (commaParts.size() >= 2) {
        for (const std::string& part : commaParts) {
            auto n = slotNumber(part, slotCount);
            if (!n) return std::nullopt;
            slots.push_back(*n);
        }
        return slots;
    }
    const auto range = split(text, '-');
    if (range.size() == 1) {
        auto n = slotNumber(range[0], slotCount);
        if (!n) return std::nullopt;
        return std::vector<int>{*n};
    }
    if (range.size() != 2) return std::nullopt;
    auto first = slotNumber(range[0], slotCount), last = slotNumber(range[1], slotCount);
    if (!first || !last || *first > *last) return std::nullopt;
    for (int n = *first; n <= *last; ++n) slots.push_back(n);
    return slots;
}

}  // namespace halvex
