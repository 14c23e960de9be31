// Module commands and file sending of the main window: the autostart command,
// the file sender, the port box and the port settings dialog.
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include "app/FormMain.h"
#include "app/ModuleCommands.h"
#include "comm/VOXComm32.h"
#include "terminal/VOxaTerminal.h"

namespace {

const char* const FileSenderName = "FileSender";

// The window's file sender, made when the first file is sent.
app::FileSender* fileSenderOf(TfrmMain* form) {
    auto* sender = form->findChild<app::FileSender*>(QLatin1String(FileSenderName),
                                                     Qt::FindDirectChildrenOnly);
    if (sender)
        return sender;
    sender = new app::FileSender(form);
    sender->setObjectName(QLatin1String(FileSenderName));
    sender->send = [form](const char* data, int count) {
        return form->commMain->WriteCommData(data, count);
    };
    sender->echo = [form](const char* data, int count) { form->session->EchoSent(data, count); };
    sender->failed = [form](int error) { app::reportIoError(form, error); };
    return sender;
}

} // namespace

void TfrmMain::btAutostartOnClick() {
    session->SendAutostartCommand(edtStartCmd->text().toLatin1());
}

QFileDialog* TfrmMain::sendFileDialog() {
    if (!OpenDialogSendFile) {
        OpenDialogSendFile = new QFileDialog(this);
        OpenDialogSendFile->setObjectName(QStringLiteral("OpenDialogSendFile"));
        OpenDialogSendFile->setWindowTitle(tr("Select file to send"));
        OpenDialogSendFile->setFileMode(QFileDialog::ExistingFile);
        // "*.*" would hide files without an extension here.
        OpenDialogSendFile->setNameFilter(tr("All files (*)"));
    }
    return OpenDialogSendFile;
}

void TfrmMain::btnSFBrowseClick() {
    QFileDialog* dialog = sendFileDialog();
    if (dialog->exec() != QDialog::Accepted)
        return;
    const QStringList files = dialog->selectedFiles();
    if (!files.isEmpty())
        edtSFFilename->setText(
            QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()));
}

void TfrmMain::btnSFSendClick() {
    // Blocks of up to 513 bytes, each copied into the port's queue and shown
    // as sent; the write worker paces them. A large file goes on in slices so
    // the window stays responsive while the terminal and its log keep up.
    fileSenderOf(this)->start(edtSFFilename->text());
}

void TfrmMain::cmbPortChange() {
    commMain->SetCommPort(cmbPort->currentText());
}

void TfrmMain::cmbPortDropDown() {
    commMain->FillPortList(cmbPort);
}

void TfrmMain::btnConfigClick() {
    commMain->ShowPortDialog(tr("COM port parameters"));
}
