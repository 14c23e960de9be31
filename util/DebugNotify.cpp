#include "util/DebugNotify.h"

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

bool debugNotifyEnabled = false;

void DebugNotify(const QString& text) {
    if (!debugNotifyEnabled || !std::getenv("DRALVO_DEBUG"))
        return;
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stderr, "DebugNotify: %s\n", bytes.constData());
}
