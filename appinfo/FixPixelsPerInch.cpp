// The form scaling correction of VOxaAppInfo: forms are laid out in pixels at
// 96 pixels per inch, while their fonts follow the screen; at another pixels
// per inch the client area grows with the font's text height so nothing gets
// clipped.
#include <QFontMetrics>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>
#include <cstdint>

#include "appinfo/FormTraits.h"
#include "appinfo/VOxaAppInfo.h"
#include "util/OxaUtils.h"

TFixPpiRatio FixPpiRatio(int pixelsPerInch, const QString& fontName, int textHeight,
                         int designPixelsPerInch) {
    // Measured once: this dialog font at 120 ppi needs a little more than its
    // text height says.
    if (pixelsPerInch == 120 && textHeight == 17 && fontName == QLatin1String("MS Shell Dlg 2"))
        return {25, 19};
    if (pixelsPerInch <= 0)
        return {textHeight, 0};
    return {textHeight, (designPixelsPerInch * textHeight + 30) / pixelsPerInch};
}

int MulDivRound(int value, int numerator, int denominator) {
    if (denominator == 0)
        return value;
    const int64_t product = int64_t(value) * numerator;
    const int64_t den = denominator;
    const bool negative = (product < 0) != (den < 0);
    const int64_t a = product < 0 ? -product : product;
    const int64_t d = den < 0 ? -den : den;
    const int64_t q = (2 * a + d) / (2 * d);
    return int(negative ? -q : q);
}

QSize FixPpiOuterSize(QSize outer, int bx, int by, bool sizeable, bool hasMainMenu,
                      TFixPpiRatio ratio, const TFixPpiMetrics& metrics,
                      const TFixPpiParams& params) {
    const int clientWidth = outer.width() - 2 * bx;
    int clientHeight = outer.height() - bx - by;
    if (sizeable)
        clientHeight += metrics.CaptionButtonHeight - params.DesignCaptionButtonHeight;
    const int newClientWidth = MulDivRound(clientWidth, ratio.Numerator, ratio.Denominator);
    const int newClientHeight =
        hasMainMenu ? MulDivRound(clientHeight + metrics.MenuBarHeight - params.DesignMenuHeight,
                                  ratio.Numerator, ratio.Denominator)
                    : MulDivRound(clientHeight, ratio.Numerator, ratio.Denominator);
    return {newClientWidth + 2 * bx, newClientHeight + bx + by};
}

namespace {

bool hasMainMenu(QWidget* form) {
    auto* window = qobject_cast<QMainWindow*>(form);
    return window && window->menuWidget() && !window->menuWidget()->isHidden();
}

// A child that fills the client area: the main window's central widget, or
// one marked with the dynamic property "alignClient".
bool isClientAligned(QWidget* form, QWidget* child) {
    if (auto* window = qobject_cast<QMainWindow*>(form); window && window->centralWidget() == child)
        return true;
    return child->property("alignClient").toBool();
}

bool isAligned(QWidget* form, QWidget* child) {
    return isClientAligned(form, child) || (form->layout() && form->layout()->indexOf(child) >= 0);
}

int anchorsOf(QWidget* child) {
    const QVariant a = child->property("anchors");
    return a.isValid() ? a.toInt() : (akLeft | akTop);
}

void realign(QWidget* form) {
    if (form->layout()) {
        form->layout()->setEnabled(true);
        form->layout()->activate();
    }
    for (QObject* o : form->children())
        if (auto* child = qobject_cast<QWidget*>(o);
            child && !child->isWindow() && child->property("alignClient").toBool())
            child->setGeometry(form->rect());
}

} // namespace

TFixPpiMetrics VOxaAppInfo::MeasureFormMetrics(QWidget* form) const {
    TFixPpiMetrics m;
    QScreen* screen = form->screen();
    if (screen)
        m.PixelsPerInch = qRound(screen->logicalDotsPerInchY());
    const QFontMetrics fm(form->font());
    m.TextHeight = fm.size(Qt::TextSingleLine, QStringLiteral("0")).height();
    m.FontName = form->font().family();
    m.CaptionButtonHeight = m_fixPpiParams.DesignCaptionButtonHeight;
    m.MenuBarHeight = m_fixPpiParams.DesignMenuHeight;
    const bool pending = m.PixelsPerInch != m_fixPpiParams.DesignPixelsPerInch &&
                         !form->property("oxaScaled").toBool();
    m.WidthScalingPending = pending;
    m.HeightScalingPending = pending;
    return m;
}

bool VOxaAppInfo::IsFormScaled(QWidget* form) const {
    return std::any_of(m_scaledForms.begin(), m_scaledForms.end(),
                       [form](const QPointer<QWidget>& p) { return p && p == form; });
}

void VOxaAppInfo::FixPixelsPerInch(QWidget* form, const TFixPpiParams& params) {
    if (!form)
        return;
    const QString name = form->objectName();
    m_scaledForms.removeIf([](const QPointer<QWidget>& p) { return !p; });
    if (IsFormScaled(form)) {
        Trace(name + QStringLiteral(": already in fixed list"));
        return;
    }
    m_scaledForms.append(form);

    const TFixPpiMetrics m = MeasureFormMetrics(form);
    if (m.PixelsPerInch == params.DesignPixelsPerInch) {
        Trace(name + QStringLiteral(": already at %1 ppi").arg(m.PixelsPerInch));
        realign(form);
        return;
    }
    if (!m.AutoScroll && !m.HasScrollRange && !m.WidthScalingPending && !m.HeightScalingPending)
        return;
    if (!m.AutoScroll && m.HasScrollRange)
        DebugNotify(QStringLiteral("Maybe you want to set ") + name +
                    QStringLiteral(".*ScrollBar.Range:=0 in the form designer, or verify that "
                                   "FixPixelsPerInch works all right"));
    const TFixPpiRatio ratio =
        FixPpiRatio(m.PixelsPerInch, m.FontName, m.TextHeight, params.DesignPixelsPerInch);
    // A font without measurable height gives no ratio; dividing by it would
    // be meaningless, so the form stays as it is.
    if (ratio.Numerator <= 0 || ratio.Denominator <= 0)
        return;

    // Hold every direct child where it is while the form changes size.
    struct ChildState {
        QPointer<QWidget> child;
        QVariant anchors;
        bool aligned;
    };
    QList<ChildState> children;
    if (form->layout())
        form->layout()->setEnabled(false);
    for (QObject* o : form->children())
        if (auto* child = qobject_cast<QWidget*>(o); child && !child->isWindow()) {
            children.append({child, child->property("anchors"), isAligned(form, child)});
            child->setProperty("anchors", int(akLeft | akTop));
        }

    Trace(
        QStringLiteral("Font: form=%1 %2, th=%3")
            .arg(m.FontName)
            .arg(form->font().pixelSize() > 0 ? form->font().pixelSize() : form->font().pointSize())
            .arg(m.TextHeight));
    const QRect frame = form->frameGeometry();
    const QRect client = form->geometry();
    const int bx = client.x() - frame.x();
    const int by = client.y() - frame.y();
    const QSize oldOuter = frame.size();
    const QSize newOuter = FixPpiOuterSize(oldOuter, bx, by, appinfo::isSizeable(form),
                                           hasMainMenu(form), ratio, m, params);
    // Qt sizes the client area: take the real decoration off again.
    const QSize decoration = oldOuter - client.size();
    form->resize(newOuter - decoration);
    Trace(name + QStringLiteral(": (%1,%2)->(%3,%4)")
                     .arg(oldOuter.width())
                     .arg(oldOuter.height())
                     .arg(newOuter.width())
                     .arg(newOuter.height()));
    const QSize reached = form->size() + decoration;

    for (const ChildState& c : children)
        if (c.child)
            c.child->setProperty("anchors", c.anchors);
    if (reached != newOuter) {
        Trace(name + QStringLiteral(": !!!!!!!!! chyba, ted je (%1,%2)")
                         .arg(reached.width())
                         .arg(reached.height()));
        if (form->layout())
            form->layout()->setEnabled(true);
        return;
    }

    realign(form);
    const int dw = newOuter.width() - oldOuter.width();
    const int dh = newOuter.height() - oldOuter.height();
    for (const ChildState& c : children) {
        QWidget* child = c.child;
        if (!child)
            continue;
        if (isClientAligned(form, child)) {
            const QSize before = child->size();
            const QSize scaled(MulDivRound(before.width(), ratio.Numerator, ratio.Denominator),
                               MulDivRound(before.height(), ratio.Numerator, ratio.Denominator));
            if (!(form->layout() && form->layout()->indexOf(child) >= 0) &&
                !qobject_cast<QMainWindow*>(form))
                child->resize(scaled);
            realign(form);
            if (child->size() != scaled)
                Trace(name + QStringLiteral(": ja ti dam, nema efekt: %1,%2 */ %3,%4!")
                                 .arg(before.width())
                                 .arg(before.height())
                                 .arg(ratio.Numerator)
                                 .arg(ratio.Denominator));
        } else if (!c.aligned) {
            const int anchors = anchorsOf(child);
            QPoint pos = child->pos();
            if (m.WidthScalingPending && (anchors & akRight) && !(anchors & akLeft))
                pos.rx() += dw;
            if (m.HeightScalingPending && (anchors & akBottom) && !(anchors & akTop))
                pos.ry() += dh;
            child->move(pos);
        }
    }
}
