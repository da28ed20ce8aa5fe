#pragma once

// The recorder's end of a trigger cable, in fake time: every byte the ports opened on it wrote,
// with the clock at the write; pulled out (a reason given), every write and every opening fails
// with that reason.

#include "base/TriggerPort.h"
#include "session/TriggerSender.h"
#include "support/FakeTime.h"

#include <QList>
#include <memory>

struct FakeTriggerLine {
    struct Byte {
        qint64 us;
        quint8 code;
    };
    explicit FakeTriggerLine(const FakeTime &time) : time(time) {}

    kivora::TriggerSender::Opener opener() {
        return [this](QString *why) -> std::unique_ptr<kivora::TriggerPort> {
            if (!pulled.isEmpty()) {
                *why = pulled;
                return nullptr;
            }
            return std::make_unique<Port>(*this);
        };
    }

    const FakeTime &time;
    QList<Byte> bytes;
    QString pulled;

private:
    struct Port final : kivora::TriggerPort {
        explicit Port(FakeTriggerLine &line) : line(line) {}
        QString write(quint8 code) override {
            if (!line.pulled.isEmpty())
                return line.pulled;
            line.bytes.push_back({line.time.nowUs(), code});
            return {};
        }
        FakeTriggerLine &line;
    };
};
