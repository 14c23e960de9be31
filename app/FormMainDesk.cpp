// The desk's features in the main window: the quick-send buttons in the
// terminal window (and F1 to F12 in both windows), their editor, the running
// sequence's step, and the desk's settings.
#include <QCheckBox>
#include <QKeyEvent>

#include "app/Desk.h"
#include "app/DeskSettings.h"
#include "app/FormMain.h"
#include "app/FormQuickSend.h"
#include "terminal/QuickSendBar.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"

void TfrmMain::createDesk() {
    desk = new app::Desk(session, this);
    desk->setObjectName(QStringLiteral("desk"));
    desk->OnSequenceStatus = [this](const QString& status, bool running) {
        if (TerminalWindow* form = termData->Form())
            form->QuickSend()->setStatus(status, running);
    };
    TerminalWindow* form = termData->Form();
    if (!form)
        return;
    QuickSendBar* bar = form->QuickSend();
    connect(form, &TerminalWindow::quickSendRequested, desk, &app::Desk::Press);
    connect(bar, &QuickSendBar::stopRequested, desk, &app::Desk::Stop);
    connect(bar, &QuickSendBar::editRequested, this, [this] { btnQuickSendEditClick(); });
    ShowQuickSendButtons();
}

void TfrmMain::ShowQuickSendButtons() {
    TerminalWindow* form = termData->Form();
    if (!form)
        return;
    QStringList labels, hints;
    const macros::QuickSendButtons& buttons = desk->Buttons();
    for (int i = 0; i < int(buttons.size()); ++i) {
        labels << buttons[size_t(i)].label;
        QString hint = buttons[size_t(i)].text.left(400);
        if (hint.isEmpty())
            hint = tr("(nothing to send: Edit ... gives the button a text)");
        hints << (i < macros::kQuickSendKeys ? QStringLiteral("F%1: ").arg(i + 1) : QString()) +
                     hint;
    }
    form->QuickSend()->setButtons(labels, hints);
}

void TfrmMain::btnQuickSendEditClick() {
    TfrmQuickSend editor(termData->Form() ? static_cast<QWidget*>(termData->Form()) : this);
    editor.SetButtons(desk->Buttons());
    editor.SetReactions(desk->ReactionsText());
    if (editor.exec() != QDialog::Accepted)
        return;
    desk->SetButtons(editor.Buttons());
    desk->SetReactions(editor.Reactions());
    m_reactionsText = editor.Reactions();
    ShowQuickSendButtons();
}

void TfrmMain::LoadDeskSettings() {
    const app::DeskSettings s = app::LoadDeskSettings(VOxaAppInfo1);
    desk->SetButtons(s.buttons);
    QString problem;
    if (!desk->SetReactions(s.reactions, &problem))
        ShowNotice(problem); // kept as stored, not in force
    m_reactionsText = s.reactions;
    chkShowHex->setChecked(s.showHex);
    chkShowUtf8->setChecked(s.showUtf8);
    ShowQuickSendButtons();
}

void TfrmMain::SaveDeskSettings() {
    app::DeskSettings s;
    s.buttons = desk->Buttons();
    // Rules that did not parse at start are kept as they were stored.
    s.reactions = m_reactionsText;
    s.showHex = session->ShowHex();
    s.showUtf8 = session->ShowUtf8();
    app::SaveDeskSettings(VOxaAppInfo1, s);
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
    // F1 to F12 here too. Not shortcuts: those would also take the keys from
    // the terminal window (a tool window of this one), where F3 finds the
    // next match while the find bar is open.
    const int index = event->key() - Qt::Key_F1;
    if (index >= 0 && index < macros::kQuickSendKeys &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        desk->Press(index);
        return;
    }
    QMainWindow::keyPressEvent(event);
}
