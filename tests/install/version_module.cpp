// A module with a file version note (MODULE_VERSION) and nothing else of note.
#include "platform/file_version.h"

#ifdef MODULE_VERSION
TONVIK_FILE_VERSION_NOTE(MODULE_VERSION)
#endif

extern "C" int ModuleAnswer() { return 42; }
