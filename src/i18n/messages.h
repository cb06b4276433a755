// The program's own texts in the user's language. The English text is the
// key (and the text itself in English); each other language has a gettext
// catalogue, po/<language>.po, compiled with msgfmt at build time and built
// into the program, so no catalogue files or libintl are needed at run time.
//
//   i18n::set_language(i18n::language_from_environment());
//   std::cout << i18n::tr("Creating {1}", path);
//
// Placeholders are {1}, {2}, ... so that a translation may put them in
// another order. The texts the old program showed (its message boxes and
// captions) are Japanese in every language and do not go through here.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace mirutone::i18n {

enum class Language { English, Japanese };

// Japanese when the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty starts with "ja"; when none is set, the language of the system's
// user interface where the system has one (Windows); English otherwise.
Language language_from_environment();
Language language_from_locale_name(std::string_view name);

// The language of every later tr(); English until set. Set it once at start,
// before any other thread runs.
void set_language(Language language);
Language language();

// Marks a text to be translated where it is used later (for xgettext's
// keyword N_); returns it unchanged.
constexpr const char* N_(const char* msgid) { return msgid; }

// Replaces {1}..{count} in `pattern` with args[0]..; other braces stay.
std::string substitute(std::string_view pattern, const std::string* args, std::size_t count);

inline std::string to_text(const std::string& s) { return s; }
inline std::string to_text(std::string_view s) { return std::string(s); }
inline std::string to_text(const char* s) { return s; }
std::string to_text(long long n);  // digits grouped by three: 1,234,567
inline std::string to_text(long n) { return to_text(static_cast<long long>(n)); }
inline std::string to_text(int n) { return to_text(static_cast<long long>(n)); }
inline std::string to_text(unsigned n) { return to_text(static_cast<long long>(n)); }
inline std::string to_text(unsigned long n) { return to_text(static_cast<long long>(n)); }
inline std::string to_text(unsigned long long n) { return to_text(static_cast<long long>(n)); }

// `msgid` in the current language (msgid itself where no translation exists),
// with {n} replaced by the n-th argument.
std::string tr(std::string_view msgid);
template <typename... Args>
std::string tr(std::string_view msgid, const Args&... args) {
  const std::string list[] = {to_text(args)...};
  return substitute(tr(msgid), list, sizeof...(Args));
}

// A compiled catalogue (the GNU .mo format) read into a table; throws
// std::runtime_error when the bytes are not one.
std::unordered_map<std::string, std::string> parse_mo(std::string_view bytes);

// The catalogue built into the program for `language` (empty for English).
const std::unordered_map<std::string, std::string>& catalogue(Language language);

// Columns `text` takes on a terminal: two for East Asian wide characters.
std::size_t display_width(std::string_view text);
// `text` broken into lines of at most `width` columns: at spaces, or between
// two wide characters; a word longer than a line is left whole. Lines after
// the first begin with `indent` (not counted in `width`).
std::string wrap(std::string_view text, std::size_t width, std::string_view indent = "");

// What redraws a progress line over the one before it, `previous_width`
// columns wide: with ANSI escapes a carriage return and a clear to the end of
// the line; without them (the console of Windows 7) a carriage return and
// `line` padded with spaces over what is left of the earlier one.
std::string redraw_line(std::string_view line, std::size_t previous_width, bool escapes);

}  // namespace mirutone::i18n
