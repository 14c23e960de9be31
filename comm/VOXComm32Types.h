#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>

class QObject;

// Value types of the serial component. Ordinals are stored in settings and in
// the configuration string, so they never change.

// Connection state reported to the owner.
enum TCommState : uint8_t {
    CommStateFailed = 0,       // last open failed, or closed because of an error
    CommStateDisconnected = 1, // closed normally
    CommStateConnected = 2,    // open, both workers running
    CommStateFirst = 3         // "ask for the current state"; never reaches a handler
};

enum class TBaudRate : uint8_t {
    ____110,
    ____300,
    ____600,
    ___1200,
    ___2400,
    ___4800,
    ___9600,
    __14400,
    __19200,
    __28800,
    __38400,
    __56000,
    __57600,
    _115200,
    _128000,
    _230400,
    _256000,
    _460800,
    _921600,
    _1000000
};
constexpr int kBaudRateCount = 20;
// Bits per second of each TBaudRate, by ordinal.
constexpr uint32_t kBaudRateValues[kBaudRateCount] = {
    110,   300,   600,   1200,   2400,   4800,   9600,   14400,  19200,  28800,
    38400, 56000, 57600, 115200, 128000, 230400, 256000, 460800, 921600, 1000000};
constexpr uint32_t BaudRateValue(TBaudRate rate) {
    return kBaudRateValues[static_cast<int>(rate)];
}

enum class TParity : uint8_t { None, Odd, Even, Mark, Space };
enum class TDataBits : uint8_t { _4, _5, _6, _7, _8 };
enum class TStopBits : uint8_t { _1, _1_5, _2 };

enum VOxaSignalControl_DTR : uint8_t {
    VOxaSignalControl_DTROff,
    VOxaSignalControl_DTREnable,
    VOxaSignalControl_DTRHandshake
};

enum VOxaSignalControl_RTS : uint8_t {
    VOxaSignalControl_RTSOff,
    VOxaSignalControl_RTSEnable,
    VOxaSignalControl_RTSHandshake,
    VOxaSignalControl_RTSToggle
};

enum VOXComm32SkipEvent : uint8_t {
    voceBreak,
    voceCTS,
    voceDSR,
    voceERR,
    voceRING,
    voceRLSD,
    voceRXCHAR,
    voceRXFLAG,
    voceTXEMPTY
};
constexpr int kSkipEventCount = 9;

// A set of VOXComm32SkipEvent, kept as a 16-bit mask (bit n = ordinal n).
struct VOXComm32SkipEvents {
    uint16_t Mask = 0;

    constexpr VOXComm32SkipEvents() = default;
    constexpr explicit VOXComm32SkipEvents(uint16_t mask) : Mask(mask) {}
    constexpr VOXComm32SkipEvents(std::initializer_list<VOXComm32SkipEvent> events) {
        for (VOXComm32SkipEvent e : events)
            Mask |= uint16_t(1u << e);
    }
    constexpr bool Contains(VOXComm32SkipEvent e) const { return (Mask >> e) & 1u; }
    constexpr void Include(VOXComm32SkipEvent e) { Mask |= uint16_t(1u << e); }
    constexpr void Exclude(VOXComm32SkipEvent e) { Mask &= uint16_t(~(1u << e)); }
    constexpr bool Empty() const { return Mask == 0; }
    constexpr bool operator==(const VOXComm32SkipEvents&) const = default;
};

enum Tristate : uint8_t { TristateUnkn, TristateTrue, TristateFalse };

enum VOxaCommGrabCommand : uint8_t { vocgcNone, vocgcSoft, vocgcHard, vocgcOnce, vocgcNoneOnce };

// Comm-event bits (event mask of the read worker and of PWM_CommEvent).
constexpr uint32_t EV_RXCHAR = 0x0001;
constexpr uint32_t EV_RXFLAG = 0x0002;
constexpr uint32_t EV_TXEMPTY = 0x0004;
constexpr uint32_t EV_CTS = 0x0008;
constexpr uint32_t EV_DSR = 0x0010;
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_BREAK = 0x0040;
constexpr uint32_t EV_ERR = 0x0080;
constexpr uint32_t EV_RING = 0x0100;

// Line-error bits.
constexpr uint32_t CE_RXOVER = 0x0001;
constexpr uint32_t CE_OVERRUN = 0x0002;
constexpr uint32_t CE_RXPARITY = 0x0004;
constexpr uint32_t CE_FRAME = 0x0008;
constexpr uint32_t CE_BREAK = 0x0010;

// Modem-status bits.
constexpr uint32_t MS_CTS_ON = 0x0010;
constexpr uint32_t MS_DSR_ON = 0x0020;
constexpr uint32_t MS_RING_ON = 0x0040;
constexpr uint32_t MS_RLSD_ON = 0x0080;

// Messages to the component's notify window and to the write worker.
constexpr int WM_USER = 0x400;
constexpr int PWM_ReceivedData = WM_USER + 1;
constexpr int PWM_RequestHangup = WM_USER + 2;
constexpr int PWM_StateChanged = WM_USER + 3;
constexpr int PWM_CommEvent = WM_USER + 4;
constexpr int PWM_PollModemStatus = WM_USER + 5;
constexpr int PWM_GrabChanged = WM_USER + 6;
// An open made on the component's opener thread came back.
constexpr int PWM_PortOpened = WM_USER + 7;
constexpr int PWM_WriteData = WM_USER + 1;
constexpr int PWM_WriteDataSlowly = WM_USER + 2;
// Sets modem lines or chooses the line controls, in order among the writes.
constexpr int PWM_SetLines = WM_USER + 3;
// Writes a device control block to the port, in order among the writes and
// line requests (the device may take its time to answer).
constexpr int PWM_SetDcb = WM_USER + 4;

// Event types. The first argument is always the sending component.
using TEventReceiveData =
    std::function<void(QObject* Sender, const char* Buffer, uint16_t BufferLength)>;
using TAdvancedEventReceiveData = std::function<void(QObject* Sender, QObject* Channel,
                                                     const char* Buffer, uint16_t BufferLength)>;
using TEventChangeState = std::function<void(QObject* Sender, TCommState State)>;
using TAdvancedEventChangeState =
    std::function<void(QObject* Sender, QObject* Channel, TCommState State)>;
using TEventChangeLines = std::function<void(QObject* Sender, bool value)>;
using TEventError = std::function<void(QObject* Sender, uint32_t Error)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;
