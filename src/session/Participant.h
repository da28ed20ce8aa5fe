#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace kivora {

// Who a run is of, as the data files, the printout, the log and the report name them (--subject):
// the participant's name as typed (Name), or a participant code instead (Code: typed; Auto: a
// fresh one offered, which the experimenter may change), the name then nowhere.
enum class SubjectMode { Name, Code, Auto };
// The words of --subject, in the order of SubjectMode.
const QStringList &subjectModeWords();

// A participant code: 1 to 32 of A-Z, a-z, 0-9, "-" and "_", beginning with a letter or a digit
// (a leading "-" would be written with a spreadsheet's guard "'").
bool isParticipantCode(const QString &text);
// What a code may be, for a refusal.
QString participantCodeRule();

// A code to offer: "P" and six digits from random, one that taken does not know.
QString freshParticipantCode(const std::function<quint32()> &random,
                             const std::function<bool(const QString &)> &taken);

} // namespace kivora
