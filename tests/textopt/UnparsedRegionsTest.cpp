// What the tag passes and the whole chain leave alone: server-side code (`<% %>`, `<? ?>`) is
// the server's, and the content of TITLE, TEXTAREA and the like is text to a browser, so a
// comment, tag or blank run in there stays as written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaseTable.h"
#include "pipeline/PageChain.h"
#include "textopt/TagPasses.h"

namespace quillon::test {
namespace {

// ---- RemoveComments

class CommentsInTextTable : public testing::TestWithParam<PassCase> {};
TEST_P(CommentsInTextTable, GivesTheExpectedText) {
    ExpectPassRow(RemoveComments, GetParam());
}

const PassCase kCommentRows[] = {
    {"TITLE holds no comment", "<TITLE>A <!-- b --> C</TITLE><!-- d -->",
     "<TITLE>A <!-- b --> C</TITLE>"},
    {"TEXTAREA holds no comment", "<textarea><!-- x --></textarea>",
     "<textarea><!-- x --></textarea>"},
    {"NOFRAMES holds no comment", "<noframes><!-- x --></noframes>",
     "<noframes><!-- x --></noframes>"},
    {"comment in ASP code", "<% s = \"<!-- x -->\" %>", "<% s = \"<!-- x -->\" %>"},
    {"comment in PHP code, one after it", "<?php echo '<!-- a -->'; ?><!-- b -->",
     "<?php echo '<!-- a -->'; ?>"},
    {"unclosed server code protects to the end", "<% a <!-- b -->", "<% a <!-- b -->"},
    {"percent sign in text is no code", "5 <%b <!-- c -->", "5 <%b <!-- c -->"},
};
INSTANTIATE_TEST_SUITE_P(Rows, CommentsInTextTable, testing::ValuesIn(kCommentRows),
                         RowName<PassCase>);

// ---- NormalizeTags (strict quote rules)

class TagsInTextTable : public testing::TestWithParam<PassCase> {};
TEST_P(TagsInTextTable, GivesTheExpectedText) {
    ExpectPassRow(NormalizeTags, PageOptions{}, GetParam());
}

const PassCase kTagRows[] = {
    {"tag in TEXTAREA is text; the open tag is normalized",
     "<TEXTAREA NAME=\"t\"><A HREF=\"x\"  ></TEXTAREA><A HREF=\"y\">",
     "<TEXTAREA NAME=t><A HREF=\"x\"  ></TEXTAREA><A HREF=y>"},
    {"tag in TITLE is text", "<TITLE><B  CLASS=\"x\"></TITLE>", "<TITLE><B  CLASS=\"x\"></TITLE>"},
    {"tag in a script string is text",
     "<SCRIPT TYPE=\"text/javascript\">d.write(\"<A HREF='x'>\")</SCRIPT><A HREF='y'>",
     "<SCRIPT TYPE=\"text/javascript\">d.write(\"<A HREF='x'>\")</SCRIPT><A HREF=y>"},
    {"script opened with a line feed",
     "<SCRIPT\nTYPE='a'>w('<B CLASS=\"x\">')</SCRIPT><B CLASS='y'>",
     "<SCRIPT TYPE=a>w('<B CLASS=\"x\">')</SCRIPT><B CLASS=y>"},
    {"markup in ASP code", "<% w(HTMLEncode('<option value=\"V\">')) %>",
     "<% w(HTMLEncode('<option value=\"V\">')) %>"},
    {"markup in PHP code", "<?= '<td align=\"left\"  >' ?><td align=\"left\">",
     "<?= '<td align=\"left\"  >' ?><td align=left>"},
};
INSTANTIATE_TEST_SUITE_P(Rows, TagsInTextTable, testing::ValuesIn(kTagRows), RowName<PassCase>);

// ---- RemoveNoopTags

class NoopInTextTable : public testing::TestWithParam<PassCase> {};
TEST_P(NoopInTextTable, GivesTheExpectedText) {
    ExpectPassRow(RemoveNoopTags, GetParam());
}

const PassCase kNoopRows[] = {
    {"NOOP in TEXTAREA is text", "<TEXTAREA><NOOP>a</TEXTAREA><NOOP>",
     "<TEXTAREA><NOOP>a</TEXTAREA>"},
    {"NOOP in server code", "<% x = \"<noop>\" %>y", "<% x = \"<noop>\" %>y"},
};
INSTANTIATE_TEST_SUITE_P(Rows, NoopInTextTable, testing::ValuesIn(kNoopRows), RowName<PassCase>);

// ---- The whole chain with its default settings, JavaScript optimizer off

std::string RunDefaultChain(const std::string& input) {
    std::vector<std::uint8_t> bytes(input.begin(), input.end());
    const TextLength length =
        RunPageChain(bytes.data(), static_cast<TextLength>(bytes.size()), PageSettings{});
    return std::string(bytes.begin(), bytes.begin() + length);
}

class ChainTable : public testing::TestWithParam<PassCase> {};
TEST_P(ChainTable, GivesTheExpectedText) {
    EXPECT_EQ(Visible(RunDefaultChain(GetParam().input)), Visible(GetParam().expected));
}

const PassCase kChainRows[] = {
    {"Perl here-document keeps its lines",
     "<%\n$r->Doc(<<END);\n<html>\n  <p>  x  </p>\n\n<div>\nEND\n%>\n<p>  a  </p>\n",
     "<%\n$r->Doc(<<END);\n<html>\n  <p>  x  </p>\n\n<div>\nEND\n%><p>a</p>"},
    {"quotes in ASP code stay", "<% Response.Write HTMLEncode('<option value=\"V\">') %>",
     "<% Response.Write HTMLEncode('<option value=\"V\">') %>"},
    {"PHP block", "<?php\n  if ($a  ==  1) {\n\techo \"<P>  x\";\n  }\n?>",
     "<?php\n  if ($a  ==  1) {\n\techo \"<P>  x\";\n  }\n?>"},
    {"words beside a script keep their blank",
     "<p>Open the\n  <script>go();</script>\n  home page.</p>",
     "<p>Open the\n<script>go();</script>\nhome page.</p>"},
    {"words beside a SELECT keep their blank", "<p>Match: <select name=m><option>a</select></p>",
     "<p>Match: <select name=m><option>a</select></p>"},
    {"TEXTAREA keeps its text", "<textarea name=t>\n  a  <!-- b -->\n\n\tc</textarea>",
     "<textarea name=t>\n  a  <!-- b -->\n\n\tc</textarea>"},
    {"TITLE keeps its comment-like text", "<title>A <!-- b --> C</title>",
     "<title>A <!-- b --> C</title>"},
    {"script literals keep their blanks",
     "<script>\n  var s = \"a  b\",\tt = 'c\td';\n  var u = `\n    x`;\n  var r = /a  "
     "b/;\n</script>",
     "<script>var s = \"a  b\", t = 'c\td';\nvar u = `\n    x`;\nvar r = /a  b/;</script>"},
    {"attribute values keep their blanks",
     "<input value=\"two  spaces\" title='a\tb' data-x=\"c\n  d\">",
     "<input value=\"two  spaces\" title='a\tb' data-x=\"c\n  d\">"},
};
INSTANTIATE_TEST_SUITE_P(Rows, ChainTable, testing::ValuesIn(kChainRows), RowName<PassCase>);

}  // namespace
}  // namespace quillon::test
