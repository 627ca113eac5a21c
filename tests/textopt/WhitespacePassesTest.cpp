// The layout passes. Every table has the groups "examples", "edge cases", "early endings and
// truncation" and "0 and 0x80-0xFF bytes"; UTF-8 text sits next to every whitespace rule, since
// no pass may delete a byte of a multibyte character.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "CaseTable.h"
#include "Corpus.h"
#include "textopt/WhitespacePasses.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;

// ---- NormalizeLineEnds

class NormalizeLineEndsTable : public testing::TestWithParam<PassCase> {};
TEST_P(NormalizeLineEndsTable, GivesTheExpectedText) {
    ExpectPassRow(NormalizeLineEnds, GetParam());
}

const PassCase kLineEndExamples[] = {
    {"every kind of line end", "p\r\nq\rr\n\rs", "p\nq\nr\n\ns"},
    {"CR LF", "a\r\nb\r\nc", "a\nb\nc"},
    {"lone CR", "a\rb", "a\nb"},
    {"LF stays", "a\nb", "a\nb"},
};
INSTANTIATE_TEST_SUITE_P(Examples, NormalizeLineEndsTable, testing::ValuesIn(kLineEndExamples),
                         RowName<PassCase>);

const PassCase kLineEndEdges[] = {
    {"LF CR gives two", "a\n\rb", "a\n\nb"},
    {"CR CR LF gives two", "a\r\r\nb", "a\n\nb"},
    {"blank CR LF lines", "\r\n\r\n", "\n\n"},
    {"inside PRE too", "<PRE>a\r\nb\rc</PRE>", "<PRE>a\nb\nc</PRE>"},
    {"byte 1 becomes a line feed",
     "a\x01"
     "b",
     "a\nb"},
    {"other control bytes stay", "a\t\v\fb", "a\t\v\fb"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, NormalizeLineEndsTable, testing::ValuesIn(kLineEndEdges),
                         RowName<PassCase>);

const PassCase kLineEndEndings[] = {
    {"final lone CR", "a\r", "a\n"}, {"final CR LF", "a\r\n", "a\n"}, {"only CR", "\r", "\n"},
    {"first byte CR", "\rb", "\nb"}, {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, NormalizeLineEndsTable, testing::ValuesIn(kLineEndEndings),
                         RowName<PassCase>);

const PassCase kLineEndHighBytes[] = {
    {"0 bytes are dropped", "a\0b\0"s, "ab"},
    {"UTF-8 next to line ends", "\xC3\xA9\r\n\xE2\x80\x94\r\xE4\xB8\xAD",
     "\xC3\xA9\n\xE2\x80\x94\n\xE4\xB8\xAD"},
    {"0x8D and 0x8A are not line ends",
     "a\x8D\x8A"
     "b",
     "a\x8D\x8A"
     "b"},
    {"CR before a deleted byte", "a\r\0\nb"s, "a\n\nb"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, NormalizeLineEndsTable,
                         testing::ValuesIn(kLineEndHighBytes), RowName<PassCase>);

// ---- TabsToSpaces

class TabsToSpacesTable : public testing::TestWithParam<PassCase> {};
TEST_P(TabsToSpacesTable, GivesTheExpectedText) {
    ExpectPassRow(TabsToSpaces, GetParam());
}

const PassCase kTabExamples[] = {
    {"tab and vertical tab", "a\tb\vc", "a b c"},
    {"PRE keeps its tabs", "<PRE>\ta\t</PRE>\tb", "<PRE>\ta\t</PRE> b"},
    {"indentation", "\t\t<TD>x</TD>", "  <TD>x</TD>"},
};
INSTANTIATE_TEST_SUITE_P(Examples, TabsToSpacesTable, testing::ValuesIn(kTabExamples),
                         RowName<PassCase>);

const PassCase kTabEdges[] = {
    {"tab inside a tag", "<TD\tALIGN=x>", "<TD ALIGN=x>"},
    {"tab after PRE makes no region", "<PRE\t>a\tb</PRE>", "<PRE >a b</PRE>"},
    {"XMP keeps its tabs", "<XMP>\t</XMP>\t", "<XMP>\t</XMP> "},
    {"PRX does not end PRE", "<PRE>\t</PRX>\t</PRE>\t", "<PRE>\t</PRX>\t</PRE> "},
    {"pre junk ends PRE", "<PRE>\t</pre junk>\t", "<PRE>\t</pre junk> "},
    {"space after < makes no region", "< PRE>\t</PRE>", "< PRE> </PRE>"},
    {"SCRIPT is not protected", "<SCRIPT>\tx();</SCRIPT>", "<SCRIPT> x();</SCRIPT>"},
    {"TEXTAREA keeps its tabs", "<TEXTAREA>\t</TEXTAREA>\t", "<TEXTAREA>\t</TEXTAREA> "},
    {"quoted value keeps its tab", "<INPUT VALUE=\"a\tb\">\t", "<INPUT VALUE=\"a\tb\"> "},
    {"long quoted value keeps a late tab",
     "<INPUT VALUE=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\tb\">\t",
     "<INPUT VALUE=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\tb\"> "},
    {"script string keeps its tab", "<SCRIPT>x = \"a\tb\";\ty();</SCRIPT>",
     "<SCRIPT>x = \"a\tb\"; y();</SCRIPT>"},
    {"server code keeps its tabs", "<%\tx\t%>\t<?\ty\t?>", "<%\tx\t%> <?\ty\t?>"},
    {"other control bytes stay", "a\fb\rc", "a\fb\rc"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, TabsToSpacesTable, testing::ValuesIn(kTabEdges),
                         RowName<PassCase>);

const PassCase kTabEndings[] = {
    {"unclosed PRE keeps tabs to the end", "\t<PRE>\ta\n\tb", " <PRE>\ta\n\tb"},
    {"PRE with a line feed keeps tabs to the end", "<PRE\n>\t</PRE>\t", "<PRE\n>\t</PRE>\t"},
    {"final tab", "a\t", "a "},
    {"only a tab", "\t", " "},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, TabsToSpacesTable, testing::ValuesIn(kTabEndings),
                         RowName<PassCase>);

const PassCase kTabHighBytes[] = {
    {"deleted bytes stay", "a\0\tb"s, "a\0 b"s},
    {"UTF-8 next to tabs", "\xC3\xA9\t\xE2\x80\x94\t", "\xC3\xA9 \xE2\x80\x94 "},
    {"0x89 is not a tab",
     "a\x89"
     "b",
     "a\x89"
     "b"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, TabsToSpacesTable, testing::ValuesIn(kTabHighBytes),
                         RowName<PassCase>);

// ---- CollapseSpaces

class CollapseSpacesTable : public testing::TestWithParam<PassCase> {};
TEST_P(CollapseSpacesTable, GivesTheExpectedText) {
    ExpectPassRow(CollapseSpaces, GetParam());
}

const PassCase kSpaceExamples[] = {
    {"run of three", "a   b", "a b"},
    {"PRE keeps its runs", "<PRE>a   b</PRE>  c", "<PRE>a   b</PRE> c"},
    {"single spaces stay", "a b c", "a b c"},
};
INSTANTIATE_TEST_SUITE_P(Examples, CollapseSpacesTable, testing::ValuesIn(kSpaceExamples),
                         RowName<PassCase>);

const PassCase kSpaceEdges[] = {
    {"quoted attribute value stays", "<IMG ALT='a  b'>", "<IMG ALT='a  b'>"},
    {"submitted value stays", "<input value=\"two  spaces\">  x",
     "<input value=\"two  spaces\"> x"},
    {"blanks between attributes go", "<P  class=\"a  b\"  data-x='c  d'  id=x>",
     "<P class=\"a  b\" data-x='c  d' id=x>"},
    {"values of single spaces, and a long one with a run late",
     "<a title=\"a b \"  href=\"x\"  alt=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa  b\">",
     "<a title=\"a b \" href=\"x\" alt=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa  b\">"},
    {"equals sign inside a quoted value", "<a title=\"a=b  c\"  d='e  f'>",
     "<a title=\"a=b  c\" d='e  f'>"},
    {"quote in a value of the other kind", "<A title=\"it's  x\"  b='\"  y'>",
     "<A title=\"it's  x\" b='\"  y'>"},
    {"apostrophe in text opens nothing", "it's  a <b>don't  x</b>", "it's a <b>don't x</b>"},
    {"quotes in text outside tags", "x='a  b' <P>", "x='a b' <P>"},
    {"quote in a comment opens nothing", "<!-- don't  -->  x  'y  z'", "<!-- don't --> x 'y z'"},
    {"script strings stay", "<SCRIPT>  x = \"a  b\" +  'c  d';</SCRIPT>",
     "<SCRIPT> x = \"a  b\" + 'c  d';</SCRIPT>"},
    {"script regular expression stays", "<script>r = /a  b/g;  y</script>",
     "<script>r = /a  b/g; y</script>"},
    {"template literal stays", "<script>t = `a  ${b  +  c}  d`;</script>",
     "<script>t = `a  ${b + c}  d`;</script>"},
    {"apostrophe in a script comment opens nothing", "<script>// don't  x\ny  =  1</script>",
     "<script>// don't x\ny = 1</script>"},
    {"script with a line feed after its name", "<script\ntype=x>a  =  'b  c'</script>  d",
     "<script\ntype=x>a = 'b  c'</script> d"},
    {"after the script, values are values again", "<script>x</script><b title='a  b'>  c",
     "<script>x</script><b title='a  b'> c"},
    {"ASP code stays", "<% a  =  b %>  c", "<% a  =  b %> c"},
    {"body of a script with a source stays", "<script src=\"a.js\">  x  =  1  </script>  y",
     "<script src=\"a.js\">  x  =  1  </script> y"},
    {"PHP code stays", "<?php echo \"x  y\";  ?>  z", "<?php echo \"x  y\";  ?> z"},
    {"value in server code", "<%= f(\"a  b\") %>  <a href=\"<%= u  %>\">",
     "<%= f(\"a  b\") %> <a href=\"<%= u  %>\">"},
    {"TEXTAREA keeps its runs", "<textarea>a  b</textarea>  c", "<textarea>a  b</textarea> c"},
    {"TITLE with a comment-like text stays", "<TITLE>A  <!-- b -->  C</TITLE>  x",
     "<TITLE>A  <!-- b -->  C</TITLE> x"},
    {"TITLE of plain text is compacted", "<TITLE>A  B</TITLE>", "<TITLE>A B</TITLE>"},
    {"LISTING keeps its runs", "<LISTING>a  b</LISTING>  c", "<LISTING>a  b</LISTING> c"},
    {"script indentation", "<SCRIPT>    x = 1;</SCRIPT>", "<SCRIPT> x = 1;</SCRIPT>"},
    {"tabs are not spaces", "a \t b", "a \t b"},
    {"line feed splits runs", "a \n b", "a \n b"},
    {"PRX does not end PRE", "<PRE>  </PRX>  </PRE>  ", "<PRE>  </PRX>  </PRE> "},
    {"space after < makes no region", "< PRE>a  b</PRE>", "< PRE>a b</PRE>"},
    {"regions back to back", "<PRE>  </PRE><XMP>  </XMP>  ", "<PRE>  </PRE><XMP>  </XMP> "},
    {"close tag in the open tag's quotes", "<PRE title='</PRE>'>  </PRE>",
     "<PRE title='</PRE>'>  </PRE>"},
    {"run before a region", "a  <PRE>  </PRE>", "a <PRE>  </PRE>"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, CollapseSpacesTable, testing::ValuesIn(kSpaceEdges),
                         RowName<PassCase>);

const PassCase kSpaceEndings[] = {
    {"trailing run", "a   ", "a "},
    {"leading run", "   a", " a"},
    {"only spaces", "   ", " "},
    {"unclosed PRE protects to the end", "a  <PRE>b  c", "a <PRE>b  c"},
    {"unclosed server code protects to the end", "a  <% b  c", "a <% b  c"},
    {"unclosed quoted value protects to the end", "a  <A title='b  c> d  e",
     "a <A title='b  c> d  e"},
    {"unclosed script string stops at its line's end", "<script>x = 'a  b  \n  b  c</script>",
     "<script>x = 'a  b \n b c</script>"},
    {"PRE with a line feed protects to the end", "<PRE\n>a  </PRE>  b", "<PRE\n>a  </PRE>  b"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, CollapseSpacesTable, testing::ValuesIn(kSpaceEndings),
                         RowName<PassCase>);

const PassCase kSpaceHighBytes[] = {
    {"deleted bytes inside a run", "a \0 \0 b"s, "a b"},
    {"UTF-8 around a run", "\xC3\xA9   \xE2\x80\x94", "\xC3\xA9 \xE2\x80\x94"},
    {"Latin-1 no-break space is no space", "a \xA0 b", "a \xA0 b"},
    {"UTF-8 no-break space is no space", "a \xC2\xA0 b", "a \xC2\xA0 b"},
    {"CJK between runs", "\xE4\xB8\xAD  \xE6\x96\x87  ", "\xE4\xB8\xAD \xE6\x96\x87 "},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, CollapseSpacesTable, testing::ValuesIn(kSpaceHighBytes),
                         RowName<PassCase>);

// ---- TrimAroundLineEnds

class TrimAroundLineEndsTable : public testing::TestWithParam<PassCase> {};
TEST_P(TrimAroundLineEndsTable, GivesTheExpectedText) {
    ExpectPassRow(TrimAroundLineEnds, GetParam());
}

const PassCase kTrimLineExamples[] = {
    {"spaces on both sides", "a   \n   b", "a\nb"},
    {"PRE keeps its layout", "<PRE>a \n b</PRE> \n c", "<PRE>a \n b</PRE>\nc"},
};
INSTANTIATE_TEST_SUITE_P(Examples, TrimAroundLineEndsTable, testing::ValuesIn(kTrimLineExamples),
                         RowName<PassCase>);

const PassCase kTrimLineEdges[] = {
    {"tabs stay", "a\t\n\tb", "a\t\n\tb"},
    {"spaces between line feeds", "a \n \n b", "a\n\nb"},
    {"spaces inside a line stay", "a b \n c d", "a b\nc d"},
    {"line feed inside a tag", "<A \n HREF=x>", "<A\nHREF=x>"},
    {"line feed inside a quoted value", "<IMG ALT=\"a \n b\"> \n c", "<IMG ALT=\"a \n b\">\nc"},
    {"template literal indentation stays", "<script>t = `a\n    b`;  \n  x</script>",
     "<script>t = `a\n    b`;\nx</script>"},
    {"here-document in server code", "<% $r->Doc(<<END);\n<html> \n <body>x</body>\nEND\n%> \n y",
     "<% $r->Doc(<<END);\n<html> \n <body>x</body>\nEND\n%>\ny"},
    {"TEXTAREA keeps its line layout", "<TEXTAREA> a \n b </TEXTAREA>",
     "<TEXTAREA> a \n b </TEXTAREA>"},
    {"unclosed string loses its blanks at the line end", "<script>x = 'a  \n  y</script>",
     "<script>x = 'a\ny</script>"},
    {"unclosed PRE protects to the end", "a \n<PRE> \n ", "a\n<PRE> \n "},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, TrimAroundLineEndsTable, testing::ValuesIn(kTrimLineEdges),
                         RowName<PassCase>);

const PassCase kTrimLineEndings[] = {
    {"spaces from the start", "   \nb", "\nb"},
    {"spaces to the end", "a\n   ", "a\n"},
    {"line feed last", "a  \n", "a\n"},
    {"only a line feed", "\n", "\n"},
    {"spaces without line feed stay", "a  ", "a  "},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, TrimAroundLineEndsTable, testing::ValuesIn(kTrimLineEndings),
                         RowName<PassCase>);

const PassCase kTrimLineHighBytes[] = {
    {"deleted bytes before a line feed", "a \0 \n"s, "a\n"},
    {"deleted bytes after a line feed", "\n\0 \0b"s, "\nb"},
    {"UTF-8 next to a line feed", "\xC3\xA9 \n \xE2\x80\x94", "\xC3\xA9\n\xE2\x80\x94"},
    {"no-break spaces stay",
     "a\xA0\n\xA0"
     "b",
     "a\xA0\n\xA0"
     "b"},
    {"CJK lines", "\xE4\xB8\xAD  \n  \xE6\x96\x87", "\xE4\xB8\xAD\n\xE6\x96\x87"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, TrimAroundLineEndsTable,
                         testing::ValuesIn(kTrimLineHighBytes), RowName<PassCase>);

// ---- CollapseBlankLines

class CollapseBlankLinesTable : public testing::TestWithParam<PassCase> {};
TEST_P(CollapseBlankLinesTable, GivesTheExpectedText) {
    ExpectPassRow(CollapseBlankLines, GetParam());
}

const PassCase kBlankLineExamples[] = {
    {"run of three", "a\n\n\nb", "a\nb"},
    {"PRE keeps its blank lines", "<PRE>\n\n\n</PRE>\n\n", "<PRE>\n\n\n</PRE>\n"},
};
INSTANTIATE_TEST_SUITE_P(Examples, CollapseBlankLinesTable, testing::ValuesIn(kBlankLineExamples),
                         RowName<PassCase>);

const PassCase kBlankLineEdges[] = {
    {"spaced line feeds stay", "a\n \nb", "a\n \nb"},
    {"CR is no line feed", "a\n\r\nb", "a\n\r\nb"},
    {"script blank lines go", "<SCRIPT>\n\nx();\n\n</SCRIPT>", "<SCRIPT>\nx();\n</SCRIPT>"},
    {"template literal keeps its blank lines", "<script>t = `a\n\n\nb`;\n\n</script>",
     "<script>t = `a\n\n\nb`;\n</script>"},
    {"TEXTAREA keeps its blank lines", "<TEXTAREA>\n\nx</TEXTAREA>\n\n",
     "<TEXTAREA>\n\nx</TEXTAREA>\n"},
    {"server code keeps its blank lines", "<%\n\nx\n\n%>\n\n", "<%\n\nx\n\n%>\n"},
    {"quoted value keeps its blank lines", "<A title='a\n\nb'>\n\n", "<A title='a\n\nb'>\n"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, CollapseBlankLinesTable, testing::ValuesIn(kBlankLineEdges),
                         RowName<PassCase>);

const PassCase kBlankLineEndings[] = {
    {"final run", "a\n\n", "a\n"},
    {"leading run", "\n\n\na", "\na"},
    {"only line feeds", "\n\n\n", "\n"},
    {"unclosed PRE protects to the end", "\n\n<PRE>\n\n", "\n<PRE>\n\n"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, CollapseBlankLinesTable,
                         testing::ValuesIn(kBlankLineEndings), RowName<PassCase>);

const PassCase kBlankLineHighBytes[] = {
    {"deleted byte between line feeds", "a\n\0\nb"s, "a\nb"},
    {"UTF-8 between runs", "\xC3\xA9\n\n\xE2\x80\x94\n\n", "\xC3\xA9\n\xE2\x80\x94\n"},
    {"0x8A is no line feed", "a\n\x8A\nb", "a\n\x8A\nb"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, CollapseBlankLinesTable,
                         testing::ValuesIn(kBlankLineHighBytes), RowName<PassCase>);

// ---- TrimAroundBlockTags

class TrimAroundBlockTagsTable : public testing::TestWithParam<PassCase> {};
TEST_P(TrimAroundBlockTagsTable, GivesTheExpectedText) {
    ExpectPassRow(TrimAroundBlockTags, GetParam());
}

const PassCase kBlockExamples[] = {
    {"block tags glued, inline tags not", "text\n <P> more \n<BR>\n x <B> bold </B>\n</P>\n<TD>\n",
     "text<P>more<BR>x <B> bold </B></P><TD>"},
    {"lower case tags", "a <p> b", "a<p>b"},
    {"close tag", "x </DIV> \n y", "x</DIV>y"},
    {"doctype and html", "<!DOCTYPE html>\n<html>\n<head>", "<!DOCTYPE html><html><head>"},
};
INSTANTIATE_TEST_SUITE_P(Examples, TrimAroundBlockTagsTable, testing::ValuesIn(kBlockExamples),
                         RowName<PassCase>);

const PassCase kBlockEdges[] = {
    {"B keeps its spaces", "a <B> b", "a <B> b"},
    {"close TH keeps its spaces", "a </TH> b", "a </TH> b"},
    {"TH keeps its spaces", "a <TH> b", "a <TH> b"},
    {"close LI keeps its spaces", "a </LI> b", "a </LI> b"},
    {"LI is a block tag", "a <LI> b", "a<LI>b"},
    {"self-closing BR is not", "a <BR/> b", "a <BR/> b"},
    {"quoted > inside the tag", "a \n<TD ALIGN='x>y'>\n b", "a<TD ALIGN='x>y'>b"},
    {"PRE inside stays", "x <PRE> <P> </PRE> y", "x <PRE> <P> </PRE> y"},
    {"block tag before PRE", "<P> <PRE> a </PRE>", "<P><PRE> a </PRE>"},
    {"tabs stay", "a\t<P>\tb", "a\t<P>\tb"},
    {"space after < is no tag", "a < P> b", "a < P> b"},
    {"tag in a block tag's quoted value is text", "<DIV title='a <P> b'> c",
     "<DIV title='a <P> b'>c"},
    {"tag in an inline tag's value is text", "<SPAN title='a <P> b'> c",
     "<SPAN title='a <P> b'> c"},
    {"script between words keeps a blank", "<li>Open the\n<script>x()</script>\nhome page.</li>",
     "<li>Open the\n<script>x()</script>\nhome page.</li>"},
    {"SELECT renders inline", "Match: <select><option>a</select> x",
     "Match: <select><option>a</select> x"},
    {"IFRAME renders inline", "see <iframe src=x></iframe> here",
     "see <iframe src=x></iframe> here"},
    {"NOSCRIPT renders inline", "a <noscript>b</noscript> c", "a <noscript>b</noscript> c"},
    {"APPLET and KEYGEN render inline", "a <APPLET>b</APPLET> <KEYGEN name=k> c",
     "a <APPLET>b</APPLET> <KEYGEN name=k> c"},
    {"META between words keeps a blank", "a <meta name=x> b", "a <meta name=x> b"},
    {"blank between tags that show nothing goes", "a\n<meta name=x>\n<link rel=y>\nb",
     "a\n<meta name=x><link rel=y>\nb"},
    {"script body edges go", "x <script>\n y() \n</script> z", "x <script>y()</script> z"},
    {"body of a script with a source keeps its edges", "a <script src=x> b \n</script>\n<p>",
     "a <script src=x> b \n</script><p>"},
    {"block tag takes the blanks around a script", "<P> <SCRIPT>x</SCRIPT> <P>",
     "<P><SCRIPT>x</SCRIPT><P>"},
    {"tag in a script body is script", "<script>// see <P> here\nx()</script>",
     "<script>// see <P> here\nx()</script>"},
    {"tag in server code is code", "a <% b \n <P> c %> d", "a <% b \n <P> c %> d"},
    {"tag in TITLE is text", "<head>\n<TITLE>a <P> b</TITLE>\n<meta name=x>",
     "<head><TITLE>a <P> b</TITLE><meta name=x>"},
    {"tag in TEXTAREA is text", "<TEXTAREA> <P> </TEXTAREA>", "<TEXTAREA> <P> </TEXTAREA>"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, TrimAroundBlockTagsTable, testing::ValuesIn(kBlockEdges),
                         RowName<PassCase>);

const PassCase kBlockEndings[] = {
    {"unclosed block tag", "a \n<P class=x", "a<P class=x"},
    {"unclosed quote runs to the end", "a <P title='x> b", "a<P title='x> b"},
    {"block tag last", "a <P>", "a<P>"},
    {"blanks to the end", "<P> \n \n", "<P>"},
    {"block tag first", "<P> a", "<P>a"},
    {"unclosed PRE protects to the end", "<PRE> <P> ", "<PRE> <P> "},
    {"tags that show nothing at both ends", "\n<script>x</script>\n<html>\n<link rel=a>\n",
     "<script>x</script><html><link rel=a>"},
    {"unclosed script", "a <script> x", "a <script>x"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, TrimAroundBlockTagsTable, testing::ValuesIn(kBlockEndings),
                         RowName<PassCase>);

const PassCase kBlockHighBytes[] = {
    {"deleted bytes are trimmed", "a \0<P>\0 b"s, "a<P>b"},
    {"UTF-8 next to block tags", "\xC3\xA9 <P> \xE2\x80\x94", "\xC3\xA9<P>\xE2\x80\x94"},
    {"UTF-8 no-break spaces stay", "\xC2\xA0<P>\xC2\xA0", "\xC2\xA0<P>\xC2\xA0"},
    {"Latin-1 no-break spaces stay", "\xA0 <BR> \xA0", "\xA0<BR>\xA0"},
    {"deleted byte in the name", "a <P\0> b"s, "a <P> b"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, TrimAroundBlockTagsTable,
                         testing::ValuesIn(kBlockHighBytes), RowName<PassCase>);

// ---- CollapseBlankRuns: the three blank-run passes in one walk

// What the three passes give one after the other.
std::string ThreePasses(std::string_view input) {
    return RunPass(CollapseBlankLines, RunPass(TrimAroundLineEnds, RunPass(CollapseSpaces, input)));
}

class CollapseBlankRunsTable : public testing::TestWithParam<PassCase> {};

TEST_P(CollapseBlankRunsTable, GivesWhatTheThreePassesGive) {
    const PassCase& row = GetParam();
    EXPECT_EQ(Visible(ThreePasses(row.input)), Visible(row.expected)) << "the row itself is wrong";
    ExpectPassRow(CollapseBlankRuns, row);
}

const PassCase kBlankRunCases[] = {
    {"spaces become one", "a   b", "a b"},
    {"a line feed takes the spaces around it", "a  \n  b", "a\nb"},
    {"blank lines become one line feed", "a\n \n\n  \nb", "a\nb"},
    {"single blanks stay", "a b\nc", "a b\nc"},
    {"runs at both ends", " \n a b \n ", "\na b\n"},
    {"only blanks", "  ", " "},
    {"PRE region untouched", "a  <PRE> x  \n\n y </PRE>  \n b", "a <PRE> x  \n\n y </PRE>\nb"},
    {"unclosed XMP runs to the end", "a \n <xmp>  \n\n ", "a\n<xmp>  \n\n "},
    {"close tag with blanks inside", "<pre>  </pre  >  x", "<pre>  </pre  > x"},
    {"P is no region", "<P>  a  \n\n</P>", "<P> a\n</P>"},
    {"quoted value untouched", "<A title='a  \n\n b'>  \n x", "<A title='a  \n\n b'>\nx"},
    {"script literals untouched", "<script>\n  s = 'a  b';\n\n  t = `c\n\n  d`;\n</script>",
     "<script>\ns = 'a  b';\nt = `c\n\n  d`;\n</script>"},
    {"server code untouched", "a  <% x  \n\n y %>  b", "a <% x  \n\n y %> b"},
    {"TEXTAREA untouched", "<TEXTAREA>  a\n\n</TEXTAREA>  \n", "<TEXTAREA>  a\n\n</TEXTAREA>\n"},
    {"tabs and CR are not blanks here", "a\t \t\r\n b", "a\t \t\r\nb"},
    {"UTF-8 stays", "\xC3\xA9  \xC2\xA0 \n \xE2\x80\x94", "\xC3\xA9 \xC2\xA0\n\xE2\x80\x94"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Cases, CollapseBlankRunsTable, testing::ValuesIn(kBlankRunCases),
                         RowName<PassCase>);

// Random texts made of blanks, words and the pieces of preformatted regions (open and close
// tags, quotes that stretch a tag, unclosed ones) must come out as the three passes leave them.
TEST(CollapseBlankRuns, AgreesWithTheThreePassesOnRandomText) {
    const std::string_view pieces[] = {
        " ",        "  ",        "\n",       " \n ",  "a",          "word",        "<",
        ">",        "<PRE>",     "</PRE>",   "<pre ", "</pre",      "<XMP>",       "</xmp>",
        "<NOOP>",   "</NOOP",    "\"",       "'",     "<P>",        "</P >",       "<PLAINTEXT>",
        "=",        "\t",        "\xC2\xA0", "<%",    "%>",         "<?",          "?>",
        "<script>", "</script>", "`",        "/",     "<textarea>", "</TEXTAREA>", "<title>",
        "</title>", "<a title=", "<!--",     "-->"};
    std::mt19937 random(2026);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k) {
            text += pieces[random() % std::size(pieces)];
        }
        ASSERT_EQ(Visible(RunPass(CollapseBlankRuns, text)), Visible(ThreePasses(text)))
            << "input: " << Visible(text);
    }
}

TEST(CollapseBlankRuns, AgreesWithTheThreePassesOnEveryCorpusPage) {
    int pages = 0;
    for (const auto& path : CorpusFiles("html", {".html", ".htm"})) {
        const std::vector<std::uint8_t> bytes = ReadBytes(path);
        std::string text(bytes.begin(), bytes.end());
        if (text.find('\0') != std::string::npos) {
            continue;  // pages with 0 bytes never reach the chain
        }
        text = RunPass(TabsToSpaces, RunPass(NormalizeLineEnds, text));
        EXPECT_TRUE(RunPass(CollapseBlankRuns, text) == ThreePasses(text)) << path;
        ++pages;
    }
    EXPECT_GE(pages, 40);
}

// Every pass answers a length of 0 or less with 0 and touches nothing.
TEST(WhitespacePasses, NonPositiveLengthGivesZero) {
    for (const TextPass pass : {NormalizeLineEnds, TabsToSpaces, CollapseSpaces, TrimAroundLineEnds,
                                CollapseBlankLines, CollapseBlankRuns, TrimAroundBlockTags}) {
        std::uint8_t text[] = {' ', ' ', '\t', '\r'};
        EXPECT_EQ(pass(text, 0), 0);
        EXPECT_EQ(pass(text, -4), 0);
        EXPECT_EQ(pass(nullptr, 0), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 4), "  \t\r");
    }
}

}  // namespace
}  // namespace quillon::test
