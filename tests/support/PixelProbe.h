#pragma once

// Measuring tools for pictures and screenshots: the stimulus pictures, the picture control, the
// results window and its chart. They read pictures only through QImage::pixel(), so they measure
// what is drawn, whatever the storage format.

#include <QImage>
#include <QList>
#include <QPair>
#include <QPointF>
#include <QRect>

#include <cmath>
#include <numbers>
#include <vector>

namespace probe {

using Run = QPair<int, int>; // first and last index of a run of black pixels, inclusive
using Runs = QList<Run>;

inline bool isBlack(QRgb p) {
    return qGray(p) < 128;
}

inline bool black(const QImage &img, int x, int y) {
    return x >= 0 && y >= 0 && x < img.width() && y < img.height() && isBlack(img.pixel(x, y));
}

// Picture coordinates with the pixel centre at the whole number; the picture centre.
constexpr double Centre = 127.5;

inline double fromCentre(int x, int y) {
    return std::hypot(x - Centre, y - Centre);
}

// Inside the frame circle of a figure (radius 126.5) with room to spare: the letter's pixels.
inline bool letterArea(int x, int y) {
    return fromCentre(x, y) < 123.0;
}

// A copy holding only the black pixels for which keep(x, y) is true.
template <typename Keep> QImage only(const QImage &img, Keep keep) {
    QImage out(img.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (black(img, x, y) && keep(x, y))
                out.setPixel(x, y, qRgb(0, 0, 0));
    return out;
}

inline QImage letterOnly(const QImage &img) {
    return only(img, [](int x, int y) { return letterArea(x, y); });
}

inline QImage circleOnly(const QImage &img) {
    return only(img, [](int x, int y) { return !letterArea(x, y); });
}

// Pixels inside area (clipped to the picture) whose colour satisfies pred.
template <typename Pred> int count(const QImage &img, const QRect &area, Pred pred) {
    const QRect r = area.intersected(img.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += pred(img.pixel(x, y)) ? 1 : 0;
    return n;
}

template <typename Pred> int count(const QImage &img, Pred pred) {
    return count(img, img.rect(), pred);
}

// Pixels of exactly this colour.
inline int colorCount(const QImage &img, QRgb color) {
    return count(img, [color](QRgb p) { return p == color; });
}

// Pixels dark enough to be text (grey level below 96), in area.
inline int darkCount(const QImage &img, const QRect &area) {
    return count(img, area, [](QRgb p) { return qGray(p) < 96; });
}

inline int blackCount(const QImage &img) {
    return count(img, isBlack);
}

// Mean position of the black pixels.
inline QPointF centroid(const QImage &img) {
    QPointF sum;
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (black(img, x, y)) {
                sum += QPointF(x, y);
                ++n;
            }
    return n ? sum / n : QPointF();
}

// A widget as it is drawn, 32-bit RGB, in device pixels (its device pixel ratio set to 1).
template <typename Widget> QImage screenshot(Widget &widget) {
    QImage img = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    img.setDevicePixelRatio(1);
    return img;
}

inline QRect blackBounds(const QImage &img) {
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (black(img, x, y))
                r |= QRect(x, y, 1, 1);
    return r;
}

inline Runs runsOf(const std::vector<bool> &line) {
    Runs runs;
    for (int i = 0; i < int(line.size()); ++i) {
        if (!line[size_t(i)])
            continue;
        if (!runs.isEmpty() && runs.last().second == i - 1)
            runs.last().second = i;
        else
            runs.append({i, i});
    }
    return runs;
}

inline Runs rowRuns(const QImage &img, int y) {
    std::vector<bool> line(size_t(img.width()));
    for (int x = 0; x < img.width(); ++x)
        line[size_t(x)] = black(img, x, y);
    return runsOf(line);
}

inline Runs columnRuns(const QImage &img, int x) {
    std::vector<bool> line(size_t(img.height()));
    for (int y = 0; y < img.height(); ++y)
        line[size_t(y)] = black(img, x, y);
    return runsOf(line);
}

// Rows holding at least one black pixel, as runs of rows (the text lines of a screen).
inline Runs inkBands(const QImage &img) {
    std::vector<bool> rows(size_t(img.height()));
    for (int y = 0; y < img.height(); ++y)
        rows[size_t(y)] = !rowRuns(img, y).isEmpty();
    return runsOf(rows);
}

// Connected regions of black pixels (8-neighbourhood) or of white pixels (4-neighbourhood, the
// pairing under which a one-pixel diagonal line still separates white regions).
inline int components(const QImage &img, bool ofBlack) {
    const int w = img.width();
    const int h = img.height();
    std::vector<int> seen(size_t(w * h), 0);
    int count = 0;
    std::vector<QPoint> stack;
    for (int y0 = 0; y0 < h; ++y0) {
        for (int x0 = 0; x0 < w; ++x0) {
            if (black(img, x0, y0) != ofBlack || seen[size_t(y0 * w + x0)])
                continue;
            ++count;
            seen[size_t(y0 * w + x0)] = 1;
            stack.push_back({x0, y0});
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if ((dx == 0 && dy == 0) || (!ofBlack && dx != 0 && dy != 0))
                            continue;
                        const int x = p.x() + dx;
                        const int y = p.y() + dy;
                        if (x < 0 || y < 0 || x >= w || y >= h || seen[size_t(y * w + x)] ||
                            black(img, x, y) != ofBlack)
                            continue;
                        seen[size_t(y * w + x)] = 1;
                        stack.push_back({x, y});
                    }
            }
        }
    }
    return count;
}

// The point (x, y) turned clockwise on screen (y grows downwards) by degrees about the picture
// centre, optionally reflected left-right about the centre line first.
inline QPointF turned(QPointF p, double degrees, bool mirror = false) {
    const double a = degrees * std::numbers::pi / 180.0;
    const double dx = (mirror ? 2 * Centre - p.x() : p.x()) - Centre;
    const double dy = p.y() - Centre;
    return {Centre + dx * std::cos(a) - dy * std::sin(a), Centre + dx * std::sin(a) + dy * std::cos(a)};
}

// The picture turned clockwise by degrees about the centre by nearest-pixel resampling: crude,
// but independent of how the pictures were drawn.
inline QImage resampledTurn(const QImage &img, double degrees) {
    QImage out(img.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QPointF src = turned(QPointF(x, y), -degrees);
            if (black(img, int(std::lround(src.x())), int(std::lround(src.y()))))
                out.setPixel(x, y, qRgb(0, 0, 0));
        }
    return out;
}

// Black pixels of a that have no black pixel of b within one pixel (3 x 3 neighbourhood).
inline int unmatched(const QImage &a, const QImage &b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (!black(a, x, y))
                continue;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = black(b, x + dx, y + dy);
            n += !found;
        }
    return n;
}

// Black runs met walking from `from` to `to` in steps of 1/20 pixel, sampling the nearest pixel;
// returned as distances from `from` in pixels (start of the first black sample, end of the last).
struct Span {
    double from;
    double to;
    double length() const { return to - from; }
};

inline QList<Span> spansAlong(const QImage &img, QPointF from, QPointF to) {
    constexpr double step = 0.05;
    const double total = std::hypot(to.x() - from.x(), to.y() - from.y());
    QList<Span> spans;
    bool inside = false;
    for (double t = 0; t <= total; t += step) {
        const QPointF p = from + (to - from) * (t / total);
        const bool b = black(img, int(std::lround(p.x())), int(std::lround(p.y())));
        if (b && !inside)
            spans.append({t, t + step});
        else if (b)
            spans.last().to = t + step;
        inside = b;
    }
    return spans;
}

} // namespace probe
