#include "app/PortOpenReason.h"

#include "comm/VOXComm32.h"
#include "platform/SerialDevice.h"
#include "platform/SerialOpenFailure.h"

using platform::OpenFailure;

QString PortOpenReasonText(const TPortOpenFacts& facts) {
    const QString head = QStringLiteral("COM port \"") + facts.Port + QStringLiteral("\": ");
    const QString device = facts.DevicePath;
    switch (platform::classifyOpenError(facts.Error)) {
    case OpenFailure::None:
        return QString();
    case OpenFailure::Missing: {
        QString text = head + QStringLiteral("no such device");
        if (device != facts.Port)
            text += QStringLiteral(" (") + device + QLatin1Char(')');
        if (facts.PresentPorts.isEmpty())
            return text + QStringLiteral(". No serial port is present.");
        return text + QStringLiteral(". Ports present: ") +
               facts.PresentPorts.join(QStringLiteral(", ")) + QLatin1Char('.');
    }
    case OpenFailure::PermissionDenied: {
        // A node of group root gives no hint; dialout is where distributions put them.
        const bool known = !facts.Group.isEmpty() && facts.Group != QLatin1String("root");
        const QString group = known ? facts.Group : QStringLiteral("dialout");
        return head + QStringLiteral("permission denied on ") + device +
               QStringLiteral(". Read and write access is needed, ") +
               (known ? QString() : QStringLiteral("usually ")) + QStringLiteral("through the \"") +
               group + QStringLiteral("\" group: sudo adduser $USER ") + group +
               QStringLiteral(", then log out and in again.");
    }
    case OpenFailure::Busy: {
        QString text =
            head + QStringLiteral("busy, another program has ") + device + QStringLiteral(" open");
        if (facts.Holders.isEmpty())
            return text + QLatin1Char('.');
        text += QStringLiteral(": ") + facts.Holders.join(QStringLiteral(", ")) + QLatin1Char('.');
        for (const QString& holder : facts.Holders)
            if (holder.startsWith(QLatin1String("ModemManager ")))
                return text + QStringLiteral(" ModemManager probes GSM modules; stop it with "
                                             "\"sudo systemctl stop ModemManager\".");
        return text;
    }
    case OpenFailure::NotSerial:
        return head + device + QStringLiteral(" is not a serial device.");
    case OpenFailure::Other:
        break;
    }
    return head + QStringLiteral("cannot open ") + device + QStringLiteral(": ") +
           QString::fromLocal8Bit(platform::systemErrorText(facts.Error).c_str()) +
           QLatin1Char('.');
}

TPortOpenFacts GatherPortOpenFacts(const QString& port, int error) {
    TPortOpenFacts facts;
    facts.Port = port;
    facts.Error = error;
    const std::string path = platform::SerialDevice::devicePath(port.toLocal8Bit().toStdString());
    facts.DevicePath = QString::fromLocal8Bit(path.c_str());
    switch (platform::classifyOpenError(error)) {
    case OpenFailure::Missing:
        TVOXComm32::EnumSerialPorts(facts.PresentPorts);
        break;
    case OpenFailure::PermissionDenied:
        facts.Group = QString::fromLocal8Bit(platform::deviceGroup(path).c_str());
        break;
    case OpenFailure::Busy:
        for (const platform::DeviceHolder& holder : platform::processesHolding(path))
            facts.Holders << QStringLiteral("%1 (pid %2)")
                                 .arg(QString::fromLocal8Bit(holder.name.c_str()))
                                 .arg(holder.pid);
        break;
    default:
        break;
    }
    return facts;
}
