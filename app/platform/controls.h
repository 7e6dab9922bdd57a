// Control models: the state and event behaviour of the controls a window
// logic class works with, free of any toolkit. Changing a model through its
// setters raises the event the real control would raise; `changed` tells a
// view binding to refresh the widget without raising anything.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace halvex {

class Control {
public:
    enum class Kind { Button, ButtonArray, Label, LabelArray, TextBox, CheckBox, OptionGroup, ScrollBar, Shape, Line };

    Control(std::string name, Kind kind) : name_(std::move(name)), kind_(kind) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    Kind kind() const { return kind_; }

    bool enabled = true;
    std::function<void()> changed;  // for the view binding only

    void setEnabled(bool on) {
        enabled = on;
        notify();
    }
    bool visible() const { return visible_; }
    void setVisible(bool v) {
        visible_ = v;
        notify();
    }

protected:
    void notify() const {
        if (changed) changed();
    }

private:
    std::string name_;
    Kind kind_;
    bool visible_ = true;
};

class Button : public Control {
public:
    Button(std::string name, std::string caption) : Control(std::move(name), Kind::Button), caption(std::move(caption)) {}
    void click() const {
        if (onClick) onClick();
    }
    std::string caption;
    std::function<void()> onClick;
};

// An array of buttons sharing one Click handler that gets the index; each
// button can be shown or hidden on its own.
class ButtonArray : public Control {
public:
    ButtonArray(std::string name, std::vector<std::string> captions)
        : Control(std::move(name), Kind::ButtonArray), captions(std::move(captions)), shown_(this->captions.size(), true) {}
    void click(int index) const {
        if (onClick && index >= 0 && index < count()) onClick(index);
    }
    int count() const { return static_cast<int>(captions.size()); }
    bool visibleAt(int index) const { return shown_.at(static_cast<size_t>(index)); }
    void setVisibleAt(int index, bool v) {
        shown_.at(static_cast<size_t>(index)) = v;
        notify();
    }
    std::vector<std::string> captions;
    std::function<void(int)> onClick;

private:
    std::vector<bool> shown_;
};

class Label : public Control {
public:
    Label(std::string name, std::string caption) : Control(std::move(name), Kind::Label), caption_(std::move(caption)) {}
    const std::string& caption() const { return caption_; }
    void setCaption(std::string text) {
        caption_ = std::move(text);
        notify();
    }
    void click() const {
        if (onClick) onClick();
    }
    std::function<void()> onClick;

private:
    std::string caption_;
};

// An array of labels sharing one Click handler that gets the index.
class LabelArray : public Control {
public:
    LabelArray(std::string name, std::vector<std::string> captions)
        : Control(std::move(name), Kind::LabelArray), captions(std::move(captions)) {}
    void click(int index) const {
        if (onClick && index >= 0 && index < static_cast<int>(captions.size())) onClick(index);
    }
    std::vector<std::string> captions;
    std::function<void(int)> onClick;
};

// A text box holds text; typing raises nothing the logic listens to.
class TextBox : public Control {
public:
    explicit TextBox(std::string name, std::string text = "") : Control(std::move(name), Kind::TextBox), text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    void setText(std::string text) {
        text_ = std::move(text);
        notify();
    }
    void click() const {
        if (onClick) onClick();
    }
    void doubleClick() const {
        if (onDoubleClick) onDoubleClick();
    }
    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

private:
    std::string text_;
};

// Setting the value raises Click when it changes; a user's click toggles it.
class CheckBox : public Control {
public:
    CheckBox(std::string name, std::string caption) : Control(std::move(name), Kind::CheckBox), caption(std::move(caption)) {}
    int value() const { return value_; }
    bool checked() const { return value_ != 0; }
    void setValue(int v) {
        if (v == value_) return;
        value_ = v;
        notify();
        if (onClick) onClick();
    }
    void click() { setValue(value_ ? 0 : 1); }
    std::string caption;
    std::function<void()> onClick;

private:
    int value_ = 0;
};

// An array of option buttons: one of them is selected. Selecting another one
// raises Click with its index; a user's click on any of them raises Click.
class OptionGroup : public Control {
public:
    OptionGroup(std::string name, std::vector<std::string> captions)
        : Control(std::move(name), Kind::OptionGroup), captions(std::move(captions)) {}
    int selected() const { return selected_; }
    void select(int index) {
        if (index == selected_) return;
        click(index);
    }
    void click(int index) {
        if (index < 0 || index >= static_cast<int>(captions.size())) return;
        selected_ = index;
        notify();
        if (onClick) onClick(index);
    }
    std::vector<std::string> captions;
    std::function<void(int)> onClick;

private:
    int selected_ = -1;
};

// Setting the value (limited to min..max) raises Change when it differs;
// lowering the maximum below the value moves the value, as the control does.
class ScrollBar : public Control {
public:
    explicit ScrollBar(std::string name) : Control(std::move(name), Kind::ScrollBar) {}
    int value() const { return value_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setValue(int v);
    void setMinimum(int m);
    void setMaximum(int m);
    std::function<void()> onChange;

private:
    int value_ = 0, min_ = 0, max_ = 0;
};

// A rectangle drawn over a view (the ROI outline and its corner marks), in
// view pixels.
class Shape : public Control {
public:
    Shape(std::string name, double width, double height)
        : Control(std::move(name), Kind::Shape), width_(width), height_(height) {
        setVisible(false);
    }
    double left() const { return left_; }
    double top() const { return top_; }
    double width() const { return width_; }
    double height() const { return height_; }
    void place(double left, double top, double width, double height) {
        left_ = left, top_ = top, width_ = width, height_ = height;
        notify();
    }
    void move(double left, double top) { place(left, top, width_, height_); }

private:
    double left_ = 0, top_ = 0, width_, height_;
};

// A line drawn over a graph, in the graph's user coordinates.
class LineShape : public Control {
public:
    explicit LineShape(std::string name) : Control(std::move(name), Kind::Line) { setVisible(false); }
    double x1() const { return x1_; }
    double y1() const { return y1_; }
    double x2() const { return x2_; }
    double y2() const { return y2_; }
    void place(double x1, double y1, double x2, double y2) {
        x1_ = x1, y1_ = y1, x2_ = x2, y2_ = y2;
        notify();
    }

private:
    double x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
};

}  // namespace halvex
