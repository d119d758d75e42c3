#pragma once
// Export and calling-convention macros of the project's shared libraries.
// MIREVA_EXPORT marks an entry that dlsym must find; everything else stays hidden.
// MIREVA_STDCALL is the callee-pops convention of 32-bit Windows exports and
// is empty on this platform, where the C calling convention is the only one.
#define MIREVA_EXPORT __attribute__((visibility("default")))
#define MIREVA_STDCALL
