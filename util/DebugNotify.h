#pragma once
// The debug diagnostic.
#include <QString>

// Off until the program turns it on; even then only a developer sees the texts
// (stderr when DRALVO_DEBUG is set in the environment).
extern bool debugNotifyEnabled;
void DebugNotify(const QString& text);
