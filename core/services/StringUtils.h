// Splitting, wrapping and comparing narrow strings; used by the providers, the code tables
// and the alert display texts. Stateless, callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "services/VpCoreExport.h"

namespace vpcore {
namespace StringUtils {

// Appends every maximal run of characters not in delimiters; empty tokens never appear.
VPCORE_EXPORT void tokenize(const std::string& text, std::vector<std::string>& out,
                            const std::string& delimiters);

// Appends the parts before and after the first occurrence of separator (either may be
// empty); appends nothing when separator does not occur.
VPCORE_EXPORT void split2(const std::string& text, std::vector<std::string>& out,
                          const std::string& separator);

// Breaks lines longer than width (in characters of UTF-8) between words, so that no line is
// longer than width unless it is a single word longer than width, which stays whole. Every
// output line ends with "\n" and never with a blank; runs of blanks in a broken line become
// one; empty lines vanish, and a line of blanks only that is longer than width becomes an
// empty line.
VPCORE_EXPORT std::string wrapText(const std::string& text, unsigned int width);

// Case-insensitive comparison: negative, 0 or positive.
VPCORE_EXPORT int compareNoCase(const std::string& a, const std::string& b);

// The text without leading and trailing white space (blank, tab, CR, LF, FF, VT).
VPCORE_EXPORT std::string trim(const std::string& text);

// ASCII lower case; other bytes (UTF-8 sequences) are left alone.
VPCORE_EXPORT std::string toLower(std::string text);

// How much of a bad input line a log line quotes.
constexpr std::size_t kQuotedPrefixLength = 200;

// The text as a log line may quote it: at most maxLength bytes (never cutting a UTF-8
// sequence), then "..." when something was left out.
VPCORE_EXPORT std::string quotedPrefix(const std::string& text,
                                       std::size_t maxLength = kQuotedPrefixLength);

}  // namespace StringUtils
}  // namespace vpcore
