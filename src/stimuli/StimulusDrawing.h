#pragma once

#include <QImage>

#include <array>

// The 56 stimulus pictures, drawn from their geometry rather than read from files. Every picture
// is 256 x 256 pixels in QImage::Format_Mono with the colour table {black, white}: index 0 is
// black, index 1 white, so a pixel's index is also its bit in a Windows bitmap. Black drawing on
// a white ground, no grey anywhere.
//
// Coordinates in the comments of these files are pixel indices: pixel (x, y) has its centre at
// (x, y) and covers x - 0.5 .. x + 0.5, so the picture centre is (127.5, 127.5) and a shape that
// "runs from x 63 to 94" has its edges at 62.5 and 94.5. A pixel is black when its centre lies in
// the shape, which keeps every picture crisp in any orientation.
//
// The text screens need a QGuiApplication (fonts).
namespace kivora {

inline constexpr int PictureSize = 256;
inline constexpr int PictureDotsPerMeter = 3780; // 96 dpi

// A white 256 x 256 picture with the colour table above.
QImage blankPicture();

// The 12 pictures of figure set 1..4 (F, L, P, R) in position order: positions 1..6 show the
// letter turned clockwise by 0, 60, ..., 300 degrees about the picture centre, 7..12 its
// left-right mirror image turned the same way. Throws std::out_of_range for another set.
std::array<QImage, 12> drawFigureSet(int figSet);

// Cue arrow, position 1..6, pointing (position - 1) x 60 degrees clockwise from straight up.
// Throws std::out_of_range for other positions.
QImage drawArrow(int position);

// The instruction screen (four paragraphs; in Japanese eleven lines) and the please-wait screen,
// in the language of the texts (textLanguage, through the translation installed).
QImage drawInstructionScreen();
// A screen of text in the instruction screen's font and layout, one paragraph after another,
// each wrapped where the next character would cross the right margin or, in a language that puts
// spaces between its words, at the last space before it. For the screens a study shows between
// trials (practice, breaks); they are no stimuli of the store.
QImage drawTextScreen(const QStringList &paragraphs);
QImage drawWaitScreen();

} // namespace kivora
