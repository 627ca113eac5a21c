// OptimizeMetaAndImg: which META tags go under each choice, and which IMG attributes restate a
// default. The blanks an attribute leaves are NormalizeTags' to remove, so rows here keep them.
#include <gtest/gtest.h>

#include <string>

#include "CaseTable.h"
#include "textopt/TagPasses.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;
using test::PrintTo;

struct OptionCase {
    std::string name;
    MetaTagRule rule;
    std::string input;
    std::string expected;
};

class OptimizeMetaAndImgTable : public testing::TestWithParam<OptionCase> {};
TEST_P(OptimizeMetaAndImgTable, GivesTheExpectedText) {
    const OptionCase& row = GetParam();
    PageOptions options;
    options.metaTags = row.rule;
    ExpectPassRow(OptimizeMetaAndImg, options, {row.name, row.input, row.expected});
}

constexpr MetaTagRule kUnused = MetaTagRule::kRemoveUnused;
constexpr MetaTagRule kGenerator = MetaTagRule::kRemoveGenerator;
constexpr MetaTagRule kAll = MetaTagRule::kKeepAll;

const OptionCase kMetaExamples[] = {
    {"generator goes", kUnused, "<META NAME='GENERATOR' CONTENT='x'>a", "a"},
    {"keywords stay", kUnused, "<meta name=keywords content='a,b'>",
     "<meta name=keywords content='a,b'>"},
    {"refresh stays", kUnused, "<META HTTP-EQUIV='Refresh' CONTENT='5'>",
     "<META HTTP-EQUIV='Refresh' CONTENT='5'>"},
    {"robots stays", kUnused, "<META NAME=ROBOTS CONTENT=NOINDEX>",
     "<META NAME=ROBOTS CONTENT=NOINDEX>"},
    {"description stays", kUnused, "<META NAME=\"Description\" CONTENT=\"d\">",
     "<META NAME=\"Description\" CONTENT=\"d\">"},
    {"author goes", kUnused, "a<META NAME=AUTHOR CONTENT=X>b", "ab"},
    {"every META stays under 2", kAll, "<META NAME=AUTHOR CONTENT=X><META NAME=GENERATOR>",
     "<META NAME=AUTHOR CONTENT=X><META NAME=GENERATOR>"},
};
INSTANTIATE_TEST_SUITE_P(MetaExamples, OptimizeMetaAndImgTable, testing::ValuesIn(kMetaExamples),
                         RowName<OptionCase>);

// Tags a browser acts on used to go with the rest: the page then decoded, laid out or was
// protected otherwise. And choice 1, labelled as removing the generator tag only, did what 0 did.
const OptionCase kMetaFixes[] = {
    {"charset stays", kUnused, "<meta charset=\"utf-8\">", "<meta charset=\"utf-8\">"},
    {"content type stays", kUnused,
     "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">",
     "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=iso-8859-1\">"},
    {"security policy stays", kUnused,
     "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'self'\">",
     "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'self'\">"},
    {"compatibility mode stays", kUnused, "<meta http-equiv=X-UA-Compatible content=IE=edge>",
     "<meta http-equiv=X-UA-Compatible content=IE=edge>"},
    {"viewport stays", kUnused, "<meta name=viewport content=\"width=device-width\">",
     "<meta name=viewport content=\"width=device-width\">"},
    {"referrer stays", kUnused, "<meta name='referrer' content='origin'>",
     "<meta name='referrer' content='origin'>"},
    {"Open Graph title stays", kUnused, "<meta property=\"og:title\" content=\"Home\">",
     "<meta property=\"og:title\" content=\"Home\">"},
    {"any PROPERTY stays", kUnused, "<META PROPERTY=article:author CONTENT=x>",
     "<META PROPERTY=article:author CONTENT=x>"},
    {"site verification stays", kUnused,
     "<meta name=\"google-site-verification\" content=\"abc123\">",
     "<meta name=\"google-site-verification\" content=\"abc123\">"},
    {"any -verification name stays", kUnused, "<meta name=yandex-verification content=1>",
     "<meta name=yandex-verification content=1>"},
    {"Bing token stays", kUnused, "<meta name=msvalidate.01 content=AB12>",
     "<meta name=msvalidate.01 content=AB12>"},
    {"old Google token stays", kUnused, "<meta name=verify-v1 content=x>",
     "<meta name=verify-v1 content=x>"},
    {"Pinterest token stays", kUnused, "<meta name=p:domain_verify content=x>",
     "<meta name=p:domain_verify content=x>"},
    {"Twitter card stays", kUnused, "<meta name=twitter:card content=summary>",
     "<meta name=twitter:card content=summary>"},
    {"Apple setting stays", kUnused, "<meta name=apple-mobile-web-app-capable content=yes>",
     "<meta name=apple-mobile-web-app-capable content=yes>"},
    {"tile setting stays", kUnused, "<meta name=msapplication-TileColor content=#fff>",
     "<meta name=msapplication-TileColor content=#fff>"},
    {"theme colour stays", kUnused, "<meta name=theme-color content=#123456>",
     "<meta name=theme-color content=#123456>"},
    {"colour scheme stays", kUnused, "<meta name=color-scheme content='light dark'>",
     "<meta name=color-scheme content='light dark'>"},
    {"application name stays", kUnused, "<meta name=application-name content=App>",
     "<meta name=application-name content=App>"},
    {"format detection stays", kUnused, "<meta name=format-detection content=telephone=no>",
     "<meta name=format-detection content=telephone=no>"},
    {"googlebot stays", kUnused, "<meta name=googlebot content=noarchive>",
     "<meta name=googlebot content=noarchive>"},
    {"web app capable stays", kUnused, "<meta name=mobile-web-app-capable content=yes>",
     "<meta name=mobile-web-app-capable content=yes>"},
    {"a name only beginning like a kept one goes", kUnused, "<meta name=twitterx content=1>a", "a"},
    {"verification in the middle does not count", kUnused, "<meta name=x-verification-y>a", "a"},
    {"choice 1 removes the generator tag", kGenerator, "<META NAME=Generator CONTENT=x>a", "a"},
    {"choice 1 keeps the others", kGenerator, "<META NAME=AUTHOR CONTENT=X><meta property=p>",
     "<META NAME=AUTHOR CONTENT=X><meta property=p>"},
};
INSTANTIATE_TEST_SUITE_P(MetaFixedFaults, OptimizeMetaAndImgTable, testing::ValuesIn(kMetaFixes),
                         RowName<OptionCase>);

const OptionCase kMetaEdges[] = {
    {"whole words only", kUnused, "<META NAME=ROBOTSX>a", "a"},
    {"blanks around the value", kUnused, "<META NAME=' robots '>", "<META NAME=' robots '>"},
    {"name in the content does not count", kUnused, "<META CONTENT='NAME=ROBOTS'>a", "a"},
    {"first letters only: METAL is no META", kUnused, "<METAL NAME=X>", "<METAL NAME=X>"},
    {"no attributes", kUnused, "a<META>b", "ab"},
    {"line feed after the name", kUnused, "<META\nNAME=AUTHOR>a", "a"},
    {"inside a script string too", kUnused, "w('<meta name=author>')", "w('')"},
    {"quoted > inside a value", kUnused, "<META NAME=X CONTENT='a>b'>c", "c"},
    // A browser ends this tag at the `>` in `(a>b)`; TagBodyLength reads on to the last one.
    {"browser ends the tag elsewhere: it stays", kUnused, "<META NAME=(a>b)>", "<META NAME=(a>b)>"},
    {"stray quote: it stays", kUnused, "<META CONTENT=it's NAME=X>z'>",
     "<META CONTENT=it's NAME=X>z'>"},
};
INSTANTIATE_TEST_SUITE_P(MetaEdgeCases, OptimizeMetaAndImgTable, testing::ValuesIn(kMetaEdges),
                         RowName<OptionCase>);

const OptionCase kImgExamples[] = {
    {"the example, outside a link", kUnused,
     "<IMG SRC='a.gif' BORDER=0 HSPACE='0' ALIGN=bottom WIDTH=10><P>",
     "<IMG SRC='a.gif'    WIDTH=10><P>"},
    {"spacing and size flag", kUnused, "<img src=a hspace=0 vspace=\"0\" naturalsizeflag=3>x",
     "<img src=a   >x"},
    {"editor attributes without values", kUnused,
     "<IMG X-CLARIS-USEIMAGEWIDTH X-CLARIS-USEIMAGEHEIGHT X-SAS-USEIMAGEWIDTH "
     "X-SAS-USEIMAGEHEIGHT SRC=a>x",
     "<IMG     SRC=a>x"},
    {"default alignments", kUnused,
     "<IMG ALIGN=baseline><IMG ALIGN='absbottom'><IMG ALIGN=BOTTOM>x", "<IMG ><IMG ><IMG >x"},
};
INSTANTIATE_TEST_SUITE_P(ImgExamples, OptimizeMetaAndImgTable, testing::ValuesIn(kImgExamples),
                         RowName<OptionCase>);

const OptionCase kImgEdges[] = {
    {"inside a link BORDER=0 stays", kUnused, "<A HREF=x><IMG SRC=a.gif BORDER=0></A>",
     "<A HREF=x><IMG SRC=a.gif BORDER=0></A>"},
    {"a later link opens first: goes", kUnused, "<IMG SRC=a BORDER=0><A HREF=x>l</A>",
     "<IMG SRC=a ><A HREF=x>l</A>"},
    {"no link at all: goes", kUnused, "<IMG SRC=a BORDER=0><P>text", "<IMG SRC=a ><P>text"},
    {"image map keeps BORDER=0", kUnused, "<IMG SRC=a.gif BORDER=0 USEMAP='#m'><P>",
     "<IMG SRC=a.gif BORDER=0 USEMAP='#m'><P>"},
    {"server map keeps BORDER=0", kUnused, "<IMG ISMAP SRC=a BORDER=0><P>",
     "<IMG ISMAP SRC=a BORDER=0><P>"},
    {"HSPACE=1 stays", kUnused, "<IMG HSPACE=1 VSPACE=10>x", "<IMG HSPACE=1 VSPACE=10>x"},
    {"ALIGN=left stays", kUnused, "<IMG ALIGN=left>x", "<IMG ALIGN=left>x"},
    {"BORDER=1 stays", kUnused, "<IMG BORDER=1><P>", "<IMG BORDER=1><P>"},
    {"blanks around =", kUnused, "<IMG HSPACE = 0 SRC=a>x", "<IMG  SRC=a>x"},
    {"HSPACE without a value stays", kUnused, "<IMG HSPACE SRC=a>x", "<IMG HSPACE SRC=a>x"},
    {"NATURALSIZEFLAG without a value stays", kUnused, "<IMG NATURALSIZEFLAG>x",
     "<IMG NATURALSIZEFLAG>x"},
    {"similar names stay", kUnused, "<IMG HSPACEX=0 BORDERS=0>x", "<IMG HSPACEX=0 BORDERS=0>x"},
    {"IMG inside a script string", kUnused, "w('<img src=a border=0>');<p>",
     "w('<img src=a >');<p>"},
    {"IMGX is no image", kUnused, "<IMGX BORDER=0>x", "<IMGX BORDER=0>x"},
    {"images lose defaults under every META choice", kAll, "<IMG HSPACE=0>x", "<IMG >x"},
};
INSTANTIATE_TEST_SUITE_P(ImgEdgeCases, OptimizeMetaAndImgTable, testing::ValuesIn(kImgEdges),
                         RowName<OptionCase>);

// The attribute walk once ended a quoted value at a `>` inside it and went on reading the rest
// of the value as attributes: `ALT='x>y HSPACE=0'` lost text and its closing quote.
const OptionCase kImgFixes[] = {
    {"attribute-like text inside a value stays", kUnused, "<IMG ALT='x>y HSPACE=0' SRC=a>z",
     "<IMG ALT='x>y HSPACE=0' SRC=a>z"},
    {"stray quote: the tag stays", kUnused, "<IMG ALT=it's HSPACE=0>x'>",
     "<IMG ALT=it's HSPACE=0>x'>"},
    // Text a form submits or server-side code prints only looks like tags.
    {"tags in TEXTAREA are text", kUnused, "<TEXTAREA><IMG SRC=a BORDER=0><META NAME=x></TEXTAREA>",
     "<TEXTAREA><IMG SRC=a BORDER=0><META NAME=x></TEXTAREA>"},
    {"tags in server code are code", kUnused,
     "<% s = \"<IMG BORDER=0>\" %><?php $m = '<META NAME=GENERATOR CONTENT=x>'; ?>",
     "<% s = \"<IMG BORDER=0>\" %><?php $m = '<META NAME=GENERATOR CONTENT=x>'; ?>"},
};
INSTANTIATE_TEST_SUITE_P(ImgFixedFaults, OptimizeMetaAndImgTable, testing::ValuesIn(kImgFixes),
                         RowName<OptionCase>);

const OptionCase kEndings[] = {
    {"unclosed META runs to the end", kUnused, "a<META NAME=X", "a"},
    {"unclosed IMG", kUnused, "<IMG HSPACE=0", "<IMG "},
    {"image near the end counts as in a link", kUnused, "<IMG BORDER=0>ab", "<IMG BORDER=0>ab"},
    {"name cut off", kUnused, "<ME", "<ME"},
    {"just <", kUnused, "<", "<"},
    {"empty text", kUnused, "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, OptimizeMetaAndImgTable, testing::ValuesIn(kEndings),
                         RowName<OptionCase>);

const OptionCase kHighBytes[] = {
    {"UTF-8 in a removed META", kUnused, "<META NAME=author CONTENT='\xC3\xA9'>x", "x"},
    {"UTF-8 in a kept value", kUnused, "<IMG ALT='\xC3\xA9' HSPACE=0>x", "<IMG ALT='\xC3\xA9' >x"},
    {"deleted byte in the name", kUnused, "<ME\0TA NAME=X>"s, "<META NAME=X>"},
    {"deleted anchor byte: <A then 0 opens a link", kUnused, "<IMG BORDER=0><A\0HREF=x>"s,
     "<IMG ><AHREF=x>"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, OptimizeMetaAndImgTable, testing::ValuesIn(kHighBytes),
                         RowName<OptionCase>);

}  // namespace
}  // namespace quillon::test
