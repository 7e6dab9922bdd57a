#include "wheel/wheel_mouse.h"

#include <algorithm>
#include <vector>

namespace halvex {

namespace {

// The registered objects, and the flag that keeps an event handler which
// causes further messages to the same view from raising nested events.
std::vector<clsWheelMouse*>& registry() {
    static std::vector<clsWheelMouse*> objects;
    return objects;
}
bool raising = false;
double twipsX = 15, twipsY = 15;  // 96 DPI until the program says otherwise

clsWheelMouse* registered(int32_t handle) {
    for (clsWheelMouse* o : registry())
        if (o->OwnerhWnd() == handle) return o;
    return nullptr;
}

}  // namespace

clsWheelMouse::~clsWheelMouse() {
    if (hooked_) Terminate();
}

void clsWheelMouse::Initialize(int32_t ownerHandle, int16_t& result) {
    result = 0;
    if (hooked_ || ownerHandle == 0 || registered(ownerHandle) != nullptr) return;
    owner_ = ownerHandle;
    hooked_ = modWheelMouse::hookWheel(*this, ownerHandle);
    result = hooked_ ? -1 : 0;
}

void clsWheelMouse::Terminate() {
    if (!hooked_) return;
    modWheelMouse::unhookWheel(owner_);
    hooked_ = false;
}

void clsWheelMouse::raiseMyEvent(int16_t option, int16_t vector, float x, float y) {
    if (option == 3 && MouseWheel) MouseWheel(vector);
    if (option == 1 && MouseWheelButtonDown) MouseWheelButtonDown(x, y);
    if (option == 2 && MouseWheelButtonUp) MouseWheelButtonUp(x, y);
}

namespace modWheelMouse {

bool hookWheel(clsWheelMouse& object, int32_t handle) {
    if (registered(handle) != nullptr) return false;
    registry().push_back(&object);
    return true;
}

void unhookWheel(int32_t handle) {
    auto& objects = registry();
    const auto at = std::find_if(objects.begin(), objects.end(), [handle](clsWheelMouse* o) { return o->OwnerhWnd() == handle; });
    if (at != objects.end()) objects.erase(at);
}

void splitPoint(int64_t lParam, int16_t& y, int16_t& x) {
    x = static_cast<int16_t>(static_cast<uint16_t>(lParam & 0xFFFF));
    y = static_cast<int16_t>(static_cast<uint16_t>((lParam >> 16) & 0xFFFF));
}

void setTwipsPerPixel(double x, double y) {
    if (x > 0) twipsX = x;
    if (y > 0) twipsY = y;
}

bool wheelWindowProc(int32_t handle, uint32_t message, int64_t wParam, int64_t lParam) {
    if (raising) return false;
    clsWheelMouse* object = registered(handle);
    if (object == nullptr) return false;
    int16_t x = 0, y = 0;
    int16_t option = 0, direction = 0;
    switch (message) {
        case kMiddleButtonDown:
        case kMiddleButtonUp:
            splitPoint(lParam, y, x);
            option = message == kMiddleButtonDown ? 1 : 2;
            break;
        case kMouseWheel: {
            // The signed high word of wParam; a horizontal turn has none.
            const int16_t delta = static_cast<int16_t>(static_cast<uint16_t>((wParam >> 16) & 0xFFFF));
            if (delta == 0) return false;
            option = 3;
            direction = delta < 0 ? -1 : 1;
            break;
        }
        default: return false;
    }
    raising = true;
    object->raiseMyEvent(option, direction, static_cast<float>(x * twipsX), static_cast<float>(y * twipsY));
    raising = false;
    return true;
}

}  // namespace modWheelMouse

}  // namespace halvex
