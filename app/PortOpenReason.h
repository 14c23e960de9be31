#pragma once
// What the main window tells the user when the port did not open: the reason
// behind the serial component's error code, in words the user can act on.
#include <QString>
#include <QStringList>

struct TPortOpenFacts {
    QString Port;             // the port as typed (CommPort)
    QString DevicePath;       // the device that was opened, e.g. /dev/ttyUSB0
    int Error = 0;            // system error code of the failed open
    QStringList PresentPorts; // the machine's serial ports
    QStringList Holders;      // programs holding a busy device, "ModemManager (pid 812)"
    QString Group;            // group owning the device node
};

// The notice for a failed open; empty when there is nothing to say (error 0).
QString PortOpenReasonText(const TPortOpenFacts& facts);

// Looks up what the reason needs for this port and error: the device path,
// and as the kind of failure asks for it the ports present, the programs
// holding the device or the device's group.
TPortOpenFacts GatherPortOpenFacts(const QString& port, int error);
