#include "platform/controls.h"

#include <algorithm>

namespace halvex {

void ScrollBar::setValue(int v) {
    v = std::clamp(v, min_, std::max(min_, max_));
    if (v == value_) return;
    value_ = v;
    notify();
    if (onChange) onChange();
}

void ScrollBar::setMinimum(int m) {
    min_ = m;
    notify();
    if (value_ < min_) setValue(min_);
}

void ScrollBar::setMaximum(int m) {
    max_ = m;
    notify();
    if (value_ > std::max(min_, max_)) setValue(max_);
}

}  // namespace halvex
