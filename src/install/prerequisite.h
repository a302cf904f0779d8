// The system components the ripper needs and that may be missing, and their
// detection. Logic only.
#pragma once
#include <string>
#include <vector>

namespace tonvik::install {

enum class PrerequisiteKind { WindowsInstaller = 0, WmaCodecs = 1 };

struct Prerequisite {
  PrerequisiteKind kind;
  std::u16string name;         // bold on the page
  std::u16string description;  // under the name
  std::string local_file;      // an installer's full path; empty when none
  bool required = false;       // its box is checked and cannot be cleared
  bool selected = false;       // its box when the user pressed Next
};

// What detection looks at; the defaults are the running system.
struct DetectionInputs {
  // Where local copies are looked for: the current directory by default.
  std::string current_dir;
};

// The missing components in detection order (Windows Installer first):
// msi.so loaded by name and its MsiGetFileVersionA's answer for its own path;
// the file version of wmvcore.so (program folder, then system modules folder).
// Local copies "instmsiw", then "wmfdist" replaced by "wmfdist95" when present.
std::vector<Prerequisite> DetectPrerequisites(const DetectionInputs& inputs = {});

}  // namespace tonvik::install
