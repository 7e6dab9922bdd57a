// Ties Qt widgets to control models: a model change refreshes its widget
// without raising anything; a user's action on the widget becomes exactly one
// event of the model, run under the one-command-at-a-time rule.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
std::vector<QRadioButton*> bindOptionGroup(OptionGroup& model, CommandGuard& guard, QWidget* parent = nullptr);

}  // namespace halvex
