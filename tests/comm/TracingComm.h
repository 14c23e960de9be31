#pragma once
// A serial component that keeps its trace texts, which the workers produce on
// their own threads, so tests can ask whether one was traced.
#include <QString>
#include <algorithm>
#include <mutex>
#include <vector>

#include "comm/VOXComm32.h"

class TracingComm : public TVOXComm32 {
public:
    using TVOXComm32::TVOXComm32;
    void TraceText(const QString& text) override {
        std::lock_guard<std::mutex> lock(mutex);
        texts.push_back(text);
    }
    bool Traced(const QString& text) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::mutex mutex;
    std::vector<QString> texts;
};
