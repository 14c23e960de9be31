#pragma once
// A component whose port is an in-memory line the test plays the device on.
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "TracingComm.h"
#include "platform/FakeSerialLine.h"

class FakeLineComm : public TracingComm {
public:
    using TracingComm::TracingComm;
    platform::FakeSerialLine::Behaviour behaviour;
    platform::FakeSerialLine* line = nullptr; // the line of the open port
    std::vector<platform::SerialPortEntry> map;

    std::unique_ptr<platform::SerialLine> CreateSerialLine() override {
        auto fake = std::make_unique<platform::FakeSerialLine>(behaviour);
        line = fake.get();
        return fake;
    }
    std::vector<platform::SerialPortEntry> ReadPortMap() const override { return map; }
    int TraceCount(const QString& text) {
        std::lock_guard<std::mutex> lock(mutex);
        return int(std::count(texts.begin(), texts.end(), text));
    }
};
