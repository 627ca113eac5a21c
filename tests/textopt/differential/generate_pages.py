"""Random pages that a browser reads as they are written, for the rendering-equivalence check.

Real pages spell the same markup in a few ways; these spell it in all of them: blanks of every
kind between attributes and after names (tabs and line feeds included), values quoted either way
or not at all, bare attributes, optional close tags left out, PRE and TEXTAREA bodies, scripts
with strings, templates and comments. The nesting is always valid, so that any difference the
check finds comes from the passes and not from the parser repairing broken markup.

The same seed gives the same pages.
"""

import os
import random

BLANKS = ["", "", " ", "  ", "\n", "\t", "\n\t", " \n  ", "\t\t"]
SEPARATORS = [" ", "\n", "\t", "  ", "\n\t\t", " \n "]
WORDS = ["alpha", "beta", "x", "a&amp;b", "&lt;tag&gt;", "&nbsp;", "&#160;", "\u00e9", "1 < 2",
         'q"t', "it's", "a=b", "", "caf&eacute;", "&Ntilde;&copy;", "&#x41;&#65;"]
# Comments of every kind, and server-side code, which the passes must read as such.
ASIDES = ["<!-- c -->", "<!--\tc\t-->", "<!--[if IE]>x<![endif]-->", "<!--#include virtual='x' -->",
          "<% a  =  b %>", "<?php echo  'a  b'; ?>", "<!---->",
          # Text that would turn into a tag or a reference if the markup between went.
          "a<<!-- c -->b>c", "&am<!-- c -->p;", "x<<meta name=author content=a>i>y"]
VALUES = ["x", "a b", "a\tb", "a\nb", "", "a>b", "a=b", "it's", 'say "hi"',
          "http://e.com/a?b=c&amp;d=e", "#top", "0", "left", "bottom", "100%", "a_b", " pad ",
          "<!-- x -->", "a<!--b"]
ATTRIBUTES = ["class", "id", "title", "href", "src", "alt", "width", "border", "align", "hspace",
              "style", "data-x", "name", "value", "type"]
SCRIPTS = [
    "var s = 'a\\tb  c';\n  if (x < 1) { y = /a b/g.test(s); }",
    "\tfunction f(a,\tb) {\n\t\treturn a  +  b; // sum\n\t}",
    "let t = `line\n\t  two ${1 + 2}`;\n/* c */ x = 1",
    "document.write('<p>  hi  </p>');",
    "w('<img src=a.gif border=0 hspace=0>'); w(\"<meta name=author content=x>\");",
    "a = b\n++c",
]
# Strings of a style sheet are what it matches, loads or shows, blank for blank.
STYLE_WITH_STRINGS = ("<style>\n\t[title=\"a  b\"]  { font-family: 'A\tB' }\n p:before  { content: "
                      "\"<b  class=x>  \\\"  \" }  /* it's */ q { content: '\\'  <p>' }\n</style>\n")
PHRASING = ["span", "a", "b", "i", "em", "strong", "code", "font", "label", "small"]
FLOW = ["div", "blockquote", "section"]
# Images with the attributes that restate a default, in and out of links.
IMAGES = ["<img src=a.gif border=0>", "<IMG SRC='a.gif' HSPACE=0 VSPACE=\"0\" ALIGN=bottom>",
          "<img src=a.gif border=0 usemap=#m>", "<img\tsrc=a.gif\nalign=baseline hspace=0>"]
METAS = ['<meta name="generator" content="x">', "<META NAME=Author CONTENT='a b'>",
         '<meta http-equiv="Content-Type" content="text/html; charset=utf-8">',
         "<meta name=description content='d'>", '<meta property="og:title" content="t">',
         "<meta charset=utf-8>"]
# Regions whose body stays as written.
REGIONS = ["xmp", "listing", "noop"]


class PageMaker:
    def __init__(self, seed):
        self.random = random.Random(seed)

    def pick(self, choices):
        return self.random.choice(choices)

    def text(self):
        return self.pick(BLANKS).join(self.pick(WORDS) for _ in range(self.random.randint(0, 4)))

    def attribute(self):
        name = self.pick(ATTRIBUTES)
        if self.random.random() < 0.1:
            return name
        value = self.pick(VALUES)
        quote = self.pick(['"', "'", ""])
        if not quote and (not value or any(c in value for c in " \t\n\"'=<>`")):
            quote = '"'
        if quote and quote in value:
            quote = "'" if quote == '"' else '"'
            if quote in value:
                value = value.replace('"', "&quot;")
        return f"{name}{self.pick(['=', '=', ' = ', '=' + chr(10)])}{quote}{value}{quote}"

    def tag(self, name, void=False):
        if self.random.random() < 0.2:
            name = name.upper()
        attributes = "".join(self.pick(SEPARATORS) + self.attribute()
                             for _ in range(self.random.randint(0, 3)))
        ending = " />" if void and self.random.random() < 0.3 else ">"
        return f"<{name}{attributes}{self.pick(['', '', ' ', chr(10), chr(9)])}{ending}"

    def phrasing(self, depth):
        roll = self.random.random()
        if roll < 0.35 or depth > 4:
            return self.text()
        if roll < 0.42:
            return self.tag(self.pick(["img", "br", "input"]), void=True)
        if roll < 0.45:
            image = self.pick(IMAGES)
            return self.pick([image, f"<a href=x>{image}</a>", f"<a\thref=x> {image} </a>"])
        if roll < 0.5:
            return self.pick(ASIDES)
        name = self.pick(PHRASING)
        if name == "a" and depth > 0:
            name = "span"  # no link inside a link
        inner = "".join(self.phrasing(depth + 1) for _ in range(self.random.randint(0, 3)))
        return f"{self.tag(name)}{inner}</{name}>"

    def phrasings(self, depth, most=3):
        return "".join(self.phrasing(depth) for _ in range(self.random.randint(1, most)))

    def optional_close(self, name):
        return self.pick([f"</{name}>", ""])

    def items(self, names, inner, most=3):
        """One to `most` elements named from `names`, each holding inner(), their close tags
        left out or not."""
        made = ""
        for _ in range(self.random.randint(1, most)):
            name = self.pick(names)
            made += self.tag(name) + inner() + self.optional_close(name) + self.pick(BLANKS)
        return made

    def flow(self, depth):
        roll = self.random.random()
        blank = self.pick(BLANKS)
        if depth > 3 or roll < 0.2:
            return blank + self.phrasings(depth) + self.pick(BLANKS)
        if roll < 0.3:
            return f"{self.tag('pre')}{self.phrasings(4)}\n\t  x  \t</pre>"
        if roll < 0.35:
            return f"{self.tag('textarea')}  a\t b\n  </textarea>"
        if roll < 0.42:
            return f"{self.tag('script')}{blank}{self.pick(SCRIPTS)}{self.pick(BLANKS)}</script>"
        if roll < 0.52:
            items = self.items(["li"], lambda: self.phrasings(depth + 1, 2))
            name = self.pick(["ul", "ol"])
            return f"{self.tag(name)}{blank}{items}</{name}>"
        if roll < 0.6:
            rows = self.items(
                ["tr"], lambda: blank + self.items(["td", "th"], lambda: self.phrasing(depth + 1)),
                most=2)
            section = self.pick(["", "tbody", "thead"])
            if section:
                rows = self.tag(section) + blank + rows + self.optional_close(section)
            columns = self.pick(["", "<colgroup><col span=2></colgroup>", "<colgroup span=2>"])
            return f"{self.tag('table')}{blank}{columns}{rows}</table>"
        if roll < 0.66:
            options = self.items(["option"], self.text)
            if self.random.random() < 0.3:
                options = f"<optgroup label=g>{options}{self.optional_close('optgroup')}"
            return f"{self.tag('select')}{blank}{options}</select>"
        if roll < 0.72:
            return self.tag("p") + self.phrasings(depth + 1) + self.optional_close("p") + blank
        if roll < 0.76:
            return f"{self.tag('h1')}{self.phrasings(depth + 1)}</h1>"
        if roll < 0.8:
            terms = self.items(["dt", "dd"], lambda: self.phrasings(depth + 1, 2))
            return f"{self.tag('dl')}{blank}{terms}</dl>"
        if roll < 0.83:
            name = self.pick(REGIONS)
            return f"{self.tag(name)}  a\t <b>b</b>  \n\t</{name}>"
        name = self.pick(FLOW)
        inner = "".join(self.flow(depth + 1) for _ in range(self.random.randint(1, 3)))
        return f"{self.tag(name)}{blank}{inner}{self.pick(BLANKS)}</{name}>"

    def page(self):
        head = ("<!DOCTYPE html>\n<html>\n<head>\n<title>t "
                + self.pick(["a  b", "x", "a\tb", "a <b> c", "1 < 2"]) + "</title>\n"
                + self.tag("meta", void=True) + "\n" + self.pick(METAS) + "\n"
                + self.pick(["", "<style>\n p { color: red; }\n</style>\n",
                             "<style><!--\n a:hover  { color : red }  /* c */\n--></style>\n",
                             STYLE_WITH_STRINGS]))
        body = "".join(self.flow(0) for _ in range(self.random.randint(3, 8)))
        return f"{head}</head>\n{self.tag('body')}\n{body}\n</body>\n</html>\n"


def write_pages(folder, count, seed):
    """Writes `count` pages into folder and returns their paths."""
    maker = PageMaker(seed)
    paths = []
    for k in range(count):
        path = os.path.join(folder, f"generated-{seed}-{k:03}.html")
        with open(path, "w", encoding="utf-8") as out:
            out.write(maker.page())
        paths.append(path)
    return paths
