#pragma once
#include <QByteArray>
#include <QString>

#include "comm/VOXComm32ReadTimes.h"
#include "comm/VOXComm32Types.h"
#include "util/Component.h"

// Abstract base of every communication channel component: the receive and
// state events, opening, closing, sending and the state query.
class VOxaCommunicationComponent : public TComponent {
    Q_OBJECT
public:
    explicit VOxaCommunicationComponent(QObject* owner = nullptr);
    ~VOxaCommunicationComponent() override;

    // Whether the component's own channel is named nil (true) or the component
    // itself (false) to OnAdvancedReceiveData and WriteChannelData.
    bool TreatMainChannelAsNil() const { return m_treatMainChannelAsNil; }
    void SetTreatMainChannelAsNil(bool value) { m_treatMainChannelAsNil = value; }

    // Event properties go through virtual accessors so a derived class can
    // react when a handler is assigned.
    virtual TEventReceiveData GetOnReceiveData() const { return m_onReceiveData; }
    virtual void SetOnReceiveData(TEventReceiveData handler) {
        m_onReceiveData = std::move(handler);
    }
    virtual TEventChangeState GetOnStateChange() const { return m_onStateChange; }
    virtual void SetOnStateChange(TEventChangeState handler) {
        m_onStateChange = std::move(handler);
    }
    virtual TAdvancedEventReceiveData GetOnAdvancedReceiveData() const {
        return m_onAdvancedReceiveData;
    }
    virtual void SetOnAdvancedReceiveData(TAdvancedEventReceiveData handler) {
        m_onAdvancedReceiveData = std::move(handler);
    }
    virtual TAdvancedEventChangeState GetOnAdvancedStateChange() const {
        return m_onAdvancedStateChange;
    }
    virtual void SetOnAdvancedStateChange(TAdvancedEventChangeState handler) {
        m_onAdvancedStateChange = std::move(handler);
    }

    // The configuration string of the channel (empty / ignored by default).
    virtual QString GetConfigAsString() { return QString(); }
    virtual void SetConfigAsString(const QString& config) { (void)config; }

    // Diagnostic hooks; they do nothing unless a derived class routes them.
    // They are also called on worker threads, so an override must be thread-safe.
    virtual void TraceError(int error, const QString& text) {
        (void)error;
        (void)text;
    }
    virtual void TraceText(const QString& text) { (void)text; }

    virtual void FreeComponent() { delete this; }

    virtual bool StartComm() = 0;
    virtual void StopComm() = 0;
    virtual bool WriteCommData(const char* data, int count) = 0;
    virtual bool WriteChannelData(QObject* channel, const char* data, int count);
    virtual bool IsCommOpen() const = 0;
    virtual TCommState GetConnectionState() const = 0;
    virtual bool ShowCommConfigDialog() { return true; }

    // Sends the bytes of the text (no terminating zero).
    bool WriteCommString(const QByteArray& text);
    bool WriteCommString(const char* text);

    // System error code of the last failed open (0 after an open that did not
    // fail at the open call itself).
    int LastError() const { return m_lastError; }

    // Raises OnReceiveData, then OnAdvancedReceiveData; times tells when the
    // bytes were read, where the channel knows.
    void DoReceiveData(const char* buffer, uint16_t count, comm::ReadTimes times = {});
    // While a receive handler runs: when the bytes of its block were read
    // (empty when not known, and outside a handler).
    const comm::ReadTimes& ReceivedTimes() const { return m_receivedTimes; }
    // A receive handler is running (possibly several, one inside the other).
    bool InReceiveHandler() const { return m_receiveDepth > 0; }

protected:
    void SetLastError(int error) { m_lastError = error; }
    QObject* MainChannel() { return m_treatMainChannelAsNil ? nullptr : this; }

    TEventReceiveData m_onReceiveData;
    TEventChangeState m_onStateChange;
    TAdvancedEventReceiveData m_onAdvancedReceiveData;
    TAdvancedEventChangeState m_onAdvancedStateChange;

private:
    bool m_treatMainChannelAsNil = true;
    int m_lastError = 0;
    comm::ReadTimes m_receivedTimes;
    int m_receiveDepth = 0;
};
