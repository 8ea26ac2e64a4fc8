#include <algorithm>

#include <gtest/gtest.h>

#include "services/StringUtils.h"

using vpcore::StringUtils::compareNoCase;
using vpcore::StringUtils::split2;
using vpcore::StringUtils::tokenize;
using vpcore::StringUtils::wrapText;

namespace {

using Strings = std::vector<std::string>;

TEST(StringUtilsTest, TokenizeKeepsNonEmptyRunsBetweenAnyDelimiter) {
    struct Case {
        std::string text;
        std::string delimiters;
        Strings expected;
    };
    const Case cases[] = {
        {"a,,b", ",", {"a", "b"}},
        {",a,", ",", {"a"}},
        {",,,", ",", {}},
        {"", ",", {}},
        {"12345, Springfield ,IL", ",", {"12345", " Springfield ", "IL"}},
        {"a b\tc  d", " \t", {"a", "b", "c", "d"}},
        {"abc", "", {"abc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "' delimiters '" + c.delimiters + "'");
        Strings out;
        tokenize(c.text, out, c.delimiters);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(StringUtilsTest, TokenizeAndSplit2AppendToWhatIsThere) {
    Strings out{"kept"};
    tokenize("x y", out, " ");
    split2("k=v", out, "=");
    EXPECT_EQ(out, (Strings{"kept", "x", "y", "k", "v"}));
}

TEST(StringUtilsTest, Split2CutsAtTheFirstSeparatorOnly) {
    struct Case {
        std::string text;
        std::string separator;
        Strings expected;
    };
    const Case cases[] = {
        {"key=value=x", "=", {"key", "value=x"}},
        {"abc", "=", {}},
        {"=x", "=", {"", "x"}},
        {"x=", "=", {"x", ""}},
        {"40.7 -74.0", " ", {"40.7", "-74.0"}},
        {"a::b::c", "::", {"a", "b::c"}},
        {"", "=", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "' separator '" + c.separator + "'");
        Strings out;
        split2(c.text, out, c.separator);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(StringUtilsTest, WrapTextBreaksLongLinesBetweenWords) {
    struct Case {
        std::string text;
        unsigned int width;
        std::string expected;
    };
    const Case cases[] = {
        // A broken line ends at its last word, with no blank before the break.
        {"one two three", 8, "one two\nthree\n"},
        {"short", 80, "short\n"},
        {"exactly8", 8, "exactly8\n"},
        {"", 10, ""},
        // Empty lines vanish; every line ends with a newline.
        {"a\n\nb\n", 10, "a\nb\n"},
        // A word longer than the width stays whole, with no empty line before it.
        {"abcdefghijkl", 5, "abcdefghijkl\n"},
        {"abcdefghijkl xy", 5, "abcdefghijkl\nxy\n"},
        {"xy abcdefghijkl z", 5, "xy\nabcdefghijkl\nz\n"},
        // The word that causes a break counts on its new line: no line runs past the width.
        {"aaa bbb ccc ddd eee", 8, "aaa bbb\nccc ddd\neee\n"},
        // Words that fill the width exactly stay on the line; one character more breaks.
        {"aaa bbb ccc", 7, "aaa bbb\nccc\n"},
        {"aaa bbbb cc", 7, "aaa\nbbbb cc\n"},
        // Runs of blanks between words collapse to one.
        {"one   two    three", 8, "one two\nthree\n"},
        // Short lines, blanks and all, are kept as they are.
        {"  ", 8, "  \n"},
        // A line of blanks only that is longer than the width becomes an empty line and
        // leaves the lines before it alone.
        {"                    ", 8, "\n"},
        {"first line\n                    \nlast", 12, "first line\n\nlast\n"},
        {"first line of text\n                    ", 12, "first line\nof text\n\n"},
        // Width counts characters: "é" and "–" take two and three bytes of UTF-8 each.
        {"caf\xc3\xa9 caf\xc3\xa9", 9, "caf\xc3\xa9 caf\xc3\xa9\n"},
        {"a \xe2\x80\x93 b c", 5, "a \xe2\x80\x93 b\nc\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "' width " + std::to_string(c.width));
        EXPECT_EQ(wrapText(c.text, c.width), c.expected);
    }
}

// An alert summary as the feeds send it: one line of several hundred characters. Wrapped for
// the columns the alert page shows, every line fits, none is empty or ends in a blank, each
// is as full as the next word allows (no orphan word), and the words come out as they went in.
TEST(StringUtilsTest, WrapTextFillsEachLineOfALongSummaryOnceAndWithinTheWidth) {
    const std::string summary =
        "...WIND ADVISORY IN EFFECT FROM 6 AM FRIDAY TO 6 PM CST FRIDAY... * WHAT...West "
        "winds 25 to 35 mph with gusts up to 55 mph expected. * WHERE...Upper Santa Cruz "
        "River Valley/Altar Valley, Western Pima County including Ajo/Organ Pipe Cactus "
        "National Monument, Southeast Pinal County and Upper San Pedro River Valley. * "
        "WHEN...From 6 AM to 6 PM MST Friday \xe2\x80\x93 strongest near noon. * "
        "IMPACTS...Gusty winds will blow around unsecured objects.";
    for (const unsigned int width : {70u, 74u, 40u}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const std::string wrapped = wrapText(summary, width);
        ASSERT_FALSE(wrapped.empty());
        EXPECT_EQ(wrapped.back(), '\n');
        Strings lines;
        vpcore::StringUtils::tokenize(wrapped, lines, "\n");
        EXPECT_EQ(static_cast<std::size_t>(std::count(wrapped.begin(), wrapped.end(), '\n')),
                  lines.size())
            << "no empty line";
        Strings words;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            SCOPED_TRACE("line '" + line + "'");
            // The en dash is three bytes and one column.
            const std::size_t columns =
                line.size() -
                2 * static_cast<std::size_t>(line.find("\xe2\x80\x93") != std::string::npos);
            EXPECT_LE(columns, width);
            EXPECT_NE(line.front(), ' ');
            EXPECT_NE(line.back(), ' ');
            if (i + 1 < lines.size()) {
                const std::string nextWord = lines[i + 1].substr(0, lines[i + 1].find(' '));
                EXPECT_GT(columns + 1 + nextWord.size(), width) << "the next word would fit";
            }
            vpcore::StringUtils::tokenize(line, words, " ");
        }
        Strings original;
        vpcore::StringUtils::tokenize(summary, original, " ");
        EXPECT_EQ(words, original);
    }
}

TEST(StringUtilsTest, CompareNoCaseOrdersIgnoringCase) {
    struct Case {
        std::string a;
        std::string b;
        int sign;
    };
    const Case cases[] = {
        {"ABC", "abd", -1}, {"Abc", "aBC", 0}, {"b", "A", 1},
        {"", "", 0},        {"ab", "ABC", -1}, {"St. Louis", "ST. LOUIS", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.a + "' vs '" + c.b + "'");
        const int result = compareNoCase(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

TEST(StringUtilsTest, TrimDropsWhiteSpaceAtBothEndsOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"  Denton, TX \r\n", "Denton, TX"},
        {"\t\f\vKDTO\n", "KDTO"},
        {"San  Jose", "San  Jose"},
        {" \r\n\t ", ""},
        {"", ""},
        {"x", "x"},
        {"\xC2\xA0NBSP\xC2\xA0", "\xC2\xA0NBSP\xC2\xA0"},  // UTF-8 no-break space is text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.first + "'");
        EXPECT_EQ(vpcore::StringUtils::trim(c.first), c.second);
    }
}

TEST(StringUtilsTest, ToLowerFoldsAsciiAndLeavesOtherBytesAlone) {
    const std::pair<const char*, const char*> cases[] = {
        {"NorthNorthEast", "northnortheast"},
        {"TX", "tx"},
        {"St. Mary's 2", "st. mary's 2"},
        {"San Jos\xC3\x89", "san jos\xC3\x89"},  // UTF-8 capital E acute stays as it is
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text '") + c.first + "'");
        EXPECT_EQ(vpcore::StringUtils::toLower(c.first), c.second);
    }
}

}  // namespace

TEST(StringUtilsTest, QuotedPrefixCutsLongTextsWithoutSplittingACharacter) {
    struct Case {
        std::string text;
        std::size_t maxLength;
        std::string quoted;
    };
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const std::vector<Case> cases = {
        {"", 5, ""},
        {"short", 5, "short"},
        {"longer", 5, "longe..."},
        {"ab" + euro + "cd", 4, "ab..."},
        {"ab" + euro + "cd", 5, "ab" + euro + "..."},
        {euro + euro, 1, "..."},
        {std::string(1000, 'x'), vpcore::StringUtils::kQuotedPrefixLength,
         std::string(200, 'x') + "..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        EXPECT_EQ(vpcore::StringUtils::quotedPrefix(c.text, c.maxLength), c.quoted);
    }
    EXPECT_EQ(vpcore::StringUtils::quotedPrefix(std::string(300, 'y')).size(), 203u);
}
