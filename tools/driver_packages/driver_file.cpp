// Stand-in for a USB driver binary: a tiny native-subsystem PE whose only purpose is to carry a
// version resource (driver_file.rc.in). Test packages install it under the driver file names, and
// the bootstrap compares its fixed file version with the configured one.
extern "C" long __stdcall DriverEntry(void*, void*) {
  return 0;
}
