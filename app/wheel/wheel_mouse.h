// Wheel input of the image views. Each view that pages with the wheel holds
// a clsWheelMouse and initialises it with its view's handle; the view's
// wheel and middle-button messages reach modWheelMouse::wheelWindowProc
// (from a Qt event filter in the program, directly in tests), which raises
// the events of the object registered for that view.
#pragma once

#include <cstdint>
#include <functional>

namespace halvex {

class clsWheelMouse {
public:
    clsWheelMouse() = default;
    ~clsWheelMouse();
    clsWheelMouse(const clsWheelMouse&) = delete;
    clsWheelMouse& operator=(const clsWheelMouse&) = delete;

    // Registers the object for the view `ownerHandle` (not 0, not yet
    // registered by another object). result: -1 (True) when hooked, else 0.
    void Initialize(int32_t ownerHandle, int16_t& result);
    // Unregisters a hooked object; an object that never hooked unhooks
    // nothing (another object's registration stays).
    void Terminate();
    int32_t OwnerhWnd() const { return owner_; }
    bool hooked() const { return hooked_; }

    // Option 3 raises MouseWheel(vector), 1 MouseWheelButtonDown(x, y), 2
    // MouseWheelButtonUp(x, y); others nothing.
    void raiseMyEvent(int16_t option, int16_t vector, float x, float y);

    // direction +1: turned away from the user; -1: towards. x, y in twips.
    std::function<void(int16_t direction)> MouseWheel;
    std::function<void(float x, float y)> MouseWheelButtonUp;
    std::function<void(float x, float y)> MouseWheelButtonDown;

private:
    int32_t owner_ = 0;
    bool hooked_ = false;
};

namespace modWheelMouse {

inline constexpr uint32_t kMiddleButtonDown = 0x0207;
inline constexpr uint32_t kMiddleButtonUp = 0x0208;
inline constexpr uint32_t kMouseWheel = 0x020A;

// False when an object is already registered for the handle.
bool hookWheel(clsWheelMouse& object, int32_t handle);
// Removes the first object registered for the handle.
void unhookWheel(int32_t handle);
// One message of a view: the wheel (wParam's signed high word is the delta;
// 0 raises nothing) and the middle button (lParam holds x in its low and y in
// its high signed word, in pixels, raised in twips). Other messages, and
// messages of views nobody registered, raise nothing. True when an event
// was raised.
bool wheelWindowProc(int32_t handle, uint32_t message, int64_t wParam, int64_t lParam);
void splitPoint(int64_t lParam, int16_t& y, int16_t& x);
// The screen's twips per pixel (1440 / logical DPI), for the middle button.
void setTwipsPerPixel(double x, double y);

}  // namespace modWheelMouse

}  // namespace halvex
