#include "comm/OxaCommunicationComponent.h"

#include <cstring>

VOxaCommunicationComponent::VOxaCommunicationComponent(QObject* owner) : TComponent(owner) {}

VOxaCommunicationComponent::~VOxaCommunicationComponent() = default;

bool VOxaCommunicationComponent::WriteChannelData(QObject* channel, const char* data, int count) {
    const bool mainChannel = m_treatMainChannelAsNil ? channel == nullptr : channel == this;
    if (!mainChannel)
        return false;
    return WriteCommData(data, count);
}

bool VOxaCommunicationComponent::WriteCommString(const QByteArray& text) {
    return WriteCommData(text.constData(), int(text.size()));
}

bool VOxaCommunicationComponent::WriteCommString(const char* text) {
    return WriteCommData(text, text ? int(std::strlen(text)) : 0);
}

void VOxaCommunicationComponent::DoReceiveData(const char* buffer, uint16_t count,
                                               comm::ReadTimes times) {
    // Each call restores what its caller saw, also when a handler raises.
    struct Scope {
        VOxaCommunicationComponent& c;
        comm::ReadTimes outer;
        Scope(VOxaCommunicationComponent& component, comm::ReadTimes times)
            : c(component), outer(component.m_receivedTimes) {
            c.m_receivedTimes = times;
            ++c.m_receiveDepth;
        }
        ~Scope() {
            --c.m_receiveDepth;
            c.m_receivedTimes = outer;
        }
    } scope(*this, times);
    if (m_onReceiveData)
        m_onReceiveData(this, buffer, count);
    if (m_onAdvancedReceiveData)
        m_onAdvancedReceiveData(this, MainChannel(), buffer, count);
}
