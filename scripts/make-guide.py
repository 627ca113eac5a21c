#!/usr/bin/env python3
"""Writes resources/guide/Quillon.PDF from resources/guide/guide.txt.

A plain PDF 1.4 with the standard Helvetica fonts, so that no tool beyond Python is needed:
lines starting with "# " are the title, "## " headings, everything else wrapped paragraphs.
Run it after editing the guide's text and commit both files.
"""
import pathlib
import textwrap

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCE = ROOT / "resources" / "guide" / "guide.txt"
TARGET = ROOT / "resources" / "guide" / "Quillon.PDF"

PAGE_WIDTH, PAGE_HEIGHT, MARGIN = 595, 842, 56


def escape(text):
    return text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def layout(lines):
    """Yields pages, each a list of (font, size, text) lines."""
    page, y = [], PAGE_HEIGHT - MARGIN
    for raw in lines:
        if raw.startswith("# "):
            items = [("F2", 20, raw[2:], 30)]
        elif raw.startswith("## "):
            items = [("F2", 13, raw[3:], 22)]
        elif not raw.strip():
            items = [("F1", 11, "", 8)]
        else:
            items = [("F1", 11, part, 15) for part in textwrap.wrap(raw, 88)]
        for font, size, text, step in items:
            if y - step < MARGIN:
                yield page
                page, y = [], PAGE_HEIGHT - MARGIN
            y -= step
            page.append((font, size, text, y))
    yield page


def main():
    pages = list(layout(SOURCE.read_text(encoding="utf-8").splitlines()))
    objects = []
    font_ids = {"F1": 3, "F2": 4}
    objects.append("<< /Type /Catalog /Pages 2 0 R >>")
    kids = " ".join(f"{5 + 2 * i} 0 R" for i in range(len(pages)))
    objects.append(f"<< /Type /Pages /Kids [{kids}] /Count {len(pages)} >>")
    objects.append("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    objects.append("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>")
    for i, page in enumerate(pages):
        stream = "".join(
            f"BT /{font} {size} Tf {MARGIN} {y} Td ({escape(text)}) Tj ET\n"
            for font, size, text, y in page if text)
        fonts = " ".join(f"/{name} {number} 0 R" for name, number in font_ids.items())
        objects.append(
            f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 {PAGE_WIDTH} {PAGE_HEIGHT}] "
            f"/Resources << /Font << {fonts} >> >> /Contents {6 + 2 * i} 0 R >>")
        objects.append(f"<< /Length {len(stream.encode('latin-1'))} >>\nstream\n{stream}endstream")
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += f"{number} 0 obj\n{body}\nendobj\n".encode("latin-1")
    xref = len(out)
    out += f"xref\n0 {len(objects) + 1}\n0000000000 65535 f \n".encode()
    for offset in offsets:
        out += f"{offset:010d} 00000 n \n".encode()
    out += f"trailer\n<< /Size {len(objects) + 1} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    TARGET.write_bytes(bytes(out))


if __name__ == "__main__":
    main()
