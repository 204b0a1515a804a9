// Text encodings: UTF-8 inside the program, windows-1251 at the edges (wire, log, INI files),
// UTF-16 at the COM and Win32 boundaries. Case-insensitive comparison folding Latin and Cyrillic.
#pragma once

#include <string>
#include <string_view>

namespace corvid {

// Characters that windows-1251 cannot hold become '?'. Invalid UTF-8 bytes become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view cp1251);
// Invalid UTF-8 sequences become U+FFFD; unpaired surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Cp1251ToUtf16(std::string_view cp1251);
std::string Utf16ToCp1251(std::u16string_view utf16);

// Cuts a UTF-8 text so that its windows-1251 form has at most `max_chars` characters.
std::string CutToCp1251Chars(std::string_view utf8, std::size_t max_chars);

// Upper case of Latin and Cyrillic letters (including Ё/ё); other characters unchanged.
std::string UpperCaseText(std::string_view utf8);
std::u16string UpperCaseText(std::u16string_view utf16);
// <0, 0, >0 like strcmp, comparing the upper-case forms code point by code point.
int CompareTextNoCase(std::string_view a, std::string_view b);
bool SameTextNoCase(std::string_view a, std::string_view b);
// A hash of the upper-case form: texts that SameTextNoCase finds equal hash alike.
std::size_t HashTextNoCase(std::string_view utf8);

}  // namespace corvid
