#include <QAbstractItemView>
#include <QComboBox>
#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "comm/VOXComm32.h"

namespace {

// A component whose machine lists the given ports.
class PortMapComm : public TVOXComm32 {
public:
    explicit PortMapComm(std::vector<std::string> ports) { setPorts(std::move(ports)); }
    void setPorts(std::vector<std::string> ports) {
        m_map.clear();
        for (std::string& port : ports)
            m_map.push_back({"\\Device\\test", std::move(port), "test"});
    }
    void setEntries(std::vector<platform::SerialPortEntry> entries) { m_map = std::move(entries); }
    std::vector<platform::SerialPortEntry> ReadPortMap() const override { return m_map; }

private:
    std::vector<platform::SerialPortEntry> m_map;
};

QStringList items(const QComboBox& combo) {
    QStringList list;
    for (int i = 0; i < combo.count(); ++i)
        list << combo.itemText(i);
    return list;
}

} // namespace

TEST(ConfigPortList, SortedAsTextAndAlwaysHoldsTheConfiguredPort) {
    PortMapComm comm({"COM2", "COM10", "", "COM1"});
    comm.SetAutoReconnect(false);
    QComboBox box;
    box.setEditable(true);
    EXPECT_TRUE(comm.FillPortList(&box));
    EXPECT_EQ(items(box), (QStringList{"COM1", "COM10", "COM2"}));

    // A configured port the machine does not list is offered anyway.
    comm.SetCommPort(QStringLiteral("ttyUSB7"));
    comm.FillPortList(&box);
    EXPECT_EQ(items(box), (QStringList{"COM1", "COM10", "COM2", "ttyUSB7"}));

    // Listed in another letter case: not added twice.
    comm.SetCommPort(QStringLiteral("com10"));
    comm.FillPortList(&box);
    EXPECT_EQ(items(box), (QStringList{"COM1", "COM10", "COM2"}));

    // No ports on the machine: only the configured one.
    PortMapComm bare({});
    bare.SetAutoReconnect(false);
    QComboBox other;
    bare.FillPortList(&other);
    EXPECT_EQ(items(other), (QStringList{"COM1"}));
}

TEST(ConfigPortList, DroppingDownTwiceChangesNothingAndRaisesNoChange) {
    PortMapComm comm({"ttyUSB0", "COM2", "COM1"});
    comm.SetAutoReconnect(false);
    comm.SetCommPort(QStringLiteral("COM2"));
    QComboBox box;
    box.setEditable(true);
    box.setEditText(QStringLiteral("-"));
    int textChanges = 0, indexChanges = 0;
    QObject::connect(&box, &QComboBox::editTextChanged, [&] { ++textChanges; });
    QObject::connect(&box, &QComboBox::currentIndexChanged, [&] { ++indexChanges; });

    // What the main window does when it is shown.
    comm.FillPortList(&box);
    EXPECT_TRUE(comm.SelectPortInList(&box));
    EXPECT_EQ(box.currentIndex(), 1);
    EXPECT_EQ(box.currentText(), QStringLiteral("COM2"));

    const QStringList shown = items(box);
    for (int dropDown = 0; dropDown < 2; ++dropDown) {
        EXPECT_TRUE(comm.FillPortList(&box));
        EXPECT_EQ(items(box), shown);
        EXPECT_EQ(box.currentIndex(), 1);
        EXPECT_EQ(box.currentText(), QStringLiteral("COM2"));
    }
    // Refreshing is no edit: a change handler would switch the port.
    EXPECT_EQ(textChanges, 0);
    EXPECT_EQ(indexChanges, 0);
}

TEST(ConfigPortList, RefreshKeepsWhatTheUserSees) {
    PortMapComm comm({"COM1", "COM3"});
    comm.SetAutoReconnect(false);
    QComboBox box;
    box.setEditable(true);
    comm.FillPortList(&box);
    box.setCurrentIndex(1); // COM3
    ASSERT_EQ(box.currentText(), QStringLiteral("COM3"));

    // A new adapter appears: the list grows, the chosen port stays chosen.
    comm.setPorts({"COM1", "COM3", "COM2"});
    EXPECT_TRUE(comm.FillPortList(&box));
    EXPECT_EQ(items(box), (QStringList{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(box.currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(box.currentIndex(), 2);

    // Same count, one entry renamed: only that item is rewritten.
    comm.setPorts({"COM1", "COM3", "COM4"});
    EXPECT_TRUE(comm.FillPortList(&box));
    EXPECT_EQ(items(box), (QStringList{"COM1", "COM3", "COM4"}));
    EXPECT_EQ(box.currentText(), QStringLiteral("COM3"));

    // A typed name that is no item survives the refresh.
    box.setEditText(QStringLiteral("/dev/ttyV9"));
    comm.setPorts({"COM1"});
    EXPECT_TRUE(comm.FillPortList(&box));
    EXPECT_EQ(items(box), (QStringList{"COM1"}));
    EXPECT_EQ(box.currentText(), QStringLiteral("/dev/ttyV9"));

    // A list-only box cannot show a vanished port and says so.
    QComboBox listOnly;
    comm.setPorts({"COM1", "COM5"});
    comm.FillPortList(&listOnly);
    listOnly.setCurrentIndex(1);
    comm.setPorts({"COM1", "COM6", "COM7"});
    EXPECT_FALSE(comm.FillPortList(&listOnly));
}

TEST(ConfigPortList, SelectPortInListFindsOrTypesTheConfiguredPort) {
    PortMapComm comm({"COM1", "com2"});
    comm.SetAutoReconnect(false);
    QComboBox box;
    box.setEditable(true);
    comm.FillPortList(&box);

    comm.SetCommPort(QStringLiteral("COM2")); // matched regardless of case
    EXPECT_TRUE(comm.SelectPortInList(&box));
    EXPECT_EQ(box.currentText(), QStringLiteral("com2"));

    comm.SetCommPort(QStringLiteral("COM42"));
    EXPECT_TRUE(comm.SelectPortInList(&box));
    EXPECT_EQ(box.currentIndex(), -1);
    EXPECT_EQ(box.currentText(), QStringLiteral("COM42"));

    QComboBox listOnly;
    listOnly.addItems({"COM1", "COM2"});
    EXPECT_FALSE(comm.SelectPortInList(&listOnly));
}

TEST(ConfigPortList, EnumSerialPortsGivesPlainNamesOnly) {
    QStringList list{QStringLiteral("stale entry")};
    TVOXComm32::EnumSerialPorts(list);
    EXPECT_FALSE(list.contains(QStringLiteral("stale entry")));
    for (const QString& name : list) {
        EXPECT_FALSE(name.isEmpty());
        EXPECT_FALSE(name.contains(QLatin1Char('/'))) << name.toStdString();
    }
}

TEST(ConfigPortList, ItemsShowWhatTheSystemKnowsOfTheirDevice) {
    platform::SerialPortEntry usb;
    usb.portName = "ttyUSB0";
    usb.manufacturer = "Silicon Labs";
    usb.product = "CP2102 USB to UART Bridge Controller";
    usb.vendorId = "10c4";
    usb.productId = "ea60";
    usb.serial = "0001";
    usb.byIdPath = "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0";
    const QString description =
        "Silicon Labs CP2102 USB to UART Bridge Controller, USB 10c4:ea60, serial 0001, "
        "/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0";
    EXPECT_EQ(TVOXComm32::PortDescription(usb), description);
    // A product that names its maker already is not prefixed twice.
    platform::SerialPortEntry acm;
    acm.portName = "ttyACM0";
    acm.manufacturer = "Cinterion";
    acm.product = "Cinterion EHS6";
    EXPECT_EQ(TVOXComm32::PortDescription(acm), "Cinterion EHS6");
    EXPECT_EQ(TVOXComm32::PortDescription(platform::SerialPortEntry{"", "ttyS0", "serial8250"}),
              "");

    PortMapComm comm({});
    comm.SetAutoReconnect(false);
    comm.setEntries({usb, acm, {"\\Device\\serial82500", "ttyS0", "serial8250"}});
    comm.SetCommPort(QStringLiteral("ttyUSB0"));
    QComboBox box;
    box.setEditable(true);
    comm.FillPortList(&box);
    comm.SelectPortInList(&box);
    // The items (and so the chosen port) stay the plain names.
    EXPECT_EQ(items(box), (QStringList{"ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(box.currentText(), "ttyUSB0");
    EXPECT_EQ(box.itemData(2, Qt::ToolTipRole).toString(), description);
    EXPECT_EQ(box.itemData(0, Qt::ToolTipRole).toString(), "Cinterion EHS6");
    EXPECT_FALSE(box.itemData(1, Qt::ToolTipRole).isValid());
    // The list is wide enough to show name and description side by side.
    EXPECT_GT(box.view()->minimumWidth(),
              box.fontMetrics().horizontalAdvance("ttyUSB0" + description));
}
