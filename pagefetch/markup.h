#pragma once
// In-place markup removal on NUL-terminated Shift_JIS text. Every pattern
// starts with "<", which is never the second byte of a Shift_JIS character,
// so a match always begins on a character boundary.
namespace mireva::hovrel {

// Drops every tag ("<" through the next ">"); the bytes between tags stay.
// Each call starts outside a tag, so a page that ends inside an unclosed tag
// does not eat the beginning of the next page.
void RemoveAllMarkup(char* text);

// Removes every occurrence of `pattern` (as written, lower case, or entirely
// in upper case; mixed case does not match) through the next ">". An
// occurrence with no ">" after it cuts the text off where it begins.
void StripTagOpenings(char* text, const char* pattern);

// Removes every element from `open` through the end of the first `close`
// after it (same matching rule). An opening without a closing after it, and
// everything after it, stay as they are.
void StripElements(char* text, const char* open, const char* close);

// The fifteen passes of the tag adjustment, in order: fonts, divisions,
// images, embeds, select lists, scripts, inputs and table structure.
void ApplyTagTable(char* text);

}  // namespace mireva::hovrel
