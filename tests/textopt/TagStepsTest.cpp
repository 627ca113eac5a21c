// The steps that delete comments and tags, shorten references and rewrite tags. Rows for fixed
// faults say what went wrong. That nothing the steps keep renders otherwise, and which META tags
// may go, the differential check (differential/check_pages.py) tells on whole pages, among them
// pages/step_cases.html; these rows pin the bytes.
#include <gtest/gtest.h>

#include "CaseTable.h"

namespace quillon::test {
namespace {

TEST(TagSteps, Comments) {
    const StepRow rows[] = {
        // examples
        {"plain comment goes, include and directives stay",
         "a<!-- note -->b<!--#include virtual='x.inc' --><!-- changed #FLASTMOD file='a' -->",
         "ab<!--#include virtual='x.inc' --><!-- changed #FLASTMOD file='a' -->"},
        {"conditional comment over lines, hash without a keyword",
         "<!--[if IE]>\n<p>x<![endif]-->y<!-- #fff colour -->", "y"},
        // edge cases
        {"comments in PRE, SCRIPT and STYLE stay",
         "<PRE><!-- x --></PRE><SCRIPT><!-- x --></SCRIPT><style><!-- p{} --></style><!-- y -->",
         "<PRE><!-- x --></PRE><SCRIPT><!-- x --></SCRIPT><style><!-- p{} --></style>"},
        // fixed: in a tag outside the known-tag table, a `<!--` in a value was taken for a
        // comment, and one never closed there deleted the page up to the next `-->`
        {"a value holds no comment, in any tag",
         "<Q TITLE='<!-- x -->'><A TITLE='<!-- x -->'><P TITLE=\"<!--\">a</P><P>b</P><!-- c -->d",
         "<Q TITLE='<!-- x -->'><A TITLE='<!-- x -->'><P TITLE=\"<!--\">a</P><P>b</P>d"},
        {"TITLE, TEXTAREA, NOFRAMES and server code hold no comment",
         "<TITLE>A <!-- b --></TITLE><textarea><!-- x --></textarea><noframes><!-- x -->"
         "</noframes><% s = \"<!-- x -->\" %><?php '<!-- a -->' ?>",
         kUnchanged},
        // fixed: a search for `-->` that began 5 bytes after the `<` ran past the end of
        // `<!---->` and took the page text up to the next comment's end with it.
        {"empty comment ends at its own end", "a<!---->b<!-- x -->c<!---->d<!--#echo var='x' -->",
         "abcd<!--#echo var='x' -->"},
        {"abrupt empty comments, a comment closed by --!>", "a<!-->b<!--->c<!-- x --!>d", "abcd"},
        // fixed: deleting the comment joined the text around it into a tag or a reference
        {"text that would become a tag or a reference keeps the comment between",
         "a<<!-- x -->b>c &am<!-- y -->p; &<!-- -->#65; 1<<!-- z -->2 e<<!--q--><!--r-->i>",
         "a<<!-- x -->b>c &am<!-- y -->p; &<!-- -->#65; 1<2 e<<!--r-->i>"},
        // early endings
        {"unclosed comment runs to the end", "a<!-- x", "a"},
        {"unclosed server code protects to the end", "<% a <!-- b -->", kUnchanged},
    };
    ExpectRows("RemoveComments", rows);
}

// Which name gives which code, the differential check reads from the HTML parser's own table on
// a page of all 40 names (pages/entities.html); these rows hold the rules of case and context.
TEST(TagSteps, References) {
    const StepRow rows[] = {
        // examples
        {"lower and upper case; link addresses and PRE kept",
         "caf&eacute; &Ntilde;<A HREF='x?a=1&eacute;'>&eacute;</A><PRE>&eacute;</PRE>",
         "caf&#233; &#209;<A HREF='x?a=1&eacute;'>&#233;</A><PRE>&eacute;</PRE>"},
        // edge cases
        {"case: uncased names, mixed case, AACUTE/AGRAVE/ATILDE need a lower-case final e",
         "&POUND;&FRAC34;&eACUTE;&THORN;&EACUTE;&AACUTE;&AGRAVE;&ATILDE;&AACUTe;",
         "&#163;&#190;&#233;&#222;&#201;&AACUTE;&AGRAVE;&ATILDE;&#193;"},
        {"short names, names outside the table, no semicolon, escaped or doubled ampersand",
         "&nbsp;&copy;&acute;&hellip;&frac13;&eacutex;&eacute x&amp;eacute;&&eacute;",
         "&nbsp;&copy;&acute;&hellip;&frac13;&eacutex;&eacute x&amp;eacute;&&#233;"},
        {"STYLE contents are processed, SCRIPT, XMP, NOOP, TEXTAREA and server code kept",
         "<STYLE>p{content:'&eacute;'}</STYLE><SCRIPT>s='&eacute;';</SCRIPT><XMP>&eacute;</XMP>"
         "<NOOP>&eacute;</NOOP><TEXTAREA>&eacute;</TEXTAREA><% '&eacute;' %>",
         "<STYLE>p{content:'&#233;'}</STYLE><SCRIPT>s='&eacute;';</SCRIPT><XMP>&eacute;</XMP>"
         "<NOOP>&eacute;</NOOP><TEXTAREA>&eacute;</TEXTAREA><% '&eacute;' %>"},
        {"known tags keep their values, others do not",
         "<IMG ALT='&eacute;'><FOO t='&eacute;'><P t='&eacute;'></A &eacute;>",
         "<IMG ALT='&eacute;'><FOO t='&#233;'><P t='&#233;'></A &#233;>"},
    };
    ExpectRows("ShortenEntities", rows);
}

TEST(TagSteps, MetaAndImg) {
    const StepRow rows[] = {
        // examples
        {"generator and author go, what a browser or a search engine reads stays",
         "<META NAME='GENERATOR' CONTENT='x'>a<META NAME=AUTHOR CONTENT=X>b<meta charset=\"utf-8\">"
         "<META HTTP-EQUIV='Refresh' CONTENT='5'><META NAME=ROBOTS>",
         "ab<meta charset=\"utf-8\"><META HTTP-EQUIV='Refresh' CONTENT='5'><META NAME=ROBOTS>"},
        {"spacing, size flag, editor attributes, blanks around =",
         "<img src=a hspace=0 vspace=\"0\" naturalsizeflag=3><IMG X-CLARIS-USEIMAGEWIDTH "
         "X-SAS-USEIMAGEHEIGHT HSPACE = 0 SRC=a>x",
         "<img src=a   ><IMG    SRC=a>x"},
        {"default alignments", "<IMG ALIGN=baseline><IMG ALIGN='absbottom'><IMG ALIGN=BOTTOM>x",
         "<IMG ><IMG ><IMG >x"},
        // edge cases: names
        {"whole names, -verification only as a suffix",
         "<META NAME=ROBOTSX><meta name=twitterx><meta name=a-verification>"
         "<meta name=x-verification-y>a",
         "<meta name=a-verification>a"},
        // fixed: tags in the strings of a script or a style sheet were edited, and a deleted one
        // could join the text around it into the close tag that ends the script
        {"strings of a script or a style sheet stay; after the close tag the walk goes on",
         "<script>w('<meta name=author>');w('</scr<META NAME=x>ipt>');w('<img border=0>')</script>"
         "<meta name=author><IMG BORDER=0><STYLE>b:after{content:'<IMG BORDER=0>'}</STYLE>"
         "<SCRIPT SRC=a><IMG BORDER=0>",
         "<script>w('<meta name=author>');w('</scr<META NAME=x>ipt>');w('<img border=0>')</script>"
         "<IMG ><STYLE>b:after{content:'<IMG BORDER=0>'}</STYLE><SCRIPT SRC=a><IMG BORDER=0>"},
        // fixed: a browser ends these tags elsewhere than the tag scan does
        {"browser ends the tag at (a>b), or a stray quote: the tags stay",
         "<META NAME=(a>b)><META CONTENT=it's NAME=X>z'><IMG ALT=it's HSPACE=0>x'>", kUnchanged},
        // fixed: the attribute walk ended a quoted value at a `>` inside it
        {"attribute-like text inside a value stays", "<IMG ALT='x>y HSPACE=0' SRC=a>z", kUnchanged},
        // fixed: deleting the first of two attributes of one name handed the tag the second
        {"a default followed by its name again stays; a repeated one a browser ignores goes",
         "<IMG HSPACE=0 hspace=9><IMG HSPACE=9 HSPACE=0>",
         "<IMG HSPACE=0 hspace=9><IMG HSPACE=9 >"},
        // fixed: text a form submits or server-side code prints only looks like tags
        {"tags in TEXTAREA and server code are text",
         "<TEXTAREA><IMG SRC=a BORDER=0><META NAME=x></TEXTAREA><% s = \"<IMG BORDER=0>\" %>"
         "<?php $m = '<META NAME=GENERATOR>'; ?>",
         kUnchanged},
        // edge cases: images
        {"inside a link or an image map BORDER=0 stays",
         "<A HREF=x><IMG BORDER=0></A><IMG BORDER=0 USEMAP='#m'><IMG ISMAP BORDER=0><P>",
         kUnchanged},
        {"a later link opens first: BORDER=0 goes", "<IMG SRC=a BORDER=0><A HREF=x>l</A>",
         "<IMG SRC=a ><A HREF=x>l</A>"},
        // early endings
        {"unclosed META runs to the end", "a<META NAME=X", "a"},
        {"kept where the text around would become a tag", "a<<META NAME=X>TD  ALIGN=x>",
         kUnchanged},
    };
    ExpectRows("OptimizeMetaAndImg", rows);
    // fixed: choice 1, labelled as removing the generator tag only, did what 0 did
    const StepRow generatorOnly[] = {
        {"choice 1 removes the generator tag only",
         "<META NAME=Generator CONTENT=x>a<META NAME=AUTHOR>", "a<META NAME=AUTHOR>"},
    };
    ExpectRows("OptimizeMetaAndImg", generatorOnly,
               PageOptions{.metaTags = MetaTagRule::kRemoveGenerator});
    const StepRow everyMeta[] = {
        {"every META stays under 2", "<META NAME=AUTHOR><META NAME=GENERATOR><IMG HSPACE=0>",
         "<META NAME=AUTHOR><META NAME=GENERATOR><IMG >"},
    };
    ExpectRows("OptimizeMetaAndImg", everyMeta, PageOptions{.metaTags = MetaTagRule::kKeepAll});
}

// Quotes that can go and the blanks between attributes, inside the tags of the known-tag table
// only, under the strict rule and the lax one.
TEST(TagSteps, NormalizeTags) {
    const StepRow strict[] = {
        // examples
        {"the example", "<TD ALIGN='center'  WIDTH = '100%'>", "<TD ALIGN=center WIDTH='100%'>"},
        {"line feeds between attributes", "<IMG\nSRC=\"a.gif\"\n  WIDTH=\"10\">",
         "<IMG SRC=a.gif WIDTH=10>"},
        // edge cases
        {"bytes that keep their quotes, lax-only bytes among them",
         "<A ALT='a_b' T='a b' HREF='a=b' ID='~x' V='' U='a>b' W='a\nb' H='#top' B='a:b;c?d@e' "
         "C='$5%&' F='dir/page.htm'>",
         kUnchanged},
        {"unknown tags, P and close tags are left alone",
         "<Q CITE='x'  ID='y'><P ALIGN='center'></TD  >", kUnchanged},
        {"attribute without value, quotes next to the next attribute, slash after a value",
         "<INPUT  CHECKED  NAME='a'><A HREF='x'TITLE='y'><IMG SRC='a' /><IMG SRC='a'/>",
         "<INPUT CHECKED NAME=a><A HREF=x TITLE=y><IMG SRC=a /><IMG SRC=a />"},
        {"a tag in TEXTAREA or server code is text",
         "<TEXTAREA NAME=\"t\"><A HREF=\"x\"  ></TEXTAREA><?= '<td align=\"left\"  >' ?><A "
         "HREF=\"y\">",
         "<TEXTAREA NAME=t><A HREF=\"x\"  ></TEXTAREA><?= '<td align=\"left\"  >' ?><A HREF=y>"},
        // fixed: tags in the strings of a style sheet were normalized, which changed the strings
        {"a tag in a script or a style sheet is text; after its close tag the walk goes on",
         "<STYLE MEDIA='all'>p:before { content: \"<B  CLASS='x'>\" }</STYLE><B  CLASS='x'>"
         "<SCRIPT>w(\"<B  CLASS='x'>\")</SCRIPT>",
         "<STYLE MEDIA=all>p:before { content: \"<B  CLASS='x'>\" }</STYLE><B CLASS=x>"
         "<SCRIPT>w(\"<B  CLASS='x'>\")</SCRIPT>"},
        {"ten attributes", "<TD" + Repeat("  A='1'", 10) + ">", "<TD" + Repeat(" A=1", 10) + ">"},
        {"a tag needing more edits than are kept is left as it is",
         "<TD" + Repeat("  A='1'", 16) + ">", kUnchanged},
        // fixed: quotes were read without regard to where a browser sees a value
        {"= inside an unquoted value, after a value, right after the tag name",
         "<A HREF=x='y'><A HREF=x =y><A =x>", kUnchanged},
        {"apostrophe in an unquoted value", "<A TITLE=it's  HREF='x'>'>", kUnchanged},
        {"browser ends the tag elsewhere: left alone", "<A ONCLICK=f(a>b  c)  X='y'>", kUnchanged},
        // fixed: a tab after a quoted value kept the closing quote while the opening one went,
        // so the next value took the quote in (tabs reach this step inside PRE)
        {"tab or form feed after a quoted value", "<A CLASS='c'\tID='d'\f><A HREF='x'\n\tID=y>",
         "<A CLASS=c\tID=d\f><A HREF=x\n\tID=y>"},
        // fixed: other control bytes were taken for blanks, but a browser reads them as part of a
        // name or value
        {"control bytes that are no blanks to a browser", "<A CLASS='c'\vID='d'><A\x02HREF='x'>",
         kUnchanged},
        // early endings
        {"unclosed tag", "<TD  ALIGN='x'", "<TD ALIGN=x "},
        {"unclosed quoted value", "<TD ALIGN='x", kUnchanged},
        // bytes 0x80-0xFF
        {"UTF-8 keeps the quotes", "<A TITLE='\xC3\xA9' T=\xC3\xA9'x'>", kUnchanged},
    };
    ExpectRows("NormalizeTags", strict);
    const StepRow lax[] = {
        {"the example", "<TD ALIGN='center'  WIDTH = '100%'>", "<TD ALIGN=center WIDTH=100%>"},
        {"folders, fragments and punctuation",
         "<A HREF='dir/page.htm' T='x/' H='#top' B='a:b;c?d@e' C='$5%&'>",
         "<A HREF=dir/page.htm T=x/ H=#top B=a:b;c?d@e C=$5%&>"},
    };
    ExpectRows("NormalizeTags", lax, PageOptions{.quotes = QuoteRule::kLax});
}

TEST(TagSteps, OptionalAndEditorTags) {
    const StepRow optional[] = {
        // examples
        {"list items, options, page structure, column group",
         "<UL><LI>a</LI><LI>b</li ></UL><SELECT><OPTION>a</OPTION></SELECT>"
         "<HTML><HEAD></HEAD><BODY>x</BODY></HTML>",
         "<UL><LI>a<LI>b</UL><SELECT><OPTION>a</SELECT><HTML><HEAD><BODY>x"},
        {"column group", "<COLGROUP SPAN=2></COLGROUP>", "<COLGROUP SPAN=2>"},
        {"editor tags; one between text that would become a tag stays",
         "<X-CLARIS-WINDOW TOP=0>a<X-SAS-WINDOW T='a>b'>b<x-claris-tagview mode=x>c"
         "<<X-SAS-WINDOW>i>",
         "abc<<X-SAS-WINDOW>i>"},
        // edge cases
        {"longer names, other close tags, editor tag prefix, nothing open to close",
         "</LIX></ABCDEFGHIJKLMNOPQRSTUVWXYZ></P></TD><X-CLARIS-WINDOWS></LI>y</OPTION>z",
         kUnchanged},
        {"attributes on a close tag", "<UL><LI>a</LI class=x><LI>b", "<UL><LI>a<LI>b"},
        {"an option's close tag with another element open stays",
         "<SELECT><OPTION><B>a</OPTION></SELECT>", kUnchanged},
        {"script text and comments are no markup",
         "<UL><LI>a<SCRIPT>w('</LI>')</SCRIPT></UL><UL><!-- <LI> --><LI>a</LI> <B>b</B></UL>",
         kUnchanged},
        // fixed: without `</LI>` the `</A>` of `<A><LI>x</LI></A>` meets an open item, and a
        // browser moves the item out of the link
        {"item inside a link", "<A HREF=x><LI>a</LI></A>", kUnchanged},
        {"a block's end tag still lets it go", "<DIV><LI>a</LI></DIV>", "<DIV><LI>a</DIV>"},
        {"body close tag is not a list item", "<B></BODY></B>", "<B></B>"},
        // fixed: a close tag went wherever it stood, and the rest of the page went into the
        // element the browser then left open; it goes only where the parser closes it anyway
        {"item or definition outside any list", "<DIV><LI>a</LI>b</DIV><DD>a</DD><P>b", kUnchanged},
        {"a DIV or STYLE after the last item",
         "<UL><LI>a</LI><DIV>b</DIV><LI>c</LI><STYLE>p{}</STYLE></UL>", kUnchanged},
        {"blanks before the next item", "<UL><LI>a</LI>\n <LI>b</LI>\n</UL>",
         "<UL><LI>a\n <LI>b\n</UL>"},
        {"an open SECTION stops the next item", "<UL><LI><SECTION>a</LI><LI>b</UL>", kUnchanged},
        {"an open paragraph does not", "<UL><LI><P>a</LI><LI>b</UL>", "<UL><LI><P>a<LI>b</UL>"},
        {"nested lists", "<UL><LI>a<UL><LI>b</LI></UL></LI><LI>c</LI></UL>",
         "<UL><LI>a<UL><LI>b</UL><LI>c</UL>"},
        {"definition then term, then text", "<DL><DD>a</DD><DT>b</DT></DL><DL><DT>a</DT>b</DL>",
         "<DL><DD>a<DT>b</DL><DL><DT>a</DT>b</DL>"},
        {"options in a group", "<SELECT><OPTGROUP><OPTION>a</OPTION></OPTGROUP></SELECT>",
         "<SELECT><OPTGROUP><OPTION>a</OPTGROUP></SELECT>"},
        {"column group before another start tag, but not before blanks or a COL",
         "<TABLE><COLGROUP></COLGROUP><TBODY><COLGROUP></COLGROUP>\n<TR><COLGROUP></COLGROUP><COL>",
         "<TABLE><COLGROUP><TBODY><COLGROUP></COLGROUP>\n<TR><COLGROUP></COLGROUP><COL>"},
        {"item text in a cell", "<TABLE><TR><TD><UL><LI>a</LI></TD></TR></TABLE>",
         "<TABLE><TR><TD><UL><LI>a</TD></TR></TABLE>"},
        // early endings
        {"item at the end of the page", "<UL><LI>a</LI>\n", "<UL><LI>a\n"},
        {"unclosed tag runs to the end", "a</BODY", "a"},
        // bytes 0x80-0xFF
        {"byte above 0x7F in the name", "</L\xC9><UL><LI>\xC3\xA9</LI><LI>",
         "</L\xC9><UL><LI>\xC3\xA9<LI>"},
    };
    ExpectRows("RemoveOptionalTags", optional);
    const StepRow noop[] = {
        {"any case, attributes, longer names; other tags stay",
         "a<noop x=1>  b  </Noop ><NOOPX>c<NOP><NOOR></NOP>< NOOP>",
         "a  b  c<NOP><NOOR></NOP>< NOOP>"},
        // fixed: the tag was deleted to the first `>`, one in a quoted value too, and the rest of
        // the tag showed as text
        {"deletes to the > that ends the tag", "<NOOP a='>'>b<noop\ttitle=\"x>y\">c", "bc"},
        {"kept where the text around would become a tag", "a<<NOOP>b>c<</NOOP>/b>", kUnchanged},
        {"NOOP in TEXTAREA or server code is text",
         "<TEXTAREA><NOOP>a</TEXTAREA><% x = \"<noop>\" %><NOOP>",
         "<TEXTAREA><NOOP>a</TEXTAREA><% x = \"<noop>\" %>"},
        {"unclosed tag runs to the end, close tag at the very end", "a</NOOP>b<NOOP c", "ab"},
    };
    ExpectRows("RemoveNoopTags", noop);
}

}  // namespace
}  // namespace quillon::test
