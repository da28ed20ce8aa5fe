#pragma once

// The windows' geometry as designed, in twips (15 to a pixel): each window's own rectangle (its
// client area on the screen) and its controls' rectangles in it, named by object name. Written
// once, here: the window tests check every row (addRows, check), the other tests take a control's
// place from the widget, and the end-to-end checks read these tables for their screenshots
// (tests/support/screens.py parses the rows {"NAME", LEFT, TOP, WIDTH, HEIGHT}).

#include "base/Twips.h"

#include <QRect>
#include <QString>
#include <QTest>
#include <QWidget>

#include <span>
#include <string_view>

namespace geometry {

struct Place {
    const char *name; // the object name; a window's own row has the window's
    int left, top, width, height;
    QRect rect() const { return kivora::rectFromTwips(left, top, width, height); }
};

// One place a line:
// clang-format off
inline constexpr Place MainWindow[] = {
    {"frmMain", 3810, 1920, 5280, 4995},
    {"btnEnd", 3360, 4440, 1215, 495},
    {"btnStop", 2040, 4440, 1215, 495},
    {"btnStart", 720, 4440, 1215, 495},
    {"lMsg", 720, 4080, 3855, 375},
    {"Image1", 690, 120, 3900, 3900},
};

inline constexpr Place ResultsWindow[] = {
    {"frmResult", 2910, 390, 7080, 8295},
    {"btnPrint", 4320, 7680, 1215, 495},
    {"btnClose", 5640, 7680, 1215, 495},
    {"txtResult", 240, 6840, 6615, 735},
    {"chResult", 240, 240, 6585, 6480},
    {"lWait", 0, 2880, 7095, 495},
};

inline constexpr Place MessageWindow[] = {
    {"frmMessage", 4185, 3240, 4680, 1395},
    {"txtMessage", 120, 120, 4455, 1215},
    {"btnDummy", 1800, 480, 1215, 495},
};
// clang-format on

// The rectangle (pixels) of the place of a table named name; an empty one when there is none.
inline QRect rectOf(std::span<const Place> table, std::string_view name) {
    for (const Place &place : table)
        if (place.name == name)
            return place.rect();
    return {};
}

// A row per place of a table, named by its object: columns "name" and "geometry" (pixels).
inline void addRows(std::span<const Place> table) {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    for (const Place &place : table)
        QTest::newRow(place.name) << QString::fromLatin1(place.name) << place.rect();
}

// The current row's window or control of window where the row puts it.
inline void check(QWidget &window) {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QWidget *widget = window.objectName() == name ? &window : window.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QRect(widget->pos(), widget->size()), geometry);
}

} // namespace geometry
