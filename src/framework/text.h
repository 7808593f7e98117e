// Text helpers shared by every layer: trimming, Windows-1252 conversion,
// Spanish case folding. All texts inside the program are UTF-8.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora::text {

// Removes trailing blanks (the stored texts are compared without them).
std::string clip(std::string_view s);

// Keeps at most n characters (code points) of a UTF-8 text.
std::string truncateChars(std::string_view s, size_t n);
size_t charCount(std::string_view s);

// Control characters: the bytes below 32 and DEL (the same in UTF-8 and in
// the older one-byte encodings). Tab, line feed and carriage return are the
// ones a text may carry (a cell with a line break); the others (a NUL byte,
// a form feed, an escape) are never text: a server cuts a text at NUL where
// a file keeps it whole.
// The byte offset of the first control character other than those three,
// or nothing.
std::optional<size_t> findControlCharacter(std::string_view s);
// Whether the text holds any control character, those three included.
bool holdsControlCharacters(std::string_view s);
// The text without control characters. `lineBreaks` keeps tab, line feed
// and carriage return (a memo); otherwise they become blanks (a one-line
// field).
std::string withoutControlCharacters(std::string_view s, bool lineBreaks);
// "U+0000": how the control character at byte `offset` is named in messages.
std::string controlCharacterName(std::string_view s, size_t offset);

std::string fromCp1252(std::string_view bytes);
// Characters with no Windows-1252 form become '?'.
std::string toCp1252(std::string_view utf8);

// Upper case for Spanish text: a-z and the accented Latin-1 letters
// (á -> Á, ñ -> Ñ, ü -> Ü); other characters unchanged.
std::string upper(std::string_view s);

// The value stored in the folded column of a case-insensitive key. Sorting by
// it reads as a Spanish reader expects (accents ignored, ñ right after n,
// then case-folded text with accents to keep "papa" and "papá" apart); two
// texts have the same folded value exactly when they are equal ignoring case.
std::string foldKey(std::string_view s);

// Case-insensitive (ASCII) search, as placeholders are matched.
// `value` with `decimals` fixed decimals and a '.' point, whatever the
// process locale ("-1234.50").
std::string formatFixed(double value, int decimals);
// The same figure found through the value's shortest decimal digits every
// time: the rule itself, which formatFixed takes a shortcut to wherever the
// value is far from a half at `decimals` (for tests of that shortcut).
std::string formatFixedByDigits(double value, int decimals);
// Reads a plain decimal number ("-12.5", "3", "1e3" refused), whatever the
// process locale; nothing unless the whole text is the number.
std::optional<double> parseDecimal(std::string_view s);
// Reads a whole number in full; nothing for "2x", "1.9" or out of range.
std::optional<int64_t> parseInteger(std::string_view s);

size_t findNoCase(std::string_view haystack, std::string_view needle, size_t from = 0);
bool equalsNoCase(std::string_view a, std::string_view b);

// What the system said of a failed file operation, in Spanish ("no existe",
// "permiso denegado"...); the system's own words (in the C locale, English)
// only for a cause without a Spanish text here, after its number.
std::string systemErrorText(std::error_code ec);
// One line in Spanish for an exception that reached the top of a command or
// a window: memory, a path the system refused (with the path), or the
// exception's own text, which ours write in Spanish.
std::string exceptionText(const std::exception& e);

}  // namespace velmora::text
