#include "appinfo/VOxaAppInfo.h"

#include <QMainWindow>
#include <gtest/gtest.h>

namespace {

// Injects the measured metrics and keeps the diagnostic texts.
class MeasuredAppInfo : public VOxaAppInfo {
public:
    TFixPpiMetrics MeasureFormMetrics(QWidget* form) const override {
        ++measured;
        TFixPpiMetrics m = metrics;
        if (m.FontName.isEmpty())
            m.FontName = form->font().family();
        return m;
    }
    void Trace(const QString& text) override { traces << text; }

    TFixPpiMetrics metrics;
    mutable int measured = 0;
    QStringList traces;
};

TFixPpiMetrics at(int ppi, int textHeight, const QString& font = QStringLiteral("Tahoma")) {
    TFixPpiMetrics m;
    m.PixelsPerInch = ppi;
    m.TextHeight = textHeight;
    m.FontName = font;
    m.WidthScalingPending = m.HeightScalingPending = ppi != 96;
    return m;
}

} // namespace

TEST(FixPpiArithmetic, RatioRuleWithItsOneException) {
    EXPECT_EQ(FixPpiRatio(120, "MS Shell Dlg 2", 17).Numerator, 25);
    EXPECT_EQ(FixPpiRatio(120, "MS Shell Dlg 2", 17).Denominator, 19);
    EXPECT_EQ(FixPpiRatio(120, "Tahoma", 16).Numerator, 16);
    EXPECT_EQ(FixPpiRatio(120, "Tahoma", 16).Denominator, 13); // (96*16+30)/120 = 13.05
    EXPECT_EQ(FixPpiRatio(120, "Tahoma", 17).Denominator, 13); // exception needs the font
    EXPECT_EQ(FixPpiRatio(144, "MS Shell Dlg 2", 17).Denominator, 11);
    EXPECT_EQ(FixPpiRatio(96, "Tahoma", 13).Denominator, 13);

    EXPECT_EQ(MulDivRound(300, 16, 13), 369);             // 369.23
    EXPECT_EQ(MulDivRound(13, 3, 2), 20);                 // 19.5 rounds up
    EXPECT_EQ(MulDivRound(-13, 3, 2), -20);               // and away from zero below it
    EXPECT_EQ(MulDivRound(2000000, 3000, 4000), 1500000); // no 32-bit overflow

    TFixPpiParams params;
    TFixPpiMetrics m = at(120, 16);
    // 8 pixels of side frame, 30 at the top: client 384 x 262.
    EXPECT_EQ(FixPpiOuterSize({400, 300}, 8, 30, false, false, {16, 13}, m, params),
              QSize(473 + 16, 322 + 38));
    m.CaptionButtonHeight = 30; // a sizeable border counts the caption's growth too
    EXPECT_EQ(FixPpiOuterSize({400, 300}, 8, 30, true, false, {16, 13}, m, params),
              QSize(489, 329 + 38)); // (262 + 5) * 16/13 = 328.6
    m.MenuBarHeight = 26;            // a main menu counts the menu's growth
    EXPECT_EQ(FixPpiOuterSize({400, 300}, 8, 30, false, true, {16, 13}, m, params),
              QSize(489, 330 + 38)); // (262 + 6) * 16/13 = 329.8
}

TEST(FixPixelsPerInch, NothingChangesAtTheDesignPixelsPerInch) {
    MeasuredAppInfo info;
    info.metrics = at(96, 13);
    QWidget form;
    form.setObjectName("frmMain");
    form.resize(300, 200);
    info.FixPixelsPerInch(&form, TFixPpiParams());
    EXPECT_EQ(form.size(), QSize(300, 200));
    EXPECT_TRUE(info.IsFormScaled(&form));
    EXPECT_TRUE(info.traces.contains("frmMain: already at 96 ppi"));
}

TEST(FixPixelsPerInch, GrowsTheClientAreaByTheRatioOnlyOnce) {
    MeasuredAppInfo info;
    info.metrics = at(120, 17, "MS Shell Dlg 2");
    QWidget form;
    form.setObjectName("frmCfgAdv");
    form.resize(380, 190);
    auto* ok = new QWidget(&form);
    ok->setGeometry(300, 150, 70, 25);
    ok->setProperty("anchors", int(akRight | akBottom));
    auto* label = new QWidget(&form);
    label->setGeometry(10, 10, 100, 20);
    auto* fill = new QWidget(&form);
    fill->setProperty("alignClient", true);
    fill->setGeometry(form.rect());

    info.FixPixelsPerInch(&form, TFixPpiParams());
    EXPECT_EQ(form.size(), QSize(500, 250));            // 380*25/19, 190*25/19
    EXPECT_EQ(ok->geometry(), QRect(420, 210, 70, 25)); // kept its distance to the corner
    EXPECT_EQ(label->geometry(), QRect(10, 10, 100, 20));
    EXPECT_EQ(fill->size(), QSize(500, 250));
    EXPECT_EQ(ok->property("anchors").toInt(), int(akRight | akBottom)); // anchors given back

    // The same font at another height takes the plain rule: 16/13.
    MeasuredAppInfo other;
    other.metrics = at(120, 16);
    QWidget second;
    second.resize(390, 260);
    other.FixPixelsPerInch(&second, TFixPpiParams());
    EXPECT_EQ(second.size(), QSize(480, 320));

    // Treated once only, also when its placement is restored later.
    info.FixPixelsPerInch(&form, TFixPpiParams());
    EXPECT_EQ(form.size(), QSize(500, 250));
    EXPECT_EQ(info.measured, 1);
    EXPECT_TRUE(info.traces.contains("frmCfgAdv: already in fixed list"));
}

TEST(FixPixelsPerInch, FormsThatScaleThemselvesOrHaveNoFontHeightStay) {
    MeasuredAppInfo info;
    info.metrics = at(120, 16);
    info.metrics.WidthScalingPending = info.metrics.HeightScalingPending = false;
    QWidget form;
    form.resize(300, 200);
    info.FixPixelsPerInch(&form, TFixPpiParams());
    EXPECT_EQ(form.size(), QSize(300, 200));

    MeasuredAppInfo noFont;
    noFont.metrics = at(120, 0);
    QWidget other;
    other.resize(300, 200);
    noFont.FixPixelsPerInch(&other, TFixPpiParams());
    EXPECT_EQ(other.size(), QSize(300, 200));
    noFont.FixPixelsPerInch(nullptr, TFixPpiParams());
}

TEST(FixPixelsPerInch, ADestroyedFormLeavesTheTreatedList) {
    MeasuredAppInfo info;
    info.metrics = at(96, 13);
    auto* form = new QWidget;
    info.FixPixelsPerInch(form, TFixPpiParams());
    EXPECT_TRUE(info.IsFormScaled(form));
    delete form;
    EXPECT_FALSE(info.IsFormScaled(form));
}

TEST(FixPixelsPerInch, QtMetricsUseTheScreenAndTheFormFont) {
    VOxaAppInfo info;
    QWidget form;
    const TFixPpiMetrics m = info.MeasureFormMetrics(&form);
    EXPECT_GT(m.PixelsPerInch, 0);
    EXPECT_EQ(m.TextHeight, QFontMetrics(form.font()).height());
    EXPECT_EQ(m.FontName, form.font().family());
    EXPECT_EQ(m.WidthScalingPending, m.PixelsPerInch != 96);
}
