#include "appinfo/VOxaAppInfo.h"

#include <QApplication>
#include <QLayout>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <utility>

#include "appinfo/FileVersionInfo.h"
#include "appinfo/FormTraits.h"
#include "platform/Registry.h"
#include "platform/Ticks.h"
#include "util/OxaUtils.h"
#include "util/Ticks.h"
#include "util/Timer.h"
#include "widgets/FormPlacement.h"

using platform::RegHive;
using platform::Registry;
using platform::RegValue;

// ---- TCustomFormList ---------------------------------------------------------------

void TCustomFormList::Add(const QString& name) {
    m_names.append(name);
}

bool TCustomFormList::Contains(const QString& name) const {
    return m_names.contains(name, Qt::CaseInsensitive);
}

void TCustomFormList::Assign(const QStringList& names) {
    m_names = names;
}

namespace {

// ---- registered form classes (splash form lookup) -------------------------------------

struct ClassEntry {
    std::function<QWidget*(QObject*)> factory; // empty: not a form class
};

std::map<QString, ClassEntry>& classes() {
    static std::map<QString, ClassEntry> map;
    return map;
}

// ---- stacking order of top-level windows ------------------------------------------------

// X11 offers no portable stacking query, so the most recently shown or
// activated window counts as the top-most one.
class StackingTracker : public QObject {
public:
    static StackingTracker& instance() {
        static QPointer<StackingTracker> tracker;
        static bool installed = false;
        if (!tracker) {
            tracker = new StackingTracker;
            installed = false;
        }
        // Watches every window of the application once there is one.
        if (!installed && QCoreApplication::instance()) {
            installed = true;
            tracker->setParent(QCoreApplication::instance());
            QCoreApplication::instance()->installEventFilter(tracker);
        }
        return *tracker;
    }

    QList<QWidget*> order() {
        QList<QWidget*> result;
        for (const QPointer<QWidget>& w : std::as_const(m_order))
            if (w && w->isWindow())
                result.append(w);
        return result;
    }

    std::function<QList<QWidget*>()> provider;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
            if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow()) {
                m_order.removeIf([w](const QPointer<QWidget>& p) { return !p || p == w; });
                m_order.prepend(w);
            }
        }
        return false;
    }

private:
    QList<QPointer<QWidget>> m_order;
};

bool isFormWidget(const QWidget* w) {
    if (w->property(DockedFormProperty).toBool())
        return true;
    if (!w->isWindow())
        return false;
    switch (w->windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Drawer:
    case Qt::Tool:
        return true;
    default:
        return false;
    }
}

bool isDocked(const QWidget* form) {
    return !form->isWindow() && form->property(DockedFormProperty).toBool();
}

using appinfo::hasBorder;
using appinfo::isSizeable;

QSize undockedSize(const QWidget* form) {
    const QVariant v = form->property(UndockedSizeProperty);
    return v.isValid() ? v.toSize() : form->size();
}

// Puts the window into the saved show state: 1 normal, 2 minimized,
// 3 maximized, 6 minimize; anything else only sets the bounds.
void applyShowState(QWidget* form, int showState, const QRect& normal) {
    const Qt::WindowStates others =
        form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (showState) {
    case 1:
        form->setWindowState(others);
        form->setGeometry(normal);
        if (form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
            DebugNotify(QStringLiteral("tak nebo naopak?"));
        break;
    case 2:
        form->setGeometry(normal);
        form->setWindowState(others | Qt::WindowMinimized);
        break;
    case 3:
        form->setWindowState(others | Qt::WindowMaximized);
        break;
    case 6:
        form->setGeometry(normal);
        form->setWindowState(others | Qt::WindowMinimized);
        if (!(form->windowState() & Qt::WindowMinimized))
            DebugNotify(QStringLiteral("tak nebo naopak?"));
        break;
    default:
        form->setGeometry(normal);
        DebugNotify(QStringLiteral("coto kdeto?"));
        break;
    }
}

const char* const kMinPositionProperty = "oxaMinPosition";
const char* const kMaxPositionProperty = "oxaMaxPosition";

// An optionally signed decimal number within the 32-bit range, nothing else
// (no blanks, no hexadecimal).
std::optional<int> parseDecimal(const QString& text) {
    int i = 0;
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative || text.startsWith(QLatin1Char('+')))
        i = 1;
    if (i >= text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return int(value);
}

// A stored number: a 32-bit number as is, a decimal text converted.
std::optional<int> storedInteger(const std::optional<RegValue>& v) {
    if (!v)
        return std::nullopt;
    if (v->isDword())
        return int(v->dword());
    if (v->isText())
        return parseDecimal(v->text());
    return std::nullopt;
}

} // namespace

bool appinfo::hasBorder(const QWidget* form) {
    return !(form->windowFlags() & Qt::FramelessWindowHint);
}

bool appinfo::isSizeable(const QWidget* form) {
    if (!hasBorder(form) || (form->windowFlags() & Qt::MSWindowsFixedSizeDialogHint))
        return false;
    const QSize min = form->minimumSize(), max = form->maximumSize();
    return min.width() != max.width() || min.height() != max.height();
}

// ---- VOxaAppInfo ------------------------------------------------------------------------

VOxaAppInfo::VOxaAppInfo(QObject* owner) : TComponent(owner) {
    StackingTracker::instance();
    m_startupTimer = new Timer(this);
    m_startupTimer->SetInterval(1);
    m_startupTimer->OnTimer = [this](Timer*) { StartupTimerTick(); };
    CreateFileVersionInfo();
}

VOxaAppInfo::~VOxaAppInfo() {
    m_scaledForms.clear();
    delete m_splashForm.data();
}

void VOxaAppInfo::SetRegistryPath(const QString& value) {
    m_registryPath = value;
    if (!m_registryPath.endsWith(QLatin1Char('\\')))
        m_registryPath += QLatin1Char('\\');
}

// ---- settings store -------------------------------------------------------------------------

QString VOxaAppInfo::SectionKey(const QString& section) const {
    return m_registryPath + m_appName + QLatin1Char('\\') + section;
}

QString VOxaAppInfo::ReadLayeredString(const QString& section, const QString& name,
                                       const QString& defaultValue) const {
    QString result = defaultValue;
    const QString key = SectionKey(section);
    for (RegHive hive : {RegHive::LocalMachine, RegHive::CurrentUser}) {
        const auto v = Registry(hive).value(key, name);
        if (!v)
            continue;
        if (v->isText())
            result = v->text();
        else if (v->isDword())
            result = QString::number(v->dword()); // unsigned, as the number is stored
    }
    return result;
}

int VOxaAppInfo::ReadLayeredInteger(const QString& section, const QString& name,
                                    int defaultValue) const {
    int result = defaultValue;
    const QString key = SectionKey(section);
    for (RegHive hive : {RegHive::LocalMachine, RegHive::CurrentUser})
        if (const auto n = storedInteger(Registry(hive).value(key, name)))
            result = *n;
    return result;
}

int VOxaAppInfo::ReadUserInteger(const QString& section, const QString& name, int defaultValue) {
    Registry user(RegHive::CurrentUser);
    const QString key = SectionKey(section);
    user.openKey(key, true);
    return storedInteger(user.value(key, name)).value_or(defaultValue);
}

QString VOxaAppInfo::ReadUserString(const QString& section, const QString& name,
                                    const QString& defaultValue) {
    Registry user(RegHive::CurrentUser);
    const QString key = SectionKey(section);
    user.openKey(key, true);
    const auto v = user.value(key, name);
    if (v && v->isText())
        return v->text();
    if (v && v->isDword())
        return QString::number(int32_t(v->dword())); // signed
    return defaultValue;
}

bool VOxaAppInfo::WriteUserString(const QString& section, const QString& name,
                                  const QString& value) {
    Registry user(RegHive::CurrentUser);
    return NoteWrite(user, user.setString(SectionKey(section), name, value));
}

bool VOxaAppInfo::WriteUserInteger(const QString& section, const QString& name, int value) {
    Registry user(RegHive::CurrentUser);
    const QString key = SectionKey(section);
    const auto existing = user.value(key, name);
    if (existing && existing->isText())
        return NoteWrite(user, user.setValue(key, RegValue::fromString(name, QString::number(value),
                                                                       existing->type)));
    return NoteWrite(user, user.setDword(key, name, uint32_t(value)));
}

bool VOxaAppInfo::WriteUserBool(const QString& section, const QString& name, bool value) {
    return WriteUserInteger(section, name, value ? 1 : 0);
}

bool VOxaAppInfo::DeleteUserValue(const QString& section, const QString& name) {
    Registry user(RegHive::CurrentUser);
    const QString key = SectionKey(section);
    if (!NoteWrite(user, user.openKey(key, true)))
        return false;
    const bool deleted = user.deleteValue(key, name);
    NoteWrite(user, deleted || user.errorString().isEmpty());
    return deleted;
}

bool VOxaAppInfo::NoteWrite(const Registry& registry, bool written) {
    if (!written && m_writeError.isEmpty())
        m_writeError = registry.errorString();
    return written;
}

QString VOxaAppInfo::TakeWriteError() {
    return std::exchange(m_writeError, QString());
}

QString VOxaAppInfo::CheckSettingsFiles() {
    QStringList notices;
    Registry user(RegHive::CurrentUser);
    const Registry::Check mine = user.setAsideUnreadable();
    const QString file = user.fileName();
    if (!mine.setAsidePath.isEmpty())
        notices << tr("The settings file %1 could not be read (%2). It was moved to %3; "
                      "the default settings are used and a fresh file is written "
                      "when Dralvo closes.")
                       .arg(file, mine.problem, mine.setAsidePath);
    else if (!mine.readable)
        notices << tr("The settings file %1 could not be read (%2); the default "
                      "settings are used and changes cannot be saved.")
                       .arg(file, mine.problem);
    else if (!mine.problem.isEmpty())
        notices << tr("Settings file %1: %2.").arg(file, mine.problem);
    if (mine.readable && !mine.writable)
        notices << tr("The settings file %1 is read-only; changes will not be saved.").arg(file);
    Registry machine(RegHive::LocalMachine);
    const Registry::Check shared = machine.setAsideUnreadable();
    if (!shared.problem.isEmpty())
        notices << tr("Settings file %1: %2.").arg(machine.fileName(), shared.problem);
    return notices.join(QLatin1Char(' '));
}

// ---- form placement -------------------------------------------------------------------------

QString VOxaAppInfo::PlacementKey() const {
    return m_registryPath + m_appName + QStringLiteral("\\Options\\Forms\\");
}

QList<QWidget*> VOxaAppInfo::TopLevelWindowOrder() {
    StackingTracker& tracker = StackingTracker::instance();
    if (tracker.provider)
        return tracker.provider();
    return tracker.order();
}

void VOxaAppInfo::SetTopLevelWindowOrderProvider(std::function<QList<QWidget*>()> provider) {
    StackingTracker::instance().provider = std::move(provider);
}

void VOxaAppInfo::RegisterFormClass(const QString& className,
                                    std::function<QWidget*(QObject* owner)> factory) {
    classes()[className.toLower()] = ClassEntry{std::move(factory)};
}

void VOxaAppInfo::RegisterNonFormClass(const QString& className) {
    classes()[className.toLower()] = ClassEntry{};
}

void VOxaAppInfo::UnregisterClass(const QString& className) {
    classes().erase(className.toLower());
}

QList<QWidget*> VOxaAppInfo::CollectForms() const {
    QList<QWidget*> forms;
    const std::function<void(QObject*)> visit = [&](QObject* o) {
        for (QObject* child : o->children())
            visit(child);
        if (auto* w = qobject_cast<QWidget*>(o); w && isFormWidget(w) &&
                                                 !m_exceptionList.Contains(w->objectName()) &&
                                                 !forms.contains(w))
            forms.append(w);
    };
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!w->parent())
                visit(w);
    return forms;
}

TWindowPlacement VOxaAppInfo::GetWindowPlacement(QWidget* form) {
    TWindowPlacement p;
    const Qt::WindowStates state = form->windowState();
    p.ShowCmd = (state & Qt::WindowMinimized) ? 2 : (state & Qt::WindowMaximized) ? 3 : 1;
    p.NormalPosition = form->geometry();
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        const QRect normal = form->normalGeometry();
        if (normal.isValid())
            p.NormalPosition = normal;
    }
    const QVariant minPos = form->property(kMinPositionProperty);
    if (minPos.isValid())
        p.MinPosition = minPos.toPoint();
    const QVariant maxPos = form->property(kMaxPositionProperty);
    if (maxPos.isValid())
        p.MaxPosition = maxPos.toPoint();
    return p;
}

void VOxaAppInfo::SetWindowPlacement(QWidget* form, const TWindowPlacement& p) {
    form->setProperty(kMinPositionProperty, p.MinPosition);
    form->setProperty(kMaxPositionProperty, p.MaxPosition);
    // The normal rectangle applies to the restored window, so leave any
    // minimized or maximized state first.
    if (form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
        form->setWindowState(form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    form->setGeometry(p.NormalPosition);
    switch (p.ShowCmd) {
    case 0:
        form->hide();
        break;
    case 2:
    case 6:
        form->showMinimized();
        break;
    case 3:
        form->showMaximized();
        break;
    default:
        form->show();
        break;
    }
}

void VOxaAppInfo::SaveFormPlacement(const QString& exclude) {
    QString exclusion = exclude;
    if (!exclusion.isEmpty()) {
        if (!exclusion.startsWith(QLatin1Char('|')))
            exclusion.prepend(QLatin1Char('|'));
        if (!exclusion.endsWith(QLatin1Char('|')))
            exclusion.append(QLatin1Char('|'));
    }
    QList<QWidget*> collected = CollectForms();
    QList<QWidget*> ordered;
    for (QWidget* w : TopLevelWindowOrder())
        if (collected.removeOne(w))
            ordered.append(w);
    ordered += collected;

    QStringList names;
    for (QWidget* form : ordered) {
        const QString name = form->objectName();
        if (!exclusion.contains(QLatin1Char('|') + name + QLatin1Char('|')))
            SaveOneForm(form);
        if (!name.isEmpty())
            names.append(name);
    }
    Registry user(RegHive::CurrentUser);
    NoteWrite(user, user.setString(PlacementKey(), QStringLiteral("ZOrder"),
                                   names.join(QLatin1Char('|'))));
}

void VOxaAppInfo::SaveOneForm(QWidget* form) {
    const QString name = form->objectName();
    if (name.isEmpty())
        return;
    const auto number = [](const char* valueName, int value) {
        return RegValue::fromDword(QString::fromLatin1(valueName), uint32_t(value));
    };
    QList<RegValue> values;
    const bool docked = isDocked(form);
    const bool windowExists = form->testAttribute(Qt::WA_WState_Created);
    if (windowExists) {
        const TWindowPlacement p = GetWindowPlacement(form);
        values << number("Visible", form->isVisible() ? -1 : 0) << number("WindowState", p.ShowCmd)
               << number("MinLeft", p.MinPosition.x()) << number("MinTop", p.MinPosition.y())
               << number("MaxLeft", p.MaxPosition.x()) << number("MaxTop", p.MaxPosition.y());
        if (!docked) {
            values << number("Left", p.NormalPosition.x()) << number("Top", p.NormalPosition.y())
                   << number("Width", p.NormalPosition.width())
                   << number("Height", p.NormalPosition.height());
        } else {
            const QSize size = undockedSize(form);
            values << number("Width", size.width()) << number("Height", size.height());
        }
    } else if (form->windowState() & Qt::WindowMinimized) {
        values << number("WindowState", 2) << number("MinLeft", form->x())
               << number("MinTop", form->y());
    } else if (form->windowState() & Qt::WindowMaximized) {
        values << number("WindowState", 3) << number("MaxLeft", form->x())
               << number("MaxTop", form->y());
    } else {
        values << number("WindowState", 1);
        if (!docked) {
            values << number("Left", form->x()) << number("Top", form->y())
                   << number("Width", form->width()) << number("Height", form->height());
        } else {
            const QSize size = undockedSize(form);
            values << number("Width", size.width()) << number("Height", size.height());
        }
    }
    Registry user(RegHive::CurrentUser);
    NoteWrite(user, user.setValues(PlacementKey() + name, values));
}

void VOxaAppInfo::RestoreFormPlacement() {
    QList<QWidget*> collected = CollectForms();
    QList<QWidget*> ordered;
    const auto zorder =
        Registry(RegHive::CurrentUser).value(PlacementKey(), QStringLiteral("ZOrder"));
    QString rest = zorder && zorder->isText() ? zorder->text() : QString();
    const QString bar = QStringLiteral("|");
    while (!rest.isEmpty()) {
        const auto before = rest.size();
        bool more = true;
        QString name;
        ExtractToken(rest, more, bar, name);
        if (!name.isEmpty()) {
            const auto it = std::find_if(collected.begin(), collected.end(),
                                         [&](QWidget* w) { return w->objectName() == name; });
            if (it != collected.end()) {
                ordered.append(*it);
                collected.erase(it);
            }
        }
        if (rest.size() >= before)
            break; // no progress: never loop forever on an odd text
    }
    for (QWidget* w : TopLevelWindowOrder())
        if (collected.removeOne(w))
            ordered.append(w);
    ordered += collected;

    QList<QPointer<QWidget>> guarded(ordered.begin(), ordered.end());
    for (auto it = guarded.rbegin(); it != guarded.rend(); ++it)
        if (*it)
            RestoreOneForm(*it);
}

void VOxaAppInfo::RestoreOneForm(QWidget* form) {
    const QString name = form->objectName();
    if (name.isEmpty())
        return;
    FixPixelsPerInch(form, m_fixPpiParams);

    TWindowPlacement p = GetWindowPlacement(form);
    const TWindowPlacement p0 = p;
    Registry user(RegHive::CurrentUser);
    const QString key = PlacementKey() + name;
    QList<RegValue> saved = user.values(key);
    const auto read = [&](const char* valueName) -> std::optional<int> {
        for (const RegValue& v : saved)
            if (v.name.compare(QLatin1String(valueName), Qt::CaseInsensitive) == 0)
                return storedInteger(v);
        return std::nullopt;
    };

    const bool visible = read("Visible").value_or(form->isVisible() ? -1 : 0) != 0 &&
                         (IsApplicationRunning() || form->isVisible());

    // Windows follows the placement with a posted show-window notification;
    // here applying the placement below shows or hides the window itself, and
    // nothing is posted that could undo a later show() by the program.
    const std::optional<int> savedState = read("WindowState");
    const int showState = savedState.value_or(p.ShowCmd);
    const bool unsaved = !savedState.has_value();

    p.MinPosition = QPoint(read("MinLeft").value_or(p.MinPosition.x()),
                           read("MinTop").value_or(p.MinPosition.y()));
    p.MaxPosition = QPoint(read("MaxLeft").value_or(p.MaxPosition.x()),
                           read("MaxTop").value_or(p.MaxPosition.y()));
    const bool takeSize = m_resizeNonresizeable || isSizeable(form);
    if (m_resizeNonresizeable || hasBorder(form))
        p.NormalPosition.moveTo(read("Left").value_or(p.NormalPosition.x()),
                                read("Top").value_or(p.NormalPosition.y()));
    if (takeSize)
        p.NormalPosition.setSize(QSize(read("Width").value_or(p.NormalPosition.width()),
                                       read("Height").value_or(p.NormalPosition.height())));
    if (unsaved) {
        QRect area;
        if (GetWorkArea(area, true))
            p.NormalPosition = KeepRectOnScreen(p.NormalPosition, area);
    }

    if (isDocked(form)) {
        if (takeSize) {
            const QSize current = undockedSize(form);
            form->setProperty(UndockedSizeProperty,
                              QSize(read("Width").value_or(current.width()),
                                    read("Height").value_or(current.height())));
        }
    } else {
        if (!visible) {
            TWindowPlacement hidden = p;
            hidden.ShowCmd = 0;
            SetWindowPlacement(form, hidden);
        }
        if (showState == 2 && form->isVisible()) {
            TWindowPlacement q = p0;
            q.MinPosition = p.MinPosition;
            SetWindowPlacement(form, q);
        }
        applyShowState(form, showState, p.NormalPosition);
        if (visible) {
            p.ShowCmd = showState;
            SetWindowPlacement(form, p);
        }
    }
    form->setProperty(kMinPositionProperty, p.MinPosition);
    form->setProperty(kMaxPositionProperty, p.MaxPosition);
}

// ---- start-up phase -----------------------------------------------------------------------

void VOxaAppInfo::Loaded() {
    TComponent::Loaded();
    auto* ownerWidget = qobject_cast<QWidget*>(Owner());
    m_ownerForm = ownerWidget && ownerWidget->isWindow() ? ownerWidget : nullptr;
    if (m_ownerForm && !m_ownerShowHooked) {
        m_ownerShowHooked = true;
        m_ownerForm->installEventFilter(this);
    }
    if (!m_splashFormClass.isEmpty())
        CreateSplashForm();
}

void VOxaAppInfo::CreateSplashForm() {
    const auto it = classes().find(m_splashFormClass.toLower());
    if (it == classes().end() || !it->second.factory) {
        QString text = QStringLiteral("Please add the following statement:\r\n"
                                      "RegisterClass(__classid(%s)); or RegisterClass(%s) "
                                      "{unit Classes}\r\n"
                                      "after Application->Initialize");
        text.replace(QStringLiteral("%s"), m_splashFormClass);
        throw EOxaAppInfoError(text);
    }
    try {
        m_splashForm = it->second.factory(nullptr);
    } catch (...) {
        m_splashForm = nullptr;
        throw;
    }
    if (!m_splashForm)
        return;
    m_splashCreatedAt = platform::GetTickCount();
    m_splashForm->setVisible(m_splashVisible);
    if (m_splashVisible) {
        // The main window waits until the splash form goes.
        if (m_ownerForm && m_ownerForm->isVisible())
            m_ownerForm->hide();
        m_splashForm->repaint();
    }
}

bool VOxaAppInfo::SplashFormUp() const {
    return m_splashForm && m_splashVisible && m_startupTimer;
}

bool VOxaAppInfo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ownerForm && event->type() == QEvent::Show) {
        if (SplashFormUp()) {
            // The owner form appears when the splash form goes, not before.
            QPointer<QWidget> owner = m_ownerForm;
            QMetaObject::invokeMethod(
                this,
                [this, owner] {
                    if (owner && SplashFormUp())
                        owner->hide();
                },
                Qt::QueuedConnection);
        }
        if (m_ownerShowHooked) {
            // The form's own show handling runs after this, as it did before
            // the hook was installed.
            m_ownerShowHooked = false;
            if (OnOwnerFirstShow)
                OnOwnerFirstShow(this);
        }
        if (!SplashFormUp())
            m_ownerForm->removeEventFilter(this);
    }
    return TComponent::eventFilter(watched, event);
}

bool VOxaAppInfo::MessageLoopRunning() const {
    return QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0;
}

void VOxaAppInfo::StartupTimerTick() {
    if (!m_startupTimer || !MessageLoopRunning() || m_inhibitApplRunning)
        return;
    const auto fireOnce = [this] {
        if (m_applRunningFired)
            return;
        m_applRunningFired = true;
        if (OnApplRunning)
            OnApplRunning(this);
    };
    if (m_splashForm && m_splashVisible) {
        fireOnce(); // on the first eligible tick, while the splash form is still up
        if (!TickElapsed(m_splashCreatedAt, m_splashMinTime))
            return;
        StopStartupTimer();
        delete m_splashForm.data();
        if (m_ownerForm) {
            if (!m_ownerShowHooked)
                m_ownerForm->removeEventFilter(this);
            m_ownerForm->setVisible(m_mainVisible);
        }
        return;
    }
    StopStartupTimer();
    fireOnce();
}

void VOxaAppInfo::StopStartupTimer() {
    if (!m_startupTimer)
        return;
    m_startupTimer->SetEnabled(false);
    m_startupTimer->OnTimer = nullptr;
    m_startupTimer->deleteLater();
    m_startupTimer = nullptr;
}

void VOxaAppInfo::CreateFileVersionInfo() {
    m_fileVersionInfo = new TFileVersionInfo(this);
}

// ---- VOxaImprovedForm helper --------------------------------------------------------------

void AdjustChildrenToActualSize(QWidget* form, QSize requested, QSize actual) {
    const int dx = requested.width() - actual.width();
    const int dy = requested.height() - actual.height();
    if (!form || (dx == 0 && dy == 0))
        return;
    for (QObject* o : form->children()) {
        auto* child = qobject_cast<QWidget*>(o);
        if (!child || child->isWindow())
            continue;
        if (form->layout() && form->layout()->indexOf(child) >= 0)
            continue; // aligned: the layout places it
        const QVariant a = child->property("anchors");
        const int anchors = a.isValid() ? a.toInt() : (akLeft | akTop);
        QRect r = child->geometry();
        if ((anchors & akRight) && (anchors & akLeft))
            r.setWidth(r.width() - dx);
        else if (anchors & akRight)
            r.moveLeft(r.x() - dx);
        if ((anchors & akBottom) && (anchors & akTop))
            r.setHeight(r.height() - dy);
        else if (anchors & akBottom)
            r.moveTop(r.y() - dy);
        child->setGeometry(r);
    }
}
