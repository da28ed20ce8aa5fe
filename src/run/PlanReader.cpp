#include "run/PlanReader.h"

#include "base/Checked.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <limits>

namespace kivora {

PlanError::PlanError(int number, QString file, int line, QString field, QString message)
    : RuntimeError(number, line > 0 ? u"%1:%2: %3"_qs.arg(file, QString::number(line), message)
                                    : u"%1: %2"_qs.arg(file, message)),
      m_file(std::move(file)), m_line(line), m_field(std::move(field)), m_message(std::move(message)) {}

namespace {

QString allowed(const PlanField &f) {
    return QCoreApplication::translate("PlanReader", "（%1〜%2 の整数）").arg(f.low).arg(f.high);
}

int clampLine(qint64 line) {
    return int(std::min<qint64>(line, std::numeric_limits<int>::max()));
}

// A value as written, made safe to print: invalid UTF-8 and control bytes become U+FFFD, and a
// long one is cut (the reader may be handed megabytes of garbage as one "value").
QString shownValue(const char *begin, qsizetype length) {
    constexpr qsizetype MaxShown = 20;
    QString s = QString::fromUtf8(begin, std::min<qsizetype>(length, MaxShown * 4));
    for (QChar &c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    if (s.size() > MaxShown || length > MaxShown * 4) {
        qsizetype cut = std::min(s.size(), MaxShown);
        if (cut > 0 && s.at(cut - 1).isHighSurrogate())
            --cut;
        s = s.left(cut) + u"…"_qs;
    }
    return s;
}

// Walks the bytes of a plan. Line ends are LF, CR LF or a lone CR; blanks are spaces and tabs.
class PlanScanner {
public:
    PlanScanner(const QByteArray &content, const QString &fileName)
        : m_data(content.constData()), m_size(content.size()), m_fileName(fileName) {
        if (content.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
    }

    qint64 line() const { return m_line; }

    // The end-of-file test made before each trial: true when nothing but blanks and line ends is
    // left. A comma promises another value on its line, so after one the file is never at its end
    // (see refuseEmptyValue).
    bool atEnd() {
        if (m_afterComma) {
            skipBlanks();
            return false;
        }
        skipBlanksAndLineEnds();
        return m_pos == m_size;
    }

    // Refuses an empty value at the current place as the value of f. Called at the start of a
    // trial so that "…,1200," is reported as the empty value it is, also after the 144th trial
    // where it would otherwise look like the start of a 145th.
    void refuseEmptyValue(const PlanField &f) const {
        if (m_pos == m_size || isTerminator(m_data[m_pos]))
            throw emptyValue(f, m_line);
    }

    // Reads the next value for f, checks that it is a plain decimal integer that fits 16 bits and
    // lies in f's range, and leaves the line it stood on in valueLine.
    qint16 readValue(const PlanField &f, qint64 &valueLine) {
        if (m_afterComma) {
            skipBlanks();
        } else {
            skipBlanksAndLineEnds();
            if (m_pos == m_size) {
                throw PlanError(
                    ErrInputPastEnd, m_fileName, clampLine(m_lastValueLine), f.name.toString(),
                    QCoreApplication::translate(
                        "PlanReader",
                        "ファイルが試行の途中で終わっています（%1 の値がありません。1 試行は FigSet, "
                        "StartDir, CueDir, Mirror, PresentTime の 5 つの値）")
                        .arg(f.name));
            }
        }
        m_afterComma = false;
        valueLine = m_line;

        const qsizetype start = m_pos;
        while (m_pos < m_size && !isTerminator(m_data[m_pos]))
            ++m_pos;
        qsizetype end = m_pos;
        while (end > start && isBlank(m_data[end - 1]))
            --end;
        if (m_pos < m_size && m_data[m_pos] == ',') {
            ++m_pos;
            m_afterComma = true;
        }
        // A line end is left where it is: the next skip counts it.

        if (end == start)
            throw emptyValue(f, valueLine);

        qsizetype i = start;
        const bool negative = m_data[i] == '-';
        if (m_data[i] == '-' || m_data[i] == '+')
            ++i;
        if (i == end)
            throw notInteger(f, valueLine, start, end);
        // Saturates well above the 16-bit range, so a long run of digits cannot overflow the sum.
        constexpr qint32 Saturated = 1'000'000;
        qint32 magnitude = 0;
        for (; i < end; ++i) {
            const char c = m_data[i];
            if (c < '0' || c > '9')
                throw notInteger(f, valueLine, start, end);
            magnitude = std::min(magnitude * 10 + (c - '0'), Saturated);
        }
        const qint32 value = negative ? -magnitude : magnitude;
        if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max()) {
            throw PlanError(
                ErrOverflow, m_fileName, clampLine(valueLine), f.name.toString(),
                QCoreApplication::translate("PlanReader", "%1 の値 %2 は 16 ビット整数に収まりません")
                        .arg(f.name, shownValue(m_data + start, end - start)) +
                    allowed(f));
        }
        if (value < f.low || value > f.high) {
            throw PlanError(
                ErrInvalidProperty, m_fileName, clampLine(valueLine), f.name.toString(),
                QCoreApplication::translate("PlanReader", "%1 の値 %2 は使えません").arg(f.name).arg(value) +
                    allowed(f));
        }
        m_lastValueLine = valueLine;
        return qint16(value);
    }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t'; }
    static bool isLineEnd(char c) { return c == '\n' || c == '\r'; }
    static bool isTerminator(char c) { return c == ',' || isLineEnd(c); }

    void skipBlanks() {
        while (m_pos < m_size && isBlank(m_data[m_pos]))
            ++m_pos;
    }

    void skipBlanksAndLineEnds() {
        while (m_pos < m_size) {
            const char c = m_data[m_pos];
            if (isBlank(c)) {
                ++m_pos;
            } else if (c == '\n') {
                ++m_pos;
                ++m_line;
            } else if (c == '\r') {
                ++m_pos;
                if (m_pos < m_size && m_data[m_pos] == '\n')
                    ++m_pos;
                ++m_line;
            } else {
                break;
            }
        }
    }

    PlanError emptyValue(const PlanField &f, qint64 line) const {
        return PlanError(ErrTypeMismatch, m_fileName, clampLine(line), f.name.toString(),
                         QCoreApplication::translate("PlanReader", "%1 の値が空です").arg(f.name) +
                             allowed(f));
    }

    PlanError notInteger(const PlanField &f, qint64 line, qsizetype start, qsizetype end) const {
        return PlanError(ErrTypeMismatch, m_fileName, clampLine(line), f.name.toString(),
                         QCoreApplication::translate("PlanReader", "%1 の値「%2」は整数ではありません")
                                 .arg(f.name, shownValue(m_data + start, end - start)) +
                             allowed(f));
    }

    const char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    qint64 m_line = 1;
    qint64 m_lastValueLine = 1;
    bool m_afterComma = false;
    const QString &m_fileName;
};

} // namespace

qint16 readPlan(const QByteArray &content, const QString &fileName, TrialTable &trials) {
    PlanScanner scanner(content, fileName);
    std::array<qint16, MaxPresentTimes> times{};
    int timeCount = 0;
    qint16 count = 0;

    // The end test comes before each trial and the count is raised before the trial is read, so
    // a file that ends right after a trial's fifth value holds exactly its trials, and a 145th
    // trial is refused rather than dropped.
    while (!scanner.atEnd()) {
        scanner.refuseEmptyValue(PlanFields[0]);
        count = add16(count, 1);
        if (count > MaxTrials) {
            throw PlanError(ErrSubscript, fileName, clampLine(scanner.line()), QString(),
                            QCoreApplication::translate("PlanReader", "%1 件目の試行です（試行は %2 件まで）")
                                .arg(count)
                                .arg(MaxTrials));
        }

        TrialRec rec;
        qint64 presentTimeLine = 0;
        for (const PlanField &f : PlanFields)
            rec.*f.member = scanner.readValue(f, presentTimeLine);

        const auto known = times.begin() + timeCount;
        if (std::find(times.begin(), known, rec.PresentTime) == known) {
            if (timeCount == MaxPresentTimes) {
                QStringList shown;
                for (qint16 t : times)
                    shown << QString::number(t);
                throw PlanError(
                    ErrInvalidProperty, fileName, clampLine(presentTimeLine), PlanFields[4].name.toString(),
                    QCoreApplication::translate(
                        "PlanReader", "PresentTime の値 %1 は 7 種類目の提示時間です（提示時間は %2 の 6 "
                                      "種類まで）")
                        .arg(rec.PresentTime)
                        .arg(shown.join(QCoreApplication::translate("PlanReader", "、"))));
            }
            times[timeCount++] = rec.PresentTime;
        }

        TrialRec &target = trials[count];
        for (const PlanField &f : PlanFields)
            target.*f.member = rec.*f.member;
    }
    return count;
}

qint16 loadPlanFile(const QString &path, TrialTable &trials) {
    const QFileInfo info(path);
    if (!info.exists()) {
        if (!info.absoluteDir().exists())
            throw PlanError(ErrPathNotFound, path, 0, QString(),
                            QCoreApplication::translate("PlanReader", "ファイルのあるフォルダがありません"));
        throw PlanError(ErrFileNotFound, path, 0, QString(),
                        QCoreApplication::translate("PlanReader", "ファイルがありません"));
    }
    if (info.isDir())
        throw PlanError(ErrPathFileAccess, path, 0, QString(),
                        QCoreApplication::translate("PlanReader", "ファイルではなくフォルダです"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!info.isReadable())
            throw PlanError(ErrPermissionDenied, path, 0, QString(),
                            QCoreApplication::translate("PlanReader", "読み取りの権限がありません"));
        throw PlanError(
            ErrPathFileAccess, path, 0, QString(),
            QCoreApplication::translate("PlanReader", "ファイルを開けません（%1）").arg(file.errorString()));
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw PlanError(ErrPathFileAccess, path, 0, QString(),
                        QCoreApplication::translate("PlanReader", "ファイルを読み取れません（%1）")
                            .arg(file.errorString()));
    }
    return readPlan(content, path, trials);
}

QString planSummary(const TrialTable &trials, qint16 count) {
    QList<qint16> times;
    std::array<int, 4> perFigSet{};
    std::array<int, 6> perCueDir{};
    std::array<int, 2> perMirror{};
    // Values outside the ranges cannot come from readPlan; a table filled otherwise is counted
    // where it fits and otherwise left out rather than indexed out of bounds.
    for (int i = 1; i <= count; ++i) {
        const TrialRec &t = trials[i];
        if (!times.contains(t.PresentTime))
            times << t.PresentTime;
        if (t.FigSet >= 1 && t.FigSet <= 4)
            ++perFigSet[t.FigSet - 1];
        if (t.CueDir >= 0 && t.CueDir <= 5)
            ++perCueDir[t.CueDir];
        if (t.Mirror >= 0 && t.Mirror <= 1)
            ++perMirror[t.Mirror];
    }

    auto numbers = [](const auto &values) {
        QString s;
        for (auto v : values)
            s += u' ' + QString::number(v);
        return s;
    };
    return u"trials: %1\n"_qs.arg(count) + u"present times (ms):"_qs + numbers(times) + u"\n"_qs +
           u"FigSet 1-4:"_qs + numbers(perFigSet) + u"\n"_qs + u"CueDir 0-5:"_qs + numbers(perCueDir) +
           u"\n"_qs + u"Mirror 0-1:"_qs + numbers(perMirror) + u"\n"_qs;
}

} // namespace kivora
