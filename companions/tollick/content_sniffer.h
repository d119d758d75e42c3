#pragma once
// Knows a download type by a file's first bytes, for the watcher's collection
// of resources whose server named no type. Types are indices into DownloadTypeTable():
//   JPEG FF D8 FF          GIF "GIF87a"/"GIF89a"   PNG 89 "PNG" 0D 0A 1A 0A
//   TIF "II*\0"/"MM\0*"    MIDI "MThd" 00 00 00 06  MP3 "ID3" v2-4, or a layer III frame
//   AVI/WAV "RIFF" .... "AVI "/"WAVE"               PDF "%PDF-"
//   LZH at 2: "-lh?-"/"-lz?-"  EXE "MZ" (strict: with its "PE\0\0" header)
//   ZIP "PK" 03 04 / 05 06     RAM text "rtsp://" or "pnm://"   RM ".RMF"
//   SWF "FWS"/"CWS"/"ZWS" + version   WMV/ASF the ASF header object's GUID
//   MOV/QT "ftyp" "qt  " at 4, or a "moov"/"mdat"/"wide"/"free" atom at 4
//   ASX "<asx" (any case, after blanks)
// ASP has no signature of its own (the server sends an ordinary page) and is
// never recognised. WMV and ASF share one container, as do MOV and QT: such
// content matches both types and takes the first enabled one.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mireva::tollick {

using TypeMask = uint32_t;  // bit i = DownloadTypeTable()[i]

// The types whose signature starts `head` (0 when none does).
TypeMask SniffTypes(std::string_view head);

}  // namespace mireva::tollick
