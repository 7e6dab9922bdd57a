// The pointer, key and wheel handling of an image view, shared by the main
// window and the comparison window: the right button drags the window width
// and centre, the left button moves the ROI outline, resizes it by its
// corner marks or pans the 2x zoom, the arrow keys nudge the ROI, the wheel
// pages through the slices. The window (the Host) owns the values and does
// the drawing and measuring.
#pragma once

#include <cstdint>

#include "platform/controls.h"

namespace halvex {

class ViewInput {
public:
    class Host {
    public:
        virtual ~Host() = default;
        // The ROI outline and its top-left and bottom-right corner marks, in
        // view pixels.
        virtual Shape& outline() = 0;
        virtual Shape& topLeftMark() = 0;
        virtual Shape& bottomRightMark() = 0;
        virtual int16_t& windowWidth() = 0;
        virtual int16_t& windowCentre() = 0;
        virtual int16_t& originX() = 0;
        virtual int16_t& originY() = 0;
        virtual bool zoomed() const = 0;
        virtual int16_t& roiLeft() = 0;
        virtual int16_t& roiTop() = 0;
        // The window setting changed by a drag: show it in the boxes and
        // redraw the image.
        virtual void windowDragged() = 0;
        // The zoom origin moved: redraw the image and the outline.
        virtual void panned() = 0;
        // The outline changed (mode 1: take the ROI from it; mode 0: place
        // it from the ROI).
        virtual void drawOutline(int16_t mode) = 0;
        virtual void measure() = 0;
        virtual void overlay() = 0;
        // Pages by `step` slices (clamped to the list), the scroll bar
        // following; only with at least two slices.
        virtual void page(int step) = 0;
    };

    enum DragMode : int16_t { kNone = 0, kWindow = 1, kMove = 2, kTopLeft = 3, kBottomRight = 4, kPan = 5 };

    explicit ViewInput(Host& host) : host_(host) {}

    // Buttons: 1 left, 2 right (others start nothing); view pixels.
    void mouseDown(int button, float x, float y);
    void mouseMove(int button, float x, float y);
    void mouseUp(int button, float x, float y);
    // Key codes 37 left, 38 up, 39 right, 40 down.
    void keyDown(int code);
    void keyUp(int code);
    // +1 away from the user, -1 towards: 1 slice per notch, 5 over the
    // view's right 111 columns.
    void wheel(int direction);

    int16_t dragMode() const { return mode_; }
    int16_t lastPointerX() const { return lastX_; }

private:
    Host& host_;
    int16_t mode_ = kNone;
    int16_t pressX_ = 0, pressY_ = 0;
    int16_t widthAtPress_ = 0, centreAtPress_ = 0;
    int16_t panX_ = 0, panY_ = 0, originXAtPress_ = 0, originYAtPress_ = 0;
    int16_t lastX_ = 0;
};

}  // namespace halvex
