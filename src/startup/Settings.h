#pragma once

#include "session/Participant.h"
#include "ui/FramePresenter.h"

#include <QHash>
#include <QString>
#include <exception>
#include <functional>
#include <optional>

namespace kivora {

// The options of a run (a session, and the plan --check reads), as the command line or the
// settings file gives them. Paths are absolute; an empty string is "not given".
struct RunOptions {
    QString plan;
    QString data;
    QString log;
    std::optional<Timing> timing;
    std::optional<bool> shuffle;          // the command line's --shuffle is true or not given
    std::optional<bool> fullscreen;       // the same for --fullscreen
    QString screen;                       // --screen: the monitor's name or model; empty: the primary one
    QString practice;                     // --practice: the practice plan; empty: no practice
    std::optional<int> practiceCriterion; // --practice-criterion, per cent
    std::optional<int> breakEvery;        // --break-every, trials
    std::optional<SubjectMode> subject;   // --subject
    QString language;                     // --language: the texts' language; empty: ja
    QString trigger;                      // --trigger: the port trigger codes go out of; empty: none
    std::optional<int> triggerBaud;       // --trigger-baud
    std::optional<int> triggerPulseMs;    // --trigger-pulse-ms
};

// A settings file that cannot be used. detail() is "FILE:LINE: message" (or "FILE: message"),
// the form the plan's refusals take.
class SettingsError : public std::exception {
public:
    explicit SettingsError(QString detail) : m_detail(std::move(detail)), m_what(m_detail.toStdString()) {}
    const QString &detail() const { return m_detail; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_detail;
    std::string m_what;
};

// The settings file, kivora.ini: the long options of a run as keys (those the option
// declarations give a Setting, spelled with "_" for "-"), one "key=value" a line, at the top of
// the file or under [General] (no other section). Blank lines and lines starting with ';' or '#'
// are comments. A value stands as it is written: backslashes, commas and percent signs are its
// own, so a Windows path reads as it is written; one pair of double quotes around it is taken off
// (for blanks at its ends or a ';', which other INI readers take for a comment).
//
//   paths     (plan, data, log, practice) %NAME%, $NAME and ${NAME} are replaced by the environment
//             variable (an unset one is an error); a relative path counts from the file's folder
//   switches  (shuffle, fullscreen) true or false (also yes/no, 1/0, in any case)
//   choices   (timing, subject) one of the option's words
//   numbers   (practice_criterion, break_every, trigger_baud, trigger_pulse_ms) a whole number in
//             the option's range
//   texts     (screen, language, trigger) the text as written
struct Settings {
    QString file;              // the file read, absolute; empty when there was none
    RunOptions options;        // what it gives
    QHash<QString, int> lines; // the line of each key given

    // "FILE:LINE: key", where a key's value came from, for a message about it.
    QString where(const QString &key) const;
};

// An environment variable's value, or nothing when it is not set.
using Environment = std::function<std::optional<QString>(const QString &name)>;
std::optional<QString> processEnvironment(const QString &name);

// The settings in text, the bytes of file (named in messages; relative paths count from its
// folder). Throws SettingsError for text that is not UTF-8 (a UTF-8 byte order mark is
// skipped), a line that is not key=value, another section, an unknown or repeated key, an empty
// or bad value, an unset environment variable.
Settings parseSettings(const QByteArray &text, const QString &file,
                       const Environment &env = processEnvironment);

// The settings file read from disk. A missing file gives no settings when it is optional (the
// program's own kivora.ini) and throws SettingsError when it was named (--settings FILE).
Settings readSettings(const QString &file, bool optional, const Environment &env = processEnvironment);

// Where start-up looks for the settings file and the plan. A folder left empty is not looked in.
struct StartupPlaces {
    QString programDir;      // the program's own folder
    QString userConfigDir;   // the user's: $XDG_CONFIG_HOME/kivora (~/.config/kivora)
    QString systemConfigDir; // every user's: /etc/kivora
    QString bundledPlanDir;  // the bundled plans: /usr/share/kivora
};

// The places of this build (needs a QCoreApplication): run from its build folder or an unpacked
// zip, the program's folder alone; built for the installed layout (the Debian package), also the
// user's and the system's configuration folders and the bundled plans' folder.
StartupPlaces startupPlaces();

// The settings file start-up reads: the one named (--settings), else the first that exists of
// kivora.ini in the program's folder, in the user's and in the system's configuration folder;
// none is no error.
Settings readStartupSettings(const QString &named, const StartupPlaces &places = startupPlaces());

// The plan a session or --check reads when none is given (--plan, plan=): sequence.csv in the
// user's configuration folder where it is there, else the bundled one, else the one in the
// program's folder.
QString defaultPlan(const StartupPlaces &places = startupPlaces());

// Where the settings file and the plan are looked for, in words for --help: "kivora.ini in the
// program's folder, ...".
QString settingsSearchText();
QString planSearchText();
// Where translations are looked for besides the program's own "translations" folder, for --help
// (", in ... or in ..."; empty where only that folder is looked in).
QString translationsSearchText();

// The options of the run: each one given on the command line wins over the settings file's.
RunOptions withSettings(const RunOptions &commandLine, const Settings &settings);

} // namespace kivora
