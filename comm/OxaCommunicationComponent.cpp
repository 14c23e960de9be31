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

void VOxaCommunicationComponent::DoReceiveData(const char* buffer, uint16_t count) {
    if (m_onReceiveData)
        m_onReceiveData(this, buffer, count);
    if (m_onAdvancedReceiveData)
        m_onAdvancedReceiveData(this, MainChannel(), buffer, count);
}
