// The inline JavaScript optimizer: which SCRIPT elements it works on, RemoveScriptComments and
// TightenScriptOperators on a body. The differential check runs node over the results; these
// rows pin the exact bytes.
#include <gtest/gtest.h>

#include <string>

#include "CaseTable.h"
#include "textopt/ScriptLexer.h"
#include "textopt/ScriptPasses.h"

namespace quillon::test {
namespace {

using namespace std::string_literals;

// The body passes work on a range and leave compaction to their caller.
TextLength CommentsOnBody(std::uint8_t* text, TextLength length) {
    if (length > 0) {
        RemoveScriptComments(text, 0, length);
    }
    return CompactDeleted(text, length);
}

TextLength TightenBody(std::uint8_t* text, TextLength length) {
    if (length > 0) {
        TightenScriptOperators(text, 0, length);
    }
    return CompactDeleted(text, length);
}

// ---- OptimizeInlineScripts

class OptimizeInlineScriptsTable : public testing::TestWithParam<PassCase> {};
TEST_P(OptimizeInlineScriptsTable, GivesTheExpectedText) {
    ExpectPassRow(OptimizeInlineScripts, PageOptions{}, GetParam());
}

const PassCase kInlineExamples[] = {
    {"source keeps a body the page may read", "<SCRIPT SRC='lib.js'> alert(1); </SCRIPT>",
     "<SCRIPT SRC='lib.js'> alert(1); </SCRIPT>"},
    {"source keeps a loader's body byte for byte",
     "<script src=\"boot.js\">\n  $(\"#accordion\").accordion(); // open\n</script>",
     "<script src=\"boot.js\">\n  $(\"#accordion\").accordion(); // open\n</script>"},
    {"source drops a blank body", "<script src=x.js> \n\t </script>", "<script src=x.js></script>"},
    {"script in server code is code", "<% w \"<script>a  =  1 // c</script>\" %>",
     "<% w \"<script>a  =  1 // c</script>\" %>"},
    {"script in TEXTAREA is text", "<textarea><script>a  =  1</script></textarea>",
     "<textarea><script>a  =  1</script></textarea>"},
    {"plain script", "<script>\n  var a = 1 ; // one\n</script>", "<script>var a=1;</script>"},
    {"JavaScript language", "<SCRIPT LANGUAGE=JAVASCRIPT>a = b</SCRIPT>",
     "<SCRIPT LANGUAGE=JAVASCRIPT>a=b</SCRIPT>"},
    {"JavaScript1.2 counts", "<SCRIPT LANGUAGE=\"JavaScript1.2\">a = b</SCRIPT>",
     "<SCRIPT LANGUAGE=\"JavaScript1.2\">a=b</SCRIPT>"},
    {"VBScript is left alone", "<SCRIPT LANGUAGE='VBScript'> a = b ' c </SCRIPT>",
     "<SCRIPT LANGUAGE='VBScript'> a = b ' c </SCRIPT>"},
    {"JScript is left alone", "<SCRIPT LANGUAGE=JScript>a = b</SCRIPT>",
     "<SCRIPT LANGUAGE=JScript>a = b</SCRIPT>"},
    {"VBScript after JavaScript", "<SCRIPT>a = b</SCRIPT><SCRIPT LANGUAGE=VBScript>c = d</SCRIPT>",
     "<SCRIPT>a=b</SCRIPT><SCRIPT LANGUAGE=VBScript>c = d</SCRIPT>"},
    {"empty LANGUAGE is JavaScript", "<SCRIPT LANGUAGE=>a = b</SCRIPT>",
     "<SCRIPT LANGUAGE=>a=b</SCRIPT>"},
    {"several elements", "<script>a = 1</script> x = 2 <script>b = 3</script>",
     "<script>a=1</script> x = 2 <script>b=3</script>"},
};
INSTANTIATE_TEST_SUITE_P(Examples, OptimizeInlineScriptsTable, testing::ValuesIn(kInlineExamples),
                         RowName<PassCase>);

// A TYPE other than JavaScript's used to be ignored: templates and data blocks were stripped
// like code. And scanning went on inside the body, so a `<SCRIPT` in a string was taken for an
// element (here one with a SRC, whose "body" then ran to the real close tag and was deleted).
const PassCase kInlineFixes[] = {
    {"template is left alone", "<script type=\"text/template\"><b> a = b // c </b></script>",
     "<script type=\"text/template\"><b> a = b // c </b></script>"},
    {"JSON data is left alone", "<script type='application/ld+json'>{ \"a\" : 1 }</script>",
     "<script type='application/ld+json'>{ \"a\" : 1 }</script>"},
    {"text/javascript", "<script type=\"text/javascript\">a = b</script>",
     "<script type=\"text/javascript\">a=b</script>"},
    {"module", "<script type=module>a = b</script>", "<script type=module>a=b</script>"},
    {"JavaScript type in any case, with blanks",
     "<script type=' Application/JavaScript '>a = b"
     "</script>",
     "<script type=' Application/JavaScript '>a=b</script>"},
    {"text/javascript1.5", "<script type=text/javascript1.5>a = b</script>",
     "<script type=text/javascript1.5>a=b</script>"},
    {"empty type", "<script type=\"\">a = b</script>", "<script type=\"\">a=b</script>"},
    {"non-JavaScript type with a source keeps its body",
     "<script type=text/x-template src=t.html> <p> </script>",
     "<script type=text/x-template src=t.html> <p> </script>"},
    {"SCRIPT in a string is script text",
     "<SCRIPT>document.write('<SCRIPT SRC=x.js>  <\\/SCRIPT>');</SCRIPT>",
     "<SCRIPT>document.write('<SCRIPT SRC=x.js>  <\\/SCRIPT>');</SCRIPT>"},
    {"after the close tag the walk goes on",
     "<SCRIPT>a = '<SCRIPT>'</SCRIPT><script>b = c</script>",
     "<SCRIPT>a='<SCRIPT>'</SCRIPT><script>b=c</script>"},
};
INSTANTIATE_TEST_SUITE_P(FixedFaults, OptimizeInlineScriptsTable, testing::ValuesIn(kInlineFixes),
                         RowName<PassCase>);

const PassCase kInlineEdges[] = {
    {"close tag in a string ends the element", "<SCRIPT>x = '</SCRIPT>' + y</SCRIPT>",
     "<SCRIPT>x='</SCRIPT>' + y</SCRIPT>"},
    {"close tag with blanks", "<script>a = b</script >", "<script>a=b</script >"},
    {"src without a value is no source", "<script src>a = b</script>", "<script src>a=b</script>"},
    {"first TYPE counts", "<script type=text/plain type=text/javascript>a = b</script>",
     "<script type=text/plain type=text/javascript>a = b</script>"},
    {"SCRIPTX is no script", "<SCRIPTX>a = b</SCRIPTX>", "<SCRIPTX>a = b</SCRIPTX>"},
    {"SSI body stays whole", "<script>\n<!--#include virtual=\"x.js\" -->\n</script>",
     "<script><!--#include virtual=\"x.js\" --></script>"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, OptimizeInlineScriptsTable, testing::ValuesIn(kInlineEdges),
                         RowName<PassCase>);

const PassCase kInlineEndings[] = {
    {"no close tag: the body runs to the end", "<script> a = b ", "<script>a=b"},
    {"source, no close tag", "<script src=x> a = b ", "<script src=x> a = b "},
    {"open tag cut off", "<script a = b", "<script a = b"},
    {"empty body", "<script></script>", "<script></script>"},
    {"empty text", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, OptimizeInlineScriptsTable,
                         testing::ValuesIn(kInlineEndings), RowName<PassCase>);

const PassCase kInlineHighBytes[] = {
    {"UTF-8 in a string", "<script> s = '\xC3\xA9  \xE2\x80\x94' ; </script>",
     "<script>s='\xC3\xA9  \xE2\x80\x94';</script>"},
    {"no-break space at the body's ends stays", "<script>\xC2\xA0 a = b \xC2\xA0</script>",
     "<script>\xC2\xA0 a=b \xC2\xA0</script>"},
    {"deleted bytes in the body", "<script>a \0= \0b</script>"s, "<script>a=b</script>"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, OptimizeInlineScriptsTable,
                         testing::ValuesIn(kInlineHighBytes), RowName<PassCase>);

TEST(OptimizeInlineScripts, RemoveCommentsOffKeepsComments) {
    PageOptions options;
    options.removeScriptComments = false;
    EXPECT_EQ(Visible(RunPass(OptimizeInlineScripts, options,
                              "<script>\n<!--\na = b ; // c\n// -->\n</script>")),
              Visible("<script>\n<!--\na=b;// c\n// -->\n</script>"));
}

// ---- RemoveScriptComments

class RemoveScriptCommentsTable : public testing::TestWithParam<PassCase> {};
TEST_P(RemoveScriptCommentsTable, GivesTheExpectedText) {
    ExpectPassRow(CommentsOnBody, GetParam());
}

const PassCase kCommentExamples[] = {
    {"the example",
     "\n<!-- hide\nvar a = 1; // one\nvar b = 'x // y'; /* two */ k = 2;\n// end -->\n",
     "<!--\nvar a = 1; \nvar b = 'x // y';  k = 2;\n//-->"},
    {"line comment keeps its line feed", "a(); // x\nb();", "a(); \nb();"},
    {"block comment", "a(); /* x\ny */ b();", "a(); \n b();"},
    {"include in a comment stays", "a(); <!--#include file='x' -->\nb();",
     "a(); <!--#include file='x' -->\nb();"},
    {"include in a block comment does not count", "a(); /* #include */ b();", "a();  b();"},
};
INSTANTIATE_TEST_SUITE_P(Examples, RemoveScriptCommentsTable, testing::ValuesIn(kCommentExamples),
                         RowName<PassCase>);

// Each row failed before its fix: quotes ignored backslashes, template literals and regular
// expressions were not recognised, the closing line lost all but its last byte, and a `<!--`
// inside the body swallowed everything up to the next `-->`.
const PassCase kCommentFixes[] = {
    {"escaped quote", "s = 'it\\'s // here'; // c", "s = 'it\\'s // here';"},
    {"escaped backslash before the quote", "s = 'a\\\\'; // c", "s = 'a\\\\';"},
    {"template literal", "s = `a // b ${c /* d */} e`; // f", "s = `a // b ${c } e`;"},
    {"regular expression with slashes", "r = /\\/\\//g; // c", "r = /\\/\\//g;"},
    {"regular expression with a quote", "r = /'/; s = 'x'; // c", "r = /'/; s = 'x';"},
    {"regular expression with a class", "r = /[/*]/; x(); /* c */", "r = /[/*]/; x();"},
    {"division is no regular expression", "a = b / c; // d /e", "a = b / c;"},
    {"line comment before a bare -->", "foo(); // done\n-->", "foo(); \n-->"},
    {"closing part with a directive stays", "a();\n<!--#echo var='x' -->",
     "a();\n<!--#echo var='x' -->"},
    {"whole body a directive", "<!--#include virtual=\"x.js\" -->",
     "<!--#include virtual=\"x.js\" -->"},
    {"<!-- inside goes to its line's end only", "x();\n<!-- note\ny();\n-->\nz();",
     "x();\n\ny();\n-->\nz();"},
    {"empty <!----> inside", "x(); <!---->\ny(); <!-- #echo var='v' -->",
     "x(); \ny(); <!-- #echo var='v' -->"},
    {"directive later on a <!-- line", "x(); <!-- a --> <!--#echo var='v' -->\ny();",
     "x(); <!-- a --> <!--#echo var='v' -->\ny();"},
    {"comment between names leaves a blank", "var/**/x = 1;", "var x = 1;"},
    {"comment between signs leaves a blank", "a = b-/**/-c;", "a = b- -c;"},
    {"comment over lines leaves a line feed", "return/*\n*/x;", "return\nx;"},
};
INSTANTIATE_TEST_SUITE_P(FixedFaults, RemoveScriptCommentsTable, testing::ValuesIn(kCommentFixes),
                         RowName<PassCase>);

const PassCase kCommentEdges[] = {
    {"opening line with a directive stays", "<!--#include virtual='a' -->\nx();",
     "<!--#include virtual='a' -->\nx();"},
    {"a lone <!-- is a comment like any", "<!--", ""},
    {"closing line without //", "x();\n// end\n-->", "x();\n\n-->"},
    {"closing // keeps its slashes", "x(); // -->", "x(); //-->"},
    {"string holding -->", "s = '-->';", "s = '-->';"},
    {"unterminated string ends at its line", "s = 'abc\n// c\nx();", "s = 'abc\n\nx();"},
    {"double quotes", "s = \"a /* b */ c\"; /* d */", "s = \"a /* b */ c\";"},
    {"regular expression after return", "function f(){return /\\/\\/x/;} // c",
     "function f(){return /\\/\\/x/;}"},
    {"regular expression after a parenthesis", "if (/'/.test(s)) x(); // c",
     "if (/'/.test(s)) x();"},
    {"property named return is a name", "a.return / 2; // c", "a.return / 2;"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, RemoveScriptCommentsTable, testing::ValuesIn(kCommentEdges),
                         RowName<PassCase>);

const PassCase kCommentEndings[] = {
    {"unclosed block comment", "a(); /* b", "a();"},
    {"line comment at the end", "a(); //", "a();"},
    {"blanks only", " \n \n", ""},
    {"unclosed template", "s = `a // b", "s = `a // b"},
    {"empty body", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, RemoveScriptCommentsTable,
                         testing::ValuesIn(kCommentEndings), RowName<PassCase>);

const PassCase kCommentHighBytes[] = {
    {"UTF-8 in a comment goes", "a(); // \xC3\xA9\nb();", "a(); \nb();"},
    {"UTF-8 at the ends stays", "\xC2\xA0x();\xC2\xA0", "\xC2\xA0x();\xC2\xA0"},
    {"deleted bytes at the ends", "\0 x(); \0"s, "x();"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, RemoveScriptCommentsTable,
                         testing::ValuesIn(kCommentHighBytes), RowName<PassCase>);

// ---- TightenScriptOperators

class TightenScriptOperatorsTable : public testing::TestWithParam<PassCase> {};
TEST_P(TightenScriptOperatorsTable, GivesTheExpectedText) {
    ExpectPassRow(TightenBody, GetParam());
}

const PassCase kTightenExamples[] = {
    {"the example", "if (a < b || e > d) { x = y + z - w; }\nfoo( a , b );",
     "if(a<b||e>d){x=y+z-w;}\nfoo(a,b );"},
    {"line feeds around listed operators", "a =\n  b ;\nc = d", "a=b;c=d"},
    {"line feeds stay around + - }", "a +\nb -\nc }\nd", "a+\nb-\nc}\nd"},
    {"unlisted operators keep their blanks", "a && b ! c % d . e [ f ]",
     "a && b ! c % d . e [ f ]"},
    {"strings are copied", "s = ' a , b ' + \" c ; d \"", "s=' a , b '+\" c ; d \""},
};
INSTANTIATE_TEST_SUITE_P(Examples, TightenScriptOperatorsTable, testing::ValuesIn(kTightenExamples),
                         RowName<PassCase>);

// Each row failed before its fix.
const PassCase kTightenFixes[] = {
    {"minus then negation: a - -b", "x = a - -b;", "x=a- -b;"},
    {"plus then increment: a + ++b", "x = a + ++b;", "x=a+ ++b;"},
    {"plus then unary plus: a + +b", "x = a + +b;", "x=a+ +b;"},
    {"minus then decrement: a - --b", "x = a - --b;", "x=a- --b;"},
    {"division then a regular expression", "x = a / /b/.source.length;", "x=a/ /b/.source.length;"},
    {"return on its own line", "return\n(x);", "return\n(x);"},
    {"throw, break, continue, yield", "throw\n(e); break\n; continue\n; yield\n{};",
     "throw\n(e);break\n;continue\n;yield\n{};"},
    {"line comment kept, its line feed too", "// see:\nfoo();\n// x\n(bar)()",
     "// see:\nfoo();// x\n(bar)()"},
    {"<!-- line kept with its line feed", "<!--\n(function(){})();", "<!--\n(function(){})();"},
    {"--> keeps its line start", "foo();\n-->", "foo();\n-->"},
    {"escaped quote in a string", "s = 'a\\' , b';", "s='a\\' , b';"},
    {"template literal", "s = `a ${ b + c } d , e`;", "s=`a ${ b+c } d , e`;"},
    {"regular expression", "r = / , /g;", "r=/ , /g;"},
    {"block after an expression line", "x = 1\n{ y(); }", "x=1\n{y();}"},
    {"block after a call line", "f()\n{ y(); }", "f()\n{y();}"},
    {"block after if (...)", "if (a)\n{ y(); }", "if(a){y();}"},
    {"block after a function header", "function f(a)\n{ }", "function f(a){}"},
    {"block after else", "else\n{ }", "else{}"},
    {"postfix ++ before (", "a++\n(b)", "a++\n(b)"},
    {"would spell <!--", "x = a < !--b;", "x=a< !--b;"},
    {"would spell </", "x = a < /re/.x;", "x=a< /re/.x;"},
    {"would spell -->", "x = a-- > b;", "x=a-- >b;"},
};
INSTANTIATE_TEST_SUITE_P(FixedFaults, TightenScriptOperatorsTable, testing::ValuesIn(kTightenFixes),
                         RowName<PassCase>);

const PassCase kTightenEdges[] = {
    {"-- deletes blanks before only", "a -- ;", "a--;"},
    {"increment then plus: a++ + b", "x = a++ + b;", "x=a++ +b;"},
    {"arrow function", "f = ( a ) => a * 2;", "f=(a )=>a*2;"},
    {"object literal", "o = { a : 1 , b : [ 2 ] };", "o={a:1,b:[ 2 ]};"},
    {"ternary with a decimal", "x = a ? .5 : 1;", "x=a?.5:1;"},
    {"comment between operator and operand", "a = /* c */ b;", "a=/* c */ b;"},
};
INSTANTIATE_TEST_SUITE_P(EdgeCases, TightenScriptOperatorsTable, testing::ValuesIn(kTightenEdges),
                         RowName<PassCase>);

const PassCase kTightenEndings[] = {
    {"operator at the end", "a = ", "a="},
    {"operator at the start", " ; a", ";a"},
    {"unclosed string", "s = 'a , b", "s='a , b"},
    {"unclosed regular expression is a division", "x = a / b", "x=a/b"},
    {"empty body", "", ""},
};
INSTANTIATE_TEST_SUITE_P(EarlyEndings, TightenScriptOperatorsTable,
                         testing::ValuesIn(kTightenEndings), RowName<PassCase>);

const PassCase kTightenHighBytes[] = {
    {"no-break space is no blank", "a \xC2\xA0= b", "a \xC2\xA0=b"},
    {"UTF-8 names", "\xC3\xA9 = 1 ;", "\xC3\xA9=1;"},
    {"deleted bytes are blanks", "a \0 = \0 b"s, "a=b"},
};
INSTANTIATE_TEST_SUITE_P(ZeroAndHighBytes, TightenScriptOperatorsTable,
                         testing::ValuesIn(kTightenHighBytes), RowName<PassCase>);

// Runs of spaces as one: CollapseSpaces, later in the chain, makes them so.
std::string WithSpaceRunsFolded(std::string text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ' || out.empty() || out.back() != ' ') {
            out += c;
        }
    }
    return out;
}

// One walk that deletes comments and tightens gives what the two passes one after the other
// give (OptimizeInlineScripts does both in one walk), up to runs of spaces: the walk may take
// out one more blank where a comment stood.
TEST(ScriptPasses, OneWalkMatchesTheTwoPasses) {
    const std::string bodies[] = {
        "a = /* c */ b;",
        "a =\n// c\nb;",
        "x = a - /* c */ -b;",
        "<!-- hide\nvar a = 1 ; // one\nf( a , /* two */ b ) ;\n// -->",
        "if (a) /* c */ { b = c // d\n}\n",
        "a = b /*\n*/ (c)",
        "s = 'x' /* c */ + `y`; r = /z/ /* c */ ;",
    };
    for (const std::string& body : bodies) {
        const std::string page = "<script>" + body + "</script>";
        const std::string twoPasses =
            "<script>" + RunPass(TightenBody, RunPass(CommentsOnBody, body)) + "</script>";
        EXPECT_EQ(Visible(WithSpaceRunsFolded(RunPass(OptimizeInlineScripts, PageOptions{}, page))),
                  Visible(WithSpaceRunsFolded(twoPasses)))
            << Visible(body);
    }
}

// ---- The lexer on its own

struct TokenCase {
    std::string name;
    std::string text;
    std::vector<ScriptTokenKind> kinds;  // blanks left out
};

using test::PrintTo;

class ScriptLexerTable : public testing::TestWithParam<TokenCase> {};
TEST_P(ScriptLexerTable, SplitsAsJavaScriptDoes) {
    const auto text = Bytes(GetParam().text);
    ScriptLexer lexer(text.data(), 0, static_cast<TextLength>(text.size()));
    std::vector<ScriptTokenKind> kinds;
    for (ScriptToken token = lexer.Next(); token.kind != ScriptTokenKind::kEnd;
         token = lexer.Next()) {
        if (token.kind != ScriptTokenKind::kBlank) {
            kinds.push_back(token.kind);
        }
    }
    EXPECT_EQ(kinds, GetParam().kinds) << Visible(GetParam().text);
}

using K = ScriptTokenKind;
const TokenCase kTokenRows[] = {
    {"division after a name",
     "a / b / c",
     {K::kWord, K::kPunctuator, K::kWord, K::kPunctuator, K::kWord}},
    {"regular expression after assignment", "a = /b/g", {K::kWord, K::kPunctuator, K::kRegex}},
    {"regular expression after return", "return /x/", {K::kWord, K::kRegex}},
    {"division after a parenthesis",
     "(a) / 2 / 1",
     {K::kPunctuator, K::kWord, K::kPunctuator, K::kPunctuator, K::kWord, K::kPunctuator,
      K::kWord}},
    {"regular expression after a brace", "} /x/", {K::kPunctuator, K::kRegex}},
    {"postfix ++ then division", "i++ / 2", {K::kWord, K::kPunctuator, K::kPunctuator, K::kWord}},
    {"prefix ++ then regular expression",
     "x = ++/a/.lastIndex",
     {K::kWord, K::kPunctuator, K::kPunctuator, K::kRegex, K::kPunctuator, K::kWord}},
    {"nested template",
     "`a${`b${c}`}d`",
     {K::kString, K::kString, K::kWord, K::kString, K::kString}},
    {"braces inside a template expression",
     "`${ {a:1}.a }`",
     {K::kString, K::kPunctuator, K::kWord, K::kPunctuator, K::kWord, K::kPunctuator,
      K::kPunctuator, K::kWord, K::kString}},
    {"html comments",
     "<!-- a\n--> b\nx --> y",
     {K::kHtmlComment, K::kHtmlComment, K::kWord, K::kPunctuator, K::kPunctuator, K::kWord}},
    {"comments", "a // b\n/* c */ d", {K::kWord, K::kLineComment, K::kBlockComment, K::kWord}},
    {"regular expression cannot span lines",
     "x = /a\n/",
     {K::kWord, K::kPunctuator, K::kPunctuator, K::kWord, K::kPunctuator}},
};
INSTANTIATE_TEST_SUITE_P(Tokens, ScriptLexerTable, testing::ValuesIn(kTokenRows),
                         RowName<TokenCase>);

}  // namespace
}  // namespace quillon::test
