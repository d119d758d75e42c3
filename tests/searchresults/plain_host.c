/* A host that runs no wxWidgets: loads libQuandex.so, hands it pages, runs a
 * GLib main loop for a moment (as such a host must) and unloads the library.
 *   plain_host LIBRARY ENGINE PAGE [ENGINE PAGE ...]
 * Prints "ok" and exits 0 when every call returned 0. */
#include <dlfcn.h>
#include <glib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "searchresults/quandex_api.h"
#include "tests/support/gtk_leak_suppressions.h"

static char* ReadPage(const char* path) {
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  char* buf = malloc(1 << 20);
  size_t n = buf ? fread(buf, 1, (1 << 20) - 1, f) : 0;
  fclose(f);
  if (buf) buf[n] = '\0';
  return buf;
}

static void RunLoop(gint64 micros) {
  gint64 end = g_get_monotonic_time() + micros;
  while (g_get_monotonic_time() < end) {
    while (g_main_context_iteration(NULL, FALSE)) {
    }
    g_usleep(10000);
  }
}

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  /* POSIX lets a dlsym result become a function pointer; ISO C needs the copy. */
  void* symbol = dlsym(lib, "Quandex");
  QuandexFunction quandex;
  if (!symbol) return 1;
  memcpy(&quandex, &symbol, sizeof quandex);
  int failures = 0;
  for (int i = 2; i + 1 < argc; i += 2) {
    char* page = ReadPage(argv[i + 1]);
    if (!page) return 1;
    if (quandex(atoi(argv[i]), page, 0) != 0) ++failures;
    free(page);
    RunLoop(300000);
  }
  dlclose(lib);
  printf(failures ? "failed\n" : "ok\n");
  return failures ? 1 : 0;
}
