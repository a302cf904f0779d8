// Compares two artwork trees (png/, icon/, sound/) as decoded content rather
// than as file bytes: Qt's raster engine picks its antialiasing code by the
// processor, so the same drawing may differ by one in a few channel values
// from one machine to the next. Pictures must match in size, and every
// channel of every pixel within a tolerance; sounds must match in their
// format and every sample within the same tolerance.
#pragma once
#include <QString>
#include <QStringList>

namespace tonvik::test {

struct ArtworkTolerance {
  int channel = 1;  // per 8-bit channel value of a picture
  int sample = 1;   // per 16-bit sample of a sound
};

// One line per difference; empty when the trees match. A file present in one
// tree only is a difference too.
QStringList CompareArtworkTrees(const QString& expected, const QString& actual,
                                ArtworkTolerance tolerance = {});

// The same for one picture or one sound (by extension).
QStringList CompareArtworkFiles(const QString& expected, const QString& actual,
                                ArtworkTolerance tolerance = {});

}  // namespace tonvik::test
