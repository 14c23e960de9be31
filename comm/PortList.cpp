// The machine's serial ports and the port combo boxes that offer them.
#include <QAbstractItemView>
#include <QComboBox>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringList>
#include <QStyledItemDelegate>
#include <algorithm>

#include "comm/VOXComm32.h"
#include "util/OxaUtils.h"
#include "widgets/ComboBoxes.h"

namespace {

// Draws a port item as its name followed, dimmed and in a column of its own,
// by what the system knows of its device; the item's text (what the box takes
// when chosen) stays the name.
class PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int DescriptionRole = Qt::UserRole + 1;
    static constexpr int Gap = 24; // pixels between the names and the descriptions

    // Width of the longest name: where the description column begins.
    void setNameWidth(int width) { m_nameWidth = width; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const QString description = index.data(DescriptionRole).toString();
        if (description.isEmpty())
            return;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QRect text =
            opt.widget->style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        const int nameWidth = std::max(m_nameWidth, opt.fontMetrics.horizontalAdvance(opt.text));
        const QRect rest = text.adjusted(nameWidth + Gap, 0, 0, 0);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->setPen(opt.palette.color(QPalette::Disabled,
                                          selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(rest, Qt::AlignLeft | Qt::AlignVCenter, description);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const QString description = index.data(DescriptionRole).toString();
        if (!description.isEmpty()) {
            const int nameWidth = option.fontMetrics.horizontalAdvance(index.data().toString());
            size.rwidth() += std::max(0, m_nameWidth - nameWidth) + Gap +
                             option.fontMetrics.horizontalAdvance(description);
        }
        return size;
    }

private:
    int m_nameWidth = 0;
};

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

// Each item's description, as its hint and beside its name in the list, which
// is made wide enough for the longest.
void showDescriptions(QComboBox* combo, const std::vector<platform::SerialPortEntry>& map) {
    auto* delegate = dynamic_cast<PortItemDelegate*>(combo->itemDelegate());
    if (!delegate) {
        delegate = new PortItemDelegate(combo);
        combo->setItemDelegate(delegate);
    }
    int nameWidth = 0;
    for (int i = 0; i < combo->count(); ++i)
        nameWidth =
            std::max(nameWidth, combo->view()->fontMetrics().horizontalAdvance(combo->itemText(i)));
    delegate->setNameWidth(nameWidth);
    for (int i = 0; i < combo->count(); ++i) {
        QString description;
        for (const platform::SerialPortEntry& entry : map)
            if (QString::fromLocal8Bit(entry.portName.c_str()) == combo->itemText(i)) {
                description = TVOXComm32::PortDescription(entry);
                break;
            }
        combo->setItemData(i, description, PortItemDelegate::DescriptionRole);
        combo->setItemData(i, description.isEmpty() ? QVariant() : QVariant(description),
                           Qt::ToolTipRole);
    }
    QAbstractItemView* view = combo->view();
    int width = 0;
    for (int i = 0; i < combo->count(); ++i)
        width = std::max(width, view->sizeHintForIndex(combo->model()->index(i, 0)).width());
    view->setMinimumWidth(width + view->verticalScrollBar()->sizeHint().width() +
                          2 * view->frameWidth());
}

} // namespace

QString TVOXComm32::PortDescription(const platform::SerialPortEntry& entry) {
    const auto text = [](const std::string& s) { return QString::fromLocal8Bit(s.c_str()); };
    QStringList parts;
    QString name = text(entry.manufacturer);
    const QString product = text(entry.product);
    // Products often repeat the maker's name.
    if (!product.isEmpty())
        name = product.startsWith(name) ? product : (name + QLatin1Char(' ') + product).trimmed();
    if (!name.isEmpty())
        parts << name;
    if (!entry.vendorId.empty())
        parts << QStringLiteral("USB ") + text(entry.vendorId) + QLatin1Char(':') +
                     text(entry.productId);
    if (!entry.serial.empty())
        parts << QStringLiteral("serial ") + text(entry.serial);
    if (!entry.byIdPath.empty())
        parts << text(entry.byIdPath);
    return parts.join(QStringLiteral(", "));
}

void TVOXComm32::EnumSerialPorts(QStringList& list) {
    list.clear();
    for (const std::string& name : platform::serialPortNames())
        list << QString::fromLocal8Bit(name.c_str());
}

bool TVOXComm32::FillPortList(QComboBox* combo) {
    if (!combo)
        return false;
    // The component's own view of the port map, so a derived component (or a
    // test) can stand in for the machine's ports.
    const std::vector<platform::SerialPortEntry> map = ReadPortMap();
    QStringList ports = portNamesOf(map);
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
    showDescriptions(combo, map);
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
