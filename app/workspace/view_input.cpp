#include "workspace/view_input.h"

#include <algorithm>

#include "platform/number_text.h"

namespace halvex {

namespace {

constexpr float kViewLast = 511;  // the last view pixel the outline may reach

// Strictly inside: a press on the border does not count.
bool inside(const Shape& s, float x, float y) {
    return x > s.left() && x < s.left() + s.width() && y > s.top() && y < s.top() + s.height();
}

int half(double extent) { return static_cast<int>(extent) / 2; }

int16_t saturated(double v) { return static_cast<int16_t>(std::clamp<int32_t>(roundHalfEven(v), -32768, 32767)); }

}  // namespace

void ViewInput::mouseDown(int button, float x, float y) {
    pressX_ = saturated(x);
    pressY_ = saturated(y);
    if (button == 2) {
        widthAtPress_ = host_.windowWidth();
        centreAtPress_ = host_.windowCentre();
        mode_ = kWindow;
        return;
    }
    // Only the left button moves, resizes or pans.
    if (button != 1) {
        mode_ = kNone;
        return;
    }
    mode_ = inside(host_.outline(), x, y) ? kMove : kPan;
    if (inside(host_.topLeftMark(), x, y)) mode_ = kTopLeft;
    if (inside(host_.bottomRightMark(), x, y)) mode_ = kBottomRight;
    if (mode_ == kPan) {
        panX_ = pressX_, panY_ = pressY_;
        originXAtPress_ = host_.originX(), originYAtPress_ = host_.originY();
    }
}

void ViewInput::mouseMove(int /*button*/, float x, float y) {
    lastX_ = saturated(x);
    Shape& outline = host_.outline();
    const Shape& tl = host_.topLeftMark();
    const Shape& br = host_.bottomRightMark();
    switch (mode_) {
        case kMove: {
            // The outline centred on the pointer, as long as it stays inside.
            const int w = half(outline.width()), h = half(outline.height());
            if (x - w > 0 && y - h > 0 && x + w < kViewLast && y + h < kViewLast) outline.move(x - w, y - h);
            host_.drawOutline(1);
            break;
        }
        case kTopLeft: {
            double left = outline.left(), top = outline.top(), width = outline.width(), height = outline.height();
            const int w = half(tl.width()), h = half(tl.height());
            if (x - w < br.left() - 2 && x - w > 1) left = x - w, width = br.left() + br.width() - left;
            if (y - h < br.top() - 2 && y - h > 1) top = y - h, height = br.top() + br.height() - top;
            outline.place(left, top, width, height);
            host_.drawOutline(1);
            break;
        }
        case kBottomRight: {
            double width = outline.width(), height = outline.height();
            const int w = half(br.width()), h = half(br.height());
            if (x - w > outline.left() + 3 && x + w < kViewLast) width = x + w - outline.left();
            if (y - h > outline.top() + 3 && y + h < kViewLast) height = y + h - outline.top();
            outline.place(outline.left(), outline.top(), width, height);
            host_.drawOutline(1);
            break;
        }
        case kWindow:
            // Right widens the window, down raises the centre.
            host_.windowWidth() = saturated(x - pressX_ + widthAtPress_);
            host_.windowCentre() = saturated(y - pressY_ + centreAtPress_);
            host_.windowDragged();
            break;
        case kPan:
            if (!host_.zoomed()) break;
            host_.originX() = static_cast<int16_t>(std::clamp(roundHalfEven(panX_ - x + originXAtPress_), 2, 253));
            host_.originY() = static_cast<int16_t>(std::clamp(roundHalfEven(panY_ - y + originYAtPress_), 2, 253));
            host_.panned();
            break;
        default: break;
    }
}

void ViewInput::mouseUp(int /*button*/, float /*x*/, float /*y*/) {
    if (mode_ >= kMove) host_.measure();
    else if (mode_ == kWindow) host_.overlay();
    mode_ = kNone;
}

void ViewInput::keyDown(int code) {
    int16_t& left = host_.roiLeft();
    int16_t& top = host_.roiTop();
    switch (code) {
        case 37: left = saturated(left - 1); break;
        case 38: top = saturated(top - 1); break;
        case 39: left = saturated(left + 1); break;
        case 40: top = saturated(top + 1); break;
        default: return;
    }
    host_.drawOutline(0);
}

void ViewInput::keyUp(int code) {
    if (code >= 37 && code <= 40) host_.measure();
}

void ViewInput::wheel(int direction) {
    if (direction == 0) return;
    const int step = lastX_ < 401 ? 1 : 5;
    host_.page(step * (direction > 0 ? 1 : -1));
}

}  // namespace halvex
