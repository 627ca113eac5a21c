// The layout steps as the chain runs them: line ends, tabs, and the blank runs and block tags in
// one walk. The input of the last one has its line ends and tabs normalized and no 0 byte, as
// the steps before it leave every page. UTF-8 sits next to the whitespace rules: no step may
// delete a byte of a multibyte character.
#include <gtest/gtest.h>

#include "CaseTable.h"

namespace quillon::test {
namespace {

TEST(LayoutSteps, LineEndsAndTabs) {
    const StepRow rows[] = {
        // examples
        {"NormalizeLineEnds", "every kind of line end", "p\r\nq\rr\n\rs", "p\nq\nr\n\ns"},
        // edge cases
        {"NormalizeLineEnds", "CR CR LF gives two", "a\r\r\nb", "a\n\nb"},
        {"NormalizeLineEnds", "byte 1 becomes a line feed", "a\x01z", "a\nz"},
        // early endings
        {"NormalizeLineEnds", "final CR", "a\r", "a\n"},
        // bytes 0x80-0xFF
        {"NormalizeLineEnds", "0x8D and 0x8A are not line ends", "a\x8D\x8Az", "a\x8D\x8Az"},
        {"NormalizeLineEnds", "UTF-8 next to line ends", "\xC3\xA9\r\n\xE2\x80\x94\r",
         "\xC3\xA9\n\xE2\x80\x94\n"},

        // examples
        {"TabsToSpaces", "tab and vertical tab", "a\tb\vc", "a b c"},
        {"TabsToSpaces", "PRE keeps its tabs", "<PRE>\ta\t</PRE>\tb", "<PRE>\ta\t</PRE> b"},
        // edge cases: where a preformatted region begins and ends
        {"TabsToSpaces", "tab after PRE makes no region", "<PRE\t>a\tb</PRE>", "<PRE >a b</PRE>"},
        {"TabsToSpaces", "PRX does not end PRE", "<PRE>\t</PRX>\t</PRE>\t",
         "<PRE>\t</PRX>\t</PRE> "},
        {"TabsToSpaces", "pre junk ends PRE", "<PRE>\t</pre junk>\t", "<PRE>\t</pre junk> "},
        {"TabsToSpaces", "space after < makes no region", "< PRE>\t</PRE>", "< PRE> </PRE>"},
        {"TabsToSpaces", "TEXTAREA keeps its tabs", "<TEXTAREA>\t</TEXTAREA>\t",
         "<TEXTAREA>\t</TEXTAREA> "},
        {"TabsToSpaces", "script string keeps its tab", "<SCRIPT>x = \"a\tb\";\ty();</SCRIPT>",
         "<SCRIPT>x = \"a\tb\"; y();</SCRIPT>"},
        {"TabsToSpaces", "long quoted value keeps a late tab",
         "<INPUT VALUE=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\tb\">\t",
         "<INPUT VALUE=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\tb\"> "},
        {"TabsToSpaces", "server code keeps its tabs", "<%\tx\t%>\t<?\ty\t?>",
         "<%\tx\t%> <?\ty\t?>"},
        // early endings
        {"TabsToSpaces", "unclosed PRE keeps tabs to the end", "\t<PRE>\ta\n\tb", " <PRE>\ta\n\tb"},
        // bytes 0x80-0xFF
        {"TabsToSpaces", "0x89 is not a tab", "a\x89z\xC3\xA9\t", "a\x89z\xC3\xA9 "},
    };
    ExpectRows(rows);
}

TEST(LayoutSteps, BlankRunsAndBlockTags) {
    const StepRow rows[] = {
        // examples
        {kLayoutSteps, "spaces become one", "a   b", "a b"},
        {kLayoutSteps, "a line feed takes the spaces around it", "a   \n   b", "a\nb"},
        {kLayoutSteps, "blank lines become one line feed", "a\n\n\nb", "a\nb"},
        {kLayoutSteps, "block tags glued, inline tags not",
         "text\n <P> more \n<BR>\n x <B> bold </B>\n</P>\n<TD>\n",
         "text<P>more<BR>x <B> bold </B></P><TD>"},
        // edge cases: stretches left alone
        {kLayoutSteps, "PRE keeps its layout", "a  <PRE> x  \n\n y </PRE>  \n b",
         "a <PRE> x  \n\n y </PRE>\nb"},
        {kLayoutSteps, "PRX does not end PRE", "<PRE>  </PRX>  </PRE>  ", "<PRE>  </PRX>  </PRE> "},
        {kLayoutSteps, "close tag in the open tag's quotes", "<PRE title='</PRE>'>  </PRE>",
         "<PRE title='</PRE>'>  </PRE>"},
        {kLayoutSteps, "space after < makes no region", "< PRE>a  b</PRE>", "< PRE>a b</PRE>"},
        {kLayoutSteps, "LISTING and TEXTAREA keep their runs",
         "<LISTING>a  b</LISTING>  <textarea> a \n\n b </textarea>  c",
         "<LISTING>a  b</LISTING> <textarea> a \n\n b </textarea> c"},
        {kLayoutSteps, "TITLE with a comment-like text stays", "<TITLE>A  <!-- b -->  C</TITLE>  x",
         "<TITLE>A  <!-- b -->  C</TITLE>x"},
        {kLayoutSteps, "TITLE of plain text is compacted", "<TITLE>A  B</TITLE>",
         "<TITLE>A B</TITLE>"},
        {kLayoutSteps, "blanks between attributes go, quoted values stay",
         "<P  class=\"a  b\"  data-x='c  d'  id=x>", "<P class=\"a  b\" data-x='c  d' id=x>"},
        {kLayoutSteps, "a long value with a run late",
         "<a title=\"a b \"  alt=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa  b\">",
         "<a title=\"a b \" alt=\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa  b\">"},
        {kLayoutSteps, "line feed inside a quoted value", "<IMG ALT=\"a \n\n b\"> \n c",
         "<IMG ALT=\"a \n\n b\">\nc"},
        {kLayoutSteps, "apostrophes outside tags open nothing", "it's  a <b>don't  x</b>  'y  z'",
         "it's a <b>don't x</b> 'y z'"},
        {kLayoutSteps, "quote in a comment opens nothing", "<!-- don't  -->  x",
         "<!-- don't --> x"},
        {kLayoutSteps, "script strings stay", "<SCRIPT>  x = \"a  b\" +  'c  d';</SCRIPT>",
         "<SCRIPT>x = \"a  b\" + 'c  d';</SCRIPT>"},
        {kLayoutSteps, "script regular expression stays", "<script>r = /a  b/g;  y</script>",
         "<script>r = /a  b/g; y</script>"},
        {kLayoutSteps, "template literal stays", "<script>t = `a  ${b  +  c}\n\n  d`;\n\n</script>",
         "<script>t = `a  ${b + c}\n\n  d`;</script>"},
        {kLayoutSteps, "script with a line feed after its name",
         "<script\ntype=x>a  =  'b  c'</script>  d", "<script\ntype=x>a = 'b  c'</script> d"},
        {kLayoutSteps, "body of a script with a source stays",
         "<script src=\"a.js\">  x  =  1  </script>  y",
         "<script src=\"a.js\">  x  =  1  </script> y"},
        {kLayoutSteps, "server code stays", "<% a  =  b\n\n%>  <?php echo \"x  y\";  ?>  z",
         "<% a  =  b\n\n%> <?php echo \"x  y\";  ?> z"},
        {kLayoutSteps, "here-document in server code",
         "<% $r->Doc(<<END);\n<html> \n <body>x</body>\nEND\n%> \n y",
         "<% $r->Doc(<<END);\n<html> \n <body>x</body>\nEND\n%>\ny"},
        // edge cases: which tags take the blanks around them
        {kLayoutSteps, "close TH and LI keep their spaces, LI does not", "a </TH> b </LI> c <LI> d",
         "a </TH> b </LI> c<LI>d"},
        {kLayoutSteps, "quoted > inside a block tag", "a \n<TD ALIGN='x>y'>\n b",
         "a<TD ALIGN='x>y'>b"},
        {kLayoutSteps, "block tag inside PRE is text", "x <PRE> <P> </PRE> y",
         "x <PRE> <P> </PRE> y"},
        {kLayoutSteps, "tag in a quoted value is text", "<DIV title='a <P> b'> c <SPAN t='<P>'> d",
         "<DIV title='a <P> b'>c <SPAN t='<P>'> d"},
        {kLayoutSteps, "elements that render inline",
         "a <select><option>b</select> <iframe src=x></iframe> <noscript>c</noscript> "
         "<APPLET>d</APPLET> <KEYGEN name=k> e",
         "a <select><option>b</select> <iframe src=x></iframe> <noscript>c</noscript> "
         "<APPLET>d</APPLET> <KEYGEN name=k> e"},
        {kLayoutSteps, "script between words keeps a blank",
         "<li>Open the\n<script>x()</script>\nhome page.</li>",
         "<li>Open the\n<script>x()</script>\nhome page.</li>"},
        {kLayoutSteps, "META between words keeps a blank", "a <meta name=x> b",
         "a <meta name=x> b"},
        {kLayoutSteps, "blank between tags that show nothing goes",
         "a\n<meta name=x>\n<link rel=y>\nb", "a\n<meta name=x><link rel=y>\nb"},
        {kLayoutSteps, "script body edges go", "x <script>\n y() \n</script> z",
         "x <script>y()</script> z"},
        {kLayoutSteps, "body of a script with a source keeps its edges",
         "a <script src=x> b \n</script>\n<p>", "a <script src=x> b \n</script><p>"},
        {kLayoutSteps, "block tag takes the blanks around a script", "<P> <SCRIPT>x</SCRIPT> <P>",
         "<P><SCRIPT>x</SCRIPT><P>"},
        {kLayoutSteps, "tag in a script body is script", "<script>// see <P> here\nx()</script>",
         "<script>// see <P> here\nx()</script>"},
        {kLayoutSteps, "tag in server code is code", "a <% b \n <P> c %> d",
         "a <% b \n <P> c %> d"},
        {kLayoutSteps, "tag in TITLE is text", "<head>\n<TITLE>a <P> b</TITLE>\n<meta name=x>",
         "<head><TITLE>a <P> b</TITLE><meta name=x>"},
        // early endings
        {kLayoutSteps, "runs at both ends", " \n a b \n ", "\na b\n"},
        {kLayoutSteps, "unclosed PRE protects to the end", "a \n<PRE> \n ", "a\n<PRE> \n "},
        {kLayoutSteps, "PRE with a line feed protects to the end", "<PRE\n>a  </PRE>  b",
         "<PRE\n>a  </PRE>  b"},
        {kLayoutSteps, "unclosed quoted value protects to the end", "a  <A title='b  c> d  e",
         "a <A title='b  c> d  e"},
        {kLayoutSteps, "unclosed script string stops at its line's end",
         "<script>x = 'a  b  \n  b  c</script>", "<script>x = 'a  b\nb c</script>"},
        {kLayoutSteps, "blanks to the end after a block tag", "<P> \n \n", "<P>"},
        {kLayoutSteps, "tags that show nothing at both ends",
         "\n<script>x</script>\n<html>\n<link rel=a>\n", "<script>x</script><html><link rel=a>"},
        // bytes 0x80-0xFF
        {kLayoutSteps, "UTF-8 around runs and block tags", "\xC3\xA9   \xE2\x80\x94 <P> \xC3\xA9",
         "\xC3\xA9 \xE2\x80\x94<P>\xC3\xA9"},
        {kLayoutSteps, "no-break spaces are no blanks", "a \xA0 b \xC2\xA0<P>\xC2\xA0 \n \xA0",
         "a \xA0 b \xC2\xA0<P>\xC2\xA0\n\xA0"},
    };
    ExpectRows(rows);
}

}  // namespace
}  // namespace quillon::test
