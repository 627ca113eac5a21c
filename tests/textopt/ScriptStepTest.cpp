// The inline JavaScript step: which SCRIPT elements it works on, the comments it deletes and the
// blanks it takes out around operators, with script comments deleted (the default) and kept.
// The differential check runs acorn and node over whole pages; these rows pin the bytes. Rows
// for fixed faults failed before their fix.
#include <gtest/gtest.h>

#include "CaseTable.h"

namespace quillon::test {
namespace {

constexpr std::string_view kStep = "OptimizeInlineScripts";
constexpr PageOptions kCommentsKept{.removeScriptComments = false};

TEST(ScriptStep, Elements) {
    const StepRow rows[] = {
        // examples
        {kStep, "plain script", "<script>\n  var a = 1 ; // one\n</script>",
         "<script>var a=1;</script>"},
        {kStep, "several elements", "<script>a = 1</script> x = 2 <script>b = 3</script>",
         "<script>a=1</script> x = 2 <script>b=3</script>"},
        {kStep, "JavaScript languages",
         "<SCRIPT LANGUAGE=\"JavaScript1.2\">a = b</SCRIPT>"
         "<SCRIPT LANGUAGE=>c = d</SCRIPT>",
         "<SCRIPT LANGUAGE=\"JavaScript1.2\">a=b</SCRIPT><SCRIPT LANGUAGE=>c=d</SCRIPT>"},
        {kStep, "VBScript and JScript are left alone",
         "<SCRIPT LANGUAGE='VBScript'> a = b ' c </SCRIPT><SCRIPT LANGUAGE=JScript>a = b</SCRIPT>",
         "<SCRIPT LANGUAGE='VBScript'> a = b ' c </SCRIPT><SCRIPT LANGUAGE=JScript>a = b</SCRIPT>"},
        {kStep, "source keeps a body the page may read",
         "<script src=\"boot.js\">\n  $(\"#a\").accordion(); // open\n</script>",
         "<script src=\"boot.js\">\n  $(\"#a\").accordion(); // open\n</script>"},
        {kStep, "source drops a blank body", "<script src=x.js> \n\t </script>",
         "<script src=x.js></script>"},
        {kStep, "script in server code is code", "<% w \"<script>a  =  1 // c</script>\" %>",
         "<% w \"<script>a  =  1 // c</script>\" %>"},
        {kStep, "script in TEXTAREA is text", "<textarea><script>a  =  1</script></textarea>",
         "<textarea><script>a  =  1</script></textarea>"},
        // fixed: a TYPE other than JavaScript's was ignored, and templates and data blocks were
        // stripped like code
        {kStep, "template and data are left alone",
         "<script type=\"text/template\"><b> a = b // c </b></script>"
         "<script type='application/ld+json'>{ \"a\" : 1 }</script>",
         "<script type=\"text/template\"><b> a = b // c </b></script>"
         "<script type='application/ld+json'>{ \"a\" : 1 }</script>"},
        {kStep, "JavaScript types",
         "<script type=module>a = b</script><script type=' Application/JavaScript '>a = b"
         "</script><script type=text/javascript1.5>a = b</script><script type=\"\">a = b</script>",
         "<script type=module>a=b</script><script type=' Application/JavaScript '>a=b</script>"
         "<script type=text/javascript1.5>a=b</script><script type=\"\">a=b</script>"},
        {kStep, "non-JavaScript type with a source keeps its body",
         "<script type=text/x-template src=t.html> <p> </script>",
         "<script type=text/x-template src=t.html> <p> </script>"},
        // fixed: scanning went on inside the body, and a `<SCRIPT` in a string was taken for an
        // element whose "body" then ran to the real close tag and was deleted
        {kStep, "SCRIPT in a string is script text",
         "<SCRIPT>document.write('<SCRIPT SRC=x.js>  <\\/SCRIPT>');</SCRIPT>",
         "<SCRIPT>document.write('<SCRIPT SRC=x.js>  <\\/SCRIPT>');</SCRIPT>"},
        {kStep, "after the close tag the walk goes on",
         "<SCRIPT>a = '<SCRIPT>'</SCRIPT><script>b = c</script>",
         "<SCRIPT>a='<SCRIPT>'</SCRIPT><script>b=c</script>"},
        // edge cases
        {kStep, "close tag in a string ends the element", "<SCRIPT>x = '</SCRIPT>' + y</SCRIPT>",
         "<SCRIPT>x='</SCRIPT>' + y</SCRIPT>"},
        {kStep, "first TYPE counts", "<script type=text/plain type=text/javascript>a = b</script>",
         "<script type=text/plain type=text/javascript>a = b</script>"},
        // early endings
        {kStep, "no close tag: the body runs to the end", "<script> a = b ", "<script>a=b"},
        // bytes 0x80-0xFF
        {kStep, "no-break space at the body's ends stays",
         "<script>\xC2\xA0 a = b \xC2\xA0</script>", "<script>\xC2\xA0 a=b \xC2\xA0</script>"},
    };
    ExpectRows(rows);
}

TEST(ScriptStep, Comments) {
    const StepRow rows[] = {
        // examples
        {kStep, "the example",
         "<script>\n<!-- hide\nvar a = 1; // one\nvar b = 'x // y'; /* two */ k = 2;\n// end -->\n"
         "</script>",
         "<script><!--\nvar a=1;var b='x // y';k=2;//--></script>"},
        {kStep, "comments kept", "<script>\n<!--\na = b ; // c\n/* d */ e;\n// -->\n</script>",
         "<script>\n<!--\na=b;// c\n/* d */ e;// -->\n</script>", kCommentsKept},
        {kStep, "include in a comment stays, in a block comment it does not count",
         "<script>a(); <!--#include file='x' -->\nb(); /* #include */ c();</script>",
         "<script>a();<!--#include file='x' -->\nb();c();</script>"},
        // fixed: quotes ignored backslashes, template literals and regular expressions were not
        // recognised, the closing line lost all but its last byte, and a `<!--` inside the body
        // swallowed everything up to the next `-->`
        {kStep, "escaped quote", "<script>s = 'it\\'s // here'; // c</script>",
         "<script>s='it\\'s // here';</script>"},
        {kStep, "escaped backslash before the quote", "<script>s = 'a\\\\'; // c</script>",
         "<script>s='a\\\\';</script>"},
        {kStep, "template literal", "<script>s = `a // b ${c /* d */} e`; // f</script>",
         "<script>s=`a // b ${c } e`;</script>"},
        {kStep, "regular expression with slashes", "<script>r = /\\/\\//g; // c</script>",
         "<script>r=/\\/\\//g;</script>"},
        {kStep, "regular expression with a quote", "<script>r = /'/; s = 'x'; // c</script>",
         "<script>r=/'/;s='x';</script>"},
        {kStep, "regular expression with a class", "<script>r = /[/*] , x/; x(); /* c */</script>",
         "<script>r=/[/*] , x/;x();</script>"},
        {kStep, "division is no regular expression", "<script>a = b / c; // d /e</script>",
         "<script>a=b/c;</script>"},
        {kStep, "line comment before a bare -->", "<script>foo(); // done\n--></script>",
         "<script>foo();\n--></script>"},
        {kStep, "closing part with a directive stays",
         "<script>a();\n<!--#echo var='x' --></script>",
         "<script>a();<!--#echo var='x' --></script>"},
        {kStep, "whole body a directive", "<script><!--#include virtual=\"x.js\" --></script>",
         "<script><!--#include virtual=\"x.js\" --></script>"},
        {kStep, "<!-- inside goes to its line's end only",
         "<script>x();\n<!-- note\ny();\n-->\nz();</script>",
         "<script>x();y();\n-->\nz();</script>"},
        {kStep, "empty <!----> inside",
         "<script>x(); <!---->\ny(); <!-- #echo var='v' --></script>",
         "<script>x();y();<!-- #echo var='v' --></script>"},
        {kStep, "directive later on a <!-- line",
         "<script>x(); <!-- a --> <!--#echo var='v' -->\ny();</script>",
         "<script>x();<!-- a --> <!--#echo var='v' -->\ny();</script>"},
        {kStep, "comment between names or signs leaves a blank",
         "<script>var/**/x = b-/**/-c;</script>", "<script>var x=b- -c;</script>"},
        {kStep, "comment over lines leaves a line feed", "<script>return/*\n*/x;</script>",
         "<script>return\nx;</script>"},
        // edge cases
        {kStep, "opening line with a directive stays",
         "<script><!--#include virtual='a' -->\nx();</script>",
         "<script><!--#include virtual='a' -->\nx();</script>"},
        {kStep, "closing line without //", "<script>x();\n// end\n--></script>",
         "<script>x();\n--></script>"},
        {kStep, "closing // keeps its slashes", "<script>x(); // --></script>",
         "<script>x();//--></script>"},
        {kStep, "string holding --> or a comment",
         "<script>s = '-->'; t = \"a /* b */ c\"; /* d */</script>",
         "<script>s='-->';t=\"a /* b */ c\";</script>"},
        {kStep, "unterminated string ends at its line", "<script>s = 'abc\n// c\nx();</script>",
         "<script>s='abc\n\nx();</script>"},
        {kStep, "regular expression after return and (",
         "<script>function f(){return /\\/\\/x/;} if (/'/.test(s)) x(); // c</script>",
         "<script>function f(){return /\\/\\/x/;}if(/'/.test(s)) x();</script>"},
        {kStep, "property named return is a name", "<script>a.return / 2; // c</script>",
         "<script>a.return/2;</script>"},
        // early endings
        {kStep, "a lone <!-- is a comment like any", "<script><!--</script>", "<script></script>"},
        {kStep, "unclosed block comment", "<script>a(); /* b</script>", "<script>a();</script>"},
        {kStep, "unclosed template", "<script>s = `a // b</script>", "<script>s=`a // b</script>"},
        {kStep, "templates nested deeper than 16 run to the end of the body",
         "<script>x = " + Repeat("`${", 17) + "a" + Repeat("}`", 17) + " ;</script>",
         "<script>x=" + Repeat("`${", 17) + "a" + Repeat("}`", 17) + " ;</script>"},
    };
    ExpectRows(rows);
}

// Script comments kept: the operators alone.
TEST(ScriptStep, Operators) {
    const StepRow rows[] = {
        // examples
        {kStep, "the example",
         "<script>if (a < b || e > d) { x = y + z - w; }\nfoo( a , b );</script>",
         "<script>if(a<b||e>d){x=y+z-w;}\nfoo(a,b );</script>", kCommentsKept},
        {kStep, "line feeds around listed operators", "<script>a =\n  b ;\nc = d</script>",
         "<script>a=b;c=d</script>", kCommentsKept},
        {kStep, "line feeds stay around + - }", "<script>a +\nb -\nc }\nd</script>",
         "<script>a+\nb-\nc}\nd</script>", kCommentsKept},
        {kStep, "unlisted operators keep their blanks", "<script>a && b ! c % d . e [ f ]</script>",
         "<script>a && b ! c % d . e [ f ]</script>", kCommentsKept},
        // fixed
        {kStep, "signs that would join: a - -b, a + ++b, a + +b, a - --b",
         "<script>x = a - -b; x = a + ++b; x = a + +b; x = a - --b;</script>",
         "<script>x=a- -b;x=a+ ++b;x=a+ +b;x=a- --b;</script>", kCommentsKept},
        {kStep, "division then a regular expression", "<script>x = a / /b/.source.length;</script>",
         "<script>x=a/ /b/.source.length;</script>", kCommentsKept},
        {kStep, "return, throw, break, continue, yield at a line end",
         "<script>return\n(x); throw\n(e); break\n; continue\n; yield\n{};</script>",
         "<script>return\n(x);throw\n(e);break\n;continue\n;yield\n{};</script>", kCommentsKept},
        {kStep, "line comment kept, its line feed too",
         "<script>// see:\nfoo();\n// x\n(bar)()</script>",
         "<script>// see:\nfoo();// x\n(bar)()</script>", kCommentsKept},
        {kStep, "<!-- line kept with its line feed, --> keeps its line start",
         "<script><!--\n(function(){})();\n--></script>",
         "<script><!--\n(function(){})();\n--></script>", kCommentsKept},
        {kStep, "escaped quote in a string", "<script>s = 'a\\' , b';</script>",
         "<script>s='a\\' , b';</script>", kCommentsKept},
        {kStep, "template literal", "<script>s = `a ${ b + c } d , e`;</script>",
         "<script>s=`a ${ b+c } d , e`;</script>", kCommentsKept},
        {kStep, "regular expression", "<script>r = / , /g;</script>", "<script>r=/ , /g;</script>",
         kCommentsKept},
        {kStep, "block after an expression or call line",
         "<script>x = 1\n{ y(); }\nf()\n{ }</script>", "<script>x=1\n{y();}\nf()\n{}</script>",
         kCommentsKept},
        {kStep, "block after if (...), a function header, else",
         "<script>if (a)\n{ y(); } function f(a)\n{ } else\n{ }</script>",
         "<script>if(a){y();}function f(a){}else{}</script>", kCommentsKept},
        {kStep, "postfix ++ before (", "<script>a++\n(b)</script>", "<script>a++\n(b)</script>",
         kCommentsKept},
        {kStep, "would spell <!--, </ or -->",
         "<script>x = a < !--b; x = a < /re/.x; x = a-- > b;</script>",
         "<script>x=a< !--b;x=a< /re/.x;x=a-- >b;</script>", kCommentsKept},
        // edge cases
        {kStep, "increment and decrement", "<script>a -- ; x = a++ + b;</script>",
         "<script>a--;x=a++ +b;</script>", kCommentsKept},
        {kStep, "arrow function, object literal, ternary with a decimal",
         "<script>f = ( a ) => a * 2; o = { a : 1 , b : [ 2 ] }; x = a ? .5 : 1;</script>",
         "<script>f=(a )=>a*2;o={a:1,b:[ 2 ]};x=a?.5:1;</script>", kCommentsKept},
        // early endings
        {kStep, "operator at either end", "<script> ; a = </script>", "<script>;a=</script>",
         kCommentsKept},
        {kStep, "unclosed regular expression is a division", "<script>x = a / b</script>",
         "<script>x=a/b</script>", kCommentsKept},
        // bytes 0x80-0xFF
        {kStep, "no-break space is no blank, UTF-8 names",
         "<script>a \xC2\xA0= b; \xC3\xA9 = 1 ;</script>",
         "<script>a \xC2\xA0=b;\xC3\xA9=1;</script>", kCommentsKept},
    };
    ExpectRows(rows);
}

}  // namespace
}  // namespace quillon::test
