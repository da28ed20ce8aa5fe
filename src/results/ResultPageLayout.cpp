#include "results/ResultPageLayout.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

namespace kivora {

namespace {

// The printer's current position follows single-precision arithmetic; positions in whole or
// half twips, as they are here, come out exact either way.
class LinePrinter {
public:
    LinePrinter(ResultPageLayout &page, float lineHeight) : m_page(page), m_lineHeight(lineHeight) {}

    // Prints a text and a line end after it; line ends inside the text start new lines.
    void print(const QString &text) {
        static const QRegularExpression lineEnd(u"\r\n|\n|\r"_qs);
        const QStringList lines = text.split(lineEnd);
        for (const QString &line : lines) {
            m_page.lines.append({m_y, line});
            m_y += m_lineHeight;
        }
    }

    float y() const { return m_y; }
    void setY(float y) { m_y = y; }

private:
    ResultPageLayout &m_page;
    float m_lineHeight;
    float m_y = 0;
};

} // namespace

QString subjectLine(const QString &subject, bool code) {
    return (code ? QCoreApplication::translate("ResultPageLayout", "参加者コード： ")
                 : QCoreApplication::translate("ResultPageLayout", "氏名： ")) +
           subject;
}

ResultPageLayout layoutResultPage(qreal lineHeight, qreal chartControlHeight, const QSizeF &chartSize,
                                  const QString &subjectLine, const QString &summary) {
    ResultPageLayout page;
    LinePrinter printer(page, float(lineHeight));

    // The CR LF ends the name line and the print's own line end adds an empty line.
    printer.print(subjectLine + u"\r\n"_qs);

    const float chartTop = printer.y();
    page.chart = QRectF(QPointF(0, chartTop), chartSize);

    printer.setY(float(chartControlHeight) + chartTop + float(ResultPageLayout::ChartGap));
    printer.print(u"\r\n"_qs + summary);

    page.endY = printer.y();
    return page;
}

} // namespace kivora
