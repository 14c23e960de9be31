#include "util/Component.h"

TComponent::TComponent(QObject* owner) : QObject(owner) {}

TComponent::~TComponent() = default;

void TComponent::Loaded() {
    m_loading = false;
}

void TComponent::BeginLoadingAll(QObject* owner) {
    for (QObject* child : owner->children())
        if (auto* component = qobject_cast<TComponent*>(child))
            component->BeginLoading();
}

void TComponent::LoadedAll(QObject* owner) {
    for (QObject* child : owner->children())
        if (auto* component = qobject_cast<TComponent*>(child))
            if (component->IsLoading())
                component->Loaded();
}
