#pragma once

#include "analysis/GroupStats.h"
#include "run/PlanMaker.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace kivora {

// The commands for running a class, each returning the process's exit status. Messages go to
// standard output (what was made) and standard error (what went wrong).

// --make-plan FILE: the balanced plan of recipe, shuffled with seed (a fresh one when none is
// given), written to FILE, which must not exist yet. Needs a QCoreApplication.
int makePlanCommand(const QString &file, const PlanRecipe &recipe, std::optional<quint64> seed);

// What a command says, line by line: printed as it is said (standard output or error) when it
// echoes, and kept for a message box; in the box a line may read as `shown`, in the language of
// the texts (the console's lines are English).
class Transcript {
public:
    explicit Transcript(bool echo) : m_echo(echo) {}
    void out(const QString &line, const QString &shown = {});
    void err(const QString &line, const QString &shown = {});
    const QStringList &lines() const { return m_lines; }

private:
    bool m_echo;
    QStringList m_lines;
};

// --report DIR: every data file at the top level of folder read, and cells.csv, runs.csv,
// group.csv and report.pdf written into out (folder/report when empty). Status 0 when at least
// one run was read, 1 when none was or the report could not be written; *pdf is then the PDF's
// path. Needs a QApplication.
int reportCommand(const QString &folder, const QString &out, const RtLimits &limits, Transcript &say,
                  QString *pdf = nullptr);

} // namespace kivora
