#include "results/SessionData.h"

#include "base/FolderFile.h"
#include "base/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QUuid>
#include <cmath>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kivora {

namespace {
// The start of a data file: the byte order mark and the header row, every column's name,
// comma-separated. Written as one, so a file never holds the mark without its header.
const QByteArray &header() {
    static const QByteArray row = [] {
        QStringList names;
        for (const QStringView name : BaseDataColumns)
            names << name.toString();
        for (const QStringView name : AddedDataColumns)
            names << name.toString();
        for (const QStringView name : DisplayDataColumns)
            names << name.toString();
        for (const QStringView name : StudyDataColumns)
            names << name.toString();
        for (const QStringView name : TriggerDataColumns)
            names << name.toString();
        return Utf8Bom.toByteArray() + (names.join(u',') + u"\r\n"_qs).toUtf8();
    }();
    return row;
}

[[noreturn]] void writeFailed(const QFile &file, const QString &what, const QString &reason) {
    throw RuntimeError(ErrPermissionDenied,
                       u"%1 %2: %3"_qs.arg(what, QDir::toNativeSeparators(file.fileName()), reason));
}
[[noreturn]] void writeFailed(const QFile &file, const QString &what) {
    writeFailed(file, what, file.errorString());
}

QString spreadsheetSafe(const QString &text) {
    // A cell that starts like a formula would be run by a spreadsheet: make it plain text.
    if (!text.isEmpty() && (text[0] == u'=' || text[0] == u'+' || text[0] == u'-' || text[0] == u'@' ||
                            text[0] == u'\t' || text[0] == u'\r'))
        return u"'"_qs + text;
    return text;
}

QString csvField(const QString &text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_qs, u"\"\""_qs);
    return u"\""_qs + quoted + u"\""_qs;
}

// Hands the file's written bytes to the disk before returning.
bool syncToDisk(QFile &file) {
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0; // FlushFileBuffers on the file's handle
#else
    return ::fsync(file.handle()) == 0;
#endif
}

QString meansCsv(const RunStats &stats) {
    QString out = u"PresentTime,0,60,120,180,240,300,360\r\n"_qs;
    for (int j = 1; j <= stats.TimeCount; ++j) {
        out += QString::number(stats.TimeList[j]);
        for (int k = 0; k <= 6; ++k)
            out += u","_qs + csvNumber(stats.StatTable[j][k % 6].Mean);
        out += u"\r\n"_qs;
    }
    return out;
}
} // namespace

QString csvNumber(double value) {
    if (std::isnan(value))
        return {};
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString csvCell(const QString &text) {
    return csvField(spreadsheetSafe(text));
}

SessionData::SessionData(QString folder) : m_folder(std::move(folder)) {}

void SessionData::checkFolder(const QString &folder) {
    QDir dir(folder);
    if (!dir.mkpath(u"."_qs))
        throw RuntimeError(ErrPathNotFound,
                           QCoreApplication::translate("SessionData", "データフォルダを作れません: %1")
                               .arg(QDir::toNativeSeparators(folder)));
    QFile probe(dir.filePath(u".kivora-write-test-"_qs + QUuid::createUuid().toString(QUuid::Id128)));
    const bool ok =
        probe.open(QIODevice::WriteOnly | QIODevice::NewOnly) && probe.write("x", 1) == 1 && probe.flush();
    const QString reason = probe.errorString();
    probe.close();
    probe.remove();
    if (!ok)
        throw RuntimeError(ErrPermissionDenied, QCoreApplication::translate(
                                                    "SessionData", "データフォルダに書き込めません: %1 (%2)")
                                                    .arg(QDir::toNativeSeparators(folder), reason));
}

QString SessionData::safeFileName(const QString &name) {
    QString out;
    for (const QChar c : name) {
        // Characters Windows or POSIX file systems refuse in a name, and control characters.
        if (c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' ||
            c == u'"' || c == u'<' || c == u'>' || c == u'|' || c.unicode() == 0x7f)
            out += u'_';
        else
            out += c;
    }
    // Trailing dots and blanks vanish on Windows file systems; a leading dot hides the file.
    while (out.endsWith(u'.') || out.endsWith(u' '))
        out.chop(1), out += u'_';
    if (out.startsWith(u'.'))
        out[0] = u'_';
    // A data folder may be shared with Windows PCs: a device name gets "_" after its stem.
    if (isWindowsDeviceName(out)) {
        const qsizetype dot = out.indexOf(u'.');
        out.insert(dot < 0 ? out.size() : dot, u'_');
    }
    // File systems count a name in bytes (255 at most, with the stamp and "_means.csv" still to
    // come): keep 160 bytes of UTF-8, cut between characters, never inside a surrogate pair.
    while (out.toUtf8().size() > 160) {
        out.chop(1);
        if (!out.isEmpty() && out.back().isHighSurrogate())
            out.chop(1);
    }
    if (out.isEmpty())
        out = u"_"_qs;
    return out;
}

void SessionData::writeSynced(QFile &file, const QByteArray &bytes) {
    // The files are unbuffered: a write goes straight to the file, and one that fails (a full
    // disk) is taken back whole, so the file never ends in half a row.
    const qint64 before = file.size();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString(); // before the take-back sets its own
        file.resize(before);
        file.seek(before);
        writeFailed(file, QCoreApplication::translate("SessionData", "データを書き込めません"), reason);
    }
    // On disk before the next trial starts: a crash or a power cut loses no answered trial.
    if (!syncToDisk(file))
        writeFailed(file, QCoreApplication::translate("SessionData", "データをディスクに書き込めません"));
}

void SessionData::syncFolder() {
#ifdef Q_OS_WIN
    // Windows documents no flush of a folder's entries; the file's own flushes are what it has.
#else
    // The new file's name reaches the disk too, not only its rows: on some file systems a power
    // cut right after creating a file would otherwise lose it whole.
    const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

void SessionData::runStarted(const QString &subject, qint64) {
    m_file.close();
    m_subjectCell = csvCell(subject);
    m_seedCell = m_nextSeed ? QString::number(*m_nextSeed) : QString();
    m_mainSeedCell = m_seedCell;
    m_blockCells = u"main,"_qs;
    m_nextSeed.reset();
    const QDateTime now = m_now();
    m_started = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
    const QString base = now.toString(u"yyyyMMdd-HHmmss"_qs);
    const QString name = safeFileName(subject);
    QDir dir(m_folder);
    for (int n = 1;; ++n) {
        const QString stamp = n == 1 ? base : base + u"-"_qs + QString::number(n);
        m_stem = stamp + u"_"_qs + name;
        // Both names must be free: the means file of this run must not overwrite another's.
        if (QFileInfo::exists(dir.filePath(m_stem + MeansSuffix.toString())))
            continue;
        m_file.setFileName(dir.filePath(m_stem + u".csv"_qs));
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (!m_file.exists() || n > 999)
            writeFailed(m_file, QCoreApplication::translate("SessionData", "データファイルを作れません"));
    }
    m_meansPath.clear();
    writeSynced(m_file, header());
    syncFolder();
    if (m_uniqueSubjects && subjectHasFiles(m_folder, subject, m_file.fileName())) {
        // Another PC began a run of this code meanwhile: this one does not start.
        m_file.close();
        m_file.remove();
        throw RuntimeError(
            ErrFileAlreadyExists,
            QCoreApplication::translate(
                "SessionData",
                "参加者コード %1 のデータファイルが、ほかに作られています。別のコードにしてください。")
                .arg(subject));
    }
}

bool SessionData::subjectHasFiles(const QString &folder, const QString &subject, const QString &except) {
    // <YYYYMMDD-HHMMSS>[-n]_<subject as in a file name>.csv and its _means.csv.
    const QRegularExpression name(u"\\A\\d{8}-\\d{6}(-\\d+)?_"_qs +
                                      QRegularExpression::escape(safeFileName(subject)) +
                                      u"(_means)?\\.csv\\z"_qs,
                                  QRegularExpression::CaseInsensitiveOption); // one file on Windows
    const QString own = QFileInfo(except).fileName();
    for (const QString &file : QDir(folder).entryList(QDir::Files))
        if (file != own && name.match(file).hasMatch())
            return true;
    return false;
}

void SessionData::answered(qint16 trial, const TrialRec &rec, const AnswerTiming &timing) {
    if (!m_file.isOpen())
        return;
    const QString row = QStringList{m_subjectCell,
                                    m_started,
                                    QString::number(trial),
                                    QString::number(rec.FigSet),
                                    QString::number(rec.StartDir),
                                    QString::number(rec.CueDir),
                                    QString::number(rec.Mirror),
                                    QString::number(rec.PresentTime),
                                    QString::number(rec.Answer),
                                    rec.Answer == rec.Mirror ? u"1"_qs : u"0"_qs,
                                    QString::number(rec.RT),
                                    QString::number(timing.rtUs),
                                    QString::number(timing.cueUs),
                                    m_seedCell,
                                    QString::number(timing.lateFlips),
                                    word(timing.display.onset),
                                    QString::number(timing.display.periodUs),
                                    word(timing.display.compositor),
                                    timing.display.monitor.fullscreen ? u"1"_qs : u"0"_qs,
                                    m_blockCells,
                                    timing.triggerLagUs ? QString::number(*timing.triggerLagUs) : QString()}
                            .join(u',') +
                        u"\r\n"_qs;
    writeSynced(m_file, row.toUtf8());
}

void SessionData::practiceStarted(int round, std::optional<quint64> seed, qint64) {
    m_blockCells = u"practice,"_qs + QString::number(round);
    m_seedCell = seed ? QString::number(*seed) : QString();
}

void SessionData::practiceEnded(int, int, int, qint64) {
    m_blockCells = u"main,"_qs;
    m_seedCell = m_mainSeedCell;
}

void SessionData::runStopped(qint64) {
    m_file.close();
}

void SessionData::runCompleted(const RunStats &stats, qint64) {
    m_file.close();
    QFile means(QDir(m_folder).filePath(m_stem + MeansSuffix.toString()));
    if (!means.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        writeFailed(means, QCoreApplication::translate("SessionData", "平均値ファイルを作れません"));
    writeSynced(means, Utf8Bom.toByteArray() + meansCsv(stats).toUtf8());
    m_meansPath = means.fileName();
}

} // namespace kivora
