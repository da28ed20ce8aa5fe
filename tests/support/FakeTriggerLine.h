#pragma once

// The recorder's end of a trigger cable, in fake time: every byte the ports opened on it wrote,
// with the clock at the write; pulled out (a reason given), every write and opening fails with it.

#include "session/TriggerSender.h"
#include "support/FakeTime.h"

struct FakeTriggerLine : kivora::TriggerPort {
    struct Byte {
        qint64 us;
        quint8 code;
    };
    explicit FakeTriggerLine(const FakeTime &time) : time(time) {}
    // Opens a port on the line (all of them write to it).
    kivora::TriggerSender::Opener opener() {
        return [this](QString *why) -> std::unique_ptr<kivora::TriggerPort> {
            *why = pulled;
            return pulled.isEmpty() ? std::make_unique<Port>(*this) : nullptr;
        };
    }
    QString write(quint8 code) override {
        if (pulled.isEmpty())
            bytes.push_back({time.nowUs(), code});
        return pulled;
    }
    const FakeTime &time;
    QList<Byte> bytes;
    QString pulled;

private:
    struct Port final : kivora::TriggerPort {
        explicit Port(FakeTriggerLine &line) : line(line) {}
        QString write(quint8 code) override { return line.write(code); }
        FakeTriggerLine &line;
    };
};
