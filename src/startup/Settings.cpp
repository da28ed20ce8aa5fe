#include "startup/Settings.h"

#include "base/TextEncoding.h"
#include "startup/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>

namespace kivora {

namespace {

QString shown(const QString &file) {
    return QDir::toNativeSeparators(file);
}

[[noreturn]] void refuse(const QString &file, int line, const QString &message) {
    throw SettingsError(u"%1:%2: %3"_qs.arg(shown(file)).arg(line).arg(message));
}

// %NAME% (Windows style, names such as ProgramFiles(x86) included), ${NAME} and $NAME. Anything
// else with % or $ stays as written: a share such as \\server\data$ or a folder "100%".
const QRegularExpression &variablePattern() {
    static const QRegularExpression pattern(
        u"%([A-Za-z_][A-Za-z0-9_()]*)%|\\$\\{([A-Za-z_][A-Za-z0-9_]*)\\}|\\$([A-Za-z_][A-Za-z0-9_]*)"_qs);
    return pattern;
}

// value with its environment variables replaced; the name of an unset one in *unset.
QString expanded(const QString &value, const Environment &env, QString *unset) {
    QString out;
    qsizetype from = 0;
    for (const QRegularExpressionMatch &m : variablePattern().globalMatch(value)) {
        QString name;
        for (int group = 1; group <= 3 && name.isEmpty(); ++group)
            name = m.captured(group);
        const std::optional<QString> replacement = env(name);
        if (!replacement) {
            *unset = name;
            return {};
        }
        out += QStringView(value).sliced(from, m.capturedStart() - from);
        out += *replacement;
        from = m.capturedEnd();
    }
    out += QStringView(value).sliced(from);
    return out;
}

// One key's value checked, by what its option's declaration says it takes, and put into the
// options. A path's environment variables are replaced, and a relative one counts from the file's
// folder.
void take(Settings &s, const OptionDecl &d, const QString &value, int line, const Environment &env) {
    const QString key = settingKey(d);
    const QString what = key + u'=' + value;
    QString taken = value;
    if (d.setting == Setting::Path) {
        QString unset;
        const QString path = expanded(value, env, &unset);
        if (!unset.isEmpty())
            refuse(s.file, line, what + u": the environment variable %1 is not set"_qs.arg(unset));
        taken = QDir::cleanPath(QFileInfo(s.file).dir().absoluteFilePath(path));
    }
    if (!putOption(s.options, d, taken))
        refuse(s.file, line, what + u": %1 takes %2"_qs.arg(key, allowedValues(d)));
    s.lines.insert(key, line);
}

// The value of a key=value line: as written, or inside one pair of double quotes.
QString valueOf(const QString &written, const QString &file, int line, const QString &key) {
    if (written.startsWith(u'"')) {
        if (written.size() < 2 || !written.endsWith(u'"'))
            refuse(file, line, key + u": the value opens a \" that it does not close"_qs);
        return written.sliced(1, written.size() - 2);
    }
    if (written.contains(u';'))
        refuse(file, line,
               key + u'=' + written +
                   u": a value with ';' goes in double quotes (a comment stands on a line of its own)"_qs);
    return written;
}

} // namespace

QString Settings::where(const QString &key) const {
    return u"%1:%2: %3"_qs.arg(shown(file)).arg(lines.value(key)).arg(key);
}

std::optional<QString> processEnvironment(const QString &name) {
    const QByteArray latin = name.toLatin1();
    if (!qEnvironmentVariableIsSet(latin.constData()))
        return std::nullopt;
    return qEnvironmentVariable(latin.constData());
}

Settings parseSettings(const QByteArray &text, const QString &file, const Environment &env) {
    Settings s;
    s.file = QFileInfo(file).absoluteFilePath();
    const QByteArray body = text.startsWith("\xEF\xBB\xBF") ? text.sliced(3) : text;
    int number = 0;
    for (const QByteArray &bytes : body.split('\n')) {
        ++number;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line = QString(utf8(bytes)).trimmed(); // a CR before the LF goes too
        if (utf8.hasError()) {
            // A path read from a misread file would name a wrong folder: refused, but said what it
            // looks like where it reads as the code page older Notepad saves in.
            const std::optional<QString> cp932 = decodeCp932(body);
            refuse(
                s.file, number,
                cp932 && !hasPrivateUse(*cp932)
                    ? u"the file is not UTF-8 (it looks like CP932, as older Notepad saves it): save it as UTF-8"_qs
                    : u"the file is not UTF-8 text: save it as UTF-8"_qs);
        }
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') ||
                line.sliced(1, line.size() - 2).trimmed().compare(u"General"_qs, Qt::CaseInsensitive) != 0)
                refuse(
                    s.file, number,
                    line +
                        u": the keys stand at the top of the file or under [General], in no other section"_qs);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            refuse(s.file, number, u"'%1' is not key=value"_qs.arg(line));
        const QString key = line.first(eq).trimmed();
        const auto d = std::find_if(optionDecls().begin(), optionDecls().end(), [&key](const OptionDecl &o) {
            return o.setting != Setting::None && settingKey(o) == key;
        });
        if (d == optionDecls().end())
            refuse(s.file, number, u"unknown key '%1': the keys are %2"_qs.arg(key, listed(settingsKeys())));
        if (s.lines.contains(key))
            refuse(s.file, number,
                   u"%1 is given twice (first on line %2)"_qs.arg(key).arg(s.lines.value(key)));
        const QString value = valueOf(line.sliced(eq + 1).trimmed(), s.file, number, key);
        if (value.isEmpty())
            refuse(s.file, number, key + u" has no value: give one or leave the line out"_qs);
        take(s, *d, value, number, env);
    }
    return s;
}

Settings readSettings(const QString &file, bool optional, const Environment &env) {
    QFile f(file);
    if (optional && !QFileInfo::exists(file))
        return {};
    if (QFileInfo(file).isDir() || !f.open(QIODevice::ReadOnly))
        throw SettingsError(u"%1: cannot read the settings file (%2)"_qs.arg(
            shown(QFileInfo(file).absoluteFilePath()),
            QFileInfo(file).isDir() ? u"a folder"_qs : f.errorString()));
    return parseSettings(f.readAll(), file, env);
}

StartupPlaces startupPlaces() {
    StartupPlaces places;
    places.programDir = QCoreApplication::applicationDirPath();
#ifdef KIVORA_INSTALLED_LAYOUT
    // $XDG_CONFIG_HOME, or ~/.config where it is not set.
    places.userConfigDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/kivora"_qs;
    places.systemConfigDir = QStringLiteral(KIVORA_SYSCONF_DIR);
    places.bundledPlanDir = QStringLiteral(KIVORA_PLAN_DIR);
#endif
    return places;
}

namespace {
// The first of the folders (the empty ones left out) that holds name, or nothing.
std::optional<QString> firstHolding(const QStringList &folders, const QString &name) {
    for (const QString &folder : folders)
        if (!folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(name)))
            return QDir(folder).filePath(name);
    return std::nullopt;
}
} // namespace

Settings readStartupSettings(const QString &named, const StartupPlaces &places) {
    if (!named.isEmpty())
        return readSettings(named, false);
    const std::optional<QString> file =
        firstHolding({places.programDir, places.userConfigDir, places.systemConfigDir}, u"kivora.ini"_qs);
    return file ? readSettings(*file, false) : Settings{};
}

QString defaultPlan(const StartupPlaces &places) {
    const QString name = u"sequence.csv"_qs;
    return firstHolding({places.userConfigDir, places.bundledPlanDir}, name)
        .value_or(QDir(places.programDir).filePath(name));
}

QString settingsSearchText() {
#ifdef KIVORA_INSTALLED_LAYOUT
    return u"kivora.ini in the program's folder, else in $XDG_CONFIG_HOME/kivora (~/.config/kivora), "
           u"else " KIVORA_SYSCONF_DIR "/kivora.ini"_qs;
#else
    return u"kivora.ini in the program's folder"_qs;
#endif
}

QString planSearchText() {
#ifdef KIVORA_INSTALLED_LAYOUT
    return u"sequence.csv in $XDG_CONFIG_HOME/kivora (~/.config/kivora), else " KIVORA_PLAN_DIR
           "/sequence.csv"_qs;
#else
    return u"sequence.csv in the program's folder"_qs;
#endif
}

QString translationsSearchText() {
#ifdef KIVORA_INSTALLED_LAYOUT
    return u", in $XDG_CONFIG_HOME/kivora/translations (~/.config/kivora/translations) or in " KIVORA_PLAN_DIR
           "/translations"_qs;
#else
    return {};
#endif
}

RunOptions withSettings(const RunOptions &commandLine, const Settings &settings) {
    RunOptions run = settings.options;
    for (auto field : {&RunOptions::plan, &RunOptions::data, &RunOptions::log, &RunOptions::screen,
                       &RunOptions::practice, &RunOptions::language, &RunOptions::trigger})
        if (!(commandLine.*field).isEmpty())
            run.*field = commandLine.*field;
    if (commandLine.timing)
        run.timing = commandLine.timing;
    if (commandLine.subject)
        run.subject = commandLine.subject;
    for (auto field : {&RunOptions::shuffle, &RunOptions::fullscreen})
        if (commandLine.*field)
            run.*field = commandLine.*field;
    for (auto field : {&RunOptions::practiceCriterion, &RunOptions::breakEvery, &RunOptions::triggerBaud,
                       &RunOptions::triggerPulseMs})
        if (commandLine.*field)
            run.*field = commandLine.*field;
    return run;
}

} // namespace kivora
