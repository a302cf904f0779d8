/* Stand-ins for a foreign lame_enc.so: "broken" lacks entry points, "greedy"
 * asks for more samples per chunk than the MP3 encoder can stage. */
#include "modules/lame_enc/lame_enc.h"

BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samples, uint32_t* buffer_size,
                    HBE_STREAM* stream) {
  (void)config;
  *samples = 8192;
  *buffer_size = 65536;
  *stream = 1;
  return 0;
}

#ifndef FAKE_BROKEN
BE_ERR beEncodeChunk(HBE_STREAM s, uint32_t n, const int16_t* pcm, uint8_t* out, uint32_t* bytes) {
  (void)s; (void)n; (void)pcm; (void)out;
  *bytes = 0;
  return 0;
}
BE_ERR beDeinitStream(HBE_STREAM s, uint8_t* out, uint32_t* bytes) {
  (void)s; (void)out;
  *bytes = 0;
  return 0;
}
BE_ERR beCloseStream(HBE_STREAM s) { (void)s; return 0; }
BE_ERR beWriteInfoTag(HBE_STREAM s, const char* path) { (void)s; (void)path; return 0; }
#endif
