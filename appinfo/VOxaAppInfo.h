#pragma once
// VOxaAppInfo: where the application keeps its settings (RegistryPath +
// AppName in the user hive, layered reads also in the machine hive), the
// settings read/write operations, the placement of all of the application's
// top-level windows, the start-up phase and an optional splash form.
#include <QDateTime>
#include <QEvent>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QSessionManager>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "util/Component.h"

class Timer;
class TFileVersionInfo;
namespace platform {
class Registry;
}

// Raised when the splash form class cannot be created.
class EOxaAppInfoError : public std::runtime_error {
public:
    explicit EOxaAppInfoError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString Message() const { return m_message; }

private:
    QString m_message;
};

// Names of forms, compared without regard to letter case.
class TCustomFormList {
public:
    void Add(const QString& name);
    void Clear() { m_names.clear(); }
    int Count() const { return int(m_names.size()); }
    QString operator[](int index) const { return m_names.at(index); }
    bool Contains(const QString& name) const;
    void Assign(const TCustomFormList& other) { m_names = other.m_names; }
    void Assign(const QStringList& names);
    QStringList Names() const { return m_names; }

private:
    QStringList m_names;
};

// A form docked into another window is a child widget, not a window. Whoever
// docks a form marks it with the dynamic property DockedFormProperty (true) so
// the placement keeps treating it as a form, and keeps its floating size in
// UndockedSizeProperty (QSize).
inline constexpr const char* DockedFormProperty = "oxaDockedForm";
inline constexpr const char* UndockedSizeProperty = "oxaUndockedSize";

// Window placement as the stored values describe it. The normal rectangle is
// the window's client geometry in screen coordinates while it is neither
// minimized nor maximized; min/max positions have no counterpart on X11 and
// are only carried through (kept as dynamic properties of the widget).
struct TWindowPlacement {
    int ShowCmd = 1; // 0 hidden, 1 normal, 2 minimized, 3 maximized, 6 minimize
    QPoint MinPosition{-1, -1};
    QPoint MaxPosition{-1, -1};
    QRect NormalPosition;
};

// Design metrics handed to the scaling correction.
struct TFixPpiParams {
    int DesignPixelsPerInch = 96;
    int DesignMenuHeight = 20;
    int DesignCaptionButtonHeight = 25;
};

// What the scaling correction measures on a form and the system.
struct TFixPpiMetrics {
    int PixelsPerInch = 96;       // the screen's logical pixels per inch
    int TextHeight = 0;           // height of the text "0" in the form's font
    QString FontName;             // family of the form's font
    int CaptionButtonHeight = 25; // the system's caption-button height
    int MenuBarHeight = 20;       // the system's menu-bar height
    bool AutoScroll = false;      // the form scrolls by itself
    bool HasScrollRange = false;  // the form carries a scroll range
    bool WidthScalingPending = false;
    bool HeightScalingPending = false;
};

struct TFixPpiRatio {
    int Numerator = 1;
    int Denominator = 1;
};

// The growth ratio of the client area: text height over the text height the
// design pixels per inch would give, with the one measured exception of
// "MS Shell Dlg 2" at 120 ppi.
TFixPpiRatio FixPpiRatio(int pixelsPerInch, const QString& fontName, int textHeight,
                         int designPixelsPerInch = 96);
// value * numerator / denominator in 64 bits, rounded to the nearest integer
// (halves away from zero).
int MulDivRound(int value, int numerator, int denominator);
// The new outer size of a form of outer size `outer` whose client area starts
// bx pixels right and by pixels below its outer corner.
QSize FixPpiOuterSize(QSize outer, int bx, int by, bool sizeable, bool hasMainMenu,
                      TFixPpiRatio ratio, const TFixPpiMetrics& metrics,
                      const TFixPpiParams& params);

class VOxaAppInfo : public TComponent {
    Q_OBJECT
public:
    explicit VOxaAppInfo(QObject* owner = nullptr);
    ~VOxaAppInfo() override;

    // ---- published properties ------------------------------------------------
    QString AppName() const { return m_appName; }
    void SetAppName(const QString& value) { m_appName = value; }
    // Always ends in a backslash: the setter appends one when missing.
    QString RegistryPath() const { return m_registryPath; }
    void SetRegistryPath(const QString& value);
    bool InhibitApplRunning() const { return m_inhibitApplRunning; }
    void SetInhibitApplRunning(bool value) { m_inhibitApplRunning = value; }
    bool ResizeNonresizeable() const { return m_resizeNonresizeable; }
    void SetResizeNonresizeable(bool value) { m_resizeNonresizeable = value; }
    QString SplashFormClass() const { return m_splashFormClass; }
    void SetSplashFormClass(const QString& value) { m_splashFormClass = value; }
    bool MainVisible() const { return m_mainVisible; }
    void SetMainVisible(bool value) { m_mainVisible = value; }
    bool SplashVisible() const { return m_splashVisible; }
    void SetSplashVisible(bool value) { m_splashVisible = value; }
    uint32_t SplashMinTime() const { return m_splashMinTime; }
    void SetSplashMinTime(uint32_t ms) { m_splashMinTime = ms; }
    TCustomFormList& ExceptionList() { return m_exceptionList; }
    const TCustomFormList& ExceptionList() const { return m_exceptionList; }
    void SetExceptionList(const TCustomFormList& list) { m_exceptionList.Assign(list); }
    QDateTime SourceLastModified() const { return m_sourceLastModified; }
    void SetSourceLastModified(const QDateTime& value) { m_sourceLastModified = value; }

    std::function<void(QObject* sender)> OnApplRunning;
    std::function<void(QObject* sender)> OnOwnerFirstShow;

    // ---- settings store ----------------------------------------------------------
    // Every section key is RegistryPath + AppName + "\" + section. Each call
    // does one access to the hive (a hive file is parsed again only when it
    // changed, see platform::Registry).
    QString SectionKey(const QString& section) const;

    // Default, then the machine hive, then the user hive (each key read-only):
    // a string gives its text, a 32-bit number its unsigned decimal text.
    QString ReadLayeredString(const QString& section, const QString& name,
                              const QString& defaultValue) const;
    // Same layering; a number is taken as is, a string only when its text is a
    // decimal integer.
    int ReadLayeredInteger(const QString& section, const QString& name, int defaultValue) const;
    // User hive only (the section key is created when missing): a number as is,
    // a string through decimal conversion (the default when not a number).
    int ReadUserInteger(const QString& section, const QString& name, int defaultValue);
    // User hive only: a string's text, a number as signed decimal text.
    QString ReadUserString(const QString& section, const QString& name,
                           const QString& defaultValue);
    // The writes return false when the hive cannot be written (nothing else
    // happens then).
    bool WriteUserString(const QString& section, const QString& name, const QString& value);
    // A 32-bit number; a value that exists as a string stays a string holding
    // the decimal text.
    bool WriteUserInteger(const QString& section, const QString& name, int value);
    bool WriteUserBool(const QString& section, const QString& name, bool value);
    bool DeleteUserValue(const QString& section, const QString& name);

    // What the user must know about the settings files, in words; empty when
    // all is well. An unreadable user hive is moved aside first (kept beside
    // it as "user.reg.bad-YYYYMMDD-hhmmss"), so that the settings of this
    // session can be saved to a fresh one.
    QString CheckSettingsFiles();
    // The first change of the user hive that failed since the last call
    // ("<file>: <reason>"); empty when none did.
    QString TakeWriteError();

    // ---- form placement ------------------------------------------------------------
    // Placement key: RegistryPath + AppName + "\Options\Forms\".
    QString PlacementKey() const;
    // Restores every form of the application (see SaveFormPlacement), the
    // form saved top-most last.
    void RestoreFormPlacement();
    // Saves every form and the stacking order ("ZOrder"). exclude: names of
    // forms not to save, joined by "|" (they still appear in "ZOrder").
    void SaveFormPlacement(const QString& exclude = QString());

    // ---- start-up phase --------------------------------------------------------------
    // True once the start-up phase is over (the start-up timer is gone).
    bool IsApplicationRunning() const { return m_startupTimer == nullptr; }
    QWidget* SplashForm() const { return m_splashForm; }

    void Loaded() override;

    // ---- scaling correction ----------------------------------------------------------
    // Applied once per form just before its placement is restored. A form is
    // remembered as treated (until it is destroyed) whatever the outcome.
    virtual void FixPixelsPerInch(QWidget* form, const TFixPpiParams& params);
    bool IsFormScaled(QWidget* form) const;
    // The metrics the correction works with. On Qt: the screen's logical
    // pixels per inch, the height of "0" in the form's font; the caption and
    // the menu bar count at their design heights, as the window manager draws
    // the caption and the menu bar lies inside the client area here. Scaling
    // is pending when the screen differs from the design pixels per inch
    // (forms are laid out in design pixels) unless the form's dynamic property
    // "oxaScaled" says it scales itself.
    virtual TFixPpiMetrics MeasureFormMetrics(QWidget* form) const;
    const TFixPpiParams& FixPpiParams() const { return m_fixPpiParams; }

    // The version reader for the running executable (none when it could not be
    // created).
    TFileVersionInfo* FileVersionInfo() const { return m_fileVersionInfo; }

    // ---- platform services (replaceable by tests) -------------------------------------
    // The application's top-level windows from the top of the stacking order
    // down. X11 has no portable stacking query, so by default this is the
    // order of the most recent activation or showing, newest first; windows
    // never shown do not appear.
    static QList<QWidget*> TopLevelWindowOrder();
    static void SetTopLevelWindowOrderProvider(std::function<QList<QWidget*>()> provider);

    // Splash form classes are looked up by name among these.
    static void RegisterFormClass(const QString& className,
                                  std::function<QWidget*(QObject* owner)> factory);
    // A registered class that is not a form (creating it gives no widget).
    static void RegisterNonFormClass(const QString& className);
    static void UnregisterClass(const QString& className);

    // Every form of the application: each parentless top-level widget's
    // window descendants depth-first (children before their parent), then the
    // widget itself; forms named in ExceptionList are left out.
    QList<QWidget*> CollectForms() const;

    static TWindowPlacement GetWindowPlacement(QWidget* form);
    static void SetWindowPlacement(QWidget* form, const TWindowPlacement& placement);

protected:
    // Diagnostic texts of the scaling correction; discarded unless overridden.
    virtual void Trace(const QString& text) { Q_UNUSED(text); }
    // True once the application's event loop runs; the start-up phase waits
    // for it.
    virtual bool MessageLoopRunning() const;
    // Called by the start-up timer every millisecond.
    void StartupTimerTick();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void SaveOneForm(QWidget* form);
    void RestoreOneForm(QWidget* form);
    void CreateSplashForm();
    bool SplashFormUp() const;
    void StopStartupTimer();
    void CreateFileVersionInfo();
    bool NoteWrite(const platform::Registry& registry, bool written);

    QString m_appName = QStringLiteral("[Unknown]");
    QString m_registryPath = QStringLiteral("Software\\Oxatek\\");
    bool m_inhibitApplRunning = false;
    bool m_resizeNonresizeable = false;
    QString m_splashFormClass;
    bool m_mainVisible = true;
    bool m_splashVisible = true;
    uint32_t m_splashMinTime = 0;
    TCustomFormList m_exceptionList;
    QDateTime m_sourceLastModified;

    QPointer<QWidget> m_ownerForm;
    bool m_ownerShowHooked = false;
    Timer* m_startupTimer = nullptr;
    QPointer<QWidget> m_splashForm;
    uint32_t m_splashCreatedAt = 0;
    bool m_applRunningFired = false;
    QList<QPointer<QWidget>> m_scaledForms;
    TFixPpiParams m_fixPpiParams;
    TFileVersionInfo* m_fileVersionInfo = nullptr;
    QString m_writeError;
};

// Child adjustment of VOxaImprovedForm, usable on any widget: when a window
// came out at another size than requested, each direct child that is not
// managed by a layout is adjusted by (requested - actual) per its anchors,
// read from the dynamic property "anchors" (TAnchorFlags; missing = left|top).
enum TAnchorFlags { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
void AdjustChildrenToActualSize(QWidget* form, QSize requested, QSize actual);

// A form base adding two window-level hooks to any QWidget class:
// - at the end of the session (the session manager's commit-data request) the
//   form runs CloseQuery; while it refuses, one pending event is processed and
//   it is asked again; then the session may end;
// - when its native window has been created at a size other than requested,
//   AdjustChildrenToActualSize fixes up the children.
template <class Base = QWidget> class VOxaImprovedForm : public Base {
public:
    template <class... Args>
    explicit VOxaImprovedForm(Args&&... args) : Base(std::forward<Args>(args)...) {
        if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            QObject::connect(app, &QGuiApplication::commitDataRequest, this,
                             [this](QSessionManager&) { EndSessionQuery(); });
    }

    // The form's close query; true allows closing.
    virtual bool CloseQuery() { return true; }

    // Runs the close query until it allows closing (used at the end of the
    // session); returns when the session may end.
    void EndSessionQuery() {
        while (!CloseQuery())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::Polish && !m_sizeChecked && this->isWindow())
            m_requested = this->size();
        const bool result = Base::event(e);
        if ((e->type() == QEvent::WinIdChange || e->type() == QEvent::Show) && !m_sizeChecked &&
            this->isWindow() && this->testAttribute(Qt::WA_WState_Created)) {
            m_sizeChecked = true;
            if (m_requested.isValid() && m_requested != this->size())
                AdjustChildrenToActualSize(this, m_requested, this->size());
        }
        return result;
    }

private:
    QSize m_requested;
    bool m_sizeChecked = false;
};
