// What every window's logic has in common: a caption, its controls by name,
// the one-command-at-a-time rule and the input a view can receive.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/ports.h"
#include "platform/raster.h"

namespace halvex {

// Only one command runs at a time: while one runs (and pumps events), the
// events that would start another are refused. A failure that ends a command
// (a missing library export, a full slice list, an unwritable file) is shown
// in a message box; the program goes on.
class CommandGuard {
public:
    explicit CommandGuard(Ui& ui) : ui_(ui) {}
    bool busy() const { return busy_; }
    // Runs one user event; false when it was refused because a command runs.
    bool run(const std::function<void()>& event);

private:
    Ui& ui_;
    bool busy_ = false;
};

class WindowLogic {
public:
    WindowLogic(std::string name, Ui& ui, CommandGuard& guard)
        : name_(std::move(name)), ui_(ui), guard_(guard), viewHandle_(nextViewHandle()) {}
    virtual ~WindowLogic() = default;
    WindowLogic(const WindowLogic&) = delete;
    WindowLogic& operator=(const WindowLogic&) = delete;

    const std::string& name() const { return name_; }
    const std::string& caption() const { return caption_; }
    void setCaption(std::string text);

    Control* control(const std::string& name) const;
    const std::vector<Control*>& controls() const { return controls_; }
    CommandGuard& guard() const { return guard_; }

    // A number that names this window's view to the wheel hooks; never 0.
    int32_t viewHandle() const { return viewHandle_; }

    // The picture box that shows images, with the shapes drawn over it.
    virtual Canvas* view() { return nullptr; }
    virtual std::vector<const Shape*> viewShapes() const { return {}; }
    // The view as the user sees it: the drawing with the visible shapes.
    virtual RgbImage composedView();

    // Pointer (button 0 none, 1 left, 2 right; view pixels), keys, the wheel
    // and drops of file lists. A window without such input ignores them.
    virtual void viewMouseDown(int /*button*/, float /*x*/, float /*y*/) {}
    virtual void viewMouseMove(int /*button*/, float /*x*/, float /*y*/) {}
    virtual void viewMouseUp(int /*button*/, float /*x*/, float /*y*/) {}
    virtual void windowMouseDown(int /*button*/, float /*x*/, float /*y*/) {}
    virtual void keyDown(int /*code*/) {}
    virtual void keyUp(int /*code*/) {}
    virtual void wheel(int /*direction*/) {}
    virtual void dropOnView(const std::vector<std::string>& /*paths*/) {}
    virtual void dropOnWindow(const std::vector<std::string>& /*paths*/) {}

protected:
    void add(Control& control) { controls_.push_back(&control); }
    Ui& ui() const { return ui_; }

private:
    std::string name_;
    std::string caption_;
    Ui& ui_;
    CommandGuard& guard_;
    std::vector<Control*> controls_;
    int32_t viewHandle_;

    static int32_t nextViewHandle() {
        static int32_t next = 0;
        return ++next;
    }
};

}  // namespace halvex
