#include "services/StringUtils.h"

#include <algorithm>

namespace vpcore {
namespace StringUtils {

void tokenize(const std::string& text, std::vector<std::string>& out,
              const std::string& delimiters) {
    std::string::size_type start = text.find_first_not_of(delimiters);
    while (start != std::string::npos) {
        const std::string::size_type end = text.find_first_of(delimiters, start);
        out.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(delimiters, end);
    }
}

void split2(const std::string& text, std::vector<std::string>& out, const std::string& separator) {
    const std::string::size_type pos = text.find(separator);
    if (pos == std::string::npos) {
        return;
    }
    out.push_back(text.substr(0, pos));
    out.push_back(text.substr(pos + separator.size()));
}

namespace {

// Characters, not bytes: a UTF-8 sequence takes one column on the screen.
std::size_t columnsOf(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

}  // namespace

std::string wrapText(const std::string& text, unsigned int width) {
    std::vector<std::string> lines;
    tokenize(text, lines, "\n");

    std::string result;
    for (const std::string& line : lines) {
        if (columnsOf(line) <= width) {
            result += line;
            result += "\n";
            continue;
        }
        std::vector<std::string> words;
        tokenize(line, words, " ");
        // Each output line holds as many words as fit in width with one blank between them,
        // and ends at its last word: the text is shown as it is broken here, so no line may
        // run past the width (the display would break it again and leave an orphan word) or
        // end in a blank. A word longer than width has a line of its own.
        std::size_t used = 0;
        for (const std::string& word : words) {
            const std::size_t length = columnsOf(word);
            if (used > 0 && used + 1 + length > width) {
                result += "\n";
                used = 0;
            }
            if (used > 0) {
                result += " ";
                ++used;
            }
            result += word;
            used += length;
        }
        result += "\n";
    }
    return result;
}

int compareNoCase(const std::string& a, const std::string& b) {
    return toLower(a).compare(toLower(b));
}

std::string trim(const std::string& text) {
    static const char* const kWhitespace = " \t\r\n\f\v";
    const std::string::size_type first = text.find_first_not_of(kWhitespace);
    if (first == std::string::npos) {
        return std::string();
    }
    const std::string::size_type last = text.find_last_not_of(kWhitespace);
    return text.substr(first, last - first + 1);
}

std::string toLower(std::string text) {
    // By hand rather than std::tolower, which follows the process locale (a Turkish one
    // lower-cases 'I' to a dotless i in its single-byte code page).
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

std::string quotedPrefix(const std::string& text, std::size_t maxLength) {
    std::size_t length = std::min(text.size(), maxLength);
    // Back off to the start of a UTF-8 sequence (continuation bytes are 10xxxxxx).
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::string quoted = text.substr(0, length);
    if (length < text.size()) {
        quoted += "...";
    }
    return quoted;
}

}  // namespace StringUtils
}  // namespace vpcore
