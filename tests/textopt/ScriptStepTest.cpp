// The inline JavaScript step: which SCRIPT elements it works on, the comments it deletes and the
// blanks it takes out around operators, with script comments deleted (the default) and kept.
// The differential check compares every script of whole pages by acorn's syntax tree; these rows
// pin the bytes. Rows for fixed faults failed before their fix.
#include <gtest/gtest.h>

#include <vector>

#include "CaseTable.h"

namespace quillon::test {
namespace {

constexpr std::string_view kStep = "OptimizeInlineScripts";

// Rows whose input and expected text are the body of one SCRIPT element.
void ExpectBodies(std::span<const StepRow> rows, const PageOptions& options = {}) {
    std::vector<StepRow> elements;
    for (const StepRow& row : rows) {
        const auto element = [](const std::string& body) {
            return "<script>" + body + "</script>";
        };
        elements.push_back({row.name, element(row.input),
                            row.expected == kUnchanged ? kUnchanged : element(row.expected)});
    }
    ExpectRows(kStep, elements, options);
}

TEST(ScriptStep, Elements) {
    const StepRow rows[] = {
        // examples
        {"plain script, several elements",
         "<script>\n  var a = 1 ; // one\n</script> x = 2 <script>b = 3</script>",
         "<script>var a=1;</script> x = 2 <script>b=3</script>"},
        {"JavaScript languages and types",
         "<SCRIPT LANGUAGE=\"JavaScript1.2\">a = b</SCRIPT><SCRIPT LANGUAGE=>c = d</SCRIPT>"
         "<script type=module>a = b</script><script type=' Application/JavaScript '>a = b"
         "</script><script type=text/javascript1.5>a = b</script><script type=\"\">a = b</script>",
         "<SCRIPT LANGUAGE=\"JavaScript1.2\">a=b</SCRIPT><SCRIPT LANGUAGE=>c=d</SCRIPT>"
         "<script type=module>a=b</script><script type=' Application/JavaScript '>a=b</script>"
         "<script type=text/javascript1.5>a=b</script><script type=\"\">a=b</script>"},
        {"VBScript, JScript and scripts in server code or TEXTAREA are left alone",
         "<SCRIPT LANGUAGE='VBScript'> a = b ' c </SCRIPT><SCRIPT LANGUAGE=JScript>a = b</SCRIPT>"
         "<% w \"<script>a  =  1 // c</script>\" %><textarea><script>a  =  1</script></textarea>",
         kUnchanged},
        // fixed: a SRC without a value did not count, though a browser runs no body then either
        {"source keeps a body the page may read, drops a blank one",
         "<script src=\"boot.js\">\n  $(\"#a\").accordion(); // open\n</script>"
         "<script src=x.js> \n\t </script><script src> a  =  1 </script>",
         "<script src=\"boot.js\">\n  $(\"#a\").accordion(); // open\n</script>"
         "<script src=x.js></script><script src> a  =  1 </script>"},
        // fixed: a TYPE other than JavaScript's was ignored, and templates and data blocks were
        // stripped like code
        {"template and data are left alone, with a source too, and the first TYPE counts",
         "<script type=\"text/template\"><b> a = b // c </b></script>"
         "<script type='application/ld+json'>{ \"a\" : 1 }</script>"
         "<script type=text/x-template src=t.html> <p> </script>"
         "<script type=text/plain type=text/javascript>a = b</script>",
         kUnchanged},
        // fixed: scanning went on inside the body, and a `<SCRIPT` in a string was taken for an
        // element whose "body" then ran to the real close tag and was deleted
        {"SCRIPT in a string is script text; after the close tag the walk goes on",
         "<SCRIPT>document.write('<SCRIPT SRC=x.js>  <\\/SCRIPT>');</SCRIPT>"
         "<SCRIPT>a = '<SCRIPT>'</SCRIPT><script>b = c</script>",
         "<SCRIPT>document.write('<SCRIPT SRC=x.js>  <\\/SCRIPT>');</SCRIPT>"
         "<SCRIPT>a='<SCRIPT>'</SCRIPT><script>b=c</script>"},
        // edge cases
        // fixed: after `<script` and a line feed the body was sought up to a close tag spelled
        // the same way, so it ran to the end and the page after it was compacted as script
        {"a line feed after the name", "<script\ntype=text/javascript>a  =  1</script><p>b  =  2",
         "<script\ntype=text/javascript>a=1</script><p>b  =  2"},
        // early endings
        {"no close tag: the body runs to the end", "<script> a = b ", "<script>a=b"},
        // bytes 0x80-0xFF
        {"no-break space at the body's ends stays", "<script>\xC2\xA0 a = b \xC2\xA0</script>",
         "<script>\xC2\xA0 a=b \xC2\xA0</script>"},
    };
    ExpectRows(kStep, rows);
}

TEST(ScriptStep, Comments) {
    const StepRow bodies[] = {
        // examples
        {"the example",
         "\n<!-- hide\nvar a = 1; // one\nvar b = 'x // y'; /* two */ k = 2;\n// end -->\n",
         "<!--\nvar a=1;var b='x // y';k=2;//-->"},
        {"include in a comment stays, in a block comment it does not count",
         "a(); <!--#include file='x' -->\nb(); /* #include */ c();",
         "a();<!--#include file='x' -->\nb();c();"},
        // fixed: quotes ignored backslashes, template literals and regular expressions were not
        // recognised, the closing line lost all but its last byte, and a `<!--` inside the body
        // swallowed everything up to the next `-->`
        {"escaped quote and backslash, template literal",
         "s = 'it\\'s // here'; // c\ns = 'a\\\\'; // c\ns = `a // b ${c /* d */} e`; // f",
         "s='it\\'s // here';s='a\\\\';s=`a // b ${c } e`;"},
        {"regular expressions with slashes, a quote, a class; division",
         "r = /\\/\\//g; // c\nr = /'/; s = 'x'; // c\nr = /[/*] , x/; x(); /* c */ a = b / c; // "
         "d /e",
         "r=/\\/\\//g;r=/'/;s='x';r=/[/*] , x/;x();a=b/c;"},
        {"line comment before a bare -->", "foo(); // done\n-->", "foo();\n-->"},
        {"closing part with a directive stays", "a();\n<!--#echo var='x' -->",
         "a();<!--#echo var='x' -->"},
        {"<!-- inside goes to its line's end only", "x();\n<!-- note\ny();\n-->\nz();",
         "x();y();\n-->\nz();"},
        {"empty <!----> inside", "x(); <!---->\ny(); <!-- #echo var='v' -->",
         "x();y();<!-- #echo var='v' -->"},
        {"directive later on a <!-- line", "x(); <!-- a --> <!--#echo var='v' -->\ny();",
         "x();<!-- a --> <!--#echo var='v' -->\ny();"},
        {"comment between names or signs leaves a blank, over lines a line feed",
         "var/**/x = b-/**/-c; return/*\n*/x;", "var x=b- -c;return\nx;"},
        // edge cases
        {"whole body a directive", "<!--#include virtual=\"x.js\" -->", kUnchanged},
        {"opening line with a directive stays", "<!--#include virtual='a' -->\nx();", kUnchanged},
        {"closing line without //", "x();\n// end\n-->", "x();\n-->"},
        {"unterminated string ends at its line", "s = 'abc\n// c\nx();", "s='abc\n\nx();"},
        // early endings
        {"a lone <!-- is a comment like any", "<!--", ""},
        {"several unclosed <!--", "a(); <!-- b\nc(); <!-- d", "a();c();"},
        {"unclosed block comment", "a(); /* b", "a();"},
        {"unclosed template", "s = `a // b", "s=`a // b"},
        {"templates nested deeper than 16 run to the end of the body",
         "x = " + Repeat("`${", 17) + "a" + Repeat("}`", 17) + " ;",
         "x=" + Repeat("`${", 17) + "a" + Repeat("}`", 17) + " ;"},
    };
    ExpectBodies(bodies);
    const StepRow kept[] = {
        {"comments kept", "\n<!--\na = b ; // c\n/* d */ e;\n// -->\n",
         "\n<!--\na=b;// c\n/* d */ e;// -->\n"},
        {"line comment kept, its line feed too", "// see:\nfoo();\n// x\n(bar)()",
         "// see:\nfoo();// x\n(bar)()"},
        {"<!-- line kept with its line feed, --> keeps its line start",
         "<!--\n(function(){})();\n-->", kUnchanged},
    };
    ExpectBodies(kept, PageOptions{.removeScriptComments = false});
}

// Blanks and line feeds around operators, script comments kept.
TEST(ScriptStep, Operators) {
    const StepRow bodies[] = {
        // examples
        {"the example", "if (a < b || e > d) { x = y + z - w; }\nfoo( a , b );",
         "if(a<b||e>d){x=y+z-w;}\nfoo(a,b );"},
        {"line feeds around listed operators go, around + - } they stay",
         "a =\n  b ;\nc = d\na +\nb -\nc }\nd", "a=b;c=d\na+\nb-\nc}\nd"},
        // fixed
        {"signs that would join: a - -b, a + ++b, a + +b, a - --b",
         "x = a - -b; x = a + ++b; x = a + +b; x = a - --b;", "x=a- -b;x=a+ ++b;x=a+ +b;x=a- --b;"},
        {"division then a regular expression", "x = a / /b/.source.length;",
         "x=a/ /b/.source.length;"},
        {"return, throw, break, continue, yield at a line end",
         "return\n(x); throw\n(e); break\n; continue\n; yield\n{};",
         "return\n(x);throw\n(e);break\n;continue\n;yield\n{};"},
        {"strings, templates and regular expressions keep their blanks",
         "s = 'a\\' , b'; s = `a ${ b + c } d , e`; r = / , /g;",
         "s='a\\' , b';s=`a ${ b+c } d , e`;r=/ , /g;"},
        {"block after an expression or call line, after if (...), a function header, else",
         "x = 1\n{ y(); }\nf()\n{ }\nif (a)\n{ y(); } function f(a)\n{ } else\n{ }",
         "x=1\n{y();}\nf()\n{}\nif(a){y();}function f(a){}else{}"},
        {"postfix ++ before (", "a++\n(b)", kUnchanged},
        {"would spell <!--, </ or -->", "x = a < !--b; x = a < /re/.x; x = a-- > b;",
         "x=a< !--b;x=a< /re/.x;x=a-- >b;"},
        // edge cases
        {"increment and decrement", "a -- ; x = a++ + b;", "a--;x=a++ +b;"},
        {"arrow function, object literal, ternary with a decimal",
         "f = ( a ) => a * 2; o = { a : 1 , b : [ 2 ] }; x = a ? .5 : 1;",
         "f=(a )=>a*2;o={a:1,b:[ 2 ]};x=a?.5:1;"},
        // early endings
        {"operator at either end", " ; a = ", ";a="},
        {"unclosed regular expression is a division", "x = a / b", "x=a/b"},
        // bytes 0x80-0xFF
        {"no-break space is no blank, UTF-8 names", "a \xC2\xA0= b; \xC3\xA9 = 1 ;",
         "a \xC2\xA0=b;\xC3\xA9=1;"},
    };
    ExpectBodies(bodies, PageOptions{.removeScriptComments = false});
}

// A body worked out ahead is taken only where the page still holds its very bytes: a body that
// changed, even to one of the same length, is worked out anew, and one that is gone or new does
// not shift the others' results onto the wrong bodies.
TEST(ScriptStep, BodiesWorkedOutAheadOnlyForTheirOwnBytes) {
    struct Row {
        const char* name;
        std::string aheadFrom;  // the page as the bodies were copied from it
        std::string page;       // the page as the script step finds it
        std::string expected;
    };
    const Row rows[] = {
        {"same length, other bytes", "<script>a = 1</script>", "<script>a = 2</script>",
         "<script>a=2</script>"},
        {"a body gone", "<script>a = 1</script><script>b = 2</script><script>c = 3</script>",
         "<script>a = 1</script><script>c = 3</script>",
         "<script>a=1</script><script>c=3</script>"},
        {"a body new", "<script>b = 2</script>", "<script>a = 1</script><script>b = 2</script>",
         "<script>a=1</script><script>b=2</script>"},
        {"a script in a TEXTAREA is text: copied ahead, never taken",
         "<textarea><script>a = 1</script></textarea><script>b = 2</script>",
         "<textarea><script>a = 1</script></textarea><script>b = 2</script>",
         "<textarea><script>a = 1</script></textarea><script>b=2</script>"},
        {"bodies swapped", "<script>a = 1</script><script>b = 2</script>",
         "<script>b = 2</script><script>a = 1</script>",
         "<script>b=2</script><script>a=1</script>"},
    };
    const PageOptions options;
    for (const Row& row : rows) {
        ScriptBodiesAhead ahead(reinterpret_cast<const std::uint8_t*>(row.aheadFrom.data()),
                                static_cast<TextLength>(row.aheadFrom.size()), options);
        std::string page = row.page;
        page.resize(static_cast<std::size_t>(
            OptimizeInlineScripts(reinterpret_cast<std::uint8_t*>(page.data()),
                                  static_cast<TextLength>(page.size()), options, &ahead)));
        EXPECT_EQ(page, row.expected) << row.name;
    }
}

}  // namespace
}  // namespace quillon::test
