#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

class QSocketNotifier;

namespace platform {

// The address of one component instance for the instances that share a port:
// a 32-bit id, unique on the machine while the instance lives, with a local
// datagram socket behind it. Other processes post a message number to the id;
// the owner's callback receives it on the thread that owns this object.
class GrabMessenger : public QObject {
    Q_OBJECT
public:
    explicit GrabMessenger(QObject* parent = nullptr);
    ~GrabMessenger() override;

    // Binds the socket; false when no socket could be set up (id stays 0).
    bool open();
    uint32_t id() const { return m_id; }

    // Called once for every message that arrives.
    std::function<void(uint32_t message)> onMessage;

    // Sends a message to an instance. False when nobody listens under that id
    // any more (the instance ended) or the message could not be delivered.
    static bool post(uint32_t id, uint32_t message);
    // Directory of the sockets: $XDG_RUNTIME_DIR, else /tmp.
    static std::string socketDirectory();
    static std::string socketPath(uint32_t id);

private:
    void readPending();

    uint32_t m_id = 0;
    int m_fd = -1;
    std::string m_path;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace platform
