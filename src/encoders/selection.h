// The target format and quality choice of one rip: the format number comes
// from the start-up input, the preset and custom value from the Format dialog.
// Held by the rip session; each encoder gets a copy in its target.
#pragma once

namespace tonvik {

struct EncoderSelection {
  int format_number = 0;  // 1 WAV, 2 MP3, 3 WMA, 4 Ogg Vorbis, 5 Monkey's Audio, 6 FLAC
  int preset_index = 1;   // 0 Low, 1 Normal, 2 High, 3 Custom
  int custom_value = 0;   // the value of the custom table row (bit/s or level)
};

}  // namespace tonvik
