#include "stimuli/PictureStore.h"

#include "base/RuntimeError.h"
#include "stimuli/StimulusDrawing.h"

#include <algorithm>
#include <stdexcept>

namespace kivora {

const PictureList::Entry &PictureList::entry(int position) const {
    if (position < 1 || position > count())
        throw RuntimeError(ErrImageIndex, u"ListImages(%1)"_qs.arg(position));
    return m_entries[static_cast<std::size_t>(position - 1)];
}

const QImage &PictureList::ListImages(int position) const {
    return entry(position).picture;
}

QString PictureList::key(int position) const {
    return entry(position).key;
}

const QImage &PictureList::ListImages(const QString &key) const {
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry &e) { return !e.key.isEmpty() && e.key == key; });
    if (it == m_entries.end())
        throw RuntimeError(ErrImageKey, u"ListImages(\"%1\")"_qs.arg(key));
    return it->picture;
}

void PictureList::add(QImage picture, QString key) {
    if (!key.isEmpty() &&
        std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry &e) { return e.key == key; }))
        throw std::invalid_argument("image list key is not unique");
    m_entries.push_back({std::move(picture), std::move(key)});
}

PictureStore::Shapes PictureStore::drawShapes() {
    Shapes shapes;
    for (int position = 1; position <= 6; ++position)
        shapes.arrows[static_cast<std::size_t>(position - 1)] = drawArrow(position);
    for (int figSet = 1; figSet <= 4; ++figSet)
        shapes.figures[static_cast<std::size_t>(figSet - 1)] = drawFigureSet(figSet);
    return shapes;
}

PictureStore::PictureStore() : PictureStore(drawShapes()) {}

PictureStore::PictureStore(Shapes shapes) {
    PictureList &cues = m_lists[0];
    const char16_t *const arrowKeys[] = {u"l0", u"l60", u"l120", u"l180", u"l240", u"l300"};
    for (int position = 1; position <= 6; ++position)
        cues.add(std::move(shapes.arrows[static_cast<std::size_t>(position - 1)]),
                 QString::fromUtf16(arrowKeys[position - 1]));
    cues.add(drawInstructionScreen(), u"instruction"_qs);
    cues.add(drawWaitScreen(), u"wait"_qs);

    for (int figSet = 1; figSet <= 4; ++figSet)
        for (QImage &picture : shapes.figures[static_cast<std::size_t>(figSet - 1)])
            m_lists[static_cast<std::size_t>(figSet)].add(std::move(picture));
}

const PictureList &PictureStore::operator[](int index) const {
    if (index < 0 || index >= ListCount)
        throw RuntimeError(ErrControlArray, u"ImageList(%1)"_qs.arg(index));
    return m_lists[static_cast<std::size_t>(index)];
}

} // namespace kivora
