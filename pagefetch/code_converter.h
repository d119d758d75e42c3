#pragma once
// The page text converter: every page the library delivers as text is turned
// into Shift_JIS with CR LF line ends, whatever Japanese encoding it arrived in
// (7-bit JIS as in ISO-2022-JP, EUC-JP, Shift_JIS, or UTF-8). The legacy
// encodings are guessed from the bytes, character by character; UTF-8 is
// recognised on the whole text first. Output never passes the capacity given.
#include <cstddef>
#include <string_view>

namespace mireva::hovrel {

// Converts `length` bytes of `input` (7-bit JIS, EUC-JP or Shift_JIS, guessed)
// into `output`, writing at most `capacity` bytes including the terminating
// NUL; the conversion stops before a character that would not fit. `output`
// may be `input`'s own buffer. `mode` is accepted for the interface's sake and
// ignored (callers pass a blank). Pauses 50 ms. Returns the bytes written
// before the NUL. capacity 0 writes nothing.
size_t ConvertToShiftJis(char mode, size_t length, const char* input, char* output,
                         size_t capacity);

// True when the text is UTF-8 rather than a legacy Japanese encoding: valid
// UTF-8 holding at least one multi-byte character, or valid (7-bit) text that
// declares charset=utf-8 and holds no escape byte. A multi-byte character cut
// off by the end of the text does not count against it.
bool IsUtf8Text(std::string_view text);

// UTF-8 to Shift_JIS (code page 932) with CR LF line ends; characters that
// code page 932 lacks become decimal character references ("&#8364;"), a
// leading byte-order mark is dropped. Bounded like ConvertToShiftJis; `output`
// may be `input`'s buffer. Pauses 50 ms. Returns the bytes written before the NUL.
size_t Utf8ToShiftJis(size_t length, const char* input, char* output, size_t capacity);

// The Japanese encodings a page can declare.
enum class DeclaredEncoding { None, ShiftJis, EucJp, Iso2022Jp, Utf8 };

// The encoding the page declares: the charset of the server's `contentType`
// first ("text/html; charset=Shift_JIS"), else the first charset label in the
// page's first 4096 bytes (<meta charset> or <meta http-equiv content>).
// Names as pages spell them, in any case: Shift_JIS, sjis, x-sjis, cp932,
// Windows-31J; EUC-JP, x-euc-jp; ISO-2022-JP; UTF-8. None for anything else.
DeclaredEncoding FindDeclaredEncoding(std::string_view contentType, std::string_view text);

// Converts the NUL-terminated text in place, then cuts out the first "charset=euc-jp",
// "charset=EUC-JP" and "charset=x-euc-jp" and, for a UTF-8 text, its first
// UTF-8 charset label, so a browser shown the bytes does not misread them.
// `capacity` is the size of the whole area, NUL included. False when the
// converted text came within two bytes of the area's end, where the
// conversion may have stopped before a character that did not fit.
// The text is read in the encoding it declares (FindDeclaredEncoding with the
// server's `contentType`); Shift_JIS stays as it is, half-width katakana
// included, but for its line ends. Where nothing (or ISO-2022-JP) is
// declared: UTF-8 when IsUtf8Text says so, else ConvertToShiftJis's guess.
bool NormalizePageText(char* text, size_t capacity, std::string_view contentType = {});

// Removes the first occurrence of `label` (exact bytes) and closes the gap.
void RemoveFirst(char* text, std::string_view label);

}  // namespace mireva::hovrel
