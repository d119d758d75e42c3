/* For test programs that bring up GTK under LeakSanitizer: fontconfig, pango,
 * GTK and the accessibility bus keep caches for the life of the process, which
 * LeakSanitizer reports at exit. Their leaks are suppressed by library (full
 * stacks are unwound so that the library frames are seen); a leak with a frame
 * of this project's code is still reported. Include once per program. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

__attribute__((visibility("default"), used)) const char* __lsan_default_suppressions(void) {
  return "leak:libfontconfig.so\n"
         "leak:libpango\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libdbus-1.so\n"
         "leak:libatk-bridge-2.0.so\n"
         "leak:libatspi.so\n"
         "leak:libgio-2.0.so\n";
}

__attribute__((visibility("default"), used)) const char* __asan_default_options(void) {
  return "fast_unwind_on_malloc=0";
}

#ifdef __cplusplus
}
#endif
