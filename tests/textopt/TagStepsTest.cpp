// The steps that delete comments and tags, shorten references and rewrite tags, and the whole
// chain on server-side code and text-only elements. Rows for fixed faults say what went wrong.
// Which META tags stay, and that nothing the steps keep renders otherwise, the differential
// check (differential/check_pages.py) tells on whole pages; these rows pin the bytes.
#include <gtest/gtest.h>

#include "CaseTable.h"

namespace quillon::test {
namespace {

TEST(TagSteps, Comments) {
    const StepRow rows[] = {
        // examples
        {"RemoveComments", "plain comment goes, include stays",
         "a<!-- note -->b<!--#include virtual='x.inc' -->", "ab<!--#include virtual='x.inc' -->"},
        {"RemoveComments", "directive anywhere, in any case",
         "<!-- changed #FLASTMOD file='a' --><!--#exec-->",
         "<!-- changed #FLASTMOD file='a' -->"
         "<!--#exec-->"},
        {"RemoveComments", "conditional comment over lines", "<!--[if IE]>\n<p>x<![endif]-->y",
         "y"},
        // edge cases
        {"RemoveComments", "comments in PRE, SCRIPT and STYLE stay",
         "<PRE><!-- x --></PRE><SCRIPT><!-- x --></SCRIPT><style><!-- p{} --></style><!-- y -->",
         "<PRE><!-- x --></PRE><SCRIPT><!-- x --></SCRIPT><style><!-- p{} --></style>"},
        {"RemoveComments", "comment in a known tag's value stays", "<A TITLE='<!-- x -->'>l</A>",
         "<A TITLE='<!-- x -->'>l</A>"},
        {"RemoveComments", "comment in an unknown tag goes", "<Q TITLE='<!-- x -->'>",
         "<Q TITLE=''>"},
        {"RemoveComments", "TITLE, TEXTAREA and NOFRAMES hold no comment",
         "<TITLE>A <!-- b --></TITLE><textarea><!-- x --></textarea><noframes><!-- x "
         "--></noframes>",
         "<TITLE>A <!-- b --></TITLE><textarea><!-- x --></textarea><noframes><!-- x "
         "--></noframes>"},
        {"RemoveComments", "comment in server code",
         "<% s = \"<!-- x -->\" %><?php '<!-- a -->' ?>",
         "<% s = \"<!-- x -->\" %><?php '<!-- a -->' ?>"},
        {"RemoveComments", "hash without a keyword", "<!-- #fff colour -->x", "x"},
        // fixed: a search for `-->` that began 5 bytes after the `<` ran past the end of
        // `<!---->` and took the page text up to the next comment's end with it.
        {"RemoveComments", "empty comment ends at its own end", "a<!---->b<!-- x -->c", "abc"},
        {"RemoveComments", "empty comment before a directive", "a<!---->b<!--#echo var='x' -->",
         "ab<!--#echo var='x' -->"},
        {"RemoveComments", "abrupt empty comments", "a<!-->b<!--->c<!-- x -->d", "abcd"},
        {"RemoveComments", "comment closed by --!>", "a<!-- x --!>b<!-- y -->c", "abc"},
        // early endings
        {"RemoveComments", "unclosed comment runs to the end", "a<!-- x", "a"},
        {"RemoveComments", "keyword cut off by the end counts", "a<!-- #inc", "a<!-- #inc"},
        {"RemoveComments", "unclosed server code protects to the end", "<% a <!-- b -->",
         "<% a <!-- b -->"},
    };
    ExpectRows(rows);
}

// Which name gives which code, the differential check reads from the HTML parser's own table on
// a page of all 40 names (pages/entities.html); these rows hold the rules of case and context.
TEST(TagSteps, References) {
    const StepRow rows[] = {
        // examples
        {"ShortenEntities", "lower and upper case", "caf&eacute; &Ntilde;", "caf&#233; &#209;"},
        {"ShortenEntities", "link address kept, text shortened",
         "<A HREF='x?a=1&eacute;'>&eacute;</A>", "<A HREF='x?a=1&eacute;'>&#233;</A>"},
        {"ShortenEntities", "PRE kept", "<PRE>&eacute;</PRE>", "<PRE>&eacute;</PRE>"},
        // edge cases
        {"ShortenEntities", "uncased names in upper case", "&POUND;&FRAC34;", "&#163;&#190;"},
        {"ShortenEntities", "mixed case follows the first letter", "&eACUTE;&THORN;",
         "&#233;&#222;"},
        {"ShortenEntities", "AACUTE, AGRAVE, ATILDE need a lower-case final e",
         "&AACUTE;&AGRAVE;&ATILDE;&AACUTe;", "&AACUTE;&AGRAVE;&ATILDE;&#193;"},
        {"ShortenEntities", "EACUTE is replaced", "&EACUTE;", "&#201;"},
        {"ShortenEntities", "short names and names outside the table stay",
         "&nbsp;&copy;&acute;&middot;&hellip;&frac13;&eacutex;",
         "&nbsp;&copy;&acute;&middot;&hellip;&frac13;&eacutex;"},
        {"ShortenEntities", "no semicolon, escaped or doubled ampersand",
         "&eacute x&amp;eacute;&&eacute;", "&eacute x&amp;eacute;&&#233;"},
        {"ShortenEntities", "STYLE contents are processed, SCRIPT contents kept",
         "<STYLE>p{content:'&eacute;'}</STYLE><SCRIPT>s='&eacute;';</SCRIPT>",
         "<STYLE>p{content:'&#233;'}</STYLE><SCRIPT>s='&eacute;';</SCRIPT>"},
        {"ShortenEntities", "known tags keep their values, others do not",
         "<IMG ALT='&eacute;'><FOO t='&eacute;'><P t='&eacute;'></A &eacute;>",
         "<IMG ALT='&eacute;'><FOO t='&#233;'><P t='&#233;'></A &#233;>"},
        {"ShortenEntities", "XMP, NOOP, TEXTAREA and server code kept",
         "<XMP>&eacute;</XMP><NOOP>&eacute;</NOOP><TEXTAREA>&eacute;</TEXTAREA><% '&eacute;' %>",
         "<XMP>&eacute;</XMP><NOOP>&eacute;</NOOP><TEXTAREA>&eacute;</TEXTAREA><% '&eacute;' %>"},
        // early endings
        {"ShortenEntities", "no semicolon at the end", "caf&eacute", "caf&eacute"},
    };
    ExpectRows(rows);
}

TEST(TagSteps, MetaAndImg) {
    constexpr PageOptions kGenerator{.metaTags = MetaTagRule::kRemoveGenerator};
    const StepRow rows[] = {
        // examples
        {"OptimizeMetaAndImg", "generator and author go",
         "<META NAME='GENERATOR' CONTENT='x'>"
         "a<META NAME=AUTHOR CONTENT=X>b",
         "ab"},
        {"OptimizeMetaAndImg", "tags a browser or a search engine reads stay",
         "<meta charset=\"utf-8\"><META HTTP-EQUIV='Refresh' CONTENT='5'><META NAME=ROBOTS>",
         "<meta charset=\"utf-8\"><META HTTP-EQUIV='Refresh' CONTENT='5'><META NAME=ROBOTS>"},
        {"OptimizeMetaAndImg", "the example, outside a link",
         "<IMG SRC='a.gif' BORDER=0 HSPACE='0' ALIGN=bottom WIDTH=10><P>",
         "<IMG SRC='a.gif'    WIDTH=10><P>"},
        {"OptimizeMetaAndImg", "spacing and size flag",
         "<img src=a hspace=0 vspace=\"0\" naturalsizeflag=3>x", "<img src=a   >x"},
        {"OptimizeMetaAndImg", "editor attributes without values",
         "<IMG X-CLARIS-USEIMAGEWIDTH X-SAS-USEIMAGEHEIGHT SRC=a>x", "<IMG   SRC=a>x"},
        {"OptimizeMetaAndImg", "default alignments",
         "<IMG ALIGN=baseline><IMG ALIGN='absbottom'><IMG ALIGN=BOTTOM>x", "<IMG ><IMG ><IMG >x"},
        // fixed: choice 1, labelled as removing the generator tag only, did what 0 did
        {"OptimizeMetaAndImg", "choice 1 removes the generator tag only",
         "<META NAME=Generator CONTENT=x>a<META NAME=AUTHOR>", "a<META NAME=AUTHOR>", kGenerator},
        {"OptimizeMetaAndImg", "every META stays under 2",
         "<META NAME=AUTHOR><META NAME=GENERATOR><IMG HSPACE=0>",
         "<META NAME=AUTHOR>"
         "<META NAME=GENERATOR><IMG >",
         PageOptions{.metaTags = MetaTagRule::kKeepAll}},
        // edge cases: names
        {"OptimizeMetaAndImg", "whole names only", "<META NAME=ROBOTSX><meta name=twitterx>a", "a"},
        {"OptimizeMetaAndImg", "-verification only as a suffix",
         "<meta name=a-verification><meta name=x-verification-y>a", "<meta name=a-verification>a"},
        {"OptimizeMetaAndImg", "inside a script string too",
         "w('<meta name=author>'); w('<img src=a border=0>');<p>", "w(''); w('<img src=a >');<p>"},
        // fixed: a browser ends these tags elsewhere than the tag scan does
        {"OptimizeMetaAndImg", "browser ends the tag at (a>b): it stays", "<META NAME=(a>b)>",
         "<META NAME=(a>b)>"},
        {"OptimizeMetaAndImg", "stray quote: the tags stay",
         "<META CONTENT=it's NAME=X>z'><IMG ALT=it's HSPACE=0>x'>",
         "<META CONTENT=it's NAME=X>z'><IMG ALT=it's HSPACE=0>x'>"},
        // fixed: the attribute walk ended a quoted value at a `>` inside it
        {"OptimizeMetaAndImg", "attribute-like text inside a value stays",
         "<IMG ALT='x>y HSPACE=0' SRC=a>z", "<IMG ALT='x>y HSPACE=0' SRC=a>z"},
        // fixed: text a form submits or server-side code prints only looks like tags
        {"OptimizeMetaAndImg", "tags in TEXTAREA are text",
         "<TEXTAREA><IMG SRC=a BORDER=0><META NAME=x></TEXTAREA>",
         "<TEXTAREA><IMG SRC=a BORDER=0><META NAME=x></TEXTAREA>"},
        {"OptimizeMetaAndImg", "tags in server code are code",
         "<% s = \"<IMG BORDER=0>\" %><?php $m = '<META NAME=GENERATOR>'; ?>",
         "<% s = \"<IMG BORDER=0>\" %><?php $m = '<META NAME=GENERATOR>'; ?>"},
        // edge cases: images
        {"OptimizeMetaAndImg", "inside a link BORDER=0 stays", "<A HREF=x><IMG BORDER=0></A>",
         "<A HREF=x><IMG BORDER=0></A>"},
        {"OptimizeMetaAndImg", "a later link opens first: BORDER=0 goes",
         "<IMG SRC=a BORDER=0><A HREF=x>l</A>", "<IMG SRC=a ><A HREF=x>l</A>"},
        {"OptimizeMetaAndImg", "image maps keep BORDER=0",
         "<IMG BORDER=0 USEMAP='#m'><IMG ISMAP BORDER=0><P>",
         "<IMG BORDER=0 USEMAP='#m'><IMG ISMAP BORDER=0><P>"},
        {"OptimizeMetaAndImg", "blanks around =", "<IMG HSPACE = 0 SRC=a>x", "<IMG  SRC=a>x"},
        // early endings
        {"OptimizeMetaAndImg", "unclosed META runs to the end", "a<META NAME=X", "a"},
        {"OptimizeMetaAndImg", "image near the end counts as in a link", "<IMG BORDER=0>ab",
         "<IMG BORDER=0>ab"},
    };
    ExpectRows(rows);
}

// Quotes that can go and the blanks between attributes, inside the tags of the known-tag table
// only. Rows give the strict rule's text; lax rows show where the rules differ.
TEST(TagSteps, NormalizeTags) {
    constexpr PageOptions kLax{.quotes = QuoteRule::kLax};
    const StepRow rows[] = {
        // examples
        {"NormalizeTags", "the example", "<TD ALIGN='center'  WIDTH = '100%'>",
         "<TD ALIGN=center WIDTH='100%'>"},
        {"NormalizeTags", "the example, lax", "<TD ALIGN='center'  WIDTH = '100%'>",
         "<TD ALIGN=center WIDTH=100%>", kLax},
        {"NormalizeTags", "address with a folder", "<A HREF='dir/page.htm' T='x/'>",
         "<A HREF='dir/page.htm' T='x/'>"},
        {"NormalizeTags", "address with a folder, lax", "<A HREF='dir/page.htm' T='x/'>",
         "<A HREF=dir/page.htm T=x/>", kLax},
        {"NormalizeTags", "line feeds between attributes", "<IMG\nSRC=\"a.gif\"\n  WIDTH=\"10\">",
         "<IMG SRC=a.gif WIDTH=10>"},
        // edge cases
        {"NormalizeTags", "bytes that keep their quotes",
         "<A ALT='a_b' T='a b' HREF='a=b' ID='~x' V='' U='a>b' W='a\nb'>",
         "<A ALT='a_b' T='a b' HREF='a=b' ID='~x' V='' U='a>b' W='a\nb'>"},
        {"NormalizeTags", "lax-only bytes", "<A HREF='#top' B='a:b;c?d@e' C='$5%&'>",
         "<A HREF='#top' B='a:b;c?d@e' C='$5%&'>"},
        {"NormalizeTags", "lax-only bytes, lax", "<A HREF='#top' B='a:b;c?d@e' C='$5%&'>",
         "<A HREF=#top B=a:b;c?d@e C=$5%&>", kLax},
        {"NormalizeTags", "unknown tags, P and close tags are left alone",
         "<Q CITE='x'  ID='y'><P ALIGN='center'></TD  >",
         "<Q CITE='x'  ID='y'><P ALIGN='center'></TD  >"},
        {"NormalizeTags", "attribute without value", "<INPUT  CHECKED  NAME='a'>",
         "<INPUT CHECKED NAME=a>"},
        {"NormalizeTags", "quotes next to the next attribute", "<A HREF='x'TITLE='y'>",
         "<A HREF=x TITLE=y>"},
        {"NormalizeTags", "slash after a value", "<IMG SRC='a' /><IMG SRC='a'/>",
         "<IMG SRC=a /><IMG SRC=a />"},
        {"NormalizeTags", "a tag inside a script is script text",
         "<SCRIPT LANGUAGE='JavaScript'>w('<A HREF=\"x\">')</SCRIPT>",
         "<SCRIPT LANGUAGE=JavaScript>w('<A HREF=\"x\">')</SCRIPT>"},
        {"NormalizeTags", "script opened with a line feed",
         "<SCRIPT\nTYPE='a'>w('<B CLASS=\"x\">')</SCRIPT><B CLASS='y'>",
         "<SCRIPT TYPE=a>w('<B CLASS=\"x\">')</SCRIPT><B CLASS=y>"},
        {"NormalizeTags", "tag in TEXTAREA is text; the open tag is normalized",
         "<TEXTAREA NAME=\"t\"><A HREF=\"x\"  ></TEXTAREA><A HREF=\"y\">",
         "<TEXTAREA NAME=t><A HREF=\"x\"  ></TEXTAREA><A HREF=y>"},
        {"NormalizeTags", "markup in server code", "<?= '<td align=\"left\"  >' ?><td align=\"x\">",
         "<?= '<td align=\"left\"  >' ?><td align=x>"},
        {"NormalizeTags", "ten attributes", "<TD" + Repeat("  A='1'", 10) + ">",
         "<TD" + Repeat(" A=1", 10) + ">"},
        {"NormalizeTags", "a tag needing more edits than are kept is left as it is",
         "<TD" + Repeat("  A='1'", 16) + ">", "<TD" + Repeat("  A='1'", 16) + ">"},
        // fixed: quotes were read without regard to where a browser sees a value
        {"NormalizeTags", "= inside an unquoted value", "<A HREF=x='y'>", "<A HREF=x='y'>"},
        {"NormalizeTags", "= after a value joins nothing", "<A HREF=x =y>", "<A HREF=x =y>"},
        {"NormalizeTags", "= right after the tag name", "<A =x>", "<A =x>"},
        {"NormalizeTags", "apostrophe in an unquoted value", "<A TITLE=it's  HREF='x'>'>",
         "<A TITLE=it's  HREF='x'>'>"},
        {"NormalizeTags", "browser ends the tag elsewhere: left alone",
         "<A ONCLICK=f(a>b  c)  X='y'>", "<A ONCLICK=f(a>b  c)  X='y'>"},
        // early endings
        {"NormalizeTags", "unclosed tag", "<TD  ALIGN='x'", "<TD ALIGN=x "},
        {"NormalizeTags", "unclosed quoted value", "<TD ALIGN='x", "<TD ALIGN='x"},
        // bytes 0x80-0xFF
        {"NormalizeTags", "UTF-8 keeps the quotes", "<A TITLE='\xC3\xA9' T=\xC3\xA9'x'>",
         "<A TITLE='\xC3\xA9' T=\xC3\xA9'x'>"},
    };
    ExpectRows(rows);
}

TEST(TagSteps, OptionalAndEditorTags) {
    const StepRow rows[] = {
        // examples
        {"RemoveOptionalTags", "list items", "<UL><LI>a</LI><LI>b</li ></UL>",
         "<UL><LI>a<LI>b</UL>"},
        {"RemoveOptionalTags", "options stay open, SELECT closes",
         "<SELECT><OPTION>a</OPTION></SELECT>", "<SELECT><OPTION>a</SELECT>"},
        {"RemoveOptionalTags", "page structure", "<HTML><HEAD></HEAD><BODY>x</BODY></HTML>",
         "<HTML><HEAD><BODY>x"},
        {"RemoveOptionalTags", "column group", "<COLGROUP SPAN=2></COLGROUP>", "<COLGROUP SPAN=2>"},
        {"RemoveOptionalTags", "editor tags",
         "<X-CLARIS-WINDOW TOP=0>a<X-SAS-WINDOW T='a>b'>b<x-claris-tagview mode=x>c", "abc"},
        // edge cases
        {"RemoveOptionalTags", "longer names, other close tags, editor tag prefix",
         "</LIX></ABCDEFGHIJKLMNOPQRSTUVWXYZ></P></TD><X-CLARIS-WINDOWS>",
         "</LIX></ABCDEFGHIJKLMNOPQRSTUVWXYZ></P></TD><X-CLARIS-WINDOWS>"},
        {"RemoveOptionalTags", "line feed after the name: stays", "<UL><LI>a</LI\n>",
         "<UL><LI>a</LI\n>"},
        {"RemoveOptionalTags", "attributes on a close tag", "<UL><LI>a</LI class=x><LI>b",
         "<UL><LI>a<LI>b"},
        {"RemoveOptionalTags", "a close tag with nothing open to close stays", "</LI>y</OPTION>z",
         "</LI>y</OPTION>z"},
        {"RemoveOptionalTags", "an option's close tag with another element open stays",
         "<SELECT><OPTION><B>a</OPTION></SELECT>", "<SELECT><OPTION><B>a</OPTION></SELECT>"},
        {"RemoveOptionalTags", "script text is no markup",
         "<UL><LI>a<SCRIPT>w('</LI>')</SCRIPT></UL>", "<UL><LI>a<SCRIPT>w('</LI>')</SCRIPT></UL>"},
        {"RemoveOptionalTags", "tags in a comment do not count",
         "<UL><!-- <LI> --><LI>a</LI> <B>b</B></UL>", "<UL><!-- <LI> --><LI>a</LI> <B>b</B></UL>"},
        // fixed: without `</LI>` the `</A>` of `<A><LI>x</LI></A>` meets an open item, and a
        // browser moves the item out of the link
        {"RemoveOptionalTags", "item inside a link", "<A HREF=x><LI>a</LI></A>",
         "<A HREF=x><LI>a</LI></A>"},
        {"RemoveOptionalTags", "a block's end tag still lets it go", "<DIV><LI>a</LI></DIV>",
         "<DIV><LI>a</DIV>"},
        {"RemoveOptionalTags", "body close tag is not a list item", "<B></BODY></B>", "<B></B>"},
        // fixed: a close tag went wherever it stood, and the rest of the page went into the
        // element the browser then left open; it goes only where the parser closes it anyway
        {"RemoveOptionalTags", "item or definition outside any list",
         "<DIV><LI>a</LI>b</DIV><DD>a</DD><P>b", "<DIV><LI>a</LI>b</DIV><DD>a</DD><P>b"},
        {"RemoveOptionalTags", "a DIV or STYLE after the last item",
         "<UL><LI>a</LI><DIV>b</DIV><LI>c</LI><STYLE>p{}</STYLE></UL>",
         "<UL><LI>a</LI><DIV>b</DIV><LI>c</LI><STYLE>p{}</STYLE></UL>"},
        {"RemoveOptionalTags", "blanks before the next item", "<UL><LI>a</LI>\n <LI>b</LI>\n</UL>",
         "<UL><LI>a\n <LI>b\n</UL>"},
        {"RemoveOptionalTags", "an open SECTION stops the next item",
         "<UL><LI><SECTION>a</LI><LI>b</UL>", "<UL><LI><SECTION>a</LI><LI>b</UL>"},
        {"RemoveOptionalTags", "an open paragraph does not", "<UL><LI><P>a</LI><LI>b</UL>",
         "<UL><LI><P>a<LI>b</UL>"},
        {"RemoveOptionalTags", "nested lists", "<UL><LI>a<UL><LI>b</LI></UL></LI><LI>c</LI></UL>",
         "<UL><LI>a<UL><LI>b</UL><LI>c</UL>"},
        {"RemoveOptionalTags", "end of another list than the item's", "<OL><LI>a<UL></LI></OL>",
         "<OL><LI>a<UL></LI></OL>"},
        {"RemoveOptionalTags", "definition then term, then text",
         "<DL><DD>a</DD><DT>b</DT></DL><DL><DT>a</DT>b</DL>",
         "<DL><DD>a<DT>b</DL><DL><DT>a</DT>b</DL>"},
        {"RemoveOptionalTags", "option then text", "<SELECT><OPTION>a</OPTION>b</SELECT>",
         "<SELECT><OPTION>a</OPTION>b</SELECT>"},
        {"RemoveOptionalTags", "options in a group",
         "<SELECT><OPTGROUP><OPTION>a</OPTION></OPTGROUP></SELECT>",
         "<SELECT><OPTGROUP><OPTION>a</OPTGROUP></SELECT>"},
        {"RemoveOptionalTags", "column group before another start tag",
         "<TABLE><COLGROUP></COLGROUP><TBODY>", "<TABLE><COLGROUP><TBODY>"},
        {"RemoveOptionalTags", "column group before blanks or a COL",
         "<TABLE><COLGROUP></COLGROUP>\n<TR><COLGROUP></COLGROUP><COL>",
         "<TABLE><COLGROUP></COLGROUP>\n<TR><COLGROUP></COLGROUP><COL>"},
        {"RemoveOptionalTags", "item text in a cell",
         "<TABLE><TR><TD><UL><LI>a</LI></TD></TR></TABLE>",
         "<TABLE><TR><TD><UL><LI>a</TD></TR></TABLE>"},
        // early endings
        {"RemoveOptionalTags", "item at the end of the page", "<UL><LI>a</LI>\n", "<UL><LI>a\n"},
        {"RemoveOptionalTags", "unclosed tag runs to the end", "a</BODY", "a"},
        {"RemoveOptionalTags", "name cut off by the end", "a</BOD", "a</BOD"},
        // bytes 0x80-0xFF
        {"RemoveOptionalTags", "byte above 0x7F in the name", "</L\xC9><UL><LI>\xC3\xA9</LI><LI>",
         "</L\xC9><UL><LI>\xC3\xA9<LI>"},

        // examples
        {"RemoveNoopTags", "open and close", "a<NOOP>b</NOOP>c", "abc"},
        {"RemoveNoopTags", "any case, attributes, longer names", "a<noop x=1>  b  </Noop ><NOOPX>c",
         "a  b  c"},
        // edge cases
        {"RemoveNoopTags", "other tags stay", "<NOP><NOOR></NOP>< NOOP>",
         "<NOP><NOOR></NOP>< NOOP>"},
        {"RemoveNoopTags", "deletes to the next >, quotes or not", "<NOOP a='>'>b", "'>b"},
        {"RemoveNoopTags", "NOOP in TEXTAREA is text", "<TEXTAREA><NOOP>a</TEXTAREA><NOOP>",
         "<TEXTAREA><NOOP>a</TEXTAREA>"},
        {"RemoveNoopTags", "NOOP in server code", "<% x = \"<noop>\" %>y", "<% x = \"<noop>\" %>y"},
        // early endings
        {"RemoveNoopTags", "unclosed tag runs to the end", "a<NOOP b", "a"},
        {"RemoveNoopTags", "close tag at the very end", "a</NOOP>", "a"},
    };
    ExpectRows(rows);
}

// Server-side code is the server's, and the content of TITLE and TEXTAREA is text to a browser.
TEST(TagSteps, WholeChain) {
    const StepRow rows[] = {
        {kWholeChain, "Perl here-document keeps its lines",
         "<%\n$r->Doc(<<END);\n<html>\n  <p>  x  </p>\n\n<div>\nEND\n%>\n<p>  a  </p>\n",
         "<%\n$r->Doc(<<END);\n<html>\n  <p>  x  </p>\n\n<div>\nEND\n%><p>a</p>"},
        {kWholeChain, "words beside a script keep their blank",
         "<p>Open the\n  <script>go();</script>\n  home page.</p>",
         "<p>Open the\n<script>go();</script>\nhome page.</p>"},
        {kWholeChain, "TEXTAREA and TITLE keep their text",
         "<title>A <!-- b --> C</title><textarea name=t>\n  a  <!-- b -->\n\n\tc</textarea>",
         "<title>A <!-- b --> C</title><textarea name=t>\n  a  <!-- b -->\n\n\tc</textarea>"},
    };
    ExpectRows(rows);
}

}  // namespace
}  // namespace quillon::test
