/* Stand-ins for a foreign lame_enc.so: "broken" lacks entry points, "greedy"
 * asks for more samples per chunk than the MP3 encoder can stage, "narrow"
 * has no beWriteInfoTagW and records the path beWriteInfoTag gets (into the
 * file named by FAKE_LAME_RECORD) together with that file's size then.
 * Every one fails its second beEncodeChunk when FAKE_LAME_FAIL is "encode",
 * and its beWriteInfoTag when it is "tag". */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "modules/lame_enc/lame_enc.h"

#ifndef FAKE_SAMPLES
#define FAKE_SAMPLES 8192
#endif

BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samples, uint32_t* buffer_size,
                    HBE_STREAM* stream) {
  (void)config;
  *samples = FAKE_SAMPLES;
  *buffer_size = 65536;
  *stream = 1;
  return 0;
}

#ifndef FAKE_BROKEN
static int Failing(const char* what) {
  const char* fail = getenv("FAKE_LAME_FAIL");
  return fail && strcmp(fail, what) == 0;
}

BE_ERR beEncodeChunk(HBE_STREAM s, uint32_t n, const int16_t* pcm, uint8_t* out, uint32_t* bytes) {
  static int calls = 0;
  (void)s; (void)n; (void)pcm;
  *bytes = 0;
  if (!Failing("encode")) return 0;
  /* Some output first, so what a failure leaves looks like an MP3 stream. */
  if (++calls >= 2) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  out[0] = 0xFF;
  out[1] = 0xFB;
  *bytes = 2;
  return 0;
}
BE_ERR beDeinitStream(HBE_STREAM s, uint8_t* out, uint32_t* bytes) {
  (void)s; (void)out;
  *bytes = 0;
  return 0;
}
BE_ERR beCloseStream(HBE_STREAM s) { (void)s; return 0; }
BE_ERR beWriteInfoTag(HBE_STREAM s, const char* path) {
  (void)s;
  if (Failing("tag")) return BE_ERR_INVALID_HANDLE;
  const char* record = getenv("FAKE_LAME_RECORD");
  FILE* f = record ? fopen(record, "w") : NULL;
  FILE* mp3 = fopen(path, "rb");
  long size = -1;
  if (mp3) {
    fseek(mp3, 0, SEEK_END);
    size = ftell(mp3);
    fclose(mp3);
  }
  if (f) {
    fprintf(f, "%s\n%ld\n", path, size);
    fclose(f);
  }
  return 0;
}
#endif
