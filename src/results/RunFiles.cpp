#include "results/RunFiles.h"

#include "base/DisplayFacts.h"
#include "base/FolderFile.h"
#include "results/SessionData.h"
#include "run/PlanReader.h"
#include "run/Stage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace kivora {

namespace {

// The columns every data file has, in the order the program writes them (BaseDataColumns).
enum Column {
    Subject,
    RunStarted,
    Trial,
    FigSet,
    StartDir,
    CueDir,
    Mirror,
    PresentTime,
    Answer,
    Correct,
    Rt
};
constexpr int BaseColumns = Rt + 1;
static_assert(BaseColumns == int(BaseDataColumns.size()));

// The columns that say how exact a trial's onsets were (DisplayDataColumns), read where a file
// has them.
enum DisplayColumn { LateFlips, OnsetSourceColumn, PeriodUs, CompositorColumn, Fullscreen };
constexpr int DisplayColumns = Fullscreen + 1;
static_assert(DisplayColumns == int(DisplayDataColumns.size()));

QStringView displayColumnName(DisplayColumn c) {
    return DisplayDataColumns[std::size_t(c)];
}

struct Record {
    int line = 0; // where it starts, 1-based
    QStringList fields;
};

struct CsvFault {
    int line;
    QString reason;
};

// Splits RFC 4180 CSV into records. Fields are separated by the separator (a comma, or ';'); a
// field in double quotes may hold separators, line ends and doubled quotes. Records end at CR LF,
// LF or a lone CR; an empty line is no record. The content is UTF-8. With UnendedRecord::LeftOut
// a last record that the end of the content cuts short (no line end after it, or a quoted field
// still open) is no record.
class CsvReader {
public:
    CsvReader(const QByteArray &content, char separator, UnendedRecord unended)
        : m_data(content), m_separator(separator), m_unended(unended) {
        if (m_data.startsWith(Utf8Bom))
            m_pos = Utf8Bom.size();
    }

    // The next record, nothing at the end, or throws CsvFault.
    std::optional<Record> next() {
        while (m_pos < m_data.size() && isLineEnd(m_data[m_pos]))
            skipLineEnd();
        if (m_pos >= m_data.size())
            return std::nullopt;
        Record record;
        record.line = m_line;
        for (;;) {
            try {
                record.fields << field();
            } catch (const CutShort &) {
                m_pos = m_data.size();
                return std::nullopt;
            }
            if (m_pos >= m_data.size())
                return record; // with LeftOut the content ends at a line end: the record is whole
            if (m_data[m_pos] == m_separator) {
                ++m_pos;
                continue;
            }
            skipLineEnd();
            return record;
        }
    }

private:
    struct CutShort {}; // the content ends inside a quoted field that is left out
    static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

    void skipLineEnd() {
        if (m_data[m_pos] == '\r' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
        ++m_line;
    }

    QString field() {
        const qsizetype start = m_pos;
        if (m_pos < m_data.size() && m_data[m_pos] == '"') {
            const int startLine = m_line;
            QByteArray value;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_data.size()) {
                    if (m_unended == UnendedRecord::LeftOut)
                        throw CutShort{};
                    throw CsvFault{startLine,
                                   QCoreApplication::translate("RunFiles", "引用符 \" が閉じられていません")};
                }
                const char c = m_data[m_pos];
                if (c == '"') {
                    if (m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '"') {
                        value += '"';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                if (c == '\n' || (c == '\r' && !(m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '\n')))
                    ++m_line;
                value += c;
                ++m_pos;
            }
            if (m_pos < m_data.size() && m_data[m_pos] != m_separator && !isLineEnd(m_data[m_pos]))
                throw CsvFault{m_line, QCoreApplication::translate(
                                           "RunFiles", "引用符で囲んだ値の後に余分な文字があります")};
            return QString::fromUtf8(value);
        }
        while (m_pos < m_data.size() && m_data[m_pos] != m_separator && !isLineEnd(m_data[m_pos])) {
            if (m_data[m_pos] == '"')
                throw CsvFault{m_line,
                               QCoreApplication::translate("RunFiles", "値の途中に引用符 \" があります")};
            ++m_pos;
        }
        return QString::fromUtf8(m_data.constData() + start, m_pos - start);
    }

    const QByteArray &m_data;
    char m_separator;
    UnendedRecord m_unended;
    qsizetype m_pos = 0;
    int m_line = 1;
};

// A whole number in low..high written as plain decimal digits (a minus sign allowed).
std::optional<qint64> integerIn(const QString &text, qint64 low, qint64 high) {
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && c == u'-' && text.size() > 1))
            return std::nullopt;
    }
    const qint64 value = text.toLongLong();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

SkippedFile skip(const QString &fileName, int line, const QString &reason) {
    return SkippedFile{fileName, line, reason};
}

// A data file's text as UTF-8, and what it was read as. A file with the UTF-8 byte order mark must
// be UTF-8 throughout; one without it is read as UTF-8 where it is that, else as code page 932 (a
// file saved by Excel on a Japanese Windows). A file that is neither, or that needs CP932's
// user-defined characters (the sign of yet another code page), is no data file: a name is never
// read with characters put in for bytes that were not understood.
struct Utf8Text {
    QByteArray bytes;
    TextEncoding encoding = TextEncoding::Utf8;
};

std::variant<Utf8Text, SkippedFile> asUtf8(const QByteArray &content, const QString &fileName) {
    if (content.startsWith(Utf8Bom)) {
        if (const int line = firstLineNotUtf8(QByteArrayView(content).sliced(Utf8Bom.size())); line > 0)
            return skip(
                fileName, line,
                QCoreApplication::translate(
                    "RunFiles", "UTF-8 の印 (BOM) で始まるのに、UTF-8 として読めないバイトがあります"));
        return Utf8Text{content};
    }
    if (isUtf8(content))
        return Utf8Text{content};
    const std::optional<QString> cp932 = decodeCp932(content);
    if (!cp932)
        return skip(
            fileName, 0,
            QCoreApplication::translate(
                "RunFiles",
                "UTF-8 でも CP932 (Shift-JIS) でもありません（どちらとしても読めないバイトがあります）"));
    if (hasPrivateUse(*cp932))
        return skip(fileName, 0,
                    QCoreApplication::translate(
                        "RunFiles",
                        "UTF-8 でも CP932 (Shift-JIS) でもありません（CP932 として読むと外字になります: "
                        "ほかの文字コードのファイルでしょう）"));
    return Utf8Text{cp932->toUtf8(), TextEncoding::Cp932};
}

// The separator of a file's values: ';' where its header row (its first line that is not empty)
// holds a ';' and no ',', as Excel writes where the decimal mark is a comma; else ','.
char separatorOf(const QByteArray &utf8) {
    QByteArrayView rest(utf8);
    if (rest.startsWith(Utf8Bom))
        rest = rest.sliced(Utf8Bom.size());
    const auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
    const auto start = std::find_if_not(rest.begin(), rest.end(), lineEnd);
    const QByteArrayView header(start, std::find_if(start, rest.end(), lineEnd));
    return !header.contains(',') && header.contains(';') ? ';' : ',';
}

// What an entry of a data folder is, for the reason it is skipped.
QString kindText(EntryKind kind) {
    switch (kind) {
    case EntryKind::Folder:
        return QCoreApplication::translate("RunFiles", "フォルダー");
    case EntryKind::Pipe:
        return QCoreApplication::translate("RunFiles", "名前付きパイプ");
    case EntryKind::Socket:
        return QCoreApplication::translate("RunFiles", "ソケット");
    case EntryKind::Device:
        return QCoreApplication::translate("RunFiles", "デバイス");
    case EntryKind::Regular:
    case EntryKind::Other:
        break;
    }
    return QCoreApplication::translate("RunFiles", "特殊なファイル");
}

} // namespace

QString SkippedFile::detail(const QString &shownName) const {
    return line > 0 ? u"%1:%2: %3"_qs.arg(shownName, QString::number(line), reason)
                    : u"%1: %2"_qs.arg(shownName, reason);
}

std::variant<RunFile, SkippedFile> readRunFile(const QByteArray &bytes, const QString &fileName,
                                               UnendedRecord unended) {
    // A row being written may end inside a character: what follows the last line end is left
    // out before the text is decoded (neither UTF-8 nor CP932 uses CR or LF inside a character).
    QByteArray content = bytes;
    if (unended == UnendedRecord::LeftOut)
        content.truncate(std::max(content.lastIndexOf('\n'), content.lastIndexOf('\r')) + 1);
    auto text = asUtf8(content, fileName);
    if (auto *skipped = std::get_if<SkippedFile>(&text))
        return *skipped;
    const Utf8Text &utf8 = std::get<Utf8Text>(text);
    CsvReader reader(utf8.bytes, separatorOf(utf8.bytes), unended);
    std::optional<Record> header;
    try {
        header = reader.next();
    } catch (const CsvFault &fault) {
        return skip(fileName, fault.line,
                    QCoreApplication::translate("RunFiles", "データファイルの見出し行ではありません（%1）")
                        .arg(fault.reason));
    }
    if (!header)
        return skip(fileName, 0,
                    QCoreApplication::translate("RunFiles",
                                                "空のファイルです（データファイルの見出し行がありません）"));

    // Where each base column and each display column is in this file's rows (-1: not there).
    // Other columns are passed over: later versions add theirs at the end.
    std::array<int, BaseColumns> at;
    at.fill(-1);
    std::array<int, DisplayColumns> displayAt;
    displayAt.fill(-1);
    const QStringList &names = header->fields;
    for (int i = 0; i < names.size(); ++i) {
        const QString &name = names[i];
        if (names.indexOf(name) != i)
            return skip(fileName, header->line,
                        QCoreApplication::translate("RunFiles", "見出し行に列「%1」が 2 回あります")
                            .arg(name.left(40)));
        if (const auto base = std::find(BaseDataColumns.begin(), BaseDataColumns.end(), name);
            base != BaseDataColumns.end())
            at[std::size_t(base - BaseDataColumns.begin())] = i;
        for (int d = 0; d < DisplayColumns; ++d)
            if (name == displayColumnName(DisplayColumn(d)))
                displayAt[std::size_t(d)] = i;
    }
    for (int c = 0; c < BaseColumns; ++c)
        if (at[std::size_t(c)] < 0)
            return skip(fileName, header->line,
                        QCoreApplication::translate(
                            "RunFiles", "データファイルの見出し行ではありません（列「%1」がありません）")
                            .arg(BaseDataColumns[std::size_t(c)]));

    // The plan's values as the plan reader accepts them, and the answer's code.
    struct Range {
        Column column;
        PlanField field;
    };
    static constexpr std::array<Range, 6> ranges{{{FigSet, planField(&TrialRec::FigSet)},
                                                  {StartDir, planField(&TrialRec::StartDir)},
                                                  {CueDir, planField(&TrialRec::CueDir)},
                                                  {Mirror, planField(&TrialRec::Mirror)},
                                                  {PresentTime, planField(&TrialRec::PresentTime)},
                                                  {Answer, {u"Answer", &TrialRec::Answer, 0, 1}}}};

    RunFile run;
    run.fileName = fileName;
    run.encoding = utf8.encoding;
    int rows = 0;          // rows read
    int practiceRound = 0; // the practice round of the rows read last
    int roundTrials = 0;   // the rows of that round
    const int blockAt = int(names.indexOf(StudyDataColumns[0].toString()));
    const int roundAt = int(names.indexOf(StudyDataColumns[1].toString()));
    try {
        while (const std::optional<Record> record = reader.next()) {
            const int line = record->line;
            if (record->fields.size() != names.size())
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles", "値が %1 個あります（見出し行は %2 列）")
                                .arg(record->fields.size())
                                .arg(names.size()));
            auto cell = [&](Column c) -> const QString & { return record->fields[at[std::size_t(c)]]; };

            if (rows == 0) {
                run.subject = cell(Subject);
                run.runStarted = cell(RunStarted);
            } else if (cell(Subject) != run.subject || cell(RunStarted) != run.runStarted) {
                return skip(fileName, line,
                            QCoreApplication::translate(
                                "RunFiles", "別の実行の行です（subject か run_started が前の行と違います）"));
            }
            ++rows;

            // The row's block: practice trials (round 1..3, numbered from 1 in each round, before
            // the main trials) or the main trials (numbered from 1). A file without the column
            // holds main trials alone.
            const QString block = blockAt >= 0 ? record->fields[blockAt] : QString();
            const QString roundText = roundAt >= 0 ? record->fields[roundAt] : QString();
            const bool practice = block == u"practice"_qs;
            if (!practice && !block.isEmpty() && block != u"main"_qs)
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles",
                                                        "block の値「%1」は使えません（practice か main）")
                                .arg(block.left(20)));
            const auto round =
                practice ? integerIn(roundText, 1, MaxPracticeRounds) : std::optional<qint64>(0);
            if (!round || (!practice && !roundText.isEmpty()))
                return skip(fileName, line,
                            QCoreApplication::translate(
                                "RunFiles", "round の値「%1」は使えません（練習の行は 1〜%2、本番の行は空）")
                                .arg(roundText.left(20), QString::number(MaxPracticeRounds)));
            if (practice && !run.trials.empty())
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles", "練習の行が本番の行の後にあります"));
            if (practice && *round != practiceRound) {
                if (*round < practiceRound)
                    return skip(
                        fileName, line,
                        QCoreApplication::translate("RunFiles", "round の値「%1」は %2 以上のはずです")
                            .arg(*round)
                            .arg(practiceRound));
                practiceRound = int(*round);
                roundTrials = 0;
            }
            const int expectedTrial = (practice ? roundTrials : int(run.trials.size())) + 1;
            if (expectedTrial > MaxTrials)
                return skip(
                    fileName, line,
                    QCoreApplication::translate("RunFiles", "試行が %1 を超えています").arg(MaxTrials));
            const auto trial = integerIn(cell(Trial), 1, MaxTrials);
            if (!trial || *trial != expectedTrial)
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles", "trial の値「%1」は %2 のはずです")
                                .arg(cell(Trial).left(20), QString::number(expectedTrial)));

            TrialRec rec;
            for (const Range &r : ranges) {
                const auto value = integerIn(cell(r.column), r.field.low, r.field.high);
                if (!value)
                    return skip(
                        fileName, line,
                        QCoreApplication::translate("RunFiles", "%1 の値「%2」は使えません（%3〜%4 の整数）")
                            .arg(BaseDataColumns[r.column].toString(), cell(r.column).left(20),
                                 QString::number(r.field.low), QString::number(r.field.high)));
                rec.*r.field.member = qint16(*value);
            }
            const auto correct = integerIn(cell(Correct), 0, 1);
            if (!correct || (*correct == 1) != (rec.Answer == rec.Mirror))
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles",
                                                        "correct の値「%1」が Answer と Mirror に合いません")
                                .arg(cell(Correct).left(20)));
            const auto rt =
                integerIn(cell(Rt), std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
            if (!rt)
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles", "RT の値「%1」は整数ではありません")
                                .arg(cell(Rt).left(20)));
            rec.RT = qint32(*rt);

            // The display's columns: empty where not known, else a value the program writes.
            const auto display = [&](DisplayColumn c) -> std::optional<QString> {
                const int i = displayAt[std::size_t(c)];
                if (i < 0 || record->fields[i].isEmpty())
                    return std::nullopt;
                return record->fields[i];
            };
            const auto badDisplay = [&](DisplayColumn c, const QString &allowed) {
                return skip(fileName, line,
                            QCoreApplication::translate("RunFiles", "%1 の値「%2」は使えません（%3）")
                                .arg(displayColumnName(c), display(c)->left(20), allowed));
            };
            const std::optional<QString> late = display(LateFlips);
            const auto lateFlips = late ? integerIn(*late, 0, Stage::TrialStages) : std::nullopt;
            if (late && !lateFlips)
                return badDisplay(
                    LateFlips,
                    QCoreApplication::translate("RunFiles", "0〜%1 の整数").arg(Stage::TrialStages));
            const std::optional<QString> source = display(OnsetSourceColumn);
            const auto onset = source ? onsetSourceNamed(*source) : std::nullopt;
            if (source && !onset)
                return badDisplay(OnsetSourceColumn, onsetSourceWords());
            const std::optional<QString> composited = display(CompositorColumn);
            const auto compositor = composited ? compositorNamed(*composited) : std::nullopt;
            if (composited && !compositor)
                return badDisplay(CompositorColumn, compositorWords());
            if (const auto period = display(PeriodUs); period && !integerIn(*period, 0, 1'000'000'000))
                return badDisplay(PeriodUs, QCoreApplication::translate("RunFiles", "0 以上の整数 (µs)"));
            if (const auto full = display(Fullscreen); full && !integerIn(*full, 0, 1))
                return badDisplay(Fullscreen, QCoreApplication::translate("RunFiles", "0 か 1"));

            if (practice) {
                // Counted, never in a statistic; its display says nothing of the measured trials.
                ++roundTrials;
                ++run.practiceTrials;
                run.practiceCorrect += int(*correct);
                run.practiceRounds = practiceRound;
                continue;
            }
            if (displayAt[LateFlips] >= 0)
                run.lateFlips = run.lateFlips.value_or(0) + int(lateFlips.value_or(0));
            // A run is exact when every trial says it was; one trial that says it was not decides.
            const std::optional<bool> exact =
                onset && compositor ? std::optional(onsetsExact(*onset, *compositor)) : std::nullopt;
            if (run.trials.empty() || (run.onsetsExact != false && exact != true))
                run.onsetsExact = exact;
            run.trials.push_back(rec);
        }
    } catch (const CsvFault &fault) {
        return skip(fileName, fault.line, fault.reason);
    }
    return run;
}

EntryRole entryRole(const QString &name, bool isFolder) {
    const bool csv = name.endsWith(u".csv"_qs, Qt::CaseInsensitive);
    if (isFolder && !csv)
        return EntryRole::PassedOver; // a folder of its own (the report's): no entry of the data
    if (name.endsWith(MeansSuffix) && !isFolder)
        return EntryRole::MeansFile;
    return csv ? EntryRole::DataFile : EntryRole::NotCsv;
}

QString meansFileOf(const QString &dataFile) {
    return dataFile.chopped(4) + MeansSuffix.toString();
}

std::variant<RunFile, SkippedFile> readRunEntry(const QString &path, const QString &name,
                                                UnendedRecord unended) {
    // What the entry is, from the open file: never a read that waits or takes a huge file whole.
    const FolderFileRead file = readFolderFile(path, MaxDataFileBytes);
    switch (file.status) {
    case FolderFileRead::Read:
        break;
    case FolderFileRead::NotRegular:
        return skip(name, 0,
                    QCoreApplication::translate("RunFiles", "ふつうのファイルではないので読みません（%1）")
                        .arg(kindText(file.kind)));
    case FolderFileRead::DeviceName:
        return skip(name, 0,
                    QCoreApplication::translate("RunFiles", "Windows ではデバイスの名前なので開きません"));
    case FolderFileRead::TooLarge:
        return skip(name, 0,
                    QCoreApplication::translate(
                        "RunFiles", "大きすぎるので読みません（%1 バイト、データファイルは %2 MiB まで）")
                        .arg(file.size)
                        .arg(MaxDataFileBytes / (1024 * 1024)));
    case FolderFileRead::Failed:
        return skip(name, 0, QCoreApplication::translate("RunFiles", "読み取れません（%1）").arg(file.error));
    }
    return readRunFile(file.bytes, name, unended);
}

QFileInfoList runFolderEntries(const QString &folder) {
    return QDir(folder).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

RunFolder readRunFolder(const QString &folder) {
    RunFolder result;
    const QFileInfoList entries = runFolderEntries(folder);
    QSet<QString> names;
    for (const QFileInfo &e : entries)
        names.insert(e.fileName());
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        switch (entryRole(name, entry.isDir())) {
        case EntryRole::PassedOver:
            continue;
        case EntryRole::MeansFile:
            ++result.meansFiles;
            continue;
        case EntryRole::NotCsv:
            result.skipped.push_back(skip(
                name, 0,
                QCoreApplication::translate("RunFiles", "データファイルではありません（.csv ではない）")));
            continue;
        case EntryRole::DataFile:
            break;
        }
        auto read = readRunEntry(entry.filePath(), name);
        if (auto *skipped = std::get_if<SkippedFile>(&read)) {
            result.skipped.push_back(*skipped);
            continue;
        }
        RunFile run = std::get<RunFile>(std::move(read));
        run.complete = names.contains(meansFileOf(name));
        result.runs.push_back(std::move(run));
    }
    return result;
}

} // namespace kivora
