#include "stimuli/StimulusDrawing.h"

#include "base/Fonts.h"
#include "base/TextLanguage.h"

#include <QCoreApplication>

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace kivora {

namespace {

constexpr double Centre = 127.5;     // picture centre, both axes
constexpr double ContourWidth = 4.0; // black rim of the hollow letters, pixels

struct Vec {
    double x;
    double y;
};

Vec operator-(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y};
}

double length(Vec v) {
    return std::sqrt(v.x * v.x + v.y * v.y);
}

// One edge of an outline: a straight segment from a to b, or an arc of the right-hand half of the
// circle (c, r) from a to b. Right-hand arcs are the only curves the letters need (the bowls of P
// and R), and being x-valued functions of y they make the inside test a plain crossing count.
struct Edge {
    Vec a;
    Vec b;
    bool arc = false;
    Vec c{};
    double r = 0;

    // x where the edge meets the horizontal line through y (y between a.y and b.y).
    double xAt(double y) const {
        if (arc)
            return c.x + std::sqrt(std::max(0.0, r * r - (y - c.y) * (y - c.y)));
        return a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
    }

    // Whether p lies closer than limit to the edge.
    bool within(Vec p, double limit) const {
        if (arc) {
            const Vec d = p - c;
            const double len = length(d);
            if (len > 0) {
                // The nearest point of the full circle is on this arc when it lies on the right
                // half within the arc's span of y; otherwise the nearest point is an end.
                const Vec q{c.x + r * d.x / len, c.y + r * d.y / len};
                if (q.x >= c.x && q.y >= std::min(a.y, b.y) && q.y <= std::max(a.y, b.y))
                    return std::abs(len - r) < limit;
            }
            return length(p - a) < limit || length(p - b) < limit;
        }
        const Vec ab = b - a;
        const Vec ap = p - a;
        const double t = std::clamp((ap.x * ab.x + ap.y * ab.y) / (ab.x * ab.x + ab.y * ab.y), 0.0, 1.0);
        const Vec off{ap.x - t * ab.x, ap.y - t * ab.y};
        return off.x * off.x + off.y * off.y < limit * limit;
    }
};

// A set of closed rings (an outer boundary and any holes), filled by the even-odd rule.
class Outline {
public:
    void moveTo(Vec p) { m_start = m_current = p; }
    void lineTo(Vec p) {
        m_edges.push_back({m_current, p});
        m_current = p;
    }
    void arcTo(Vec centre, double radius, Vec p) {
        m_edges.push_back({m_current, p, true, centre, radius});
        m_current = p;
    }
    void close() { lineTo(m_start); }

    bool contains(Vec p) const {
        // Crossings of the ray to the right; the half-open test (a.y > y) != (b.y > y) counts a
        // ray through a shared end point once and skips horizontal edges.
        bool inside = false;
        for (const Edge &e : m_edges)
            if ((e.a.y > p.y) != (e.b.y > p.y) && e.xAt(p.y) > p.x)
                inside = !inside;
        return inside;
    }

    bool nearBoundary(Vec p, double limit) const {
        for (const Edge &e : m_edges)
            if (e.within(p, limit))
                return true;
        return false;
    }

private:
    std::vector<Edge> m_edges;
    Vec m_start{};
    Vec m_current{};
};

// The upright letters, given by the outer edge of their contour (see the header for the
// coordinates). Every letter fills x 63..208, y 46..216.
Outline letterF() {
    Outline o;
    o.moveTo({62.5, 45.5});
    o.lineTo({208.5, 45.5}); // top arm y 46..68
    o.lineTo({208.5, 68.5});
    o.lineTo({94.5, 68.5}); // stem x 63..94
    o.lineTo({94.5, 119.5});
    o.lineTo({183.5, 119.5}); // middle arm y 120..141, to x 183
    o.lineTo({183.5, 141.5});
    o.lineTo({94.5, 141.5});
    o.lineTo({94.5, 216.5});
    o.lineTo({62.5, 216.5});
    o.close();
    return o;
}

Outline letterL() {
    Outline o;
    o.moveTo({62.5, 45.5});
    o.lineTo({94.5, 45.5}); // stem x 63..94
    o.lineTo({94.5, 194.5});
    o.lineTo({208.5, 194.5}); // foot y 195..216
    o.lineTo({208.5, 216.5});
    o.lineTo({62.5, 216.5});
    o.close();
    return o;
}

Outline letterP() {
    Outline o;
    // Stem x 63..91; bowl y 46..151 whose right side is a half-circle of radius 53 reaching x 208
    // at y 98.5.
    o.moveTo({62.5, 45.5});
    o.lineTo({155.5, 45.5});
    o.arcTo({155.5, 98.5}, 53.0, {155.5, 151.5});
    o.lineTo({91.5, 151.5});
    o.lineTo({91.5, 216.5});
    o.lineTo({62.5, 216.5});
    o.close();
    // The counter: white x 92..181, y 69..129, its right side a half-circle of radius 30.5.
    o.moveTo({91.5, 68.5});
    o.lineTo({151.0, 68.5});
    o.arcTo({151.0, 99.0}, 30.5, {151.0, 129.5});
    o.lineTo({91.5, 129.5});
    o.close();
    return o;
}

Outline letterR() {
    // The leg's two edges: the leg covers x 144..174 on row 150 and x 178..208 on row 216, so its
    // edges pass half a pixel outside those centres. Above row 150 they carry on into the bowl's
    // lower bar; the part inside the bowl is no boundary, so the outline follows the leg's left
    // edge only up to the bowl's lower edge (y 144.5) and its right edge only up to the bowl's
    // curve.
    constexpr double slope = (177.5 - 143.5) / (216.0 - 150.0); // x per y
    const auto legLeft = [&](double y) { return 143.5 + (y - 150.0) * slope; };
    const auto legRight = [&](double y) { return 174.5 + (y - 150.0) * slope; };

    // Bowl y 46..144, right side a half-circle of radius 49.5 reaching x 202 at y 95.
    const Vec bowlCentre{153.0, 95.0};
    constexpr double bowlRadius = 49.5;
    constexpr double bowlBottom = 144.5;

    // Where the leg's right edge leaves the bowl's curve: outside the circle at the bowl's lower
    // edge, inside it 15 pixels higher; halve the interval.
    const auto outsideBowl = [&](double y) { return length(Vec{legRight(y), y} - bowlCentre) > bowlRadius; };
    double lo = bowlBottom - 15.0;
    double hi = bowlBottom;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (outsideBowl(mid) ? hi : lo) = mid;
    }
    const Vec legMeetsCurve{legRight(hi), hi};

    Outline o;
    o.moveTo({62.5, 45.5});
    o.lineTo({bowlCentre.x, 45.5});
    o.arcTo(bowlCentre, bowlRadius, legMeetsCurve);
    o.lineTo({legRight(216.5), 216.5});
    o.lineTo({legLeft(216.5), 216.5});
    o.lineTo({legLeft(bowlBottom), bowlBottom});
    o.lineTo({90.5, bowlBottom}); // stem x 63..90
    o.lineTo({90.5, 216.5});
    o.lineTo({62.5, 216.5});
    o.close();
    // The counter: white x 91..177, y 69..122.
    o.moveTo({90.5, 68.5});
    o.lineTo({150.5, 68.5});
    o.arcTo({150.5, 95.5}, 27.0, {150.5, 122.5});
    o.lineTo({90.5, 122.5});
    o.close();
    return o;
}

// The upward arrow: a shaft x 124..131 (8 pixels) down to its square tail on row 236, a head
// 46 pixels wide (x 105..150) from the tip on row 20 to the barbs on row 64, the barbs sweeping
// back 11 rows (54..64) past the row where the head meets the shaft. The apex sits half a pixel
// above row 20 so that row 20 holds the two tip pixels 127 and 128: with an even-width shaft the
// axis is x 127.5 and a one-pixel tip is impossible.
Outline arrowUp() {
    Outline o;
    o.moveTo({127.5, 19.0});
    o.lineTo({150.5, 64.5});
    o.lineTo({131.5, 53.5});
    o.lineTo({131.5, 236.5});
    o.lineTo({123.5, 236.5});
    o.lineTo({123.5, 53.5});
    o.lineTo({104.5, 64.5});
    o.close();
    return o;
}

void setBlack(QImage &img, int x, int y) {
    img.scanLine(y)[x >> 3] &= static_cast<uchar>(~(0x80u >> (x & 7)));
}

bool isBlack(const QImage &img, int x, int y) {
    return (img.constScanLine(y)[x >> 3] & (0x80u >> (x & 7))) == 0;
}

// Each pixel asks where its centre came from in the upright drawing: turned back by the angle
// about the picture centre. Turning the geometry, not the pixels, keeps every orientation as crisp
// as the upright one. A turn of 180 degrees maps pixel centres onto pixel centres, so the callers
// make the 180..300 degree pictures from the 0..120 degree ones by turnHalf(), exactly.
template <typename BlackAt> QImage drawTurned(int degrees, BlackAt blackAt) {
    QImage img = blankPicture();
    const double a = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    for (int y = 0; y < PictureSize; ++y) {
        for (int x = 0; x < PictureSize; ++x) {
            // Clockwise on screen (y down) is the ordinary rotation matrix; its inverse turns back.
            const double dx = x - Centre;
            const double dy = y - Centre;
            if (blackAt(Vec{Centre + c * dx + s * dy, Centre - s * dx + c * dy}))
                setBlack(img, x, y);
        }
    }
    return img;
}

QImage turnHalf(const QImage &img) {
    return img.mirrored(true, true);
}

QImage mirrorLeftRight(const QImage &img) {
    return img.mirrored(true, false);
}

QImage shiftRight(const QImage &img, int pixels) {
    QImage out = blankPicture();
    for (int y = 0; y < PictureSize; ++y)
        for (int x = 0; x + pixels < PictureSize; ++x)
            if (isBlack(img, x, y))
                setBlack(out, x + pixels, y);
    return out;
}

// The hollow letter: black where a pixel's centre lies in the shape less than 4 pixels from its
// edge. The contour is then 4 pixels wide measured square to the edge in every orientation, and
// at an inward corner (stem meeting arm) the white inside is rounded off with a 4-pixel radius.
QImage drawLetter(const Outline &shape, int degrees) {
    return drawTurned(degrees, [&](Vec p) {
        if (p.x < 62 || p.x > 209 || p.y < 45 || p.y > 217) // outside the letter box x 63..208, y 46..216
            return false;
        return shape.contains(p) && shape.nearBoundary(p, ContourWidth);
    });
}

// The frame circle, one pixel wide, outermost pixels at 1 and 254 (radius 126.5 about the
// centre). Per column of the upper octants, the row nearest the circle; the other octants by
// symmetry, so the circle is the same under quarter turns and reflections. Offsets are measured
// from the centre pixel pair 127/128.
void drawCircle(QImage &img) {
    constexpr double radius = 126.5;
    for (int i = 0;; ++i) {
        const double dx = i + 0.5;
        const int k = static_cast<int>(std::lround(std::sqrt(radius * radius - dx * dx) - 0.5));
        if (k < i)
            break; // past the diagonal: the transposed half draws the rest
        for (const auto &[u, v] : {std::pair{i, k}, std::pair{k, i}}) {
            setBlack(img, 128 + u, 128 + v);
            setBlack(img, 127 - u, 128 + v);
            setBlack(img, 128 + u, 127 - v);
            setBlack(img, 127 - u, 127 - v);
        }
    }
}

// Text is drawn without anti-aliasing into a true-colour scratch picture and copied by threshold.
QImage toPicture(const QImage &scratch) {
    QImage img = blankPicture();
    for (int y = 0; y < PictureSize; ++y)
        for (int x = 0; x < PictureSize; ++x)
            if (qGray(scratch.pixel(x, y)) < 128)
                setBlack(img, x, y);
    return img;
}

QFont screenFont(int pixelSize) {
    QFont f = uiFont(9);
    f.setPixelSize(pixelSize);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

struct InkRows {
    int top = 0;    // relative to the baseline, negative above it
    int bottom = 0; // inclusive
    int height() const { return bottom - top + 1; }
};

// The rows that text drawn on a baseline actually blackens. Font metrics describe the em box,
// not the ink, and hinting moves the ink by a pixel, so this draws and looks.
InkRows measureInk(const QFont &font, const QString &text) {
    const QFontMetricsF fm(font);
    const int baseline = static_cast<int>(std::ceil(fm.ascent())) + 2;
    QImage scratch(static_cast<int>(std::ceil(fm.horizontalAdvance(text))) + 8,
                   baseline + static_cast<int>(std::ceil(fm.descent())) + 4, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    {
        QPainter p(&scratch);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPointF(2, baseline), text);
    }
    InkRows ink{std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
    for (int y = 0; y < scratch.height(); ++y)
        for (int x = 0; x < scratch.width(); ++x)
            if (qGray(scratch.pixel(x, y)) < 128) {
                ink.top = std::min(ink.top, y - baseline);
                ink.bottom = std::max(ink.bottom, y - baseline);
            }
    return ink;
}

// The pixel size whose ideographs are inkHeight rows high (the smaller one on a tie). The
// reference is a handful of kanji from the screen itself: kana and punctuation run shorter.
int fitPixelSize(int inkHeight, const QString &reference) {
    int best = inkHeight;
    int bestError = std::numeric_limits<int>::max();
    for (int size = inkHeight - 4; size <= inkHeight + 6; ++size) {
        const int error = std::abs(measureInk(screenFont(size), reference).height() - inkHeight);
        if (error < bestError) {
            best = size;
            bestError = error;
        }
    }
    return best;
}

// Breaks a paragraph wherever the next character would cross the right margin, between any two
// characters (no rule keeps "，" off the start of a line).
QStringList wrapAnywhere(const QString &paragraph, const QFontMetricsF &fm, double width) {
    QStringList lines;
    QString line;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, paragraph);
    qsizetype from = 0;
    for (qsizetype to = graphemes.toNextBoundary(); to != -1; to = graphemes.toNextBoundary()) {
        const QString ch = paragraph.mid(from, to - from);
        from = to;
        if (!line.isEmpty() && fm.horizontalAdvance(line + ch) > width) {
            lines << line;
            line.clear();
        }
        line += ch;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// Breaks a paragraph at the last place before the right margin where a line may break (after a
// space, or where Unicode's line breaking allows, as after a hyphen); a word wider than a line is
// broken where it crosses the margin.
QStringList wrapAtSpaces(const QString &paragraph, const QFontMetricsF &fm, double width) {
    QStringList lines;
    QString line;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, paragraph);
    qsizetype from = 0;
    for (qsizetype to = breaks.toNextBoundary(); to != -1; to = breaks.toNextBoundary()) {
        if (to == from)
            continue;
        const QString word = paragraph.mid(from, to - from); // with the spaces after it
        from = to;
        if (!line.isEmpty() && fm.horizontalAdvance((line + word).trimmed()) > width) {
            lines << line.trimmed();
            line.clear();
        }
        if (line.isEmpty() && fm.horizontalAdvance(word.trimmed()) > width) {
            QStringList pieces = wrapAnywhere(word.trimmed(), fm, width);
            line = pieces.takeLast();
            lines << pieces;
            continue;
        }
        line += word;
    }
    if (!line.trimmed().isEmpty())
        lines << line.trimmed();
    return lines;
}

void checkRange(int value, int first, int last, const char *what) {
    if (value < first || value > last)
        throw std::out_of_range(what);
}

} // namespace

QImage blankPicture() {
    QImage img(PictureSize, PictureSize, QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    img.fill(1);
    img.setDotsPerMeterX(PictureDotsPerMeter);
    img.setDotsPerMeterY(PictureDotsPerMeter);
    return img;
}

std::array<QImage, 12> drawFigureSet(int figSet) {
    checkRange(figSet, 1, 4, "figure set outside 1..4");
    static const std::array<Outline (*)(), 4> letters{letterF, letterL, letterP, letterR};
    const Outline shape = letters[static_cast<std::size_t>(figSet - 1)]();

    // Only 0, 60 and 120 degrees need the geometry; the rest are exact pixel rearrangements.
    std::array<QImage, 6> asIs;
    for (int step = 0; step < 3; ++step) {
        asIs[static_cast<std::size_t>(step)] = drawLetter(shape, step * 60);
        asIs[static_cast<std::size_t>(step + 3)] = turnHalf(asIs[static_cast<std::size_t>(step)]);
    }
    std::array<QImage, 12> set;
    for (int step = 0; step < 6; ++step) {
        set[static_cast<std::size_t>(step)] = asIs[static_cast<std::size_t>(step)];
        // A mirror image turned clockwise by a is the mirror image of the letter turned
        // anticlockwise by a, that is clockwise by 360 - a.
        set[static_cast<std::size_t>(step + 6)] =
            mirrorLeftRight(asIs[static_cast<std::size_t>((6 - step) % 6)]);
    }
    // The circle does not turn; drawing it last keeps it identical in all 48 pictures.
    for (QImage &img : set)
        drawCircle(img);
    return set;
}

QImage drawArrow(int position) {
    checkRange(position, 1, 6, "arrow position outside 1..6");
    const Outline arrow = arrowUp();
    const int step = position - 1;
    QImage img = drawTurned((step % 3) * 60, [&](Vec p) {
        return p.x > 104 && p.x < 151 && p.y > 18 && p.y < 237 && arrow.contains(p);
    });
    if (step >= 3)
        img = turnHalf(img);
    // The 180 and 240 degree arrows sit 8 pixels right of the centre: that is how the lab's
    // pictures are, and the participants have seen them that way.
    if (step == 3 || step == 4)
        img = shiftRight(img, 8);
    return img;
}

QImage drawInstructionScreen() {
    return drawTextScreen({
        QCoreApplication::translate("StimulusDrawing", "ここに，アルファベットが1文字表示されます．"),
        QCoreApplication::translate(
            "StimulusDrawing",
            "その後，矢印（方向の手がかり）が表示された後，元の文字を回転して矢印の方向に向けたものが，"
            "元のままか裏返しで表示されます．"),
        QCoreApplication::translate("StimulusDrawing",
                                    "元のままか裏返しかを，できるだけ早く答えてください．"),
        QCoreApplication::translate(
            "StimulusDrawing", "答えは，1のキー（元のまま）か2のキー（裏返し）のいずれかを押してください．"),
    });
}

QImage drawTextScreen(const QStringList &paragraphs) {
    constexpr int left = 10;         // flush-left edge
    constexpr int right = 243;       // last column text may reach
    constexpr int firstTop = 10;     // top row of the first line's ink
    constexpr int linePitch = 19;    // rows from one line to the next
    constexpr int paragraphGap = 10; // extra rows between paragraphs
    constexpr int inkHeight = 15;    // rows of an ideograph

    const QString reference = u"文字表示回転方向元裏返答"_qs;
    const QFont font = screenFont(fitPixelSize(inkHeight, reference));
    const QFontMetricsF fm(font);
    const int baselineBelowTop = -measureInk(font, reference).top;

    QImage scratch(PictureSize, PictureSize, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    QPainter p(&scratch);
    p.setFont(font);
    p.setPen(Qt::black);
    int top = firstTop;
    const auto wrap = breaksLinesAtSpaces() ? wrapAtSpaces : wrapAnywhere;
    for (const QString &paragraph : paragraphs) {
        for (const QString &line : wrap(paragraph, fm, right + 1 - left)) {
            p.drawText(QPointF(left, top + baselineBelowTop), line);
            top += linePitch;
        }
        top += paragraphGap;
    }
    p.end();
    return toPicture(scratch);
}

QImage drawWaitScreen() {
    // The ink of each line: rows 103..119 and 125..141, centred across the picture.
    const std::array<std::pair<QString, int>, 2> lines{
        std::pair{QCoreApplication::translate("StimulusDrawing", "処理中です"), 103},
        std::pair{QCoreApplication::translate("StimulusDrawing", "しばらくお待ち下さい"), 125},
    };
    constexpr int inkHeight = 17;

    const QString reference = u"処理中待下"_qs;
    const QFont font = screenFont(fitPixelSize(inkHeight, reference));
    const QFontMetricsF fm(font);
    // Both lines share one baseline offset, taken from their tallest ink, so that the two sit
    // like lines of one font rather than each being stretched to its own box.
    int inkTop = 0;
    for (const auto &[text, top] : lines)
        inkTop = std::min(inkTop, measureInk(font, text).top);

    QImage scratch(PictureSize, PictureSize, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    QPainter p(&scratch);
    p.setFont(font);
    p.setPen(Qt::black);
    for (const auto &[text, top] : lines) {
        const double x = std::round((PictureSize - fm.horizontalAdvance(text)) / 2);
        p.drawText(QPointF(x, top - inkTop), text);
    }
    p.end();
    return toPicture(scratch);
}

} // namespace kivora
