#!/usr/bin/python3
"""Rendering-equivalence check of the web-page chain, with a real HTML5 parser and a real
JavaScript parser.

Every page (the test corpus, the hand-made pages and, on request, random pages written the many
ways real markup is spelled: generate_pages.py) goes through the chain under several option sets.
html5lib parses the page before and after, and the two documents must agree on the element tree
(elements, nesting, attributes and their exact values); on the rendered text, laid out as CSS
collapses whitespace, with block boundaries, line breaks, inline and replaced elements marked; on the bodies of PRE, LISTING, XMP, PLAINTEXT and TEXTAREA exactly and the TITLE as a
browser reads it; on every JavaScript SCRIPT body acorn parses, by its syntax tree; on the
non-blank body of a SCRIPT with SRC exactly; on data and templates in SCRIPT elements as tokens
and markup; on STYLE bodies by their CSS tokens; and on the comments holding a server-side
include. The only differences allowed are the removals the passes intend: META tags the META
choice lets go, IMG attributes that restate a default, editor tags, and the spelling of
attributes and character references. The first difference of each page is printed.

Usage: check_pages.py --tool quillon_page_chain --node node --corpus DIR --pages DIR
                      [--jobs N] [--only NAME] [--generated N [--seed S]]
"""

import argparse
import collections
import json
import multiprocessing
import os
import re
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
import generate_pages  # noqa: E402

try:
    import html5lib
except ImportError:  # the package comes from scripts/install-deps.sh (python3-html5lib)
    sys.exit("html5lib is missing: run scripts/install-deps.sh (Debian package python3-html5lib)")

# The option sets every page runs under: the defaults with the JavaScript optimizer on and off,
# and the other choice of every option that changes what a pass does.
OPTION_SETS = {
    "defaults": [],
    "defaults, JavaScript optimizer off": ["--javascript", "0"],
    "lax quotes, script comments kept, generator META only": [
        "--set", "HTML Options/Strict Quote Rules=0", "--set", "JAVA Options/Remove Comments=0",
        "--set", "HTML Options/Meta Tags Option=1"],
    "comments and close tags kept, every META kept": [
        "--set", "HTML Options/Remove Comments=0", "--set", "HTML Options/Meta Tags Option=2",
        "--set", "HTML Options/Remove Optional Close Tags=0",
        "--set", "HTML Options/Remove Unneeded WYSIWYG Tags=0"],
}

WHITESPACE = re.compile(r"[ \t\n\f\r]+")
BLANKS = " \t\n\f\r"

JS_TYPES = {"", "text/javascript", "application/javascript", "text/ecmascript",
            "application/ecmascript", "module"} | {f"text/javascript1.{n}" for n in range(6)}

# Editor tags the passes delete while keeping what they hold.
EDITOR_TAGS = {"x-claris-tagview", "x-claris-window", "x-sas-window"}

IMG_EDITOR_PREFIXES = ("x-sas-useimageheight", "x-sas-useimagewidth",
                       "x-claris-useimageheight", "x-claris-useimagewidth")

# Comments holding one of these stay: the server reads them.
SSI_KEYWORDS = ("#command", "#include", "#echo", "#fsize", "#config", "#flastmod", "#if",
                "#endif", "#set", "#printenv", "#elif", "#else", "#exec")

# META tags the default choice keeps: NAME values, their families, HTTP-EQUIV values; any tag
# with CHARSET or PROPERTY stays too.
META_KEEP_NAMES = {"keywords", "description", "robots", "viewport", "referrer", "verify-v1",
                   "msvalidate.01", "p:domain_verify", "theme-color", "color-scheme",
                   "application-name", "format-detection", "googlebot", "mobile-web-app-capable"}
META_KEEP_NAME_PREFIXES = ("twitter:", "apple-", "msapplication-")
META_KEEP_NAME_SUFFIX = "-verification"
META_KEEP_EQUIVS = {"refresh", "content-type", "content-security-policy", "x-ua-compatible"}

# How elements take part in the rendered text. Hidden: not laid out at all. Blocks: a line
# break before and after. Replaced: one box within the line. Exact: the body as written.
HIDDEN = {"head", "title", "script", "style", "template", "meta", "link", "base", "noembed",
          "noframes", "param", "source", "track", "area", "datalist", "#comment"}
BLOCKS = {"address", "article", "aside", "blockquote", "body", "caption", "center", "col",
          "colgroup", "dd", "details", "dialog", "dir", "div", "dl", "dt", "fieldset",
          "figcaption", "figure", "footer", "form", "frameset", "frame", "h1", "h2", "h3", "h4",
          "h5", "h6", "header", "hgroup", "hr", "html", "legend", "li", "listing", "main",
          "menu", "nav", "ol", "optgroup", "option", "p", "plaintext", "pre", "search",
          "section", "summary", "table", "tbody", "td", "tfoot", "th", "thead", "tr", "ul", "xmp",
          "#fragment"}
REPLACED = {"img", "input", "iframe", "embed", "video", "audio", "canvas", "svg", "math",
            "meter", "progress", "textarea", "select", "button", "object", "applet", "keygen"}
EXACT_BODIES = {"pre", "listing", "xmp", "plaintext", "textarea"}


def fold(text):
    return WHITESPACE.sub(" ", text).strip(BLANKS)


def is_editor_tag(tag):
    return tag.startswith("noop") or tag in EDITOR_TAGS


def is_default_img_attribute(name, value):
    name, bare = name.lower(), value.lstrip("\"'").lower()
    return (name.startswith(IMG_EDITOR_PREFIXES) or name == "naturalsizeflag"
            or (name in ("hspace", "vspace", "border") and bare.startswith("0"))
            or (name == "align" and bare.startswith(("bottom", "baseline", "absbottom"))))


def meta_removable(attrs, meta_choice):
    """Whether the META choice (0, 1 or 2) lets this META tag go."""
    name = attrs.get("name", "").strip(BLANKS).lower()
    if meta_choice != 0:
        return meta_choice == 1 and name == "generator"
    equiv = attrs.get("http-equiv", "").strip(BLANKS).lower()
    return not ("charset" in attrs or "property" in attrs or name in META_KEEP_NAMES
                or name.startswith(META_KEEP_NAME_PREFIXES)
                or name.endswith(META_KEEP_NAME_SUFFIX) or equiv in META_KEEP_EQUIVS)


def script_kind(attrs):
    """'js', 'src' (a JavaScript element with a source) or 'other'."""
    language = attrs.get("language", "").strip("\"' \t\n").lower()
    if ("type" in attrs and attrs["type"].strip(BLANKS).lower() not in JS_TYPES
            or language and not language.startswith("javascript")):
        return "other"
    return "src" if "src" in attrs else "js"


class Node:
    __slots__ = ("tag", "attrs", "children", "text")

    def __init__(self, tag, attrs=None, children=None, text=None):
        self.tag, self.attrs, self.children, self.text = tag, attrs or {}, children or [], text

    def describe(self):
        if self.tag in ("#text", "#comment"):
            return f"{self.tag} {self.text[:120]!r}"
        attrs = " ".join(f'{k}="{v[:60]}"' for k, v in sorted(self.attrs.items()))
        return f"<{self.tag}{' ' + attrs if attrs else ''}>"

    def elements(self):
        return [c for c in self.children if c.tag not in ("#text", "#comment")]


def convert(element):
    """html5lib's etree into Node trees; comments kept, doctypes left out."""
    tag = element.tag
    if not isinstance(tag, str):
        return Node("#comment", text=element.text or "")
    if tag == "<!COMMENT>":
        return Node("#comment", text=element.text or "")
    if tag == "<!DOCTYPE>":
        return None
    if tag.startswith("{"):  # SVG and MathML elements come with their namespace
        tag = tag.partition("}")[2]
    node = Node(tag.lower(), {k.lower() if isinstance(k, str) else str(k): v
                              for k, v in element.attrib.items()})
    add_children(node, element)
    return node


def add_children(node, element):
    """The element's text, converted children and their tails, in order, as node's children."""
    if element.text:
        node.children.append(Node("#text", text=element.text))
    for child in element:
        converted = convert(child)
        if converted is not None:
            node.children.append(converted)
        if child.tail:
            node.children.append(Node("#text", text=child.tail))


def meta_key(attrs):
    return tuple(sorted(attrs.items()))


def canonical(node, dropped_metas=None):
    """Undoes the removals the passes may make: editor tags give way to what they hold, IMG
    attributes that restate a default go, and (in the tree before the chain) the META tags
    counted in dropped_metas go. Adjacent text joins."""
    children = []
    for child in node.children:
        if child.tag in ("#text", "#comment"):
            children.append(child)
        elif child.tag == "meta" and dropped_metas and dropped_metas.get(meta_key(child.attrs)):
            dropped_metas[meta_key(child.attrs)] -= 1
        elif is_editor_tag(child.tag):
            children.extend(canonical(child, dropped_metas).children)
        else:
            children.append(canonical(child, dropped_metas))
    joined = []
    for child in children:
        if child.tag == "#text" and joined and joined[-1].tag == "#text":
            joined[-1] = Node("#text", text=joined[-1].text + child.text)
        else:
            joined.append(child)
    attrs = dict(node.attrs)
    if node.tag == "img":
        attrs = {k: v for k, v in attrs.items() if not is_default_img_attribute(k, v)}
    return Node(node.tag, attrs, joined, node.text)


def walk(node):
    yield node
    for child in node.children:
        yield from walk(child)


def text_content(node):
    if node.tag in ("#text", "#comment"):
        return node.text if node.tag == "#text" else ""
    return "".join(text_content(child) for child in node.children)


# ---- The rendered text

class Renderer:
    """Lays text out as CSS does with white-space: normal, into one string: blanks collapse to
    one space, kept only between two pieces of the same line; block boundaries are "¶", line
    breaks "↵", inline elements "‹b›…‹/b›", replaced elements "[img]"."""

    def __init__(self):
        self.out = []
        self.pending_space = False
        self.line_start = True

    def text(self, text):
        for piece in re.split(r"([ \t\n\f\r]+)", text):
            if not piece:
                continue
            if piece[0] in BLANKS:
                if not self.line_start:
                    self.pending_space = True
            else:
                self.visible(piece)

    def visible(self, piece):
        if self.pending_space:
            self.out.append(" ")
        self.out.append(piece)
        self.pending_space = False
        self.line_start = False

    def mark(self, marker):  # an inline element's edge: no box of its own
        self.out.append(marker)

    def boundary(self, marker="¶"):
        self.pending_space = False
        if marker != "¶" or not self.out or self.out[-1] != "¶":
            self.out.append(marker)
        self.line_start = True

    def node(self, node):
        tag = node.tag
        if tag == "#text":
            self.text(node.text)
        elif tag in HIDDEN:
            return
        elif tag == "br":
            self.boundary("↵")
        elif tag == "wbr":
            return
        elif tag in EXACT_BODIES and tag != "textarea":
            self.boundary()
            self.visible("⟦" + text_content(node) + "⟧")
            self.boundary()
        elif tag in ("svg", "math"):
            # Drawn as one box; only the text it draws counts, not its titles and descriptions.
            self.visible(f"[{tag} {fold(drawn_text(node))}]")
        elif tag in REPLACED:
            self.visible(f"[{tag}")
            if tag in ("button", "select", "object", "applet"):
                # A box of its own: its content lays out as its own lines.
                self.line_start = True
                for child in node.children:
                    self.node(child)
                self.pending_space = False
            self.visible("]")
        elif tag in BLOCKS:
            self.boundary()
            for child in node.children:
                self.node(child)
            self.boundary()
        else:
            self.mark(f"‹{tag}›")
            for child in node.children:
                self.node(child)
            self.mark(f"‹/{tag}›")


def drawn_text(node):
    if node.tag in ("#text", "#comment", "title", "desc", "metadata", "style", "script"):
        return node.text if node.tag == "#text" else ""
    return " ".join(drawn_text(child) for child in node.children)


def rendered(node):
    renderer = Renderer()
    renderer.boundary()
    for child in node.children:
        renderer.node(child)
    renderer.boundary()
    return "".join(renderer.out)


def first_difference(before, after, unit="character", width=70, join="".join):
    """Where two texts (or token lists) first differ, and both around that place."""
    k = 0
    while k < min(len(before), len(after)) and before[k] == after[k]:
        k += 1
    start = max(0, k - width)
    return (f"at {unit} {k}", repr(join(before[start:k + width])), repr(join(after[start:k + width])))


# ---- CSS and other code, by tokens

CSS_TOKEN = re.compile(r"""
    (?P<comment>/\*.*?(?:\*/|\Z))
  | (?P<string>"(?:[^"\\\n]|\\.)*"?|'(?:[^'\\\n]|\\.)*'?)
  | (?P<blank>[ \t\n\r\f]+)
  | (?P<word>[-\w.#%@!$\\]+)
  | (?P<other>.)
""", re.S | re.X)


def code_tokens(text, css=True):
    """Tokens of a style sheet (or of other code): blanks between tokens and CSS comments do
    not count; strings keep every byte."""
    return [match.group() for match in CSS_TOKEN.finditer(text)
            if match.lastgroup != "blank" and not (match.lastgroup == "comment" and css)]


# ---- The comparison

class Page:
    """What one page's comparison collects: the differences, and the script pairs for acorn."""
    def __init__(self):
        self.differences = []
        self.scripts = []

    def differ(self, path, before, after):
        self.differences.append((path, before, after))


def compare_trees(before, after, path, page):
    """Elements, attributes and the element-specific bodies; the text is the rendered model's."""
    if before.tag != after.tag or before.attrs != after.attrs:
        page.differ(path, before.describe(), after.describe())
        return False
    tag = before.tag
    if tag == "script":
        compare_script(before, after, path, page)
        return True
    if tag == "style":
        tokens_before, tokens_after = code_tokens(text_content(before)), code_tokens(
            text_content(after))
        if tokens_before != tokens_after:
            where, b, a = first_difference(tokens_before, tokens_after, "token", 8, " ".join)
            page.differ(f"{path} style body, {where}", b, a)
            return False
        return True
    if tag in EXACT_BODIES and text_content(before) != text_content(after):
        where, b, a = first_difference(text_content(before), text_content(after))
        page.differ(f"{path} body, {where}", b, a)
        return False
    if tag == "title" and fold(text_content(before)) != fold(text_content(after)):
        page.differ(f"{path} text", repr(fold(text_content(before))),
                    repr(fold(text_content(after))))
        return False
    if tag == "template":
        return compare_fragments(before, after, path + " content", page)
    elements_before, elements_after = before.elements(), after.elements()
    for index in range(max(len(elements_before), len(elements_after))):
        if index >= len(elements_before) or index >= len(elements_after):
            extra = (elements_before + elements_after)[index]
            side = "before" if index < len(elements_before) else "after"
            page.differ(f"{path}/{extra.tag}[{index}]", f"only {side}: {extra.describe()}",
                        f"{len(elements_before)} vs {len(elements_after)} elements")
            return False
        b, a = elements_before[index], elements_after[index]
        if not compare_trees(b, a, f"{path}/{b.tag}[{index}]", page):
            return False
    return True


def compare_fragments(before, after, path, page):
    """Markup held as text (a template) or as a template's content: its tree and its text."""
    fragment_before = Node("#fragment", children=before.children)
    fragment_after = Node("#fragment", children=after.children)
    if not compare_trees(fragment_before, fragment_after, path, page):
        return False
    text_before, text_after = rendered(fragment_before), rendered(fragment_after)
    if text_before != text_after:
        where, b, a = first_difference(text_before, text_after)
        page.differ(f"{path} rendered text, {where}", b, a)
        return False
    return True


def compare_script(before, after, path, page):
    kind = script_kind(before.attrs)
    body_before, body_after = text_content(before), text_content(after)
    if kind == "js":
        is_module = before.attrs.get("type", "").strip(BLANKS).lower() == "module"
        page.scripts.append((path, is_module, body_before, body_after))
    elif kind == "src":
        # Browsers run the file, but a page may read the body: a loader evaluates its own
        # element's text. A blank one may go.
        expected = body_before if body_before.strip(BLANKS) else ""
        if body_after != expected and not (not expected and not body_after.strip(BLANKS)):
            where, b, a = first_difference(body_before, body_after)
            page.differ(f"{path} body of a script with a source, {where}", b, a)
    else:
        compare_data(body_before, body_after, path, page)


def compare_data(text_before, text_after, path, page):
    """A script block that is no JavaScript: a template as the markup it holds, anything else
    (JSON among it) as code tokens, blanks between them aside."""
    if "<" in text_before:
        compare_fragments(fragment_node(text_before), fragment_node(text_after),
                          path + " (template)", page)
        return
    tokens_before, tokens_after = code_tokens(text_before, False), code_tokens(text_after, False)
    if tokens_before != tokens_after:
        where, b, a = first_difference(tokens_before, tokens_after, "token", 8, " ".join)
        page.differ(f"{path} script body, {where}", b, a)


def html_parser():
    return html5lib.HTMLParser(tree=html5lib.treebuilders.getTreeBuilder("etree"),
                               namespaceHTMLElements=False)


def fragment_node(text):
    node = Node("#fragment")
    add_children(node, html_parser().parseFragment(text, container="div"))
    return canonical(node)


def parse(data, encoding=None):
    parser = html_parser()
    kwargs = {"override_encoding": encoding} if encoding else {}
    document = parser.parse(data, **kwargs)
    return document, parser.documentEncoding


def root_of(document):
    # The etree builder hands back the <html> element, or a document holding it.
    for element in document.iter():
        if isinstance(element.tag, str) and element.tag.lower() == "html":
            return element
    return document


def ssi_comments(tree):
    return [n.text for n in walk(tree) if n.tag == "#comment"
            and any(k in n.text.lower() for k in SSI_KEYWORDS)]


def meta_choice_of(options):
    return next((c for c in (1, 2) if f"Meta Tags Option={c}" in " ".join(options)), 0)


MARKUP = re.compile(rb"<[A-Za-z/!?]")


def compare_pages(original, optimized, options):
    """Compares the page before and after; returns the Page with its differences and scripts."""
    page = Page()
    # A file holding a 0 byte is no 8-bit text (UTF-16, a binary file), and one holding no
    # markup is shown as plain text, its layout being its content: both stay byte for byte.
    if b"\0" in original or not MARKUP.search(original):
        if optimized != original:
            where, b, a = first_difference(original.decode("latin-1"),
                                                optimized.decode("latin-1"))
            page.differ(f"page that must stay as it is, {where}", b, a)
        return page
    doc_before, encoding = parse(original)
    doc_after, _ = parse(optimized, encoding)
    tree_before, tree_after = convert(root_of(doc_before)), convert(root_of(doc_after))

    metas_after = collections.Counter(meta_key(n.attrs) for n in walk(tree_after)
                                      if n.tag == "meta")
    dropped = collections.Counter(meta_key(n.attrs) for n in walk(tree_before)
                                  if n.tag == "meta") - metas_after
    choice = meta_choice_of(options)
    for key in dropped:
        if not meta_removable(dict(key), choice):
            page.differ("META", f"kept by the META choice {choice}: {dict(key)}", "removed")
    canonical_before = canonical(tree_before, dropped)
    canonical_after = canonical(tree_after)

    compare_trees(canonical_before, canonical_after, "", page)
    text_before, text_after = rendered(canonical_before), rendered(canonical_after)
    if text_before != text_after:
        where, b, a = first_difference(text_before, text_after)
        page.differ(f"rendered text, {where}", b, a)
    comments_before, comments_after = ssi_comments(tree_before), ssi_comments(tree_after)
    if comments_before != comments_after:
        page.differ("server-side include comments", repr(comments_before)[:300],
                    repr(comments_after)[:300])
    return page


def run_chain(tool, source, options, workdir):
    out = os.path.join(workdir, "out.html")
    subprocess.run([tool, *options, source, out], check=True)
    with open(out, "rb") as f:
        return f.read()


def check_page(job):
    """Compares one page under one option set; returns (page, option set, differences as
    text, script pairs)."""
    tool, path, option_name, options = job
    with open(path, "rb") as f:
        original = f.read()
    with tempfile.TemporaryDirectory() as workdir:
        optimized = run_chain(tool, path, options, workdir)
    page = compare_pages(original, optimized, options)
    differences = [f"first difference at {where}\n    before: {b}\n    after:  {a}"
                   for where, b, a in page.differences]
    label = f"{os.path.basename(path)} [{option_name}]"
    pairs = [(f"{label} script at {where}", is_module, b, a)
             for where, is_module, b, a in page.scripts]
    return os.path.basename(path), option_name, differences, pairs


# ---- JavaScript, by acorn's syntax tree

NODE_COMPARE = r"""
let acorn;
try { acorn = require('acorn'); } catch (e) { acorn = require('/usr/share/nodejs/acorn'); }
const items = JSON.parse(require('fs').readFileSync(0, 'utf8'));
const SKIP = new Set(['start', 'end', 'loc', 'range']);
function strip(node) {
  if (Array.isArray(node)) return node.map(strip);
  if (node === null || typeof node !== 'object') {
    return typeof node === 'bigint' ? String(node) + 'n' : node;
  }
  if (node instanceof RegExp) return String(node);
  const out = {};
  for (const key of Object.keys(node)) if (!SKIP.has(key)) out[key] = strip(node[key]);
  return out;
}
function parse(code, isModule) {
  return strip(acorn.parse(code, {ecmaVersion: 'latest', sourceType: isModule ? 'module' : 'script',
                                  allowHashBang: true}));
}
const results = items.map(([before, after, isModule]) => {
  let treeBefore;
  try { treeBefore = parse(before, isModule); } catch (e) { return {status: 'unparsed'}; }
  let treeAfter;
  try { treeAfter = parse(after, isModule); } catch (e) {
    return {status: 'broken', error: String(e.message)};
  }
  const a = JSON.stringify(treeBefore), b = JSON.stringify(treeAfter);
  if (a === b) return {status: 'same'};
  let k = 0;
  while (a[k] === b[k]) k++;
  const at = Math.max(0, k - 150);
  return {status: 'differs', where: 'character ' + k, before: a.slice(at, k + 150),
          after: b.slice(at, k + 150)};
});
process.stdout.write(JSON.stringify(results));
"""


def compare_scripts(node, pairs):
    """Each (label, is_module, before, after) by acorn; returns how many acorn parsed and the
    differences as (label, text)."""
    differences, compared = [], 0
    for first in range(0, len(pairs), 200):
        chunk = pairs[first:first + 200]
        items = [[before, after, is_module] for _, is_module, before, after in chunk]
        result = subprocess.run([node, "-e", NODE_COMPARE], input=json.dumps(items).encode(),
                                capture_output=True, check=True)
        for (label, _, before, after), outcome in zip(chunk, json.loads(result.stdout)):
            compared += outcome["status"] != "unparsed"
            if outcome["status"] == "broken":
                differences.append((label, f"parses before the chain, not after: "
                                           f"{outcome['error']}\n    after: {after[:400]!r}"))
            elif outcome["status"] == "differs":
                differences.append((label, f"syntax tree differs at {outcome['where']}\n"
                                           f"    before: {outcome['before']}\n"
                                           f"    after:  {outcome['after']}"))
    return compared, differences


def main():
    arguments = argparse.ArgumentParser()
    for name in ("--tool", "--node", "--corpus", "--pages"):
        arguments.add_argument(name, required=True)
    arguments.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    arguments.add_argument("--only", help="check only the pages whose file name holds this")
    arguments.add_argument("--generated", type=int, default=0,
                           help="also check this many generated pages (generate_pages.py)")
    arguments.add_argument("--seed", type=int, default=1, help="the generated pages' seed")
    args = arguments.parse_args()
    if not os.path.isdir(args.corpus):
        sys.exit(f"corpus missing at {args.corpus}")
    pages = sorted(os.path.join(folder, n) for folder in (args.corpus, args.pages)
                   for n in os.listdir(folder) if n.lower().endswith((".html", ".htm")))
    with tempfile.TemporaryDirectory() as generated:
        pages += generate_pages.write_pages(generated, args.generated, args.seed)
        pages = [p for p in pages if not args.only or args.only in os.path.basename(p)]
        return check_pages(args, pages)


def check_pages(args, pages):
    jobs = [(args.tool, page, name, options)
            for page in pages for name, options in OPTION_SETS.items()]
    failures, pairs = [], []
    with multiprocessing.Pool(args.jobs) as pool:
        for name, option_name, differences, page_pairs in pool.imap_unordered(check_page, jobs):
            failures += [f"{name} [{option_name}]: {text}" for text in differences[:1]]
            pairs += page_pairs
    compared, script_differences = compare_scripts(args.node, pairs)
    failures += [f"{label}: {text}" for label, text in script_differences]
    for failure in failures:
        print("FAIL", failure)
    print(f"pages: {len(pages)}, {len(OPTION_SETS)} option sets; inline scripts compared by "
          f"syntax tree: {compared}; {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
