// The machine's serial ports and the port combo boxes that offer them.
#include <QComboBox>
#include <QSignalBlocker>
#include <QStringList>

#include "comm/VOXComm32.h"
#include "util/OxaUtils.h"

namespace {

// Plain port names of a port map, in map order, empty names left out.
QStringList portNamesOf(const std::vector<platform::SerialPortEntry>& entries) {
    QStringList names;
    for (const platform::SerialPortEntry& entry : entries) {
        const QString name = QString::fromLocal8Bit(entry.portName.c_str());
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

} // namespace

void TVOXComm32::EnumSerialPorts(QStringList& list) {
    list.clear();
    list = portNamesOf(platform::serialPortMap());
}

bool TVOXComm32::FillPortList(QComboBox* combo) {
    if (!combo)
        return false;
    // The component's own view of the port map, so a derived component (or a
    // test) can stand in for the machine's ports.
    QStringList ports = portNamesOf(ReadPortMap());
    const QString remembered = combo->currentText();

    // The port in use is always offered, even when the machine does not list it.
    if (!ports.contains(m_commPort, Qt::CaseInsensitive))
        ports << m_commPort;
    ports.sort(Qt::CaseInsensitive);

    // Refreshing the list is not an edit by the user: the owner's change
    // handler must not see the intermediate texts (an emptied box would
    // switch the port away).
    const QSignalBlocker blocker(combo);
    if (combo->count() != ports.size()) {
        combo->clear();
        combo->addItems(ports);
    } else {
        for (int i = 0; i < ports.size(); ++i)
            if (combo->itemText(i) != ports[i])
                combo->setItemText(i, ports[i]);
    }
    if (!combo->hasFocus() && combo->currentText() != remembered)
        return SelectComboItem(combo, remembered);
    return true;
}

bool TVOXComm32::SelectPortInList(QComboBox* combo) {
    if (!combo)
        return false;
    const QSignalBlocker blocker(combo);
    return SelectComboItem(combo, m_commPort);
}
