#!/usr/bin/python3
"""Differential check of the web-page chain against a real HTML5 parser and a real JavaScript engine.

Every page (the shared corpus and the hand-made pages) goes through the chain under several
option sets. html5lib parses the page before and after; the two trees must hold the same elements
in the same nesting with the same attribute values and the same text once whitespace is folded.
The only differences allowed are those the passes intend: comments, META tags, IMG attributes
that restate a default, optional close tags, editor tags and the spelling of character
references. Every inline JavaScript that node can parse must still parse after the chain, and
the printing scripts must print what they printed before.

Usage: check_pages.py --tool quillon_page_chain --node node --corpus DIR --pages DIR
                      --scripts DIR [--jobs N]
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

try:
    import html5lib
except ImportError:  # the package comes from scripts/install-deps.sh (python3-html5lib)
    sys.exit("html5lib is missing: run scripts/install-deps.sh (Debian package python3-html5lib)")

# The option sets every page runs under: the defaults, and the other choice of every option that
# changes what a pass does.
OPTION_SETS = {
    "defaults": [],
    "lax quotes, script comments kept, generator META only": [
        "--set", "HTML Options/Strict Quote Rules=0",
        "--set", "JAVA Options/Remove Comments=0",
        "--set", "HTML Options/Meta Tags Option=1",
    ],
    "comments and close tags kept, every META kept": [
        "--set", "HTML Options/Remove Comments=0",
        "--set", "HTML Options/Remove Optional Close Tags=0",
        "--set", "HTML Options/Remove Unneeded WYSIWYG Tags=0",
        "--set", "HTML Options/Meta Tags Option=2",
    ],
}

WHITESPACE = re.compile(r"[ \t\n\f\r]+")

JS_TYPES = {"", "text/javascript", "application/javascript", "text/ecmascript",
            "application/ecmascript", "module"} | {f"text/javascript1.{n}" for n in range(6)}

# Elements the passes may remove while keeping their content: editor tags.
def is_editor_tag(tag):
    return tag.startswith("noop") or tag.startswith("x-claris-") or tag == "x-sas-window"

# Elements whose close tag the passes remove; a browser then closes them at the next sibling of
# the same kind or at the parent's end, so text that stood between two of them moves inside.
OPTIONAL_CLOSE = {"li": {"li"}, "dd": {"dd", "dt"}, "dt": {"dd", "dt"},
                  "option": {"option", "optgroup"}}

IMG_EDITOR_PREFIXES = ("x-sas-useimageheight", "x-sas-useimagewidth",
                       "x-claris-useimageheight", "x-claris-useimagewidth")


def fold(text):
    return WHITESPACE.sub(" ", text).strip()


def is_default_img_attribute(name, value):
    name = name.lower()
    bare = value.lstrip("\"'").lower()
    if name.startswith(IMG_EDITOR_PREFIXES) or name == "naturalsizeflag":
        return True
    if name in ("hspace", "vspace", "border"):
        return bare.startswith("0")
    if name == "align":
        return bare.startswith(("bottom", "baseline", "absbottom"))
    return False


def script_kind(attrs):
    """'js', 'src' (a JavaScript element whose body browsers ignore) or 'other'."""
    kind = "js"
    if "type" in attrs and attrs["type"].strip().lower() not in JS_TYPES:
        kind = "other"
    if "language" in attrs:
        language = attrs["language"].strip("\"' \t\n").lower()
        if language and not language.startswith("javascript"):
            kind = "other"
    if kind == "js" and "src" in attrs:
        kind = "src"
    return kind


class Node:
    __slots__ = ("tag", "attrs", "children", "text")

    def __init__(self, tag, attrs=None, children=None, text=None):
        self.tag, self.attrs, self.children, self.text = tag, attrs or {}, children or [], text

    def describe(self):
        if self.tag == "#text":
            return repr(self.text[:120])
        attrs = " ".join(f'{k}="{v[:60]}"' for k, v in sorted(self.attrs.items()))
        return f"<{self.tag}{' ' + attrs if attrs else ''}>"


def convert(element):
    """html5lib's etree into Node trees, comments and doctypes left out."""
    tag = element.tag
    if not isinstance(tag, str) or tag == "<!DOCTYPE>" or tag == "<!COMMENT>":
        return None
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
    return tuple(sorted((k, fold(v)) for k, v in attrs.items()))


def canonical(node, surviving_metas=None):
    """Undoes what the passes may do, in both trees alike, and folds whitespace.

    surviving_metas counts the META tags of the tree after the chain: a META of the tree before
    it that is not among them was removed, and the text on either side of it joins. None keeps
    every META (the tree after the chain)."""
    children = []
    for child in node.children:
        if child.tag == "#text":
            children.append(child)
        elif child.tag == "meta" and surviving_metas is not None:
            key = meta_key(child.attrs)
            if surviving_metas.get(key, 0) > 0:
                surviving_metas[key] -= 1
                children.append(canonical(child, surviving_metas))
        elif is_editor_tag(child.tag):
            children.extend(canonical(child, surviving_metas).children)
        else:
            children.append(canonical(child, surviving_metas))
    # A browser closes an optional-close element only at the next sibling of its kind: what
    # stood after its close tag moves into it once the tag is gone.
    merged = []
    for child in children:
        previous = merged[-1] if merged else None
        if (previous is not None and previous.tag in OPTIONAL_CLOSE
                and child.tag not in OPTIONAL_CLOSE[previous.tag]):
            previous.children.append(child)
            previous.children[:] = canonical(previous, surviving_metas).children
            continue
        merged.append(child)
    # Adjacent text merges (a comment or META between them is gone), then folds.
    result = []
    for child in merged:
        if child.tag == "#text" and result and result[-1].tag == "#text":
            result[-1] = Node("#text", text=result[-1].text + child.text)
        else:
            result.append(child)
    out = []
    for child in result:
        if child.tag == "#text":
            text = fold(child.text)
            if text:
                out.append(Node("#text", text=text))
        else:
            out.append(child)
    attrs = {k: fold(v) for k, v in node.attrs.items()}
    if node.tag == "img":
        attrs = {k: v for k, v in attrs.items() if not is_default_img_attribute(k, v)}
    return Node(node.tag, attrs, out)


def parse(data, encoding=None):
    parser = html5lib.HTMLParser(tree=html5lib.treebuilders.getTreeBuilder("etree"),
                                 namespaceHTMLElements=False)
    kwargs = {"override_encoding": encoding} if encoding else {}
    document = parser.parse(data, **kwargs)
    return document, parser.documentEncoding


def root_of(document):
    # The etree builder hands back the <html> element, or a document holding it.
    for element in document.iter():
        if isinstance(element.tag, str) and element.tag.lower() == "html":
            return element
    return document


META_KEEP_NAMES = {"keywords", "description", "robots", "viewport", "referrer"}
META_KEEP_EQUIVS = {"refresh", "content-type", "content-security-policy", "x-ua-compatible"}


def meta_keys(root, kept_only):
    keys = []
    for element in root.iter():
        if isinstance(element.tag, str) and element.tag.lower() == "meta":
            attrs = {k.lower(): fold(v) for k, v in element.attrib.items()}
            name = attrs.get("name", "").strip().lower()
            equiv = attrs.get("http-equiv", "").strip().lower()
            if (not kept_only or "charset" in attrs or name in META_KEEP_NAMES
                    or equiv in META_KEEP_EQUIVS):
                keys.append(tuple(sorted(attrs.items())))
    return keys


def compare(before, after, path):
    """The first difference as (path, before, after), or None."""
    if before.tag != after.tag or before.text != after.text or before.attrs != after.attrs:
        return path, before.describe(), after.describe()
    if before.tag == "script":
        kind = script_kind(before.attrs)
        if kind in ("js", "src"):
            return None  # the JavaScript check looks at these bodies
        return compare_data(before, after, path)
    for index in range(max(len(before.children), len(after.children))):
        if index >= len(before.children) or index >= len(after.children):
            extra = (before.children + after.children)[index]
            side = "before" if index < len(before.children) else "after"
            return (f"{path}/{extra.tag}[{index}]", f"only {side}: {extra.describe()}",
                    f"{len(before.children)} vs {len(after.children)} children")
        b, a = before.children[index], after.children[index]
        found = compare(b, a, f"{path}/{b.tag}[{index}]")
        if found:
            return found
    return None


def walk(node):
    yield node
    for child in node.children:
        yield from walk(child)


def text_of(node):
    return "".join(child.text for child in node.children if child.tag == "#text")


def compare_data(before, after, path):
    """A script block that is no JavaScript: a template is compared as the markup it holds (the
    tag passes work on it like on any markup), JSON as data, anything else as folded text."""
    text_before, text_after = text_of(before), text_of(after)
    if before.attrs.get("type", "").strip().lower() in ("application/json", "application/ld+json"):
        try:
            value_before, value_after = json.loads(text_before), json.loads(text_after)
        except ValueError:
            pass
        else:
            if fold_json(value_before) != fold_json(value_after):
                return path, "JSON: " + text_before[:200], "JSON: " + text_after[:200]
            return None
    if "<" in text_before:
        fragment_before = canonical(fragment_node(text_before))
        fragment_after = canonical(fragment_node(text_after))
        return compare(fragment_before, fragment_after, path + "/(template)")
    if fold(text_before) != fold(text_after):
        return path, repr(fold(text_before)[:200]), repr(fold(text_after)[:200])
    return None


def fold_json(value):
    if isinstance(value, str):
        return fold(value)
    if isinstance(value, list):
        return [fold_json(v) for v in value]
    if isinstance(value, dict):
        return {fold(k): fold_json(v) for k, v in value.items()}
    return value


def fragment_node(text):
    parser = html5lib.HTMLParser(tree=html5lib.treebuilders.getTreeBuilder("etree"),
                                 namespaceHTMLElements=False)
    fragment = parser.parseFragment(text, container="div")
    node = Node("#fragment")
    add_children(node, fragment)
    return node


def scripts_of(root):
    out = []
    for element in root.iter():
        if isinstance(element.tag, str) and element.tag.lower() == "script":
            attrs = {k.lower(): v for k, v in element.attrib.items()}
            out.append((script_kind(attrs), attrs.get("type", "").strip().lower() == "module",
                        element.text or ""))
    return out


def run_chain(tool, source, options, workdir):
    out = os.path.join(workdir, "out.html")
    subprocess.run([tool, *options, source, out], check=True)
    with open(out, "rb") as f:
        return f.read()


def check_page(job):
    """Compares one page under one option set; returns (label, failures, scripts to check)."""
    tool, path, option_name, options = job
    label = f"{os.path.basename(path)} [{option_name}]"
    with open(path, "rb") as f:
        original = f.read()
    with tempfile.TemporaryDirectory() as workdir:
        optimized = run_chain(tool, path, options, workdir)
    failures = []
    doc_before, encoding = parse(original)
    doc_after, _ = parse(optimized, encoding)
    root_before, root_after = root_of(doc_before), root_of(doc_after)
    tree_before, tree_after = convert(root_before), convert(root_after)
    surviving_metas = collections.Counter(
        meta_key(n.attrs) for n in walk(tree_after) if n.tag == "meta")
    found = compare(canonical(tree_before, surviving_metas), canonical(tree_after), "")
    if found:
        failures.append(f"{label}: first difference at {found[0]}\n"
                        f"    before: {found[1]}\n    after:  {found[2]}")
    kept_rule = "Meta Tags Option=2" not in " ".join(options)
    missing = [m for m in meta_keys(root_before, kept_rule)
               if m not in meta_keys(root_after, False)]
    if missing:
        failures.append(f"{label}: META tag lost: {dict(missing[0])}")
    scripts_before, scripts_after = scripts_of(root_before), scripts_of(root_after)
    pairs = []
    if len(scripts_before) != len(scripts_after):
        failures.append(f"{label}: {len(scripts_before)} scripts before, "
                        f"{len(scripts_after)} after")
    else:
        for index, (b, a) in enumerate(zip(scripts_before, scripts_after)):
            if b[0] == "js":
                pairs.append((f"{label} script {index}", b[1], b[2], a[2]))
    return label, failures, pairs


NODE_SYNTAX_CHECK = r"""
const vm = require('vm');
const items = JSON.parse(require('fs').readFileSync(0, 'utf8'));
const results = items.map(([code, isModule]) => {
  try {
    if (isModule) new vm.SourceTextModule(code); else new vm.Script(code);
    return null;
  } catch (e) {
    return String(e && e.message || e);
  }
});
process.stdout.write(JSON.stringify(results));
"""


def syntax_errors(node, sources):
    """Parses each (code, is_module) with node's parser; the error text, or None, for each."""
    result = subprocess.run([node, "--experimental-vm-modules", "--no-warnings", "-e",
                             NODE_SYNTAX_CHECK], input=json.dumps(sources).encode(),
                            capture_output=True, check=True)
    return json.loads(result.stdout)


def check_scripts(node, pairs):
    failures = []
    sources = []
    for _, is_module, before, after in pairs:
        sources += [[before, is_module], [after, is_module]]
    errors = syntax_errors(node, sources) if sources else []
    checked = 0
    for index, (label, _, before, after) in enumerate(pairs):
        error_before, error_after = errors[2 * index], errors[2 * index + 1]
        if error_before is None:
            checked += 1
            if error_after is not None:
                failures.append(f"{label}: parses before the chain, not after: {error_after}\n"
                                f"    after: {after[:400]!r}")
    return checked, failures


def run_node(node, code, workdir):
    path = os.path.join(workdir, "script.js")
    with open(path, "w", encoding="utf-8") as f:
        f.write(code)
    result = subprocess.run([node, path], capture_output=True, timeout=60)
    return result.returncode, result.stdout.decode("utf-8", "replace"), \
        result.stderr.decode("utf-8", "replace")


PAGE_WRAPPINGS = {
    "plain": "<html><head><title>t</title>\n<script>\n{}\n</script>\n</head><body><p>x</body></html>\n",
    "hidden": "<html><head><title>t</title>\n<SCRIPT LANGUAGE=\"JavaScript\">\n<!-- hide\n{}\n"
              "// end hiding -->\n</SCRIPT>\n</head><body><p>x</body></html>\n",
}


def check_printing_script(job):
    tool, node, path, option_name, options = job
    with open(path, encoding="utf-8") as f:
        source = f.read()
    failures = []
    with tempfile.TemporaryDirectory() as workdir:
        code, expected, stderr = run_node(node, source, workdir)
        if code != 0:
            return [f"{os.path.basename(path)}: fails before the chain: {stderr[-400:]}"]
        for wrapping, template in PAGE_WRAPPINGS.items():
            label = f"{os.path.basename(path)} [{wrapping}, {option_name}]"
            page = os.path.join(workdir, "page.html")
            with open(page, "w", encoding="utf-8") as f:
                f.write(template.replace("{}", source))
            optimized = run_chain(tool, page, options, workdir)
            document, _ = parse(optimized, "utf-8")
            bodies = [s[2] for s in scripts_of(root_of(document))]
            if len(bodies) != 1:
                failures.append(f"{label}: {len(bodies)} scripts after the chain")
                continue
            code, printed, stderr = run_node(node, bodies[0], workdir)
            if code != 0 or fold(printed) != fold(expected):
                failures.append(f"{label}: prints otherwise after the chain\n"
                                f"    expected: {fold(expected)[:300]!r}\n"
                                f"    printed:  {fold(printed)[:300]!r} {stderr[-300:]}\n"
                                f"    script:   {bodies[0][:600]!r}")
    return failures


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("--tool", required=True)
    arguments.add_argument("--node", required=True)
    arguments.add_argument("--corpus", required=True)
    arguments.add_argument("--pages", required=True)
    arguments.add_argument("--scripts", required=True)
    arguments.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = arguments.parse_args()

    pages = []
    if os.path.isdir(args.corpus):
        pages += sorted(os.path.join(args.corpus, n) for n in os.listdir(args.corpus)
                        if n.lower().endswith((".html", ".htm")))
    elif os.environ.get("QUILLON_REQUIRE_CORPUS"):
        sys.exit(f"corpus missing at {args.corpus}")
    hand_made = sorted(os.path.join(args.pages, n) for n in os.listdir(args.pages)
                       if n.endswith(".html"))
    scripts = sorted(os.path.join(args.scripts, n) for n in os.listdir(args.scripts)
                     if n.endswith(".js"))
    page_jobs = [(args.tool, page, name, options)
                 for page in pages + hand_made for name, options in OPTION_SETS.items()]
    script_jobs = [(args.tool, args.node, script, name, options)
                   for script in scripts for name, options in list(OPTION_SETS.items())[:2]]

    failures = []
    pairs = []
    with multiprocessing.Pool(args.jobs) as pool:
        for label, page_failures, page_pairs in pool.imap_unordered(check_page, page_jobs):
            failures += page_failures
            pairs += page_pairs
        for script_failures in pool.imap_unordered(check_printing_script, script_jobs):
            failures += script_failures
    checked, script_failures = check_scripts(args.node, pairs)
    failures += script_failures

    for failure in failures:
        print("FAIL", failure)
    print(f"pages: {len(pages)} corpus + {len(hand_made)} hand-made, {len(OPTION_SETS)} option "
          f"sets; inline scripts parsed by node: {checked}; printing scripts: {len(scripts)}")
    total = len(page_jobs) + len(script_jobs) + 1
    print(f"differential checks: {total} groups, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
