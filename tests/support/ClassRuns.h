#pragma once

// Runs written into a class's data folder by the program's own recorder (SessionData), answer by
// answer, for the tests of the class view: the twelve-trial plan as its participant answers it.

#include "analysis/Analyze.h"
#include "results/SessionData.h"
#include "run/PlanReader.h"
#include "support/TwelveTrials.h"

#include <QDateTime>
#include <QString>

namespace classruns {

class Run {
public:
    // A run of subject in folder, its file stamped with started (runs of one test differ by it).
    Run(const QString &folder, const QString &subject, const QDateTime &started) : m_data(folder) {
        kivora::readPlan(twelve::plan(), u"plan.csv"_qs, m_trials);
        m_data.setNow([started] { return started; });
        m_data.runStarted(subject, 0);
    }

    // The next count answers, each written whole as the program writes it.
    void answer(int count) {
        for (int i = 0; i < count && m_answered < twelve::Trials; ++i) {
            const qint16 t = qint16(++m_answered);
            kivora::TrialRec &rec = m_trials[t];
            rec.Answer = twelve::plannedAnswer(t, rec.Mirror);
            rec.RT = twelve::plannedRt(t);
            m_data.answered(t, rec, {rec.Answer + 1, 0, qint64(rec.RT) * 1000, rec.PresentTime * 1000});
        }
    }
    // Every answer left, and the means file that marks the run complete.
    void complete() {
        answer(twelve::Trials);
        kivora::RunStats stats;
        kivora::Analyze(m_trials, twelve::Trials, stats);
        m_data.runCompleted(stats, 0);
    }
    QString file() const { return m_data.currentFile(); }

private:
    kivora::SessionData m_data;
    kivora::TrialTable m_trials;
    int m_answered = 0;
};

} // namespace classruns
