#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace kivora {

// Where everything of the results printout goes, in twips (1440 to the inch).
//
// The page's drawing origin is moved 1 inch right and 1/2 inch down from the printable area's
// own origin, and from there the page is printed like a line printer with a current vertical
// position: each printed line starts at x 0 and a line end moves down one line height. With a
// 14-point line height h and the chart control 6480 twips high:
//
//     y 0          "氏名： " + name (subjectLine)
//     y h          (empty line)
//     y 2h         chart picture, top left at (0, 2h), at its own size
//     y 2h+7920    (empty line)   <- 2h + chart control height + 1440
//     y 3h+7920    summary line 1
//     y 4h+7920    summary line 2
//     y 5h+7920    current position after the final line end
//
// The gap below the chart is measured from the height of the chart control on the window, not
// from the height of the printed picture; the two are the same unless the picture came out at
// another size.
struct ResultPageLayout {
    static constexpr qreal OriginLeft = 1440; // twips right of the printable area's origin
    static constexpr qreal OriginTop = 720;   // twips below it
    static constexpr qreal ChartGap = 1440;   // twips between the chart control's height and the text

    struct Line {
        qreal y;      // top of the line, twips below the shifted origin
        QString text; // without line ends; empty for an empty line
        bool operator==(const Line &) const = default;
    };

    QPointF origin{OriginLeft, OriginTop};
    QList<Line> lines; // in print order: name line, empty line, empty line, summary lines
    QRectF chart;      // the chart picture, in the shifted coordinates
    qreal endY = 0;    // current vertical position after the last line end
};

// The page's first line: "氏名： " and the participant's name, or "参加者コード： " and the code
// where runs are of participant codes ("Name: ", "Participant code: " in English).
QString subjectLine(const QString &subject, bool code);

// The page for its first line (subjectLine) and a summary text. lineHeight is the line height of the page
// font in twips; chartControlHeight the height of the chart control on the window in twips; chartSize the
// printed picture's own size in twips. Line ends (CR LF, LF or CR) inside the name or the summary start new
// lines, as they do when printed; a summary ending in a line end therefore gets an empty line of its own
// before the final line end.
ResultPageLayout layoutResultPage(qreal lineHeight, qreal chartControlHeight, const QSizeF &chartSize,
                                  const QString &subjectLine, const QString &summary);

} // namespace kivora
