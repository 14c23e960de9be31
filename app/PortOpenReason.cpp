#include "app/PortOpenReason.h"

#include <QCoreApplication>

#include "comm/VOXComm32.h"
#include "platform/SerialDevice.h"
#include "platform/SerialOpenFailure.h"

using platform::OpenFailure;

namespace {
// The texts' context for translation.
class PortOpenReason {
    Q_DECLARE_TR_FUNCTIONS(PortOpenReason)
};
} // namespace

QString PortOpenReasonText(const TPortOpenFacts& facts) {
    const QString head = PortOpenReason::tr("COM port \"%1\": ").arg(facts.Port);
    const QString device = facts.DevicePath;
    switch (platform::classifyOpenError(facts.Error)) {
    case OpenFailure::None:
        return QString();
    case OpenFailure::Missing: {
        QString text = head + PortOpenReason::tr("no such device");
        if (device != facts.Port)
            text += QStringLiteral(" (") + device + QLatin1Char(')');
        if (facts.PresentPorts.isEmpty())
            return text + PortOpenReason::tr(". No serial port is present.");
        return text + PortOpenReason::tr(". Ports present: %1.")
                          .arg(facts.PresentPorts.join(QStringLiteral(", ")));
    }
    case OpenFailure::PermissionDenied: {
        // A node of group root gives no hint; dialout is where distributions put them.
        const bool known = !facts.Group.isEmpty() && facts.Group != QLatin1String("root");
        const QString group = known ? facts.Group : QStringLiteral("dialout");
        return head + (known ? PortOpenReason::tr(
                                   "permission denied on %1. Read and write access is needed, "
                                   "through the \"%2\" group: sudo adduser $USER %2, then log out "
                                   "and in again.")
                             : PortOpenReason::tr(
                                   "permission denied on %1. Read and write access is needed, "
                                   "usually through the \"%2\" group: sudo adduser $USER %2, then "
                                   "log out and in again."))
                          .arg(device, group);
    }
    case OpenFailure::Busy: {
        QString text = head + PortOpenReason::tr("busy, another program has %1 open").arg(device);
        if (facts.Holders.isEmpty())
            return text + QLatin1Char('.');
        text += QStringLiteral(": ") + facts.Holders.join(QStringLiteral(", ")) + QLatin1Char('.');
        for (const QString& holder : facts.Holders)
            if (holder.startsWith(QLatin1String("ModemManager ")))
                return text + u' ' +
                       PortOpenReason::tr(
                           "ModemManager probes GSM modules; stop it with \"sudo systemctl stop "
                           "ModemManager\".");
        return text;
    }
    case OpenFailure::NotSerial:
        return head + PortOpenReason::tr("%1 is not a serial device.").arg(device);
    case OpenFailure::Other:
        break;
    }
    return head +
           PortOpenReason::tr("cannot open %1: %2.")
               .arg(device, QString::fromLocal8Bit(platform::systemErrorText(facts.Error).c_str()));
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
