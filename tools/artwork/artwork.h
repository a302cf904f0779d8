// The shared palette and the drawing routines of the artwork generator. All
// pictures are flat shapes without text, so they come out the same on every
// machine with the same Qt.
#pragma once
#include <QColor>
#include <QImage>
#include <QString>

namespace artwork {

inline const QColor kAccent(0x1E, 0x7B, 0xE0);      // the product blue
inline const QColor kAccentDark(0x12, 0x4E, 0xA8);
inline const QColor kInk(0x26, 0x32, 0x38);
inline const QColor kSlate(0x54, 0x6E, 0x7A);
inline const QColor kGreen(0x2E, 0x9E, 0x5B);
inline const QColor kRed(0xD9, 0x45, 0x3F);
inline const QColor kPage(0xEF, 0xF6, 0xFF);        // the wizard pages' control brush

QImage Blank(int w, int h);

// A disc of diameter `size` at (0,0) of its own canvas; `sheen_degrees` turns
// the reflection, which is what the animations rotate.
QImage Disc(int size, double sheen_degrees, bool ring);
QImage Logo(int size);

// 24 x 24 button glyphs on a round badge.
QImage AcceptGlyph();
QImage CancelGlyph();
QImage ConfigureGlyph();
QImage PauseGlyph();
QImage ResumeGlyph();
QImage HideGlyph();

QImage SidePicture();           // 103 x 326, configuration dialog
QImage WizardPage(int kind);    // 800 x 550; 0 prerequisites, 1 licence, 2 installing

// 16-bit mono PCM WAV of a two-note chime.
QByteArray Chime();

}  // namespace artwork
