#include "platform/qt/control_binding.h"

#include <QPointer>
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

// Shows or hides a widget as its model says. A widget without a parent is left
// alone: showing it would make it a window of its own.
void syncShown(bool shown, QWidget* w) {
    if (!w->parentWidget()) return;
    const bool hiddenNow = w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide);
    if (hiddenNow == shown) w->setVisible(shown);
}

void syncControl(const Control& model, QWidget* w) {
    w->setEnabled(model.enabled);
    syncShown(model.visible(), w);
}

// A model may outlive its widget (a window deleted before its logic); a
// refresh then finds no widget and does nothing.
std::function<void()> whileAlive(QObject* w, std::function<void()> sync) {
    return [alive = QPointer<QObject>(w), sync = std::move(sync)] {
        if (alive) sync();
    };
}

}  // namespace

QPushButton* bindButton(Button& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new QPushButton(QString::fromStdString(model.caption), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(w, &QPushButton::clicked, w, [&model, &guard] { guard.run([&model] { model.click(); }); });
    auto sync = [&model, w] { syncControl(model, w); };
    sync();
    model.changed = whileAlive(w, sync);
    return w;
}

ClickableLabel* bindLabel(Label& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new ClickableLabel(QString::fromStdString(model.caption()), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(w, &ClickableLabel::clicked, w, [&model, &guard] { guard.run([&model] { model.click(); }); });
    auto sync = [&model, w] {
        w->setText(QString::fromStdString(model.caption()));
        syncControl(model, w);
    };
    sync();
    model.changed = whileAlive(w, sync);
    return w;
}

ClickableLineEdit* bindTextBox(TextBox& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new ClickableLineEdit(QString::fromStdString(model.text()), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(w, &QLineEdit::textEdited, w, [&model](const QString& text) { model.setText(text.toStdString()); });
    QObject::connect(w, &ClickableLineEdit::clicked, w, [&model, &guard] { guard.run([&model] { model.click(); }); });
    QObject::connect(w, &ClickableLineEdit::doubleClicked, w,
                     [&model, &guard] { guard.run([&model] { model.doubleClick(); }); });
    auto sync = [&model, w] {
        const QString text = QString::fromStdString(model.text());
        if (w->text() != text) w->setText(text);
        syncControl(model, w);
    };
    sync();
    model.changed = whileAlive(w, sync);
    return w;
}

QCheckBox* bindCheckBox(CheckBox& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new QCheckBox(QString::fromStdString(model.caption), parent);
    w->setObjectName(QString::fromStdString(model.name()));
    auto sync = [&model, w] {
        QSignalBlocker block(w);
        w->setChecked(model.checked());
        syncControl(model, w);
    };
    sync();
    QObject::connect(w, &QCheckBox::clicked, w, [&model, &guard, sync](bool checked) {
        guard.run([&model, checked] { model.setValue(checked ? 1 : 0); });
        sync();  // a refused click leaves the box as the model has it
    });
    model.changed = whileAlive(w, sync);
    return w;
}

QScrollBar* bindScrollBar(ScrollBar& model, CommandGuard& guard, QWidget* parent) {
    auto* w = new QScrollBar(Qt::Horizontal, parent);
    w->setObjectName(QString::fromStdString(model.name()));
    auto sync = [&model, w] {
        QSignalBlocker block(w);
        w->setRange(model.minimum(), std::max(model.minimum(), model.maximum()));
        w->setValue(model.value());
        syncControl(model, w);
    };
    sync();
    QObject::connect(w, &QScrollBar::valueChanged, w, [&model, &guard, sync](int value) {
        guard.run([&model, value] { model.setValue(value); });
        sync();
    });
    model.changed = whileAlive(w, sync);
    return w;
}

QHBoxLayout* bindSliceRow(ScrollBar& bar, Label& number, CommandGuard& guard, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->addWidget(bindScrollBar(bar, guard, parent), 1);
    auto* label = bindLabel(number, guard, parent);
    label->setMinimumWidth(40);
    row->addWidget(label);
    return row;
}

std::vector<QRadioButton*> bindOptionGroup(OptionGroup& model, CommandGuard& guard, QWidget* parent) {
    std::vector<QRadioButton*> buttons;
    std::vector<QPointer<QRadioButton>> alive;
    auto* group = new QButtonGroup(parent);
    for (size_t i = 0; i < model.captions.size(); ++i) {
        auto* b = new QRadioButton(QString::fromStdString(model.captions[i]), parent);
        b->setObjectName(QString::fromStdString(model.name() + std::to_string(i)));
        group->addButton(b, static_cast<int>(i));
        buttons.push_back(b);
        alive.emplace_back(b);
    }
    auto sync = [&model, alive] {
        for (size_t i = 0; i < alive.size(); ++i) {
            if (!alive[i]) continue;
            QSignalBlocker block(alive[i].data());
            alive[i]->setChecked(static_cast<int>(i) == model.selected());
            syncControl(model, alive[i].data());
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

std::vector<QPushButton*> bindButtonArray(ButtonArray& model, CommandGuard& guard, QWidget* parent) {
    std::vector<QPushButton*> buttons;
    std::vector<QPointer<QPushButton>> alive;
    for (int i = 0; i < model.count(); ++i) {
        auto* b = new QPushButton(QString::fromStdString(model.captions[static_cast<size_t>(i)]), parent);
        b->setObjectName(QString::fromStdString(model.name() + std::to_string(i)));
        QObject::connect(b, &QPushButton::clicked, b,
                         [&model, &guard, i] { guard.run([&model, i] { model.click(i); }); });
        buttons.push_back(b);
        alive.emplace_back(b);
    }
    auto sync = [&model, alive] {
        for (size_t i = 0; i < alive.size(); ++i) {
            if (!alive[i]) continue;
            alive[i]->setEnabled(model.enabled);
            syncShown(model.visible() && model.visibleAt(static_cast<int>(i)), alive[i].data());
        }
    };
    sync();
    model.changed = sync;
    return buttons;
}

QAction* bindMenuEntry(Button& model, CommandGuard& guard, QMenu* menu) {
    auto* a = new QAction(QString::fromStdString(model.caption), menu);
    a->setObjectName(QString::fromStdString(model.name()));
    QObject::connect(a, &QAction::triggered, a, [&model, &guard] { guard.run([&model] { model.click(); }); });
    auto sync = [&model, a] {
        a->setEnabled(model.enabled);
        a->setVisible(model.visible());
    };
    sync();
    menu->addAction(a);
    model.changed = whileAlive(a, sync);
    return a;
}

}  // namespace halvex
