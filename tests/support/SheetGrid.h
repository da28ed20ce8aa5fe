#pragma once

// The chart's data sheet as the tests compare it: one string per row, each cell with its kind
// and value, so that a number never passes for a text.

#include "results/DataSheet.h"

#include <QStringList>
#include <QVariant>

namespace sheet {

// "-" for an empty cell, "n:<number>" (17 digits) for a number, "t:<text>" for a text.
inline QString describe(const QVariant &v) {
    if (!v.isValid())
        return u"-"_qs;
    if (v.typeId() == QMetaType::Double)
        return u"n:"_qs + QString::number(v.toDouble(), 'g', 17);
    if (v.typeId() == QMetaType::QString)
        return u"t:"_qs + v.toString();
    return u"?"_qs + QString::fromLatin1(v.typeName());
}

// Rows 1..rows of the sheet, columns 1..columns, one string per row, cells joined by " | ".
inline QStringList gridOf(const kivora::DataSheet &s, int rows, int columns) {
    QStringList grid;
    for (int r = 1; r <= rows; ++r) {
        QStringList cells;
        for (int c = 1; c <= columns; ++c)
            cells << describe(s.cells(r, c));
        grid << cells.join(u" | "_qs);
    }
    return grid;
}

} // namespace sheet
