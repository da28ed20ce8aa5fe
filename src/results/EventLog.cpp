#include "results/EventLog.h"

#include "base/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>

namespace kivora {

EventLog::EventLog(const QString &path) : m_file(path) {
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw RuntimeError(ErrPermissionDenied,
                           QCoreApplication::translate("EventLog", "ログファイルを開けません: %1 (%2)")
                               .arg(QDir::toNativeSeparators(path), m_file.errorString()));
    if (m_file.size() == 0)
        line(-1, {}, 0, {});
}

void EventLog::line(qint64 us, const QString &event, int trial, const QString &detail) {
    QByteArray bytes;
    if (us < 0) {
        bytes = "t_us\tevent\ttrial\tdetail\n";
    } else {
        QString d = detail;
        d.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' '); // one event, one line
        bytes = (QString::number(us) + u'\t' + event + u'\t' + QString::number(trial) + u'\t' + d + u'\n')
                    .toUtf8();
    }
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        throw RuntimeError(ErrPermissionDenied,
                           QCoreApplication::translate("EventLog", "ログを書き込めません: %1 (%2)")
                               .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString()));
}

void EventLog::runStarted(const QString &subject, qint64 us) {
    // The seed comes last, after the name, so that a reader splits it off at the last space.
    line(us, u"run_start"_qs, 0,
         m_nextSeed ? subject + u" order_seed="_qs + QString::number(*m_nextSeed) : subject);
    m_nextSeed.reset();
}

void EventLog::stageShown(const QString &event, qint16 trial, const QString &detail, qint64 us, qint64 msc) {
    m_trial = trial;
    line(us, event, trial, msc >= 0 ? detail + u" msc="_qs + QString::number(msc) : detail);
}

void EventLog::lateFlip(const QString &event, qint16 trial, qint64 targetMsc, qint64 msc, qint64 us) {
    line(us, u"late_flip"_qs, trial, u"%1 target=%2 msc=%3"_qs.arg(event).arg(targetMsc).arg(msc));
}

void EventLog::answered(qint16 trial, const TrialRec &rec, const AnswerTiming &timing) {
    line(timing.keyUs, u"answer"_qs, trial, u"key=%1 rt=%2"_qs.arg(timing.key).arg(rec.RT));
}

void EventLog::display(qint64 us, const DisplayInfo &d, const QString &keys, const QString &platform) {
    line(us, u"display"_qs, 0,
         u"mode=%1 period_us=%2 compositor=%3 window=0x%4 onset=%5 keys=%6 exact=%7 platform=%8"_qs
                 .arg(word(d.mode))
                 .arg(d.periodUs)
                 .arg(word(d.compositor))
                 .arg(d.window, 0, 16)
                 .arg(word(d.onset), keys, d.exact() ? u"1"_qs : u"0"_qs, platform) +
             u" "_qs + d.screenWords());
}

void EventLog::displayChanged(qint64 us, qint16 trial, const DisplayInfo &d) {
    line(us, u"display_change"_qs, trial, d.words());
}

void EventLog::practiceStarted(int round, std::optional<quint64>, qint64 us) {
    line(us, u"practice_start"_qs, 0, QString::number(round));
}

void EventLog::practiceEnded(int, int correct, int trials, qint64 us) {
    line(us, u"practice_end"_qs, m_trial, u"correct=%1/%2"_qs.arg(correct).arg(trials));
}

void EventLog::breakStarted(qint16 done, qint64 us) {
    line(us, u"break_start"_qs, done, {});
}

void EventLog::breakEnded(qint16 done, qint64 us) {
    line(us, u"break_end"_qs, done, {});
}

void EventLog::triggerSent(qint16 trial, int code, qint64 us, qint64 lagUs) {
    line(us, u"trigger"_qs, trial, u"code=%1 lag_us=%2"_qs.arg(code).arg(lagUs));
}

void EventLog::triggerLost(qint16 trial, const QString &reason, qint64 us) {
    line(us, u"trigger_lost"_qs, trial, reason);
}

void EventLog::runStopped(qint64 us) {
    line(us, u"stop"_qs, m_trial, {});
}

void EventLog::runCompleted(const RunStats &, qint64 us) {
    line(us, u"run_end"_qs, m_trial, {});
}

void EventLog::resultsShown(qint64 us) {
    line(us, u"results_shown"_qs, m_trial, {});
}

void EventLog::windowShown(qint64 us) {
    line(us, u"window_shown"_qs, 0, {});
}

void EventLog::resultsClosed(qint64 us) {
    line(us, u"results_closed"_qs, m_trial, {});
}

} // namespace kivora
