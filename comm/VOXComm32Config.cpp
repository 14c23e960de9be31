// The configuration string: seven quoted fields joined by commas, for example
// "COM1","115200","8","1","None","1/1 1/1","10 0 0 0 0".
#include <QCoreApplication>
#include <QStringList>

#include "comm/VOXComm32.h"
#include "comm/VOXComm32Tables.h"
#include "util/OxaUtils.h"

namespace {

QString quoted(const QString& field) {
    return QLatin1Char('"') + field + QLatin1Char('"');
}

// Splits "control/state" at its first "/"; without one it is all control.
void splitLinePair(const QString& pair, QString& control, QString& state) {
    const qsizetype slash = pair.indexOf(QLatin1Char('/'));
    if (slash < 0) {
        control = pair;
        state.clear();
    } else {
        control = pair.left(slash);
        state = pair.mid(slash + 1);
    }
}

} // namespace

QString TVOXComm32::GetConfigAsString() {
    const QString lines = QStringLiteral("%1/%2 %3/%4")
                              .arg(int(m_signals->DTRControl()))
                              .arg(BoolTo01(m_signals->DTR()))
                              .arg(int(m_signals->RTSControl()))
                              .arg(BoolTo01(m_signals->RTS()));
    QStringList timeouts;
    for (uint32_t value : m_timeouts->m_values)
        timeouts << QString::number(value);
    const QStringList fields = {
        quoted(m_commPort),
        quoted(QString::number(BaudRateValue(m_baudRate))),
        quoted(QString::number(kDataBitsValues[int(m_dataBits)])),
        quoted(QLatin1String(kStopBitsNames[int(m_stopBits)])),
        quoted(QLatin1String(kParityNames[int(m_parity)])),
        quoted(lines),
        quoted(timeouts.join(QLatin1Char(' '))),
    };
    return fields.join(QLatin1Char(','));
}

void TVOXComm32::SetConfigAsString(const QString& config) {
    QString text = config;
    bool more = true;
    bool changed = false;

    // The port, baud rate, data bits, stop bits, parity and timeouts are
    // stored without their setters: the port is switched once, at the end.
    const QString port = ExtractToken(text, more);
    if (!port.isEmpty() && port != QLatin1String("*") && port != m_commPort) {
        m_commPort = port;
        changed = true;
    }

    const int baud = BaudRateIndexOf(
        TextToInt32Def(ExtractToken(text, more), int32_t(BaudRateValue(m_baudRate))));
    if (baud >= 0 && TBaudRate(baud) != m_baudRate) {
        m_baudRate = TBaudRate(baud);
        changed = true;
    }

    const int dataBits =
        DataBitsIndexOf(TextToInt32Def(ExtractToken(text, more), kDataBitsValues[int(m_dataBits)]));
    if (dataBits >= 0 && TDataBits(dataBits) != m_dataBits) {
        m_dataBits = TDataBits(dataBits);
        changed = true;
    }

    const int stopBits = StopBitsIndexOf(ExtractToken(text, more));
    if (stopBits >= 0 && TStopBits(stopBits) != m_stopBits) {
        m_stopBits = TStopBits(stopBits);
        changed = true;
    }

    const int parity = ParityIndexOf(ExtractToken(text, more));
    if (parity >= 0 && TParity(parity) != m_parity) {
        m_parity = TParity(parity);
        changed = true;
    }

    // The lines go through the setters, so an open port sees them at once.
    QString lines = ExtractToken(text, more);
    QString control, state;
    splitLinePair(ExtractToken(lines, more), control, state);
    int32_t value = 0;
    if (TextToInt32(control, value) && value >= VOxaSignalControl_DTROff &&
        value <= VOxaSignalControl_DTRHandshake && value != m_signals->DTRControl()) {
        m_signals->SetDTRControl(VOxaSignalControl_DTR(value));
        changed = true;
    }
    const bool dtr = TextToBool(state, m_signals->DTR());
    if (dtr != m_signals->DTR()) {
        m_signals->SetDTR(dtr);
        changed = true;
    }
    splitLinePair(ExtractToken(lines, more), control, state);
    if (TextToInt32(control, value) && value >= VOxaSignalControl_RTSOff &&
        value <= VOxaSignalControl_RTSToggle && value != m_signals->RTSControl()) {
        m_signals->SetRTSControl(VOxaSignalControl_RTS(value));
        changed = true;
    }
    const bool rts = TextToBool(state, m_signals->RTS());
    if (rts != m_signals->RTS()) {
        m_signals->SetRTS(rts);
        changed = true;
    }

    // Each timeout is read as a signed 32-bit number; a negative one is taken
    // as its two's complement, as the port dialog does.
    QString timeouts = ExtractToken(text, more);
    for (uint32_t& timeout : m_timeouts->m_values) {
        if (TextToInt32(ExtractToken(timeouts, more), value) && uint32_t(value) != timeout) {
            timeout = uint32_t(value);
            changed = true;
        }
    }

    if (changed) {
        if (IsCommOpen())
            StopComm();
        if (m_autoReconnect)
            StartComm();
    } else if (!IsCommOpen() && m_autoReconnect) {
        StartComm();
    }
}

namespace {
// Where the translation tool and the program find these texts.
struct ConfigStringTexts {
    Q_DECLARE_TR_FUNCTIONS(ConfigString)
};
} // namespace

QString ConfigStringProblem(const QString& config) {
    QString text = config;
    bool more = true;
    ExtractToken(text, more); // the port: any name, "*" or empty keeps it
    const QString baud = ExtractToken(text, more);
    int32_t value = 0;
    if (!baud.isEmpty() && (!TextToInt32(baud, value) || BaudRateIndexOf(value) < 0)) {
        QStringList rates;
        for (uint32_t rate : kBaudRateValues)
            rates << QString::number(rate);
        return ConfigStringTexts::tr("the speed \"%1\" is not one of %2")
            .arg(baud, rates.join(QStringLiteral(", ")));
    }
    const QString dataBits = ExtractToken(text, more);
    if (!dataBits.isEmpty() && (!TextToInt32(dataBits, value) || DataBitsIndexOf(value) < 0))
        return ConfigStringTexts::tr("the data bits \"%1\" are not 4, 5, 6, 7 or 8").arg(dataBits);
    const QString stopBits = ExtractToken(text, more);
    if (!stopBits.isEmpty() && StopBitsIndexOf(stopBits) < 0)
        return ConfigStringTexts::tr("the stop bits \"%1\" are not 1, 1.5 or 2").arg(stopBits);
    const QString parity = ExtractToken(text, more);
    if (!parity.isEmpty() && ParityIndexOf(parity) < 0)
        return ConfigStringTexts::tr("the parity \"%1\" is not None, Odd, Even, Mark or Space")
            .arg(parity);
    const QString linesField = ExtractToken(text, more);
    QString lines = linesField;
    for (int i = 0; i < 2 && !lines.isEmpty(); ++i) {
        QString control, state;
        splitLinePair(ExtractToken(lines, more), control, state);
        const int highest =
            i == 0 ? int(VOxaSignalControl_DTRHandshake) : int(VOxaSignalControl_RTSToggle);
        if (!control.isEmpty() && (!TextToInt32(control, value) || value < 0 || value > highest))
            return ConfigStringTexts::tr(
                       "the line controls \"%1\" are not DTR and RTS as control/state "
                       "(for example 1/1 1/1)")
                .arg(linesField);
    }
    const QString timeoutsField = ExtractToken(text, more);
    QString timeouts = timeoutsField;
    while (!timeouts.isEmpty()) {
        const QString timeout = ExtractToken(timeouts, more);
        if (!timeout.isEmpty() && !TextToInt32(timeout, value))
            return ConfigStringTexts::tr("the time-outs \"%1\" are not numbers of milliseconds")
                .arg(timeoutsField);
    }
    return QString();
}
