#include "util/Component.h"
#include "widgets/ComboBoxes.h"
#include "widgets/FormPlacement.h"

#include <QComboBox>
#include <QWidget>
#include <gtest/gtest.h>

namespace {
QComboBox* comboWith(QWidget* parent, bool editable, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(editable);
    combo->addItems(items);
    return combo;
}
} // namespace

TEST(SelectComboItem, CaseSensitiveMatchFirstThenCaseInsensitive) {
    QWidget form;
    QComboBox* combo = comboWith(&form, true, {"COM1", "com2"});
    EXPECT_TRUE(SelectComboItem(combo, QStringLiteral("COM2")));
    EXPECT_EQ(combo->currentIndex(), 1);

    // An exact match wins over a later case-insensitive one; among equal
    // items the last is taken.
    combo = comboWith(&form, false, {"COM1", "com1", "Com1", "x", "x"});
    EXPECT_TRUE(SelectComboItem(combo, QStringLiteral("com1")));
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_TRUE(SelectComboItem(combo, QStringLiteral("cOm1")));
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_TRUE(SelectComboItem(combo, QStringLiteral("x")));
    EXPECT_EQ(combo->currentIndex(), 4);
}

TEST(SelectComboItem, UnknownTextEditableShowsItListOnlyReportsFalse) {
    QWidget form;
    QComboBox* editable = comboWith(&form, true, {"COM1", "com2"});
    editable->setCurrentIndex(0);
    EXPECT_TRUE(SelectComboItem(editable, QStringLiteral("COM3")));
    EXPECT_EQ(editable->currentIndex(), -1);
    EXPECT_EQ(editable->currentText(), QStringLiteral("COM3"));

    QComboBox* listOnly = comboWith(&form, false, {"COM1", "com2"});
    listOnly->setCurrentIndex(1);
    EXPECT_FALSE(SelectComboItem(listOnly, QStringLiteral("COM3")));
    EXPECT_EQ(listOnly->currentIndex(), 1); // selection kept
    EXPECT_FALSE(SelectComboItem(listOnly, QString()));
    EXPECT_EQ(listOnly->currentIndex(), -1); // an empty text clears it
}

TEST(FormPlacement, RectArithmeticShrinksThenMovesInside) {
    const QRect area(0, 0, 1920, 1040);
    EXPECT_EQ(KeepRectOnScreen(QRect(0, 0, 2000, 1500), area), area);
    EXPECT_EQ(KeepRectOnScreen(QRect(300, -200, 2000, 1500), area), area);
    EXPECT_EQ(KeepRectOnScreen(QRect(1800, 1000, 400, 300), area), QRect(1520, 740, 400, 300));
    EXPECT_EQ(KeepRectOnScreen(QRect(-50, -20, 400, 300), area), QRect(0, 0, 400, 300));
    EXPECT_EQ(KeepRectOnScreen(QRect(100, 100, 400, 300), area), QRect(100, 100, 400, 300));
    // A form flush with the right and bottom edges stays where it is.
    EXPECT_EQ(KeepRectOnScreen(QRect(1520, 740, 400, 300), area), QRect(1520, 740, 400, 300));

    const QRect shifted(100, 50, 800, 600);
    EXPECT_EQ(KeepRectOnScreen(QRect(0, 0, 200, 100), shifted), QRect(100, 50, 200, 100));
    EXPECT_EQ(KeepRectOnScreen(QRect(850, 600, 200, 100), shifted), QRect(700, 550, 200, 100));

    EXPECT_EQ(CenteredTopLeft(QSize(101, 51), QPoint(300, 250)), QPoint(250, 225));
}

TEST(FormPlacement, FormsFollowTheScreensWorkArea) {
    QRect primary, all;
    ASSERT_TRUE(GetWorkArea(primary, true));
    ASSERT_TRUE(GetWorkArea(all, false));
    ASSERT_FALSE(primary.isEmpty());
    EXPECT_TRUE(all.contains(primary));

    QWidget big;
    big.setGeometry(all.x() + 40, all.y() + 30, all.width() + 500, all.height() + 400);
    KeepFormOnScreen(&big, false);
    EXPECT_EQ(big.frameGeometry(), all);

    QWidget reference;
    reference.setGeometry(primary.x() + 100, primary.y() + 100, 400, 300);
    QWidget dialog;
    dialog.resize(101, 51);
    CenterForm(&dialog, &reference, true);
    EXPECT_EQ(dialog.frameGeometry().topLeft(), QPoint(primary.x() + 250, primary.y() + 225));

    CenterForm(&dialog, nullptr, true);
    const QPoint centre = primary.topLeft() + QPoint(primary.width() / 2, primary.height() / 2);
    EXPECT_EQ(dialog.frameGeometry().topLeft(), centre - QPoint(50, 25));
}

TEST(FormPlacement, OwnerFormFollowsTheOwnerChain) {
    QWidget form;
    auto* panel = new QWidget(&form);
    auto* holder = new QObject(panel);
    auto* component = new TComponent(holder);
    EXPECT_EQ(OwnerForm(component), &form);
    EXPECT_EQ(OwnerForm(panel), &form);
    EXPECT_EQ(OwnerForm(&form), &form);
    TComponent orphan;
    EXPECT_EQ(OwnerForm(&orphan), nullptr);
    EXPECT_EQ(OwnerForm(nullptr), nullptr);
}
