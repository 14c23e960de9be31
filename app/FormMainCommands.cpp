// Module commands and file sending of the main window: the autostart command,
// the file sender, the port box and the port settings dialog.
//
// Minimal bodies until that code lands.
#include "app/FormMain.h"

void TfrmMain::btAutostartOnClick() {}
void TfrmMain::btnSFBrowseClick() {}
void TfrmMain::btnSFSendClick() {}
void TfrmMain::cmbPortChange() {}
void TfrmMain::cmbPortDropDown() {}
void TfrmMain::btnConfigClick() {}
