// artwork_compare <expected folder> <actual folder> [png icon sound ...]:
// compares the named sub-folders as decoded pictures and sounds; exits 1 and
// lists the differences when they do not match.
#include <QDir>
#include <cstdio>

#include "artwork_compare.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: artwork_compare <expected> <actual> <sub-folder>...\n");
    return 2;
  }
  const QDir expected(QString::fromLocal8Bit(argv[1])), actual(QString::fromLocal8Bit(argv[2]));
  int differences = 0;
  for (int i = 3; i < argc; ++i) {
    const QString sub = QString::fromLocal8Bit(argv[i]);
    for (const QString& line : tonvik::test::CompareArtworkTrees(expected.filePath(sub), actual.filePath(sub))) {
      std::fprintf(stderr, "%s/%s\n", qPrintable(sub), qPrintable(line));
      ++differences;
    }
  }
  if (differences) std::fprintf(stderr, "%d differences: regenerate with tools/artwork/regenerate.sh\n", differences);
  return differences ? 1 : 0;
}
