/* A wmvcore.so with one of its two entry points: WITH_WRITER keeps
 * WMCreateWriter, otherwise only WMCreateProfileManager is there. */
#ifdef WITH_WRITER
int WMCreateWriter(void* certificate, void** writer) {
  (void)certificate;
  *writer = 0;
  return (int)0x80004005;
}
#else
int WMCreateProfileManager(void** manager) {
  *manager = 0;
  return (int)0x80004005;
}
#endif
