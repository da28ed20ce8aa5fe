#include "base/Fonts.h"
#include "base/RuntimeError.h"
#include "stimuli/PictureStore.h"
#include "stimuli/StimulusDrawing.h"
#include "support/InLanguage.h"
#include "support/PixelProbe.h"

#include <QTest>

#include <memory>
#include <stdexcept>

using namespace kivora;
using probe::Run;
using probe::Runs;

namespace {

const char *const LetterNames[] = {"", "F", "L", "P", "R"};

// The direction step 0..5 an arrow points in, measured: its axis is the one of the three along
// which the black pixels spread furthest, and the head, the heavier end, pulls the centroid of
// the black pixels from the middle of that spread towards the tip.
int arrowStep(const QImage &img) {
    int best = -1;
    double bestExtent = 0;
    int step = -1;
    for (int d = 0; d < 3; ++d) {
        const double a = d * std::numbers::pi / 3;
        const double ux = std::sin(a);
        const double uy = -std::cos(a);
        double lo = 1e9, hi = -1e9, sum = 0;
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (probe::black(img, x, y)) {
                    const double t = (x - probe::Centre) * ux + (y - probe::Centre) * uy;
                    lo = std::min(lo, t);
                    hi = std::max(hi, t);
                    sum += t;
                    ++n;
                }
        if (hi - lo > bestExtent) {
            bestExtent = hi - lo;
            best = d;
            step = sum / n > (lo + hi) / 2 ? d : d + 3;
        }
    }
    Q_UNUSED(best);
    return step;
}

// Mean position of the black pixels furthest (within half a pixel) along the unit vector u.
QPointF extremeAlong(const QImage &img, QPointF u) {
    double hi = -1e9;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (probe::black(img, x, y))
                hi = std::max(hi, x * u.x() + y * u.y());
    QPointF sum;
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (probe::black(img, x, y) && x * u.x() + y * u.y() > hi - 0.5) {
                sum += QPointF(x, y);
                ++n;
            }
    return sum / n;
}

double distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

class tst_stimuli_pictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // The store and its lookups
    void listCounts_data();
    void listCounts();
    void arrowKeys_data();
    void arrowKeys();
    void lookupByKey_data();
    void lookupByKey();
    void refusedPosition_data();
    void refusedPosition();
    void refusedKey_data();
    void refusedKey();
    void refusedList_data();
    void refusedList();
    void pictureListBasics();
    void drawingRefusesBadArguments_data();
    void drawingRefusesBadArguments();
    void singleFigureMatchesItsSet_data();
    void singleFigureMatchesItsSet();

    // All 56 pictures
    void everyPictureIsCrispBlackOnWhite_data();
    void everyPictureIsCrispBlackOnWhite();

    // Figures
    void uprightLetterBox_data();
    void uprightLetterBox();
    void uprightProfiles_data();
    void uprightProfiles();
    void rLegRows_data();
    void rLegRows();
    void hollowLetters_data();
    void hollowLetters();
    void circle();
    void circleSameInEveryFigure();
    void mirrorIsReflectionOfUpright_data();
    void mirrorIsReflectionOfUpright();
    void turnsAboutPictureCentre_data();
    void turnsAboutPictureCentre();
    void turnsClockwise_data();
    void turnsClockwise();
    void contourKeepsItsWidthWhenTurned_data();
    void contourKeepsItsWidthWhenTurned();
    void figureStepMatchesArrowStep_data();
    void figureStepMatchesArrowStep();

    // Arrows
    void upArrowShape();
    void arrowGeometry_data();
    void arrowGeometry();
    void arrowHalfTurns_data();
    void arrowHalfTurns();

    // Text screens
    void instructionScreen_data();
    void instructionScreen();
    void waitScreen();

private:
    const QImage &figure(int set, int position) const { return (*m_store)[set].ListImages(position); }
    std::unique_ptr<PictureStore> m_store;
};

void tst_stimuli_pictures::initTestCase() {
    installFontSubstitutes();
    m_store = std::make_unique<PictureStore>();
}

// ---------------------------------------------------------------------------------------------
// The store and its lookups

void tst_stimuli_pictures::listCounts_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("count");
    QTest::newRow("arrows and screens") << 0 << 8;
    QTest::newRow("F") << 1 << 12;
    QTest::newRow("L") << 2 << 12;
    QTest::newRow("P") << 3 << 12;
    QTest::newRow("R") << 4 << 12;
}

void tst_stimuli_pictures::listCounts() {
    QFETCH(int, list);
    QFETCH(int, count);
    QCOMPARE((*m_store)[list].count(), count);
    if (list > 0) // the figure sets have no keys
        for (int position = 1; position <= count; ++position)
            QCOMPARE((*m_store)[list].key(position), QString());
}

void tst_stimuli_pictures::arrowKeys_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("key");
    QTest::newRow("1") << 1 << u"l0"_qs;
    QTest::newRow("2") << 2 << u"l60"_qs;
    QTest::newRow("3") << 3 << u"l120"_qs;
    QTest::newRow("4") << 4 << u"l180"_qs;
    QTest::newRow("5") << 5 << u"l240"_qs;
    QTest::newRow("6") << 6 << u"l300"_qs;
    QTest::newRow("7") << 7 << u"instruction"_qs;
    QTest::newRow("8") << 8 << u"wait"_qs;
}

void tst_stimuli_pictures::arrowKeys() {
    QFETCH(int, position);
    QFETCH(QString, key);
    QCOMPARE((*m_store)[0].key(position), key);
}

void tst_stimuli_pictures::lookupByKey_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("position");
    QTest::newRow("instruction") << u"instruction"_qs << 7;
    QTest::newRow("wait") << u"wait"_qs << 8;
    QTest::newRow("first arrow") << u"l0"_qs << 1;
    QTest::newRow("last arrow") << u"l300"_qs << 6;
}

void tst_stimuli_pictures::lookupByKey() {
    QFETCH(QString, key);
    QFETCH(int, position);
    // The very same stored picture, not an equal copy: the picture control keeps a pointer.
    QCOMPARE(&(*m_store)[0].ListImages(key), &(*m_store)[0].ListImages(position));
}

void tst_stimuli_pictures::refusedPosition_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("position");
    QTest::newRow("list 0, position 0") << 0 << 0;
    QTest::newRow("list 0, position 9") << 0 << 9;
    QTest::newRow("list 1, position 0") << 1 << 0;
    QTest::newRow("list 1, position 13") << 1 << 13;
    QTest::newRow("list 4, position -1 (StartDir -1)") << 4 << -1;
    QTest::newRow("list 2, position 32767") << 2 << 32767;
    QTest::newRow("list 3, position -32768") << 3 << -32768;
}

void tst_stimuli_pictures::refusedPosition() {
    QFETCH(int, list);
    QFETCH(int, position);
    try {
        (void)(*m_store)[list].ListImages(position);
        QFAIL("no error");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(ErrImageIndex));
    }
    try {
        (void)(*m_store)[list].key(position);
        QFAIL("no error");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(ErrImageIndex));
    }
}

void tst_stimuli_pictures::refusedKey_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<QString>("key");
    QTest::newRow("other case") << 0 << u"Instruction"_qs;
    QTest::newRow("trailing space") << 0 << u"wait "_qs;
    QTest::newRow("empty key") << 0 << QString();
    QTest::newRow("no such arrow") << 0 << u"l360"_qs;
    QTest::newRow("position as text") << 0 << u"7"_qs;
    QTest::newRow("key of list 0 in list 1") << 1 << u"instruction"_qs;
    QTest::newRow("empty key in an unkeyed list") << 4 << QString();
}

void tst_stimuli_pictures::refusedKey() {
    QFETCH(int, list);
    QFETCH(QString, key);
    try {
        (void)(*m_store)[list].ListImages(key);
        QFAIL("no error");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(ErrImageKey));
    }
}

void tst_stimuli_pictures::refusedList_data() {
    QTest::addColumn<int>("list");
    QTest::newRow("-1") << -1;
    QTest::newRow("5") << 5;
    QTest::newRow("32767") << 32767;
}

void tst_stimuli_pictures::refusedList() {
    QFETCH(int, list);
    try {
        (void)(*m_store)[list];
        QFAIL("no error");
    } catch (const RuntimeError &e) {
        QCOMPARE(e.number(), int(ErrControlArray));
    }
}

void tst_stimuli_pictures::pictureListBasics() {
    PictureList list;
    QCOMPARE(list.count(), 0);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, list.ListImages(1));
    QImage a(2, 2, QImage::Format_Mono);
    QImage b(3, 3, QImage::Format_Mono);
    list.add(a, u"a"_qs);
    list.add(b);
    list.add(b);
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.ListImages(2).size(), QSize(3, 3));
    QCOMPARE(list.ListImages(u"a"_qs).size(), QSize(2, 2));
    QCOMPARE(list.key(1), u"a"_qs);
    QCOMPARE(list.key(3), QString());
    // Several entries without a key are fine; a second "a" is not.
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, list.add(b, u"a"_qs));
    QCOMPARE(list.count(), 3);
}

void tst_stimuli_pictures::drawingRefusesBadArguments_data() {
    QTest::addColumn<bool>("arrow");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("position");
    QTest::newRow("figure set 0") << false << 0 << 1;
    QTest::newRow("figure set 5") << false << 5 << 1;
    QTest::newRow("arrow position 0") << true << 0 << 0;
    QTest::newRow("arrow position 7") << true << 0 << 7;
}

void tst_stimuli_pictures::drawingRefusesBadArguments() {
    QFETCH(bool, arrow);
    QFETCH(int, set);
    QFETCH(int, position);
    if (arrow)
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawArrow(position));
    else
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, drawFigureSet(set));
}

void tst_stimuli_pictures::singleFigureMatchesItsSet_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("position");
    QTest::newRow("F upright") << 1 << 1;
    QTest::newRow("L mirrored, 120 degrees") << 2 << 9;
    QTest::newRow("R mirrored, 240 degrees") << 4 << 11;
}

void tst_stimuli_pictures::singleFigureMatchesItsSet() {
    QFETCH(int, set);
    QFETCH(int, position);
    QCOMPARE(drawFigureSet(set)[std::size_t(position - 1)], figure(set, position));
}

// ---------------------------------------------------------------------------------------------
// All 56 pictures

void tst_stimuli_pictures::everyPictureIsCrispBlackOnWhite_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("position");
    for (int list = 0; list < 5; ++list)
        for (int position = 1; position <= (list == 0 ? 8 : 12); ++position)
            QTest::addRow("%d-%d", list, position) << list << position;
}

void tst_stimuli_pictures::everyPictureIsCrispBlackOnWhite() {
    QFETCH(int, list);
    QFETCH(int, position);
    const QImage &img = (*m_store)[list].ListImages(position);
    QCOMPARE(img.size(), QSize(256, 256));
    QCOMPARE(img.format(), QImage::Format_Mono);
    QCOMPARE(img.colorTable(), QList<QRgb>({0xff000000, 0xffffffff}));
    QCOMPARE(img.dotsPerMeterX(), 3780);
    QCOMPARE(img.dotsPerMeterY(), 3780);
    int black = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const QRgb c = img.pixel(x, y);
            QVERIFY2(c == 0xff000000 || c == 0xffffffff, qPrintable(u"%1,%2"_qs.arg(x).arg(y)));
            black += c == 0xff000000;
        }
    // A drawing on a white ground: some black, mostly white, and never the image list's mask
    // colour (light grey), which the pixel test above excludes.
    QVERIFY(black > 100);
    QVERIFY(black < 256 * 256 / 4);
}

// ---------------------------------------------------------------------------------------------
// Figures

void tst_stimuli_pictures::uprightLetterBox_data() {
    QTest::addColumn<int>("set");
    for (int set = 1; set <= 4; ++set)
        QTest::newRow(LetterNames[set]) << set;
}

void tst_stimuli_pictures::uprightLetterBox() {
    QFETCH(int, set);
    const QRect box = probe::blackBounds(probe::letterOnly(figure(set, 1)));
    QCOMPARE(box.left(), 63);
    QCOMPARE(box.right(), 208);
    QCOMPARE(box.top(), 46);
    QCOMPARE(box.bottom(), 216);
    // Its centre lies 8 pixels right of and 3.5 below the picture centre.
    QCOMPARE((box.left() + box.right()) / 2.0 - probe::Centre, 8.0);
    QCOMPARE((box.top() + box.bottom()) / 2.0 - probe::Centre, 3.5);
}

void tst_stimuli_pictures::uprightProfiles_data() {
    // Black runs met along one row or column of the upright letter (the circle left out). Each
    // run is the 4-pixel contour; the runs sit at the edges the letter is built from.
    QTest::addColumn<int>("set");
    QTest::addColumn<bool>("row");
    QTest::addColumn<int>("index");
    QTest::addColumn<Runs>("runs");
    // F: stem x 63..94, top arm y 46..68 to x 208, middle arm y 120..141 to x 183.
    QTest::newRow("F row 180, stem") << 1 << true << 180 << Runs{{63, 66}, {91, 94}};
    QTest::newRow("F row 57, top arm") << 1 << true << 57 << Runs{{63, 66}, {205, 208}};
    QTest::newRow("F row 130, middle arm") << 1 << true << 130 << Runs{{63, 66}, {180, 183}};
    QTest::newRow("F row 90, between arms") << 1 << true << 90 << Runs{{63, 66}, {91, 94}};
    QTest::newRow("F column 150, both arms")
        << 1 << false << 150 << Runs{{46, 49}, {65, 68}, {120, 123}, {138, 141}};
    QTest::newRow("F column 195, top arm only") << 1 << false << 195 << Runs{{46, 49}, {65, 68}};
    QTest::newRow("F column 80, stem") << 1 << false << 80 << Runs{{46, 49}, {213, 216}};
    // L: stem x 63..94, foot y 195..216 to x 208.
    QTest::newRow("L row 100, stem") << 2 << true << 100 << Runs{{63, 66}, {91, 94}};
    QTest::newRow("L row 205, foot") << 2 << true << 205 << Runs{{63, 66}, {205, 208}};
    QTest::newRow("L column 150, foot") << 2 << false << 150 << Runs{{195, 198}, {213, 216}};
    QTest::newRow("L column 80, stem") << 2 << false << 80 << Runs{{46, 49}, {213, 216}};
    // P: stem x 63..91, bowl y 46..151 reaching x 208 near y 100, counter x 92..181, y 69..129.
    QTest::newRow("P row 100, bowl") << 3 << true << 100 << Runs{{63, 66}, {88, 91}, {182, 185}, {205, 208}};
    QTest::newRow("P row 180, stem") << 3 << true << 180 << Runs{{63, 66}, {88, 91}};
    QTest::newRow("P column 120, bowl")
        << 3 << false << 120 << Runs{{46, 49}, {65, 68}, {130, 133}, {148, 151}};
    QTest::newRow("P column 80, stem") << 3 << false << 80 << Runs{{46, 49}, {213, 216}};
    // R: stem x 63..90, bowl y 46..144 reaching x 202 near y 100, counter x 91..177, y 69..122.
    QTest::newRow("R row 100, bowl") << 4 << true << 100 << Runs{{63, 66}, {87, 90}, {178, 181}, {199, 202}};
    QTest::newRow("R row 216, feet") << 4 << true << 216 << Runs{{63, 90}, {178, 208}};
    QTest::newRow("R column 120, bowl")
        << 4 << false << 120 << Runs{{46, 49}, {65, 68}, {123, 126}, {141, 144}};
    QTest::newRow("R column 80, stem") << 4 << false << 80 << Runs{{46, 49}, {213, 216}};
}

void tst_stimuli_pictures::uprightProfiles() {
    QFETCH(int, set);
    QFETCH(bool, row);
    QFETCH(int, index);
    QFETCH(Runs, runs);
    const QImage letter = probe::letterOnly(figure(set, 1));
    QCOMPARE(row ? probe::rowRuns(letter, index) : probe::columnRuns(letter, index), runs);
}

void tst_stimuli_pictures::rLegRows_data() {
    // The leg of R, 30 pixels wide across a row: x 144..174 where it leaves the bowl (row 150),
    // x 178..208 at the foot (row 216), straight in between.
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("leaves the bowl") << 150 << 144 << 174;
    QTest::newRow("halfway") << 183 << 161 << 191;
    QTest::newRow("lower") << 200 << 170 << 200;
    QTest::newRow("foot") << 216 << 178 << 208;
}

void tst_stimuli_pictures::rLegRows() {
    QFETCH(int, y);
    QFETCH(int, left);
    QFETCH(int, right);
    const Runs runs = probe::rowRuns(probe::letterOnly(figure(4, 1)), y);
    Runs leg;
    for (const Run &r : runs)
        if (r.first > 120)
            leg << r;
    QVERIFY(!leg.isEmpty());
    QCOMPARE(leg.first().first, left);
    QCOMPARE(leg.last().second, right);
    QCOMPARE(right - left, 30);
    if (y == 216)
        return; // the foot's bottom edge: all contour
    // Two contour crossings with the hollow inside between them. The contour is 4 pixels measured
    // square to the slanted edge (dx/dy = 34/66), so a row crosses it over 4 / cos 27 = 4.5.
    QCOMPARE(leg.size(), 2);
    for (const Run &r : leg)
        QVERIFY2(r.second - r.first + 1 == 4 || r.second - r.first + 1 == 5,
                 qPrintable(u"%1..%2"_qs.arg(r.first).arg(r.second)));
}

void tst_stimuli_pictures::hollowLetters_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("blackParts");
    QTest::addColumn<int>("whiteParts");
    // Black: the circle and one closed contour per boundary of the letter (P and R have a second
    // one round the counter). White: outside the circle, between circle and letter, the letter's
    // hollow inside, and the counter. An extra line inside or a gap in a contour changes these.
    for (int set = 1; set <= 4; ++set)
        for (int position = 1; position <= 12; ++position)
            QTest::addRow("%s-%d", LetterNames[set], position)
                << set << position << (set <= 2 ? 2 : 3) << (set <= 2 ? 3 : 4);
}

void tst_stimuli_pictures::hollowLetters() {
    QFETCH(int, set);
    QFETCH(int, position);
    QFETCH(int, blackParts);
    QFETCH(int, whiteParts);
    const QImage &img = figure(set, position);
    QCOMPARE(probe::components(img, true), blackParts);
    QCOMPARE(probe::components(img, false), whiteParts);
}

void tst_stimuli_pictures::circle() {
    const QImage ring = probe::circleOnly(figure(1, 1));
    // Outermost pixels one in from every edge.
    QCOMPARE(probe::blackBounds(ring), QRect(QPoint(1, 1), QPoint(254, 254)));
    for (int i : {127, 128}) {
        QCOMPARE(probe::rowRuns(ring, i), Runs({{1, 1}, {254, 254}}));
        QCOMPARE(probe::columnRuns(ring, i), Runs({{1, 1}, {254, 254}}));
    }
    int pixels = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            if (!probe::black(ring, x, y))
                continue;
            ++pixels;
            // On the circle of radius 126.5 about the centre, to within rounding to a pixel.
            QVERIFY2(std::abs(probe::fromCentre(x, y) - 126.5) < 0.75, qPrintable(u"%1,%2"_qs.arg(x).arg(y)));
            // One pixel wide: a closed thin curve, every pixel with exactly two black neighbours,
            // and no 2 x 2 block of black anywhere.
            int neighbours = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    neighbours += (dx || dy) && probe::black(ring, x + dx, y + dy);
            QVERIFY2(neighbours == 2, qPrintable(u"%1,%2: %3"_qs.arg(x).arg(y).arg(neighbours)));
            QVERIFY(!(probe::black(ring, x + 1, y) && probe::black(ring, x, y + 1) &&
                      probe::black(ring, x + 1, y + 1)));
            // The same under reflections and the quarter turn.
            QVERIFY(probe::black(ring, 255 - x, y));
            QVERIFY(probe::black(ring, x, 255 - y));
            QVERIFY(probe::black(ring, y, x));
        }
    QCOMPARE(probe::components(ring, true), 1);
    // Close to the circumference 2 pi r divided by the mean step (straight 1, diagonal 1.41).
    QVERIFY(pixels > 650 && pixels < 800);
}

void tst_stimuli_pictures::circleSameInEveryFigure() {
    const QImage first = probe::circleOnly(figure(1, 1));
    for (int set = 1; set <= 4; ++set)
        for (int position = 1; position <= 12; ++position)
            QVERIFY2(probe::circleOnly(figure(set, position)) == first,
                     qPrintable(u"%1-%2"_qs.arg(set).arg(position)));
}

void tst_stimuli_pictures::mirrorIsReflectionOfUpright_data() {
    QTest::addColumn<int>("set");
    for (int set = 1; set <= 4; ++set)
        QTest::newRow(LetterNames[set]) << set;
}

void tst_stimuli_pictures::mirrorIsReflectionOfUpright() {
    QFETCH(int, set);
    const QImage &upright = figure(set, 1);
    const QImage &mirrored = figure(set, 7);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            QVERIFY2(probe::black(mirrored, x, y) == probe::black(upright, 255 - x, y),
                     qPrintable(u"%1,%2"_qs.arg(x).arg(y)));
    // And it is a different picture: the letters have no left-right symmetry.
    QVERIFY(mirrored != upright);
}

void tst_stimuli_pictures::turnsAboutPictureCentre_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("position");
    for (int set = 1; set <= 4; ++set)
        for (int position = 2; position <= 12; ++position)
            if (position != 7)
                QTest::addRow("%s-%d", LetterNames[set], position) << set << position;
}

void tst_stimuli_pictures::turnsAboutPictureCentre() {
    // Position k is position 1 (or 7, mirrored) turned clockwise by (k - 1) mod 6 x 60 degrees
    // about the picture centre. A crude nearest-pixel turn of the measured upright picture must
    // land on the drawn one within a pixel almost everywhere; a turn about another point, the
    // other way or of the wrong half of the set misses by tens of pixels.
    QFETCH(int, set);
    QFETCH(int, position);
    const QImage drawn = probe::letterOnly(figure(set, position));
    const QImage base = probe::letterOnly(figure(set, position > 6 ? 7 : 1));
    const QImage expected = probe::resampledTurn(base, ((position - 1) % 6) * 60);
    const int total = probe::blackCount(drawn);
    const int missed = probe::unmatched(drawn, expected) + probe::unmatched(expected, drawn);
    QVERIFY2(missed <= total / 200, qPrintable(u"%1 of %2 pixels off"_qs.arg(missed).arg(total)));
    // The letter's ink turns with it: its centroid is the upright centroid turned.
    const QPointF want = probe::turned(probe::centroid(base), ((position - 1) % 6) * 60);
    QVERIFY2(distance(probe::centroid(drawn), want) < 1.0,
             qPrintable(u"%1"_qs.arg(distance(probe::centroid(drawn), want))));
}

void tst_stimuli_pictures::turnsClockwise_data() {
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("position");
    for (int set = 1; set <= 4; ++set)
        for (int position : {2, 3, 5, 6, 8, 12})
            QTest::addRow("%s-%d", LetterNames[set], position) << set << position;
}

void tst_stimuli_pictures::turnsClockwise() {
    // The same comparison the other way round fails: the turn is clockwise.
    QFETCH(int, set);
    QFETCH(int, position);
    const QImage drawn = probe::letterOnly(figure(set, position));
    const QImage base = probe::letterOnly(figure(set, position > 6 ? 7 : 1));
    const QImage anticlockwise = probe::resampledTurn(base, -((position - 1) % 6) * 60);
    QVERIFY(probe::unmatched(drawn, anticlockwise) > probe::blackCount(drawn) / 4);
}

void tst_stimuli_pictures::contourKeepsItsWidthWhenTurned_data() {
    // A line across the stem of the upright letter, and where its two contours lie along it
    // (upright: the stem's outer edges, counted from the line's start at x 40).
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("position");
    QTest::addColumn<double>("innerEdge"); // distance from x 40 to the stem's right edge
    const double stemRight[] = {0, 94.5, 94.5, 91.5, 90.5};
    for (int set = 1; set <= 4; ++set)
        for (int position = 1; position <= 12; ++position)
            QTest::addRow("%s-%d", LetterNames[set], position) << set << position << stemRight[set] - 40;
}

void tst_stimuli_pictures::contourKeepsItsWidthWhenTurned() {
    // Walked across the stem, perpendicular to it in every orientation, the picture shows two
    // black crossings of the contour, each 4 pixels (to within the one-pixel raster), at the
    // stem's edges: 4 pixels in from the left edge x 62.5 and out to the right edge.
    QFETCH(int, set);
    QFETCH(int, position);
    QFETCH(double, innerEdge);
    const double angle = ((position - 1) % 6) * 60;
    const bool mirror = position > 6;
    const QImage img = probe::letterOnly(figure(set, position));
    const QList<probe::Span> spans = probe::spansAlong(img, probe::turned(QPointF(40, 180), angle, mirror),
                                                       probe::turned(QPointF(110, 180), angle, mirror));
    QCOMPARE(spans.size(), 2);
    // A reflection keeps distances along the walk, so mirrored letters need no special case.
    const double outer = 62.5 - 40;
    QVERIFY2(std::abs(spans[0].from - outer) <= 1.0 && std::abs(spans[0].to - (outer + 4)) <= 1.0,
             qPrintable(u"outer contour %1..%2"_qs.arg(spans[0].from).arg(spans[0].to)));
    QVERIFY2(std::abs(spans[1].from - (innerEdge - 4)) <= 1.0 && std::abs(spans[1].to - innerEdge) <= 1.0,
             qPrintable(u"inner contour %1..%2"_qs.arg(spans[1].from).arg(spans[1].to)));
    // Over the whole letter: the contour's area, about its length times 4, keeps its size.
    const int upright = probe::blackCount(probe::letterOnly(figure(set, 1)));
    const int here = probe::blackCount(img);
    QVERIFY2(std::abs(here - upright) < upright / 40, qPrintable(u"%1 vs %2"_qs.arg(here).arg(upright)));
}

void tst_stimuli_pictures::figureStepMatchesArrowStep_data() {
    QTest::addColumn<int>("step");
    for (int step = 0; step < 6; ++step)
        QTest::addRow("step %d", step) << step;
}

void tst_stimuli_pictures::figureStepMatchesArrowStep() {
    // Figures and arrows count their steps the same way round: the L at step d is the upright L
    // turned the way arrow d + 1 is turned from the upright arrow, so the upright L's top-left
    // corner, turned by the arrow's measured direction, lands on the L's contour.
    QFETCH(int, step);
    const QImage &arrow = (*m_store)[0].ListImages(step + 1);
    const int measured = arrowStep(arrow);
    QCOMPARE(measured, step);
    const QPointF corner = probe::turned(QPointF(64, 47), measured * 60);
    const QImage &l = figure(2, step + 1);
    QVERIFY(probe::black(l, int(std::lround(corner.x())), int(std::lround(corner.y()))));
}

// ---------------------------------------------------------------------------------------------
// Arrows

void tst_stimuli_pictures::upArrowShape() {
    const QImage &img = (*m_store)[0].ListImages(u"l0"_qs);
    const QRect box = probe::blackBounds(img);
    // Tip on row 20 at x 128 (with its twin at 127: the shaft is 8 wide, so the axis is 127.5),
    // tail on row 236: 217 pixels tip to tail, centred across the picture.
    QCOMPARE(box.top(), 20);
    QCOMPARE(box.bottom(), 236);
    QCOMPARE(probe::rowRuns(img, 20), Runs({{127, 128}}));
    QCOMPARE(box.left() + box.right(), 255);
    // Shaft 8 pixels wide down to the square tail.
    for (int y = 65; y <= 236; ++y)
        QCOMPARE(probe::rowRuns(img, y), Runs({{124, 131}}));
    // Head: widest (46 pixels) on its back row 64; 45 rows long from the tip.
    QCOMPARE(probe::rowRuns(img, 64).first().first, 105);
    QCOMPARE(probe::rowRuns(img, 64).last().second, 150);
    QCOMPARE(box.width(), 46);
    // The notch: rows where the barbs stand apart from the shaft, 11 of them behind the row where
    // head and shaft still form one run.
    int notchRows = 0;
    for (int y = 20; y <= 64; ++y) {
        const Runs runs = probe::rowRuns(img, y);
        if (runs.size() == 3) {
            ++notchRows;
            QCOMPARE(runs[1], Run(124, 131));
        } else {
            QCOMPARE(runs.size(), 1);
        }
    }
    QCOMPARE(notchRows, 11);
    QCOMPARE(probe::rowRuns(img, 53).size(), 1);
    QCOMPARE(probe::rowRuns(img, 54).size(), 3);
    // The head's sides run straight from tip to barbs: the head widens by 46 / 45 pixels a row.
    for (int y = 20; y <= 64; ++y) {
        const Runs runs = probe::rowRuns(img, y);
        const double want = 46.0 * (y - 19) / 45.0;
        QVERIFY2(std::abs(runs.last().second - runs.first().first + 1 - want) <= 1.5,
                 qPrintable(QString::number(y)));
    }
}

void tst_stimuli_pictures::arrowGeometry_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("shift"); // pixels right of the centred arrow
    QTest::newRow("l0") << 1 << 0;
    QTest::newRow("l60") << 2 << 0;
    QTest::newRow("l120") << 3 << 0;
    QTest::newRow("l180") << 4 << 8;
    QTest::newRow("l240") << 5 << 8;
    QTest::newRow("l300") << 6 << 0;
}

void tst_stimuli_pictures::arrowGeometry() {
    QFETCH(int, position);
    QFETCH(int, shift);
    const QImage &img = (*m_store)[0].ListImages(position);
    const int step = position - 1;
    QCOMPARE(arrowStep(img), step);

    // Tip and tail where the upright ones land when turned about the picture centre, then moved.
    const double a = step * std::numbers::pi / 3;
    const QPointF u(std::sin(a), -std::cos(a));
    const QPointF tip = extremeAlong(img, u);
    const QPointF tail = extremeAlong(img, -u);
    const QPointF wantTip = probe::turned(QPointF(127.5, 20), step * 60) + QPointF(shift, 0);
    const QPointF wantTail = probe::turned(QPointF(127.5, 236), step * 60) + QPointF(shift, 0);
    QVERIFY2(distance(tip, wantTip) <= 1.0, qPrintable(u"tip %1,%2"_qs.arg(tip.x()).arg(tip.y())));
    QVERIFY2(distance(tail, wantTail) <= 1.0, qPrintable(u"tail %1,%2"_qs.arg(tail.x()).arg(tail.y())));
    // 217 pixels from tip to tail; the midpoint on the centre, or 8 pixels right of it.
    QVERIFY(std::abs(distance(tip, tail) + 1 - 217) <= 1.0);
    const QPointF mid = (tip + tail) / 2;
    QVERIFY2(distance(mid, QPointF(probe::Centre + shift, probe::Centre)) <= 1.0,
             qPrintable(u"midpoint %1,%2"_qs.arg(mid.x()).arg(mid.y())));
    // The same amount of ink in every direction: shaft and head keep their size when turned.
    const int upright = probe::blackCount((*m_store)[0].ListImages(1));
    QVERIFY(std::abs(probe::blackCount(img) - upright) < upright / 50);
}

void tst_stimuli_pictures::arrowHalfTurns_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("opposite");
    QTest::addColumn<int>("shift");
    QTest::newRow("l180 from l0") << 4 << 1 << 8;
    QTest::newRow("l240 from l60") << 5 << 2 << 8;
    QTest::newRow("l300 from l120") << 6 << 3 << 0;
}

void tst_stimuli_pictures::arrowHalfTurns() {
    // A half turn about the centre (127.5, 127.5) takes pixel (x, y) to (255 - x, 255 - y)
    // exactly; the "l180" and "l240" arrows then sit 8 pixels to the right.
    QFETCH(int, position);
    QFETCH(int, opposite);
    QFETCH(int, shift);
    const QImage &img = (*m_store)[0].ListImages(position);
    const QImage &other = (*m_store)[0].ListImages(opposite);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            QVERIFY2(probe::black(img, x, y) == probe::black(other, 255 - (x - shift), 255 - y),
                     qPrintable(u"%1,%2"_qs.arg(x).arg(y)));
}

// ---------------------------------------------------------------------------------------------
// Text screens

void tst_stimuli_pictures::instructionScreen_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("Japanese: eleven lines, broken between any two characters") << u"ja"_qs;
    QTest::newRow("English: broken at spaces") << u"en"_qs;
}

void tst_stimuli_pictures::instructionScreen() {
    QFETCH(QString, language);
    if (!japaneseFaceAvailable())
        QSKIP("no Japanese typeface installed");
    const InLanguage in(language);
    const bool japanese = language == u"ja"_qs;
    const QImage img = japanese ? (*m_store)[0].ListImages(u"instruction"_qs) : drawInstructionScreen();
    // Lines 19 rows apart from row 10, 10 rows more between the four paragraphs.
    const Runs bands = probe::inkBands(img);
    if (japanese)
        QCOMPARE(bands.size(), 11);
    int gaps = 0;
    int lineTop = 10;
    QList<int> heights;
    for (int i = 0; i < bands.size(); ++i) {
        if (i > 0) {
            const int pitch = bands[i].first - bands[i - 1].first;
            QVERIFY2(std::abs(pitch - 19) <= 1 || std::abs(pitch - 29) <= 1,
                     qPrintable(QString::number(pitch)));
            const bool gap = std::abs(pitch - 29) <= 1;
            gaps += gap;
            lineTop += gap ? 29 : 19;
        }
        // Each line's ink starts at its line's top; a line of kana alone runs a little shorter
        // than the kanji (in English, a line without capitals or tall letters).
        QVERIFY2(std::abs(bands[i].first - lineTop) <= (japanese ? 1 : 4),
                 qPrintable(u"line %1 top %2"_qs.arg(i).arg(bands[i].first)));
        const int height = bands[i].second - bands[i].first + 1;
        QVERIFY2(height >= (japanese ? 12 : 8) && height <= 17,
                 qPrintable(u"line %1 height %2"_qs.arg(i).arg(height)));
        heights << height;
    }
    QCOMPARE(gaps, 3);
    // Characters about 15 pixels high: the typical line.
    std::sort(heights.begin(), heights.end());
    if (japanese)
        QVERIFY2(std::abs(heights[5] - 15) <= 1, qPrintable(QString::number(heights[5])));
    // Flush left from x 10, wrapped at the right before x 244, and nothing below the picture's
    // last row.
    const QRect box = probe::blackBounds(img);
    QVERIFY2(box.left() >= 10 && box.left() <= 12, qPrintable(QString::number(box.left())));
    QVERIFY2(box.right() <= 243 && box.right() >= 230, qPrintable(QString::number(box.right())));
    QVERIFY2(box.bottom() < 255, qPrintable(QString::number(box.bottom())));
    // Japanese fills every line but a paragraph's last to near the right margin: the wrap is at a
    // character. English breaks at a space: some lines end well before the margin.
    int ragged = 0;
    for (int i = 0; i + 1 < bands.size(); ++i) {
        if (bands[i + 1].first - bands[i].first > 24)
            continue;
        int right = 0;
        for (int y = bands[i].first; y <= bands[i].second; ++y)
            for (const Run &r : probe::rowRuns(img, y))
                right = std::max(right, r.second);
        ragged += right < 225;
    }
    QCOMPARE(ragged > 0, !japanese);
}

void tst_stimuli_pictures::waitScreen() {
    if (!japaneseFaceAvailable())
        QSKIP("no Japanese typeface installed");
    const QImage &img = (*m_store)[0].ListImages(u"wait"_qs);
    const Runs bands = probe::inkBands(img);
    QCOMPARE(bands.size(), 2);
    // "処理中です" on rows 103..119, "しばらくお待ち下さい" on rows 125..141 (each within a row:
    // the typeface decides the last pixel).
    const Runs want{{103, 119}, {125, 141}};
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(std::abs(bands[i].first - want[i].first) <= 1 &&
                     std::abs(bands[i].second - want[i].second) <= 1,
                 qPrintable(u"line %1: %2..%3"_qs.arg(i).arg(bands[i].first).arg(bands[i].second)));
        // Centred across the picture.
        int left = 256;
        int right = -1;
        for (int y = bands[i].first; y <= bands[i].second; ++y)
            for (const Run &r : probe::rowRuns(img, y)) {
                left = std::min(left, r.first);
                right = std::max(right, r.second);
            }
        QVERIFY2(std::abs((left + right) / 2.0 - probe::Centre) <= 2.0,
                 qPrintable(u"%1..%2"_qs.arg(left).arg(right)));
    }
    // The second line is the longer one.
    QVERIFY(probe::blackCount(img.copy(0, 124, 256, 20)) > probe::blackCount(img.copy(0, 100, 256, 22)));
}

QTEST_MAIN(tst_stimuli_pictures)
#include "tst_stimuli_pictures.moc"
