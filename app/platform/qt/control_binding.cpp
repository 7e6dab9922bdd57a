#include "platform/qt/control_binding.h"

#include <QSignalBlocker>

namespace halvex {

void ClickableLineEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    emit clicked();
}

void ClickableLineEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    emit doubleClicked();
}

namespace {

void syncEnabled(const Control& model, QWidget* widget) { widget->setEnabled(model.enabled); }

}  // namespace

QPushButton* bindButton(Button& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new QPushButton(QString::fromStdString(model.caption), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(w, &QPushButton::clicked, w, [&model, &guard] { guard.run([&model] { model.click(); }); });
    model.changed = [&model, w] { syncEnabled(model, w); };
    return w;
}

ClickableLabel* bindLabel(Label& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new ClickableLabel(QString::fromStdString(model.caption()), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(w, &ClickableLabel::clicked, w, [&model, &guard] { guard.run([&model] { model.click(); }); });
    model.changed = [&model, w] { w->setText(QString::fromStdString(model.caption())); };
    return w;
}

ClickableLineEdit* bindTextBox(TextBox& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new ClickableLineEdit(QString::fromStdString(model.text()), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(w, &QLineEdit::textEdited, w, [&model](const QString& text) { model.setText(text.toStdString()); });
    QObject::connect(w, &ClickableLineEdit::clicked, w, [&model, &guard] { guard.run([&model] { model.click(); }); });
    QObject::connect(w, &ClickableLineEdit::doubleClicked, w,
                     [&model, &guard] { guard.run([&model] { model.doubleClick(); }); });
    model.changed = [&model, w] {
        const QString text = QString::fromStdString(model.text());
        if (w->text() != text) w->setText(text);
    };
    return w;
}

QCheckBox* bindCheckBox(CheckBox& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new QCheckBox(QString::fromStdString(model.caption), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    auto sync = [&model, w] {
        QSignalBlocker block(w);
        w->setChecked(model.checked());
    };
    QObject::connect(w, &QCheckBox::clicked, w, [&model, &guard, sync](bool checked) {
        guard.run([&model, checked] { model.setValue(checked ? 1 : 0); });
        sync();  // a refused click leaves the box as the model has it
    });
    model.changed = sync;
    return w;
}

QScrollBar* bindScrollBar(ScrollBar& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new QScrollBar(Qt::Horizontal, parent);
    w->setObjectName(QString::fromStdString(model.name()));
    auto sync = [&model, w] {
        QSignalBlocker block(w);
        w->setRange(model.minimum(), std::max(model.minimum(), model.maximum()));
        w->setValue(model.value());
    };
    sync();
    QObject::connect(w, &QScrollBar::valueChanged, w, [&model, &guard, sync](int value) {
        guard.run([&model, value] { model.setValue(value); });
        sync();
    });
    model.changed = sync;
    return w;
}

std::vector<QRadioButton*> bindOptionGroup(OptionGroup& model, CommandGuard& guard, QWidget* parent) {
    std::vector<QRadioButton*> buttons;
    auto* group = new QButtonGroup(parent);
    for (size_t i = 0; i < model.captions.size(); ++i) {
        auto* b = new QRadioButton(QString::fromStdString(model.captions[i]), parent);
        b->setObjectName(QString::fromStdString(model.name() + std::to_string(i)));
        group->addButton(b, static_cast<int>(i));
        buttons.push_back(b);
    }
    auto sync = [&model, buttons] {
        for (size_t i = 0; i < buttons.size(); ++i) {
            QSignalBlocker block(buttons[i]);
            buttons[i]->setChecked(static_cast<int>(i) == model.selected());
        }
    };
    sync();
    QObject::connect(group, &QButtonGroup::idClicked, parent, [&model, &guard, sync](int index) {
        guard.run([&model, index] { model.click(index); });
        sync();
    });
    model.changed = sync;
    return buttons;
}

}  // namespace halvex
