// The real main window on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "gui_fixture.h"

namespace halvex::testing {
namespace {

TEST_F(GuiTest, MainWindowStartsWithItsCaptionAndGrabsToPng) {
    MainWindow& window = main;
    EXPECT_EQ(window.windowTitle().toStdString(), "TessamirBasic ver.halvex " HALVEX_VERSION ": CTDSP");

    // A click on a preset button reaches the logic and the boxes show it.
    auto* head = window.findChild<QPushButton*>("HEADBTN");
    ASSERT_NE(head, nullptr);
    head->click();
    EXPECT_EQ(window.findChild<QLineEdit*>("WWTX")->text().toStdString(), "70");

    const QString png = QString::fromStdString(folder.path() + "main.png");
    ASSERT_TRUE(window.grab().save(png));
    QImage saved(png);
    EXPECT_GE(saved.width(), 512);
    EXPECT_GE(saved.height(), 512);
}

}  // namespace
}  // namespace halvex::testing

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
