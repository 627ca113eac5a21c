// The passes that delete comments and whole tags: RemoveComments, RemoveOptionalTags and
// RemoveNoopTags. Every table has the groups "examples", "edge cases", "early endings and
// truncation" and "0 and 0x80-0xFF bytes"; rows for the fixed faults say what went wrong.
#include <gtest/gtest.h>

#include <string>

#include "CaseTable.h"
#include "textopt/TagPasses.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;

// ---- RemoveComments

class RemoveCommentsTable : public testing::TestWithParam<PassCase> {};
TEST_P(RemoveCommentsTable, GivesTheExpectedText) {
    ExpectPassRow(RemoveComments, GetParam());
}

const PassCase kCommentExamples[] = {
    {"plain comment goes, include stays", "a<!-- note -->b<!--#include virtual='x.inc' -->",
     "ab<!--#include virtual='x.inc' -->"},
    {"echo in any case stays", "a<!-- #ECHO var='x' -->b", "a<!-- #ECHO var='x' -->b"},
    {"directive anywhere in the comment", "<!-- last changed #flastmod file='a' -->",
     "<!-- last changed #flastmod file='a' -->"},
    {"every keyword keeps its comment",
     "<!--#command--><!--#config--><!--#fsize--><!--#if--><!--#endif--><!--#set-->"
     "<!--#printenv--><!--#elif--><!--#else--><!--#exec-->",
     "<!--#command--><!--#config--><!--#fsize--><!--#if--><!--#endif--><!--#set-->"
     "<!--#printenv--><!--#elif--><!--#else--><!--#exec-->"},
    {"comment over lines", "a<!-- one\ntwo\n-->b", "ab"},
    {"conditional comment", "<!--[if IE]><p>x</p><![endif]-->y", "y"},
};
INSTANTIATE_TEST_SUITE_P(Examples, RemoveCommentsTable, testing::ValuesIn(kCommentExamples),
                         RowName<PassCase>);

const PassCase kCommentEdges[] = {
    {"comment in PRE stays", "<PRE><!-- x --></PRE><!-- y -->", "<PRE><!-- x --></PRE>"},
    {"comment in XMP stays", "<xmp><!-- x --></xmp>", "<xmp><!-- x --></xmp>"},
    {"comment in SCRIPT stays", "<SCRIPT><!-- x --></SCRIPT><!--y-->",
     "<SCRIPT><!-- x --></SCRIPT>"},
    {"comment in STYLE stays", "<style><!-- p{} --></style>", "<style><!-- p{} --></style>"},
    {"comment in a known tag's value stays", "<A TITLE='<!-- x -->'>l</A>",
     "<A TITLE='<!-- x -->'>l</A>"},
    {"comment in an unknown tag goes", "<Q TITLE='<!-- x -->'>", "<Q TITLE=''>"},
    {"the text between two comments stays", "a<!-- 1 -->b<!-- 2 -->c", "abc"},
    {"hash without a keyword", "<!-- #fff colour -->x", "x"},
    {"directive keyword is matched as a prefix", "<!-- #iffy -->x", "<!-- #iffy -->x"},
    {"comment right after a region", "<PRE>a</PRE><!--b-->c", "<PRE>a</PRE>c"},
    {"not a comment: <!- alone", "<!- x ->y", "<!- x ->y"},
    {"declaration stays", "<!DOCTYPE html><!--x-->", "<!DOCTYPE html>"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, RemoveCommentsTable, testing::ValuesIn(kCommentEdges),
                         RowName<PassCase>);

// A search for `-->` that began 5 bytes after the `<` ran past the end of `<!---->` and took
// the page text up to the next comment's end with it ("a<!---->b<!-- x -->c" became "ac").
const PassCase kCommentFixes[] = {
    {"empty comment ends at its own end", "a<!---->b<!-- x -->c", "abc"},
    {"empty comment before a directive", "a<!---->b<!--#echo var='x' -->",
     "ab<!--#echo var='x' -->"},
    {"abrupt empty comment <!-->", "a<!-->b<!-- x -->c", "abc"},
    {"abrupt empty comment <!--->", "a<!--->b<!-- x -->c", "abc"},
    {"comment closed by --!>", "a<!-- x --!>b<!-- y -->c", "abc"},
    {"three dashes before the bracket", "a<!-- x --->b", "ab"},
};
INSTANTIATE_TEST_SUITE_P(FixedFaults, RemoveCommentsTable, testing::ValuesIn(kCommentFixes),
                         RowName<PassCase>);

const PassCase kCommentEndings[] = {
    {"unclosed comment runs to the end", "a<!-- x", "a"},
    {"unclosed comment with a directive stays", "a<!--#include", "a<!--#include"},
    {"keyword cut off by the end counts", "a<!-- #inc", "a<!-- #inc"},
    {"just <!--", "<!--", ""},
    {"<!-- at the very end after text", "text<!--", "text"},
    {"<!- at the end", "a<!-", "a<!-"},
    {"empty text", "", ""},
    {"unclosed PRE protects to the end", "<PRE><!-- x", "<PRE><!-- x"},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, RemoveCommentsTable, testing::ValuesIn(kCommentEndings),
                         RowName<PassCase>);

const PassCase kCommentHighBytes[] = {
    {"UTF-8 inside a comment goes with it", "\xC3\xA9<!-- \xE2\x80\x94 -->\xC3\xA9",
     "\xC3\xA9\xC3\xA9"},
    {"deleted bytes in a comment", "a<!--\0x\0-->b"s, "ab"},
    {"0 byte inside <!--", "a<!\0--x-->b"s, "a<!--x-->b"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, RemoveCommentsTable,
                         testing::ValuesIn(kCommentHighBytes), RowName<PassCase>);

// ---- RemoveOptionalTags

class RemoveOptionalTagsTable : public testing::TestWithParam<PassCase> {};
TEST_P(RemoveOptionalTagsTable, GivesTheExpectedText) {
    ExpectPassRow(RemoveOptionalTags, GetParam());
}

const PassCase kOptionalExamples[] = {
    {"list items", "<UL><LI>a</LI><LI>b</li ></UL>", "<UL><LI>a<LI>b</UL>"},
    {"definitions", "<DL><DT>t</DT><DD>d</DD></DL>", "<DL><DT>t<DD>d</DL>"},
    {"options stay open, SELECT closes", "<SELECT><OPTION>a</OPTION></SELECT>",
     "<SELECT><OPTION>a</SELECT>"},
    {"page structure", "<HTML><HEAD></HEAD><BODY>x</BODY></HTML>", "<HTML><HEAD><BODY>x"},
    {"column group", "<COLGROUP SPAN=2></COLGROUP>", "<COLGROUP SPAN=2>"},
    {"editor tags", "<X-CLARIS-WINDOW TOP=0>a<X-SAS-WINDOW>b<x-claris-tagview mode=x>c", "abc"},
};
INSTANTIATE_TEST_SUITE_P(Examples, RemoveOptionalTagsTable, testing::ValuesIn(kOptionalExamples),
                         RowName<PassCase>);

const PassCase kOptionalEdges[] = {
    {"longer name stays", "</LIX></DDX></BODYX>", "</LIX></DDX></BODYX>"},
    {"line feed after the name: stays", "</LI\n>", "</LI\n>"},
    {"attributes on a close tag", "<UL><LI>a</LI class=x><LI>b", "<UL><LI>a<LI>b"},
    {"a close tag with nothing open to close stays", "</LI>y", "</LI>y"},
    {"other close tags stay", "</P></TD></TR></SELECT>", "</P></TD></TR></SELECT>"},
    {"quoted > inside the tag", "<X-SAS-WINDOW T='a>b'>c", "c"},
    {"script text is no markup", "<UL><LI>a<SCRIPT>w('</LI>')</SCRIPT></UL>",
     "<UL><LI>a<SCRIPT>w('</LI>')</SCRIPT></UL>"},
    {"editor tag prefix only", "<X-CLARIS-WINDOWS>", "<X-CLARIS-WINDOWS>"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, RemoveOptionalTagsTable, testing::ValuesIn(kOptionalEdges),
                         RowName<PassCase>);

// Without `</LI>` the `</A>` of `<A><LI>x</LI></A>` meets an open item, and a browser moves the
// item out of the link: the close tag stays wherever a formatting element's end tag follows.
const PassCase kOptionalFixes[] = {
    {"item inside a link", "<A HREF=x><LI>a</LI></A>", "<A HREF=x><LI>a</LI></A>"},
    {"blanks and a comment between", "<B><LI>a</LI> \n<!-- c --></b>",
     "<B><LI>a</LI> \n<!-- c --></b>"},
    {"definition inside a font", "<FONT><DD>a</DD></FONT>", "<FONT><DD>a</DD></FONT>"},
    {"a block's end tag still lets it go", "<DIV><LI>a</LI></DIV>", "<DIV><LI>a</DIV>"},
    {"body close tag is not a list item", "<B></BODY></B>", "<B></B>"},
};
INSTANTIATE_TEST_SUITE_P(FixedFaults, RemoveOptionalTagsTable, testing::ValuesIn(kOptionalFixes),
                         RowName<PassCase>);

// A close tag used to go wherever it stood; the browser then left the element open, and the rest
// of the page (or of the list) went into it. It goes only where the parser closes the element
// at the same place anyway: at the next item, or at the end tag of the list or of an element
// around it.
const PassCase kOptionalInferred[] = {
    {"item outside any list, text after it", "<DIV><LI>a</LI>b</DIV>", "<DIV><LI>a</LI>b</DIV>"},
    {"definition outside any list", "<DD>a</DD><P>b", "<DD>a</DD><P>b"},
    {"a DIV after the last item", "<UL><LI>a</LI><DIV>b</DIV></UL>",
     "<UL><LI>a</LI><DIV>b</DIV></UL>"},
    {"a STYLE after the item", "<UL><LI>a</LI><STYLE>p{}</STYLE></UL>",
     "<UL><LI>a</LI><STYLE>p{}</STYLE></UL>"},
    {"blanks before the next item", "<UL><LI>a</LI>\n <LI>b</LI>\n</UL>",
     "<UL><LI>a\n <LI>b\n</UL>"},
    {"an open SECTION stops the next item", "<UL><LI><SECTION>a</LI><LI>b</UL>",
     "<UL><LI><SECTION>a</LI><LI>b</UL>"},
    {"an open paragraph does not", "<UL><LI><P>a</LI><LI>b</UL>", "<UL><LI><P>a<LI>b</UL>"},
    {"nested lists", "<UL><LI>a<UL><LI>b</LI></UL></LI><LI>c</LI></UL>",
     "<UL><LI>a<UL><LI>b</UL><LI>c</UL>"},
    {"end of another list than the item's", "<OL><LI>a<UL></LI></OL>", "<OL><LI>a<UL></LI></OL>"},
    {"definition then term", "<DL><DD>a</DD><DT>b</DT></DL>", "<DL><DD>a<DT>b</DL>"},
    {"definition then text", "<DL><DT>a</DT>b</DL>", "<DL><DT>a</DT>b</DL>"},
    {"option then text", "<SELECT><OPTION>a</OPTION>b</SELECT>",
     "<SELECT><OPTION>a</OPTION>b</SELECT>"},
    {"options in a group", "<SELECT><OPTGROUP><OPTION>a</OPTION></OPTGROUP></SELECT>",
     "<SELECT><OPTGROUP><OPTION>a</OPTGROUP></SELECT>"},
    {"column group before blanks", "<TABLE><COLGROUP></COLGROUP>\n<TR>",
     "<TABLE><COLGROUP></COLGROUP>\n<TR>"},
    {"column group before a COL", "<TABLE><COLGROUP></COLGROUP><COL>",
     "<TABLE><COLGROUP></COLGROUP><COL>"},
    {"item text in a cell", "<TABLE><TR><TD><UL><LI>a</LI></TD></TR></TABLE>",
     "<TABLE><TR><TD><UL><LI>a</TD></TR></TABLE>"},
    {"tags in a comment do not count", "<UL><!-- <LI> --><LI>a</LI> <B>b</B></UL>",
     "<UL><!-- <LI> --><LI>a</LI> <B>b</B></UL>"},
    {"item at the end of the page", "<UL><LI>a</LI>\n", "<UL><LI>a\n"},
};
INSTANTIATE_TEST_SUITE_P(InferredCloses, RemoveOptionalTagsTable,
                         testing::ValuesIn(kOptionalInferred), RowName<PassCase>);

const PassCase kOptionalEndings[] = {
    {"unclosed tag runs to the end", "a</BODY", "a"},
    {"name cut off by the end", "a</BOD", "a</BOD"},
    {"just <", "<", "<"},
    {"</", "</", "</"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, RemoveOptionalTagsTable, testing::ValuesIn(kOptionalEndings),
                         RowName<PassCase>);

const PassCase kOptionalHighBytes[] = {
    {"deleted byte ends the name", "<OL><LI>a</LI\0></OL>"s, "<OL><LI>a</OL>"},
    {"UTF-8 around", "<UL><LI>\xC3\xA9</LI><LI>\xC3\xA9", "<UL><LI>\xC3\xA9<LI>\xC3\xA9"},
    {"byte above 0x7F in the name", "</L\xC9>", "</L\xC9>"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, RemoveOptionalTagsTable,
                         testing::ValuesIn(kOptionalHighBytes), RowName<PassCase>);

// ---- RemoveNoopTags

class RemoveNoopTagsTable : public testing::TestWithParam<PassCase> {};
TEST_P(RemoveNoopTagsTable, GivesTheExpectedText) {
    ExpectPassRow(RemoveNoopTags, GetParam());
}

const PassCase kNoopExamples[] = {
    {"open and close", "a<NOOP>b</NOOP>c", "abc"},
    {"any case, attributes", "a<noop x=1>  b  </Noop >c", "a  b  c"},
    {"name beginning with NOOP", "<NOOPX>a</NOOPY>", "a"},
};
INSTANTIATE_TEST_SUITE_P(Examples, RemoveNoopTagsTable, testing::ValuesIn(kNoopExamples),
                         RowName<PassCase>);

const PassCase kNoopEdges[] = {
    {"other tags stay", "<NOP><NOOR></NOP>", "<NOP><NOOR></NOP>"},
    {"space after <", "< NOOP>", "< NOOP>"},
    {"deletes to the next >, quotes or not", "<NOOP a='>'>b", "'>b"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, RemoveNoopTagsTable, testing::ValuesIn(kNoopEdges),
                         RowName<PassCase>);

const PassCase kNoopEndings[] = {
    {"unclosed tag runs to the end", "a<NOOP b", "a"},
    {"tag at the very end", "a<NOOP>", "a"},
    {"close tag at the very end", "a</NOOP>", "a"},
    {"name cut off", "a<NOO", "a<NOO"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, RemoveNoopTagsTable, testing::ValuesIn(kNoopEndings),
                         RowName<PassCase>);

const PassCase kNoopHighBytes[] = {
    {"UTF-8 between", "<NOOP>\xC3\xA9</NOOP>", "\xC3\xA9"},
    {"deleted byte in the name", "<NO\0OP>"s, "<NOOP>"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, RemoveNoopTagsTable, testing::ValuesIn(kNoopHighBytes),
                         RowName<PassCase>);

TEST(TagPasses, NonPositiveLengthGivesZero) {
    for (const TextPass pass : {RemoveComments, RemoveOptionalTags, RemoveNoopTags}) {
        std::uint8_t text[] = {'<', '!', '-', '-'};
        EXPECT_EQ(pass(text, 0), 0);
        EXPECT_EQ(pass(text, -4), 0);
        EXPECT_EQ(pass(nullptr, 0), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 4), "<!--");
    }
}

}  // namespace
}  // namespace quillon::test
