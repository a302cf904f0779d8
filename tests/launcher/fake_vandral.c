/* Stands in for the ripper beside a copy of the launcher: writes what came on
 * standard input to $FAKE_VANDRAL_RECORD and exits with $FAKE_VANDRAL_EXIT. */
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  const char* record = getenv("FAKE_VANDRAL_RECORD");
  const char* code = getenv("FAKE_VANDRAL_EXIT");
  FILE* out = record ? fopen(record, "wb") : NULL;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, stdin)) > 0)
    if (out) fwrite(buf, 1, n, out);
  if (out) fclose(out);
  return code ? atoi(code) : 0;
}
