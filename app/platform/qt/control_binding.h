// Ties Qt widgets to control models: a model change refreshes its widget
// (its state, whether it is enabled and whether it is shown) without raising
// anything; a user's action on the widget becomes exactly one event of the
// model, run under the one-command-at-a-time rule.
#pragma once

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QScrollBar>
#include <vector>

#include "platform/controls.h"
#include "platform/window_logic.h"

namespace halvex {

// A label that reports clicks.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent*) override { emit clicked(); }
};

// A line edit that reports clicks and double-clicks.
class ClickableLineEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
signals:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

QPushButton* bindButton(Button& model, CommandGuard& guard, QWidget* parent = nullptr);
ClickableLabel* bindLabel(Label& model, CommandGuard& guard, QWidget* parent = nullptr);
ClickableLineEdit* bindTextBox(TextBox& model, CommandGuard& guard, QWidget* parent = nullptr);
QCheckBox* bindCheckBox(CheckBox& model, CommandGuard& guard, QWidget* parent = nullptr);
QScrollBar* bindScrollBar(ScrollBar& model, CommandGuard& guard, QWidget* parent = nullptr);
// A view's slice row: its scroll bar and, beside it, its slice number label.
QHBoxLayout* bindSliceRow(ScrollBar& bar, Label& number, CommandGuard& guard, QWidget* parent);
std::vector<QRadioButton*> bindOptionGroup(OptionGroup& model, CommandGuard& guard, QWidget* parent = nullptr);
// One push button per entry, named NAME0, NAME1, ...; each is shown or hidden
// on its own as the model says.
std::vector<QPushButton*> bindButtonArray(ButtonArray& model, CommandGuard& guard, QWidget* parent);
// A menu entry named as its button: choosing it clicks the button.
QAction* bindMenuEntry(Button& model, CommandGuard& guard, QMenu* menu);

}  // namespace halvex
