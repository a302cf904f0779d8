// The ripper's main flow: install check, start-up input, disc check, Format
// dialog, progress dialog. The disc check, the dialogs and the fatal-error
// report are reached through this interface, so the flow itself needs no
// window and no drive.
#pragma once
#include <string>

#include "core/startup.h"

namespace tonvik {

class Utf16LineReader;

class MainFlowParts {
 public:
  virtual ~MainFlowParts() = default;
  virtual bool InstallCheck() = 0;
  // Checks the drive and disc of the start-up input; throws AppException.
  virtual void CheckDisc(const StartupInput& input) = 0;
  // Modal; 1 when the user accepted, 2 when cancelled.
  virtual int RunFormatDialog(const StartupInput& input) = 0;
  // Modal; runs the rip job; 1 when the job ended.
  virtual int RunProgressDialog(const StartupInput& input) = 0;
  // Shows a fatal message to the user (message box and standard error).
  virtual void ReportFatal(const std::u16string& message) = 0;
};

// Returns the process exit code: the result of the last dialog that ran, 0
// when none ran. Every AppException ends the flow after one ReportFatal.
int RunMainFlow(Utf16LineReader& input, MainFlowParts& parts);

// The one line written to standard error for a fatal message: "vandral: "
// followed by the message with its line breaks folded into spaces.
std::string FatalLine(const std::u16string& message);

}  // namespace tonvik
