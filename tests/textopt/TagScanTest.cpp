// The tag scanners: where a tag ends, which table a tag name is in, and the region skips.
#include <gtest/gtest.h>

#include <string>

#include "CaseTable.h"
#include "textopt/TagScan.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

// Index of the last byte of `prefix`: where a skip that ends there must return.
constexpr TextLength EndOf(std::string_view prefix) {
    return static_cast<TextLength>(prefix.size()) - 1;
}
constexpr TextLength kUnchanged = -100;  // the skip returns the index it was given
constexpr TextLength kToLength = -200;   // the region runs to the end of the text

struct LengthRow {
    std::string name;
    std::string text;
    TextLength expected;
};

// ---- TagBodyLength: the text starts just after the `<`; the result indexes the closing `>`.

class TagBodyLengthTable : public testing::TestWithParam<LengthRow> {};

TEST_P(TagBodyLengthTable, FindsTheClosingBracket) {
    const auto text = Bytes(GetParam().text);
    EXPECT_EQ(TagBodyLength(text.data(), text.data() + text.size()), GetParam().expected)
        << Visible(GetParam().text);
}

const LengthRow kTagBodyExamples[] = {
    {"plain tag", "P>", 1},
    {"attributes", "TD ALIGN=center>x", 15},
    {"single-quoted > stays inside", "A HREF='a>b'>", 12},
    {"parenthesised > stays inside", "IMG ALT=(a>b)>", 13},
};
INSTANTIATE_TEST_SUITE_P(Examples, TagBodyLengthTable, testing::ValuesIn(kTagBodyExamples),
                         RowName<LengthRow>);

const LengthRow kTagBodyEdges[] = {
    {"empty body", ">", 0},
    {"double-quoted > stays inside", "A T=\"x>y\">", 9},
    {"double > inside quotes ends the tag", "A T='x>>y'>", 7},
    {"other quote inside quotes is text", "A T=\"it's\">z", 10},
    {"parenthesis inside quotes is text", "A T='(x'>", 8},
    {"quote inside parentheses is text", "A (it's)>", 8},
    {"close parenthesis alone changes nothing", "A )>", 3},
    {"> right after the opening quote", "'>'>", 3},
    {"later > after a closed quote", "A T='x' B>", 9},
    {"> right after a closing quote", "A T='x'>", 7},
    {"quoted > right after the opening quote, then text", "'>a'>", 4},
    {"double > right after the opening quote", "A T='>>x'>", 6},
    {"double > right after an opening parenthesis", "(>>)>", 2},
    {"parenthesis closed by the byte before >", "A (x)>", 5},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, TagBodyLengthTable, testing::ValuesIn(kTagBodyEdges),
                         RowName<LengthRow>);

const LengthRow kTagBodyEndings[] = {
    {"empty text", "", 0},
    {"no closing bracket", "ABC", 3},
    {"unclosed quote steps over every >", "A T='x>y>z", 10},
    {"quoted > as the last byte", "A='>", 4},
    {"cut inside quotes", "A T=\"x", 6},
    {"unclosed parenthesis", "A (x>", 5},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, TagBodyLengthTable, testing::ValuesIn(kTagBodyEndings),
                         RowName<LengthRow>);

const LengthRow kTagBodyHighBytes[] = {
    {"deleted byte is plain text", "A\0B>"s, 3},
    {"UTF-8 is plain text", "A T=\xC3\xA9>", 6},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, TagBodyLengthTable, testing::ValuesIn(kTagBodyHighBytes),
                         RowName<LengthRow>);

// ---- The classifiers, given the position of the `<`.

struct ClassRow {
    std::string name;
    std::string text;
    bool preformatted, script, style, known, block;
    bool rawText = false, invisible = false;
};

class ClassifierTable : public testing::TestWithParam<ClassRow> {};

TEST_P(ClassifierTable, PutsTheNameInItsTables) {
    const auto text = Bytes(GetParam().text);
    const std::uint8_t* p = text.data();
    const std::uint8_t* end = p + text.size();
    EXPECT_EQ(IsPreformattedTag(p, end), GetParam().preformatted) << "preformatted";
    EXPECT_EQ(IsScriptTag(p, end), GetParam().script) << "script";
    EXPECT_EQ(IsStyleTag(p, end), GetParam().style) << "style";
    EXPECT_EQ(IsKnownTag(p, end), GetParam().known) << "known";
    EXPECT_EQ(IsBlockTag(p, end), GetParam().block) << "block";
    EXPECT_EQ(IsRawTextTag(p, end), GetParam().rawText) << "raw text";
    EXPECT_EQ(IsInvisibleTag(p, end), GetParam().invisible) << "invisible";
}

//                                   pre    script style  known  block  raw    invisible
const ClassRow kClassExamples[] = {
    {"PRE", "<PRE>", true, false, false, true, false},
    {"pre with attributes", "<pre class=x>", true, false, false, true, false},
    {"XMP", "<xmp>", true, false, false, false, false, true},
    {"PLAINTEXT", "<PLAINTEXT>", true, false, false, false, false, true},
    {"NOOP", "<NOOP>", true, false, false, false, false},
    {"SCRIPT shows nothing", "<script type=x>", false, true, false, true, false, false, true},
    {"STYLE", "<Style>", false, false, true, true, false},
    {"P", "<P>", false, false, false, false, true},
    {"close P", "</p>", false, false, false, false, true},
    {"B", "<B>", false, false, false, true, false},
    {"A with attributes", "<a href=x>", false, false, false, true, false},
    {"LI", "<LI>", false, false, false, true, true},
    {"BR", "<br>", false, false, false, true, true},
    {"TH", "<TH>", false, false, false, true, false},
    {"close TH", "</TH>", false, false, false, false, false},
    {"close LI", "</LI>", false, false, false, false, false},
    {"doctype", "<!doctype html>", false, false, false, false, true},
    {"BLOCKQUOTE", "<BLOCKQUOTE>", false, false, false, false, true},
    {"close BLOCKQUOTE", "</blockquote>", false, false, false, false, true},
    {"H6 close", "</H6>", false, false, false, false, true},
    {"TEXTAREA keeps its layout", "<TEXTAREA>", true, false, false, true, false, true},
    {"LISTING keeps its layout", "<listing>", true, false, false, false, false},
    {"TITLE holds text only", "<title>", false, false, false, false, true, true},
    {"IFRAME renders inline", "<IFRAME src=x>", false, false, false, true, false, true},
    {"SELECT renders inline", "<select>", false, false, false, true, false},
    {"NOSCRIPT renders inline", "<NOSCRIPT>", false, false, false, false, false},
    {"APPLET renders inline", "<APPLET>", false, false, false, true, false},
    {"close SCRIPT shows nothing", "</script>", false, false, false, false, false, false, true},
    {"META shows nothing", "<META name=x>", false, false, false, true, false, false, true},
    {"NOFRAMES holds text only", "<noframes>", false, false, false, false, false, true, true},
};
INSTANTIATE_TEST_SUITE_P(Examples, ClassifierTable, testing::ValuesIn(kClassExamples),
                         RowName<ClassRow>);

const ClassRow kClassEdges[] = {
    {"space after <", "< PRE>", false, false, false, false, false},
    {"line feed ends the name", "<Pre\nclass=x>", true, false, false, true, false},
    {"tab does not end the name", "<PRE\t>", false, false, false, false, false},
    {"longer name", "<PREX>", false, false, false, false, false},
    {"close PRE", "</PRE>", false, false, false, false, false},
    {"EMBED is not known", "<EMBED>", false, false, false, false, false},
    {"EMBEDED is known", "<EMBEDED>", false, false, false, true, false},
    {"AUDIOSCOPE", "<AUDIOSCOPE>", false, false, false, true, false},
    {"self-closing BR", "<BR/>", false, false, false, false, false},
    {"comment", "<!-- x -->", false, false, false, false, false},
    {"not at a <", "PRE>", false, false, false, false, false},
    {"braces are not letters", "<P{>", false, false, false, false, false},
    {"name cut at 11", "<PLAINTEXTX>", false, false, false, false, false},
    {"name cut at 15", "</BLOCKQUOTEXYZ>", false, false, false, false, false},
    {"300-byte name", "<" + std::string(300, 'P') + ">", false, false, false, false, false},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, ClassifierTable, testing::ValuesIn(kClassEdges),
                         RowName<ClassRow>);

const ClassRow kClassEndings[] = {
    {"lone <", "<", false, false, false, false, false},
    {"PRE at the end", "<PRE", true, false, false, true, false},
    {"P at the end", "<p", false, false, false, false, true},
    {"cut name", "<PR", false, false, false, false, false},
    {"empty text", "", false, false, false, false, false},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, ClassifierTable, testing::ValuesIn(kClassEndings),
                         RowName<ClassRow>);

const ClassRow kClassHighBytes[] = {
    {"deleted byte in the name", "<PR\0E>"s, false, false, false, false, false},
    {"deleted byte after the name", "<PRE\0>"s, false, false, false, false, false},
    {"UTF-8 name", "<\xC3\xA9>", false, false, false, false, false},
    {"high byte after P", "<P\xA0>", false, false, false, false, false},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, ClassifierTable, testing::ValuesIn(kClassHighBytes),
                         RowName<ClassRow>);

// ---- Region skips.

using SkipFunction = TextLength (*)(TextLength, const std::uint8_t*, TextLength);

struct SkipRow {
    std::string name;
    SkipFunction skip;
    std::string text;
    TextLength start;
    TextLength expected;
};

class SkipTable : public testing::TestWithParam<SkipRow> {};

TEST_P(SkipTable, ReturnsTheRegionsLastByte) {
    const SkipRow& row = GetParam();
    const auto text = Bytes(row.text);
    const auto length = static_cast<TextLength>(text.size());
    const TextLength expected = row.expected == kUnchanged  ? row.start
                                : row.expected == kToLength ? length
                                                            : row.expected;
    EXPECT_EQ(row.skip(row.start, text.data(), length), expected) << Visible(row.text);
}

const SkipRow kSkipExamples[] = {
    {"PRE region", SkipPreformatted, "<PRE> a  b </PRE>x", 0, EndOf("<PRE> a  b </PRE>")},
    {"XMP region", SkipPreformatted, "<xmp>a</XMP>b", 0, EndOf("<xmp>a</XMP>")},
    {"PLAINTEXT region", SkipPreformatted, "<PLAINTEXT>a</plaintext>", 0,
     EndOf("<PLAINTEXT>a</plaintext>")},
    {"NOOP region", SkipPreformatted, "<NOOP>a</NOOP>b", 0, EndOf("<NOOP>a</NOOP>")},
    {"close tag with junk", SkipPreformatted, "<PRE>a</pre junk>b", 0, EndOf("<PRE>a</pre junk>")},
    {"close tag with a space", SkipPreformatted, "<PRE>a</PRE >b", 0, EndOf("<PRE>a</PRE >")},
    {"region further on", SkipPreformatted, "ab<PRE>c</PRE>d", 2, EndOf("ab<PRE>c</PRE>")},
    {"not a <", SkipPreformatted, "x<PRE></PRE>", 0, kUnchanged},
    {"other tag", SkipPreformatted, "<P>x</P>", 0, kUnchanged},
    {"SCRIPT block", SkipScriptBlock, "<SCRIPT>a<b</SCRIPT>c", 0, EndOf("<SCRIPT>a<b</SCRIPT>")},
    {"script with attributes", SkipScriptBlock, "<script src=x></script>", 0,
     EndOf("<script src=x></script>")},
    {"STYLE block", SkipStyleBlock, "<style>p{}</STYLE>x", 0, EndOf("<style>p{}</STYLE>")},
    {"known tag", SkipKnownTag, "<IMG SRC=a>b", 0, EndOf("<IMG SRC=a>")},
    {"known tag with quoted >", SkipKnownTag, "<A HREF='x>y'>z", 0, EndOf("<A HREF='x>y'>")},
    {"ASP code", SkipServerCode, "<% x = \"<b>\" %>y", 0, EndOf("<% x = \"<b>\" %>")},
    {"PHP code", SkipServerCode, "<?php echo '<p>'; ?>y", 0, EndOf("<?php echo '<p>'; ?>")},
    {"server code is preformatted", SkipPreformatted, "<%= a  b %>c", 0, EndOf("<%= a  b %>")},
    {"TEXTAREA region", SkipPreformatted, "<textarea>a  b</TEXTAREA>c", 0,
     EndOf("<textarea>a  b</TEXTAREA>")},
    {"LISTING region", SkipPreformatted, "<LISTING> a</listing>b", 0,
     EndOf("<LISTING> a</listing>")},
    {"TITLE holds text", SkipRawText, "<TITLE>a <!-- b --> c</TITLE>d", 0,
     EndOf("<TITLE>a <!-- b --> c</TITLE>")},
    {"server code is raw text", SkipRawText, "<%@ page %>x", 0, EndOf("<%@ page %>")},
    // Found by the idempotence check: the region ran to the end of the page, and only a second
    // run, the line feed made a space, found its close.
    {"name ends at a line feed", SkipRawText, "<IFRAME\nsrc=x>\n</iframe><b>", 0,
     EndOf("<IFRAME\nsrc=x>\n</iframe>")},
    {"PRE holds markup", SkipRawText, "<PRE><b>x</b></PRE>", 0, kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(Examples, SkipTable, testing::ValuesIn(kSkipExamples), RowName<SkipRow>);

const SkipRow kSkipEdges[] = {
    {"PRX does not close", SkipPreformatted, "<PRE>a</PRX>b</PRE>c", 0,
     EndOf("<PRE>a</PRX>b</PRE>")},
    {"PREX does not close", SkipPreformatted, "<PRE>a</PREX>b</PRE>c", 0,
     EndOf("<PRE>a</PREX>b</PRE>")},
    {"other preformatted close", SkipPreformatted, "<PRE>a</XMP>b</PRE>c", 0,
     EndOf("<PRE>a</XMP>b</PRE>")},
    {"space after <", SkipPreformatted, "< PRE>a</PRE>", 0, kUnchanged},
    {"nested open closes at the first close", SkipPreformatted, "<PRE><PRE>a</PRE>b</PRE>", 0,
     EndOf("<PRE><PRE>a</PRE>")},
    {"close tag inside the open tag's quotes", SkipPreformatted, "<PRE title='</PRE>'>a</PRE>b", 0,
     EndOf("<PRE title='</PRE>'>a</PRE>")},
    {"line feed after the open name", SkipPreformatted, "<PRE\nclass=x>a</PRE>b", 0, kToLength},
    {"close tag in script quotes ends the block", SkipScriptBlock,
     "<SCRIPT>x='</SCRIPT>';</SCRIPT>", 0, EndOf("<SCRIPT>x='</SCRIPT>")},
    {"SCRIPTX is no script", SkipScriptBlock, "<SCRIPTX>a</SCRIPTX>", 0, kUnchanged},
    {"style is no script", SkipScriptBlock, "<STYLE>a</STYLE>", 0, kUnchanged},
    {"close script at start", SkipScriptBlock, "</SCRIPT>", 0, kUnchanged},
    {"style close with space", SkipStyleBlock, "<STYLE type=x>a</style >b", 0,
     EndOf("<STYLE type=x>a</style >")},
    {"P is not known", SkipKnownTag, "<P>x", 0, kUnchanged},
    {"unknown tag", SkipKnownTag, "<FOO>x", 0, kUnchanged},
    {"close A is not known", SkipKnownTag, "</A>x", 0, kUnchanged},
    {"start at the end", SkipPreformatted, "<PRE>", 5, kUnchanged},
    {"negative start", SkipPreformatted, "<PRE>", -1, kUnchanged},
    {"the other closer does not end ASP", SkipServerCode, "<% a ?> b %>c", 0,
     EndOf("<% a ?> b %>")},
    {"the opener does not close itself", SkipServerCode, "<%>a%>b", 0, EndOf("<%>a%>")},
    {"closer right after the opener", SkipServerCode, "<%%>b", 0, EndOf("<%%>")},
    {"percent after text is no code", SkipServerCode, "a<b%>", 0, kUnchanged},
    {"space after < is no code", SkipServerCode, "< % x %>", 0, kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, SkipTable, testing::ValuesIn(kSkipEdges), RowName<SkipRow>);

const SkipRow kSkipEndings[] = {
    {"no close tag", SkipPreformatted, "<PRE> a", 0, kToLength},
    {"close tag cut off", SkipPreformatted, "<PRE>a</PRE", 0, kToLength},
    {"close tag without bracket", SkipPreformatted, "<PRE>a</PRE b", 0, kToLength},
    {"open tag cut off", SkipPreformatted, "<PRE", 0, kToLength},
    {"open tag is the whole text", SkipPreformatted, "<PRE>", 0, kToLength},
    {"close tag is the last byte", SkipPreformatted, "<PRE></PRE>", 0, EndOf("<PRE></PRE>")},
    {"unclosed script", SkipScriptBlock, "<SCRIPT>if (a<b) x();", 0, kToLength},
    {"unclosed style", SkipStyleBlock, "<STYLE>p{}", 0, kToLength},
    {"unclosed known tag", SkipKnownTag, "<A HREF=x", 0, kToLength},
    {"known tag with unclosed quote", SkipKnownTag, "<A HREF='x>y", 0, kToLength},
    {"unclosed server code runs to the end", SkipServerCode, "<% a\n<p> b", 0, kToLength},
    {"unclosed PHP runs to the end", SkipPreformatted, "<?php a > b", 0, kToLength},
    {"lone <%", SkipServerCode, "<%", 0, kToLength},
    {"lone < at the end", SkipServerCode, "<", 0, kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, SkipTable, testing::ValuesIn(kSkipEndings),
                         RowName<SkipRow>);

const SkipRow kSkipHighBytes[] = {
    {"deleted byte ends the close name", SkipPreformatted, "<PRE>a</PRE\0>b"s, 0,
     EndOf("<PRE>a</PRE\0>"s)},
    {"deleted byte in the open name", SkipPreformatted, "<PR\0E>a</PRE>"s, 0, kUnchanged},
    {"UTF-8 inside the region", SkipPreformatted, "<PRE>\xC3\xA9 </PRE>\xE2\x80\x94", 0,
     EndOf("<PRE>\xC3\xA9 </PRE>")},
    {"high byte does not end the close name", SkipPreformatted, "<PRE>a</PRE\xA0>b", 0, kToLength},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, SkipTable, testing::ValuesIn(kSkipHighBytes),
                         RowName<SkipRow>);

// ---- Close-tag patterns and matching.

struct PatternRow {
    std::string name;
    std::string openTag;
    std::string expected;
};

class MakeCloseTagPatternTable : public testing::TestWithParam<PatternRow> {};

TEST_P(MakeCloseTagPatternTable, BuildsTheUpperCasedCloseName) {
    const auto text = Bytes(GetParam().openTag);
    const CloseTagPattern pattern = MakeCloseTagPattern(text.data(), text.data() + text.size());
    EXPECT_EQ(Visible(pattern.View()), Visible(GetParam().expected));
}

const PatternRow kPatternRows[] = {
    {"examples: pre with attributes", "<pre class=x>", "</PRE"},
    {"examples: PRE", "<PRE>", "</PRE"},
    {"examples: script", "<script>", "</SCRIPT"},
    {"edge: line feed does not end the name", "<PRE\nclass=x>", "</PRE\nCLASS=X"},
    {"edge: 0x5B to 0x7F move down by 32", "<a{b~>", "</A[B^"},
    {"edge: 255 bytes at most", "<" + std::string(300, 'a') + ">", "</" + std::string(253, 'A')},
    {"endings: name at the end", "<PRE", "</PRE"},
    {"endings: lone <", "<", "</"},
    {"zero: deleted byte ends the name", "<PRE\0x>"s, "</PRE"},
    {"high: UTF-8 stays", "<\xC3\xA9>", "</\xC3\xA9"},
};
INSTANTIATE_TEST_SUITE_P(AllGroups, MakeCloseTagPatternTable, testing::ValuesIn(kPatternRows),
                         RowName<PatternRow>);

struct MatchRow {
    std::string name;
    std::string openTag;
    std::string candidate;
    bool expected;
};

class MatchCloseTagTable : public testing::TestWithParam<MatchRow> {};

TEST_P(MatchCloseTagTable, MatchesOnlyTheSameName) {
    const auto open = Bytes(GetParam().openTag);
    const auto candidate = Bytes(GetParam().candidate);
    const CloseTagPattern pattern = MakeCloseTagPattern(open.data(), open.data() + open.size());
    EXPECT_EQ(MatchCloseTag(pattern, candidate.data(), candidate.data() + candidate.size()),
              GetParam().expected)
        << Visible(GetParam().candidate);
}

const MatchRow kMatchRows[] = {
    {"examples: same name", "<PRE>", "</PRE>", true},
    {"examples: other case and a space", "<PRE>", "</pre >", true},
    {"examples: attributes", "<PRE>", "</PRE class=x>", true},
    {"examples: PRX", "<PRE>", "</PRX>", false},
    {"edge: longer name", "<PRE>", "</PREX>", false},
    {"edge: shorter name", "<PRE>", "</PR>", false},
    {"edge: line feed ends the name", "<PRE>", "</PRE\n>", true},
    {"edge: tab does not", "<PRE>", "</PRE\t>", false},
    {"edge: open tag", "<PRE>", "<PRE>", false},
    {"edge: space after slash", "<PRE>", "</ PRE>", false},
    {"edge: pattern with line feed never matches", "<PRE\nx>", "</PRE\nx>", false},
    {"edge: 254-byte pattern matches", "<" + std::string(252, 'b') + ">",
     "</" + std::string(252, 'B') + ">", true},
    {"edge: 255-byte pattern never matches", "<" + std::string(253, 'b') + ">",
     "</" + std::string(253, 'B') + ">", false},
    {"endings: name ends with the text", "<PRE>", "</PRE", true},
    {"endings: text ends inside the name", "<PRE>", "</P", false},
    {"endings: empty candidate", "<PRE>", "", false},
    {"zero: deleted byte ends the name", "<PRE>", "</PRE\0>"s, true},
    {"zero: deleted byte inside the name", "<PRE>", "</P\0RE>"s, false},
    {"high: byte after the name", "<PRE>", "</PRE\xC3\xA9>", false},
};
INSTANTIATE_TEST_SUITE_P(AllGroups, MatchCloseTagTable, testing::ValuesIn(kMatchRows),
                         RowName<MatchRow>);

// ---- Attribute extents and whitespace runs (the text starts at the attribute or position).

class AttributeExtentTable : public testing::TestWithParam<LengthRow> {};

TEST_P(AttributeExtentTable, EndsJustPastTheValue) {
    const auto text = Bytes(GetParam().text);
    EXPECT_EQ(AttributeExtent(text.data(), text.data() + text.size()), GetParam().expected)
        << Visible(GetParam().text);
}

const LengthRow kAttributeRows[] = {
    {"examples: single-quoted value", "ALT='x y'>", 9},
    {"examples: double-quoted value", "ALT=\"x\">", 7},
    {"examples: unquoted value ends at a space", "WIDTH=10 HEIGHT=2>", 8},
    {"examples: unquoted value ends at >", "WIDTH=10>", 8},
    {"examples: no value", "ISMAP WIDTH=1", 5},
    {"edge: empty quoted value", "ALT=\"\">", 6},
    {"edge: blanks around =", "ALT = 'x'>", 9},
    {"edge: quoted value stops at >", "ALT='a>b'", 6},
    {"edge: unquoted value ends at a line feed", "SRC=a.gif\nALT=x", 9},
    {"edge: tab after = is part of the value", "ALT=\tx>", 6},
    {"edge: the name runs over >", "ISMAP>text more", 10},
    {"endings: unterminated quoted value", "ALT='abc", 8},
    {"endings: = at the end", "ALT=", 4},
    {"endings: name at the end", "ISMAP", 5},
    {"endings: empty text", "", 0},
    {"zero: deleted byte before =", "ALT \0=x>"s, 7},
    {"high: 0xA0 counts as a blank before =", "NOWRAP \xA0 =1>", 11},
    {"high: UTF-8 value", "ALT=\xC3\xA9 x", 6},
};
INSTANTIATE_TEST_SUITE_P(AllGroups, AttributeExtentTable, testing::ValuesIn(kAttributeRows),
                         RowName<LengthRow>);

class SkipWhitespaceTable : public testing::TestWithParam<LengthRow> {};

TEST_P(SkipWhitespaceTable, CountsThePositionAndTheBlanksAfterIt) {
    const auto text = Bytes(GetParam().text);
    EXPECT_EQ(SkipWhitespace(text.data(), text.data() + text.size()), GetParam().expected)
        << Visible(GetParam().text);
}

const LengthRow kWhitespaceRows[] = {
    {"examples: blanks after", "x   y", 4},
    {"examples: none", "xy", 1},
    {"edge: the first byte is not tested", "a b", 2},
    {"edge: control bytes", "x\t\n\r y", 5},
    {"endings: blanks to the end", "x  ", 3},
    {"endings: single byte", "x", 1},
    {"endings: empty text", "", 1},
    {"zero: deleted bytes", "x\0\0y"s, 3},
    {"high: UTF-8 counts as blank", "x\xC3\xA9y", 3},
};
INSTANTIATE_TEST_SUITE_P(AllGroups, SkipWhitespaceTable, testing::ValuesIn(kWhitespaceRows),
                         RowName<LengthRow>);

}  // namespace
}  // namespace quillon::test
