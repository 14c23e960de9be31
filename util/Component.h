#pragma once
#include <QObject>
#include <QString>

// Base of the program's non-visual components. The owner is the QObject parent,
// so an owner frees the components it owns; the name is the object name.
// While an owner loads its stored properties, setters only store values; a
// single Loaded() call afterwards lets the component act on them.
class TComponent : public QObject {
    Q_OBJECT
public:
    explicit TComponent(QObject* owner = nullptr);
    ~TComponent() override;

    QObject* Owner() const { return parent(); }
    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }

    // True between BeginLoading() and Loaded().
    bool IsLoading() const { return m_loading; }
    void BeginLoading() { m_loading = true; }
    virtual void Loaded();

    // Puts every component owned by owner (directly) into loading mode, or
    // finishes loading them, in creation order.
    static void BeginLoadingAll(QObject* owner);
    static void LoadedAll(QObject* owner);

private:
    bool m_loading = false;
};
