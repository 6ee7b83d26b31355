// Small Unicode helpers on UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace zuv {

// Code points of UTF-8 text; an invalid byte becomes U+FFFD.
std::u32string DecodeUtf8(std::string_view utf8);
std::string EncodeUtf8(std::u32string_view text);
// UTF-8 text as UTF-16 (characters outside the BMP as surrogate pairs), and back; an unpaired
// surrogate reads as U+FFFD.
std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);

// Upper case of one code point, as the registry folds names.
char32_t UpperCase(char32_t c);

// <0, 0, >0: the two texts compared code point by code point after upper-casing.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Upper-cased copy, for use as a map key.
std::u32string FoldedKey(std::string_view utf8);

// Whether the whole text is a number: optional blanks, sign, digits with optional decimal
// point and fraction, optional exponent, optional blanks. The empty text is not.
bool IsNumericText(std::string_view text);
// The number formed by the longest leading run that reads as a decimal number (blanks are
// skipped); 0 when there is none.
double ValueOfText(std::string_view text);
// Whether every byte is seven-bit: such text is the same in UTF-8 and in every ANSI code
// page, and it is almost all the registry names and values this program handles.
bool IsAscii(std::string_view text);
// The text without the spaces before and after it.
std::string TrimBlanks(std::string_view text);
// A number as text: whole numbers without a decimal point, others in shortest form.
std::string NumberToText(double number);

// Characters a reader cannot see or that change how the text around them reads: the control
// characters (C0, DEL, C1), the line and paragraph separators and the bidirectional controls.
bool IsInvisibleControl(char32_t c);
// Blanks of any script: the space, the no-break and ideographic spaces and the other Unicode
// spaces, and the zero-width space and no-break space.
bool IsBlankCharacter(char32_t c);
// The text with every invisible control written out, so that one line stays one line and reads
// as it is stored: C0 characters and DEL as \xHH, the others as \uHHHH; a byte that is not
// UTF-8 as \xHH. With `quoted`, '"' and '\' are escaped too.
std::string EscapeInvisible(std::string_view utf8, bool quoted = false);

// The text unchanged when it holds at most `maxChars` characters; otherwise its beginning and
// its end around "…", `maxChars` characters in all, so a long name stays recognisable.
std::string ShortenMiddle(std::string_view utf8, std::size_t maxChars);
// ShortenMiddle for each part of a text between backslashes, as the levels of a key path.
std::string ShortenLevels(std::string_view utf8, std::size_t maxChars);

}  // namespace zuv
