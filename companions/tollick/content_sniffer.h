#pragma once
// Knows a download type by a file's first bytes, for the watcher's collection
// from the browser cache. Types are indices into DownloadTypeTable():
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

enum class Strictness {
  // The bytes start a file of their own (a cache blob): every signature.
  WholeFile,
  // The bytes may be anywhere inside a cache record: only signatures too long
  // or too specific to occur by chance in a record's address and headers.
  Embedded,
};

TypeMask SniffTypes(std::string_view head, Strictness strictness);

// Finds where a resource's body starts inside a cache record (the body is its
// tail): the first offset at which an embedded signature matches. False when
// none does.
bool FindEmbeddedBody(std::string_view record, size_t* offset, TypeMask* types);

}  // namespace mireva::tollick
