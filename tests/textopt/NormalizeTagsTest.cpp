// NormalizeTags under both quote rules: line feeds, quotes that can go, and the blanks between
// attributes, inside the tags of the known-tag table only.
#include <gtest/gtest.h>

#include <string>

#include "CaseTable.h"
#include "textopt/TagPasses.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

// One input under both rules: `strict` and `lax` are the expected texts.
struct QuoteCase {
    std::string name;
    std::string input;
    std::string strict;
    std::string lax;
};

class NormalizeTagsTable : public testing::TestWithParam<QuoteCase> {};
TEST_P(NormalizeTagsTable, GivesTheExpectedTextUnderBothRules) {
    const QuoteCase& row = GetParam();
    PageOptions options;
    options.quotes = QuoteRule::kStrict;
    ExpectPassRow(NormalizeTags, options, {row.name + " (strict)", row.input, row.strict});
    options.quotes = QuoteRule::kLax;
    ExpectPassRow(NormalizeTags, options, {row.name + " (lax)", row.input, row.lax});
}

const QuoteCase kExamples[] = {
    {"the example", "<TD ALIGN='center'  WIDTH = '100%'>", "<TD ALIGN=center WIDTH='100%'>",
     "<TD ALIGN=center WIDTH=100%>"},
    {"plain address", "<A HREF='page.htm'>", "<A HREF=page.htm>", "<A HREF=page.htm>"},
    {"address with a folder", "<A HREF='dir/page.htm'>", "<A HREF='dir/page.htm'>",
     "<A HREF=dir/page.htm>"},
    {"line feeds between attributes", "<IMG\nSRC=\"a.gif\"\n  WIDTH=\"10\">",
     "<IMG SRC=a.gif WIDTH=10>", "<IMG SRC=a.gif WIDTH=10>"},
    {"letters, digits, dot and dash", "<FONT FACE='a.b-d' SIZE=\"2\">", "<FONT FACE=a.b-d SIZE=2>",
     "<FONT FACE=a.b-d SIZE=2>"},
};
INSTANTIATE_TEST_SUITE_P(Examples, NormalizeTagsTable, testing::ValuesIn(kExamples),
                         RowName<QuoteCase>);

const QuoteCase kEdges[] = {
    {"underscore keeps its quotes", "<A ALT='a_b'>", "<A ALT='a_b'>", "<A ALT='a_b'>"},
    {"space keeps its quotes", "<A TITLE='a b'>", "<A TITLE='a b'>", "<A TITLE='a b'>"},
    {"= ~ keep their quotes", "<A HREF='a=b' ID='~x'>", "<A HREF='a=b' ID='~x'>",
     "<A HREF='a=b' ID='~x'>"},
    {"lax-only bytes", "<A HREF='#top' B='a:b;c?d@e' C='$5%&'>",
     "<A HREF='#top' B='a:b;c?d@e' C='$5%&'>", "<A HREF=#top B=a:b;c?d@e C=$5%&>"},
    {"empty value keeps its quotes", "<INPUT VALUE=''>", "<INPUT VALUE=''>", "<INPUT VALUE=''>"},
    {"double and single quotes", "<TD A=\"x\" B='y'>", "<TD A=x B=y>", "<TD A=x B=y>"},
    {"line feed inside quotes stays", "<A TITLE='a\nb'>", "<A TITLE='a\nb'>", "<A TITLE='a\nb'>"},
    {"spaces inside quotes stay", "<A TITLE='a  b'  >", "<A TITLE='a  b'>", "<A TITLE='a  b'>"},
    {"quoted > keeps its quotes", "<A TITLE='a>b'>", "<A TITLE='a>b'>", "<A TITLE='a>b'>"},
    {"unknown tags are left alone", "<Q CITE='x'  ID='y'>", "<Q CITE='x'  ID='y'>",
     "<Q CITE='x'  ID='y'>"},
    {"P is not a known tag", "<P ALIGN='center'>", "<P ALIGN='center'>", "<P ALIGN='center'>"},
    {"close tags are left alone", "</TD  >", "</TD  >", "</TD  >"},
    {"attribute without value", "<INPUT  CHECKED  NAME='a'>", "<INPUT CHECKED NAME=a>",
     "<INPUT CHECKED NAME=a>"},
    {"quotes next to the next attribute", "<A HREF='x'TITLE='y'>", "<A HREF=x TITLE=y>",
     "<A HREF=x TITLE=y>"},
    {"space before a slash stays", "<IMG SRC='a' />", "<IMG SRC=a />", "<IMG SRC=a />"},
    {"quote before a slash", "<IMG SRC='a'/>", "<IMG SRC=a />", "<IMG SRC=a />"},
    {"slash inside a lax value", "<A HREF='x/'>", "<A HREF='x/'>", "<A HREF=x/>"},
    {"a tag inside a script is script text", "<SCRIPT>w('<A HREF=\"x\">')</SCRIPT>",
     "<SCRIPT>w('<A HREF=\"x\">')</SCRIPT>", "<SCRIPT>w('<A HREF=\"x\">')</SCRIPT>"},
    {"SCRIPT's own tag", "<SCRIPT LANGUAGE='JavaScript'>", "<SCRIPT LANGUAGE=JavaScript>",
     "<SCRIPT LANGUAGE=JavaScript>"},
    {"a run of blanks holding a tab is left as it is", "<TD \tALIGN='x'>", "<TD \tALIGN=x>",
     "<TD \tALIGN=x>"},
    {"a tab ends no tag name", "<TD\tALIGN='x'>", "<TD\tALIGN='x'>", "<TD\tALIGN='x'>"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, NormalizeTagsTable, testing::ValuesIn(kEdges),
                         RowName<QuoteCase>);

// Quotes were read without regard to where a browser sees a value: an `=` inside an unquoted
// value began another value, and a blank before `=` was taken out where the `=` began a name.
const QuoteCase kFixes[] = {
    {"= inside an unquoted value", "<A HREF=x='y'>", "<A HREF=x='y'>", "<A HREF=x='y'>"},
    {"= after a value joins nothing", "<A HREF=x =y>", "<A HREF=x =y>", "<A HREF=x =y>"},
    {"= right after the tag name", "<A =x>", "<A =x>", "<A =x>"},
    // TagBodyLength takes the apostrophe for a quote and reads on past the tag.
    {"apostrophe in an unquoted value", "<A TITLE=it's  HREF='x'>", "<A TITLE=it's  HREF='x'>",
     "<A TITLE=it's  HREF='x'>"},
    {"apostrophe, then the tag's own end", "<A TITLE=it's  HREF='x'>'>",
     "<A TITLE=it's  HREF='x'>'>", "<A TITLE=it's  HREF='x'>'>"},
    // A browser ends this tag at the `>` in `(a>b)`: compacting by TagBodyLength's end would
    // change the text after it.
    {"browser ends the tag elsewhere: left alone", "<A ONCLICK=f(a>b  c)  X='y'>",
     "<A ONCLICK=f(a>b  c)  X='y'>", "<A ONCLICK=f(a>b  c)  X='y'>"},
};
INSTANTIATE_TEST_SUITE_P(FixedFaults, NormalizeTagsTable, testing::ValuesIn(kFixes),
                         RowName<QuoteCase>);

const QuoteCase kEndings[] = {
    {"unclosed tag", "<TD  ALIGN='x'", "<TD ALIGN=x ", "<TD ALIGN=x "},
    {"unclosed quoted value", "<TD ALIGN='x", "<TD ALIGN='x", "<TD ALIGN='x"},
    {"value at the end", "<TD ALIGN=", "<TD ALIGN=", "<TD ALIGN="},
    {"just the name", "<TD", "<TD", "<TD"},
    {"empty text", "", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, NormalizeTagsTable, testing::ValuesIn(kEndings),
                         RowName<QuoteCase>);

const QuoteCase kHighBytes[] = {
    {"UTF-8 keeps the quotes", "<A TITLE='\xC3\xA9'>", "<A TITLE='\xC3\xA9'>",
     "<A TITLE='\xC3\xA9'>"},
    {"UTF-8 before a quote is no blank", "<A TITLE=\xC3\xA9'x'>", "<A TITLE=\xC3\xA9'x'>",
     "<A TITLE=\xC3\xA9'x'>"},
    {"deleted bytes between attributes", "<IMG SRC=a \0\0\0 ALT=b>"s, "<IMG SRC=a ALT=b>",
     "<IMG SRC=a ALT=b>"},
    {"deleted attribute before >", "<IMG SRC=a \0\0\0>"s, "<IMG SRC=a>", "<IMG SRC=a>"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, NormalizeTagsTable, testing::ValuesIn(kHighBytes),
                         RowName<QuoteCase>);

}  // namespace
}  // namespace quillon::test
