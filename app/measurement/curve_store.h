// Numbered slots of measured curves (MTF, NPS, ...) that the measurement
// window keeps for drawing, comparison and clipboard export.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

struct CurveSlot {
    static constexpr int kCapacity = 511;
    std::string label;
    int16_t count = 0;
    std::array<float, 512> value{};
    std::array<float, 512> abscissa{};

    // Fewer than 4 points count as no curve.
    bool empty() const { return count < 4; }
};

class CurveStore {
public:
    static constexpr int kSlots = 7;

    // Slot 1 .. 7; callers check the number with isSlotNumber first.
    CurveSlot& slot(int number) { return slots_.at(static_cast<size_t>(number - 1)); }
    const CurveSlot& slot(int number) const { return slots_.at(static_cast<size_t>(number - 1)); }
    static bool isSlotNumber(int number) { return number >= 1 && number <= kSlots; }
    void clear() { slots_ = {}; }

private:
    std::array<CurveSlot, kSlots> slots_{};
};

// The slots of a selection such as "3", "2-4" or "2,4,5". Nothing when a
// number lies outside 1 .. slotCount, a range runs backwards or a part is
// not a number.
std::optional<std::vector<int>> parseSlotSelection(const std::string& text, int slotCount = CurveStore::kSlots);

}  // namespace halvex
