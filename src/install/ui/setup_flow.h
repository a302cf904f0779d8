// The setup's pages in order, then the reboot offer or the tutorial.
#pragma once

namespace tonvik::install {

struct SetupFonts;

// Runs the predecessor, prerequisites, licence and installation pages, each
// modal over the active window. A page that stops ends the setup at once; the
// result is that of the last page run (1 or 2).
int RunSetupPages(const SetupFonts& fonts);

}  // namespace tonvik::install
