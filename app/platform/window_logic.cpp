#include "platform/window_logic.h"

#include <cmath>
#include <exception>

#include "platform/lumvek_binding.h"

namespace halvex {

bool CommandGuard::run(const std::function<void()>& event) {
    if (busy_) return false;
    busy_ = true;
    try {
        event();
    } catch (const std::exception& e) {
        ui_.progress(0, 0);
        ui_.message(e.what());
    }
    busy_ = false;
    return true;
}

void WindowLogic::setCaption(std::string text) {
    caption_ = std::move(text);
    ui_.captionChanged(name_, caption_);
}

Control* WindowLogic::control(const std::string& name) const {
    for (Control* c : controls_)
        if (c->name() == name) return c;
    return nullptr;
}

RgbImage WindowLogic::composedView() {
    Canvas* canvas = view();
    if (!canvas) return {};
    RgbImage out = canvas->image();
    const uint32_t outline = rgb(255, 255, 0);
    auto plot = [&](long x, long y) {
        if (x >= 0 && y >= 0 && x < out.width && y < out.height) out.pixels[size_t(y) * out.width + x] = outline;
    };
    for (const Shape* s : viewShapes()) {
        if (!s->visible()) continue;
        const long l = std::lround(s->left()), t = std::lround(s->top());
        const long r = l + std::lround(s->width()) - 1, b = t + std::lround(s->height()) - 1;
        for (long x = l; x <= r; ++x) plot(x, t), plot(x, b);
        for (long y = t; y <= b; ++y) plot(l, y), plot(r, y);
    }
    return out;
}

}  // namespace halvex
