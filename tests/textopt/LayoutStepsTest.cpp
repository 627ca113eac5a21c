// The layout steps as the chain runs them: line ends, tabs, and the blank runs and block tags in
// one walk. The input of the last one has its line ends and tabs normalized and no 0 byte, as
// the steps before it leave every page. UTF-8 sits next to the whitespace rules: no step may
// delete a byte of a multibyte character. What the corpus pages and the differential check show
// (bodies of PRE, LISTING and TEXTAREA, attribute values, script literals, the blank between
// words) these rows leave to them.
#include <gtest/gtest.h>

#include "CaseTable.h"

namespace quillon::test {
namespace {

TEST(LayoutSteps, LineEndsAndTabs) {
    const StepRow lineEnds[] = {
        {"every kind of line end, CR CR LF, byte 1, a final CR", "p\r\nq\rr\n\rs\r\r\nb\x01z\r",
         "p\nq\nr\n\ns\n\nb\nz\n"},
        {"0x8D and 0x8A are no line ends, UTF-8 beside them",
         "a\x8D\x8Az\xC3\xA9\r\n\xE2\x80\x94\r", "a\x8D\x8Az\xC3\xA9\n\xE2\x80\x94\n"},
    };
    ExpectRows("NormalizeLineEnds", lineEnds);
    const StepRow tabs[] = {
        // examples
        {"tab and vertical tab; PRE, TEXTAREA and server code keep theirs",
         "a\tb\vc<PRE>\ta\t</PRE>\t<TEXTAREA>\t</TEXTAREA>\t<%\tx\t%>\t<?\ty\t?>",
         "a b c<PRE>\ta\t</PRE> <TEXTAREA>\t</TEXTAREA> <%\tx\t%> <?\ty\t?>"},
        // edge cases: where a preformatted region begins and ends
        // fixed: a tab after the name made no region, so the tabs in PRE and TEXTAREA went
        {"a tab after the name opens a region as it does in a browser, a space after < makes none",
         "<PRE\t>a\tb</PRE>< PRE>\t</PRE><TEXTAREA\tNAME=t>\t</TEXTAREA>",
         "<PRE\t>a\tb</PRE>< PRE> </PRE><TEXTAREA\tNAME=t>\t</TEXTAREA>"},
        {"PRX does not end PRE, pre junk does", "<PRE>\t</PRX>\t</PRE>\t<PRE>\t</pre junk>\t",
         "<PRE>\t</PRX>\t</PRE> <PRE>\t</pre junk> "},
        {"a script or style sheet string or a long quoted value keeps its tab",
         "<SCRIPT>x = \"a\tb\";\ty();</SCRIPT><STYLE>p\t{ font: 'a\tb' }</STYLE><INPUT VALUE=\"" +
             Repeat("a", 45) + "\tb\">\t",
         "<SCRIPT>x = \"a\tb\"; y();</SCRIPT><STYLE>p { font: 'a\tb' }</STYLE><INPUT VALUE=\"" +
             Repeat("a", 45) + "\tb\"> "},
        // early endings
        {"unclosed PRE keeps tabs to the end", "\t<PRE>\ta\n\tb", " <PRE>\ta\n\tb"},
        // bytes 0x80-0xFF
        {"0x89 is not a tab", "a\x89z\xC3\xA9\t", "a\x89z\xC3\xA9 "},
    };
    ExpectRows("TabsToSpaces", tabs);
}

TEST(LayoutSteps, BlankRunsAndBlockTags) {
    const StepRow rows[] = {
        // examples
        {"runs, line feeds and blank lines", "a   b   \n   c\n\n\nd", "a b\nc\nd"},
        {"block tags glued, inline tags not",
         "text\n <P> more \n<BR>\n x <B> bold </B>\n</P>\n<TD>\n",
         "text<P>more<BR>x <B> bold </B></P><TD>"},
        // edge cases: stretches left alone
        {"where PRE ends: not at PRX, not in its own quotes; a space after < opens none",
         "<PRE>  </PRX>  </PRE>  <PRE title='</PRE>'>  </PRE>< PRE>a  b</PRE>",
         "<PRE>  </PRX>  </PRE> <PRE title='</PRE>'>  </PRE>< PRE>a b</PRE>"},
        {"TITLE with a comment-like text stays, one of plain text is compacted",
         "<TITLE>A  <!-- b -->  C</TITLE>  x<TITLE>A  B</TITLE>",
         "<TITLE>A  <!-- b -->  C</TITLE>x<TITLE>A B</TITLE>"},
        {"blanks between attributes go, quoted values stay",
         "<P  class=\"a  b\"  data-x='c  d'  id=x><IMG ALT=\"a \n\n b\"> \n c",
         "<P class=\"a  b\" data-x='c  d' id=x><IMG ALT=\"a \n\n b\">\nc"},
        {"a long value with a run late", "<a title=\"a b \"  alt=\"" + Repeat("a", 37) + "  b\">",
         "<a title=\"a b \" alt=\"" + Repeat("a", 37) + "  b\">"},
        {"apostrophes outside tags and quotes in comments open nothing",
         "it's  a <b>don't  x</b>  'y  z'<!-- don't  -->  x",
         "it's a <b>don't x</b> 'y z'<!-- don't --> x"},
        {"script with a line feed after its name", "<script\ntype=x>a  =  'b  c'</script>  d",
         "<script\ntype=x>a = 'b  c'</script> d"},
        {"server code stays, a here-document in it too",
         "<% a  =  b\n\n%>  <?php echo \"x  y\";  ?>  z<% $r->Doc(<<END);\n<html> \n <body>x"
         "</body>\nEND\n%> \n y",
         "<% a  =  b\n\n%> <?php echo \"x  y\";  ?> z<% $r->Doc(<<END);\n<html> \n <body>x"
         "</body>\nEND\n%>\ny"},
        // edge cases: which tags take the blanks around them
        {"close TH and LI keep their spaces, LI does not", "a </TH> b </LI> c <LI> d",
         "a </TH> b </LI> c<LI>d"},
        {"quoted > inside a block tag, a tag in a quoted value is text",
         "a \n<TD ALIGN='x>y'>\n b<DIV title='a <P> b'> c <SPAN t='<P>'> d",
         "a<TD ALIGN='x>y'>b<DIV title='a <P> b'>c <SPAN t='<P>'> d"},
        {"blank between tags that show nothing goes", "a\n<meta name=x>\n<link rel=y>\nb",
         "a\n<meta name=x><link rel=y>\nb"},
        {"script body edges go, not those of a script with a source",
         "x <script>\n y() \n</script> z<script src=x> b \n</script>\n<p>",
         "x <script>y()</script> z<script src=x> b \n</script><p>"},
        {"block tag takes the blanks around a script", "<P> <SCRIPT>x</SCRIPT> <P>",
         "<P><SCRIPT>x</SCRIPT><P>"},
        {"tag in a script body, in server code or in TITLE is no tag",
         "<script>// see <P> here\nx()</script>a <% b \n <P> c %> d<head>\n<TITLE>a <P> b</TITLE>"
         "\n<meta name=x>",
         "<script>// see <P> here\nx()</script>a <% b \n <P> c %> d<head><TITLE>a <P> b</TITLE>"
         "<meta name=x>"},
        // fixed: strings of a style sheet were compacted, and so matched or named another thing
        {"style sheet strings stay, a quote in a comment opens none, an escaped line feed does not "
         "end one, a bare one does",
         "<STYLE>  [title=\"a  b\"]  { font: 'A  \\\n  B' }  /* it's  */  "
         "q { content: '\\'  <P>  ' }  z { content: 'a  \n  b  c' }</STYLE>  y",
         "<STYLE> [title=\"a  b\"] { font: 'A  \\\n  B' } /* it's */ q { content: '\\'  <P>  ' } z "
         "{ content: 'a\nb c' }</STYLE> y"},
        // early endings
        {"runs at both ends", " \n a b \n ", "\na b\n"},
        {"unclosed PRE protects to the end", "a \n<PRE> \n ", "a\n<PRE> \n "},
        {"unclosed quoted value protects to the end", "a  <A title='b  c> d  e",
         "a <A title='b  c> d  e"},
        {"unclosed script string stops at its line's end", "<script>x = 'a  b  \n  b  c</script>",
         "<script>x = 'a  b\nb c</script>"},
        {"blanks to the end after a block tag", "<P> \n \n", "<P>"},
        {"tags that show nothing at both ends", "\n<script>x</script>\n<html>\n<link rel=a>\n",
         "<script>x</script><html><link rel=a>"},
        // bytes 0x80-0xFF
        {"UTF-8 around runs and block tags", "\xC3\xA9   \xE2\x80\x94 <P> \xC3\xA9",
         "\xC3\xA9 \xE2\x80\x94<P>\xC3\xA9"},
        {"no-break spaces are no blanks", "a \xA0 b \xC2\xA0<P>\xC2\xA0 \n \xA0",
         "a \xA0 b \xC2\xA0<P>\xC2\xA0\n\xA0"},
    };
    ExpectRows(kLayoutSteps, rows);
}

}  // namespace
}  // namespace quillon::test
