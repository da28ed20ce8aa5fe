#pragma once

// Records what the main window tells its recorders, as one line per event ("countdown:1:あと3問",
// "answer:3:key=2 rt=700", ...) and, for the screens, their onsets and refresh counts.

#include "base/RuntimeError.h"
#include "results/RunObserver.h"

#include <QHash>
#include <QStringList>

struct RunRecorder : kivora::RunObserver {
    struct Shown {
        qint64 us;
        qint64 msc;
    };
    QStringList events;
    QHash<QString, Shown> lastShown; // event ("first", ...) -> its latest onset
    QList<kivora::AnswerTiming> answers;
    // When each trigger code told went out.
    QList<qint64> triggerTimesUs;
    // The error number each coming run start is refused with, in turn (0: begun).
    QList<int> startRefusals;

    // The refreshes (or, with onsets, the µs) from each stage's latest onset to the next one's:
    // countdown to first figure, first figure to cue, cue to test figure.
    QList<qint64> stageLengths(bool onsets = false) const {
        const QStringList stages{u"countdown"_qs, u"first"_qs, u"cue"_qs, u"test"_qs};
        QList<qint64> lengths;
        for (qsizetype i = 1; i < stages.size(); ++i) {
            const Shown from = lastShown.value(stages[i - 1]), to = lastShown.value(stages[i]);
            lengths << (onsets ? to.us - from.us : to.msc - from.msc);
        }
        return lengths;
    }

    void runOrdered(quint64 seed) override { events << u"order:"_qs + QString::number(seed); }
    void runStarted(const QString &s, qint64) override {
        events << u"run_start:"_qs + s;
        if (const int refusal = startRefusals.isEmpty() ? 0 : startRefusals.takeFirst())
            throw kivora::RuntimeError(refusal);
    }
    void stageShown(const QString &e, qint16 t, const QString &d, qint64 us, qint64 msc) override {
        events << u"%1:%2:%3"_qs.arg(e).arg(t).arg(d);
        lastShown[e] = {us, msc};
    }
    void lateFlip(const QString &e, qint16 t, qint64 target, qint64 msc, qint64) override {
        events << u"late_flip:%1:%2:%3>%4"_qs.arg(e).arg(t).arg(msc).arg(target);
    }
    void answered(qint16 t, const kivora::TrialRec &r, const kivora::AnswerTiming &timing) override {
        events << u"answer:%1:key=%2 rt=%3"_qs.arg(t).arg(timing.key).arg(r.RT);
        answers << timing;
    }
    void runStopped(qint64) override { events << u"stop"_qs; }
    void practiceStarted(int round, std::optional<quint64>, qint64) override {
        events << u"practice_start:"_qs + QString::number(round);
    }
    void practiceEnded(int round, int correct, int trials, qint64) override {
        events << u"practice_end:%1:%2/%3"_qs.arg(round).arg(correct).arg(trials);
    }
    void breakStarted(qint16 done, qint64) override { events << u"break_start:"_qs + QString::number(done); }
    void breakEnded(qint16 done, qint64) override { events << u"break_end:"_qs + QString::number(done); }
    void displayChanged(qint64, qint16 t, const kivora::DisplayInfo &d) override {
        events << u"display_change:%1:%2"_qs.arg(t).arg(d.words());
    }
    void triggerSent(qint16 t, int code, qint64 us, qint64 lagUs) override {
        events << u"trigger:%1:code=%2 lag_us=%3"_qs.arg(t).arg(code).arg(lagUs);
        triggerTimesUs << us;
    }
    void triggerLost(qint16 t, const QString &reason, qint64) override {
        events << u"trigger_lost:%1:%2"_qs.arg(t).arg(reason);
    }
    void runCompleted(const kivora::RunStats &, qint64) override { events << u"run_end"_qs; }
    void resultsShown(qint64) override { events << u"results_shown"_qs; }
    void resultsClosed(qint64) override { events << u"results_closed"_qs; }
};
