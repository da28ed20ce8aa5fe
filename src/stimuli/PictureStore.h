#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <vector>

namespace kivora {

// One image list: pictures in order, each with an optional text key, read by 1-based position
// or by key. Keys are compared exactly (case matters); an entry without a key is never found by
// key, not even by an empty one.
class PictureList {
public:
    int count() const { return static_cast<int>(m_entries.size()); }

    // Throw RuntimeError(ErrImageIndex) for a position outside 1..count().
    const QImage &ListImages(int position) const;
    QString key(int position) const;
    // Throws RuntimeError(ErrImageKey) for a key the list lacks.
    const QImage &ListImages(const QString &key) const;

    // Appends at position count() + 1. A key already in the list is a programming error and
    // throws std::invalid_argument.
    void add(QImage picture, QString key = {});

private:
    struct Entry {
        QImage picture;
        QString key;
    };
    const Entry &entry(int position) const;

    // Appending to a vector may move the entries, so references handed out by ListImages() stay
    // valid only while the list does not grow; PictureStore fills its lists before anyone reads.
    std::vector<Entry> m_entries;
};

// The control array ImageList of the main window: five image lists, drawn once when the store is
// made (about 56 pictures; needs a QGuiApplication for the text screens) and never changed.
//   0: the cue arrows "l0", "l60", "l120", "l180", "l240", "l300" (positions 1..6), then
//      "instruction" (7) and "wait" (8)
//   1..4: the letters F, L, P, R, 12 pictures each, no keys; position k is turned (k - 1) mod 6
//      steps of 60 degrees clockwise and mirrored when k > 6
class PictureStore {
public:
    static constexpr int ListCount = 5;

    // The arrows and the 48 letter pictures: pure pixel work without fonts, so they may be drawn
    // on another thread, even before the application object exists (start-up does that while
    // Qt connects to the display).
    struct Shapes {
        std::array<QImage, 6> arrows;
        std::array<std::array<QImage, 12>, 4> figures;
    };
    static Shapes drawShapes();

    PictureStore();
    // Completes the store with the two text screens, which need the fonts of a QGuiApplication.
    explicit PictureStore(Shapes shapes);

    // Throws RuntimeError(ErrControlArray) for an index outside 0..4.
    const PictureList &operator[](int index) const;

private:
    std::array<PictureList, ListCount> m_lists;
};

} // namespace kivora
