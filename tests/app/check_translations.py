#!/usr/bin/env python3
"""Fails when a text of the window lacks its translation in a committed catalogue.

Usage: check_translations.py LUPDATE SOURCE_ROOT CATALOGUE.ts...

Each catalogue is copied and brought up to date with the texts lupdate finds in app/ today,
so a text added to the code without a translation shows as unfinished in the copy. The English
catalogue's translations must be ASCII: no full-width punctuation, Chinese or "…".
"""
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

PLACEHOLDER = re.compile(r"%\d")


def messages(path):
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            yield name, message


def check(lupdate, root, catalogue, work):
    english = catalogue.name.endswith("_en.ts")
    copy = work / catalogue.name
    shutil.copy(catalogue, copy)
    subprocess.run([lupdate, "-silent", "-no-obsolete", "-locations", "none", "-I", str(root),
                    str(root / "app"), "-ts", str(copy)], check=True)
    faults = []
    for context, message in messages(copy):
        source = message.findtext("source")
        translation = message.find("translation")
        where = f"{catalogue.name}: {context}: {source!r}"
        forms = translation.findall("numerusform") or [translation]
        if translation.get("type") or any(not (f.text or "").strip() for f in forms):
            faults.append(f"{where}: no finished translation")
        elif any(sorted(PLACEHOLDER.findall(f.text)) != sorted(PLACEHOLDER.findall(source))
                 for f in forms):
            faults.append(f"{where}: the translation's %N differ from the source's")
        elif english and any(not f.text.isascii() for f in forms):
            faults.append(f"{where}: the English is not ASCII")
    kept = {(c, m.findtext("source")) for c, m in messages(catalogue)}
    found = {(c, m.findtext("source")) for c, m in messages(copy)}
    for context, source in sorted(kept - found):
        faults.append(f"{catalogue.name}: {context}: {source!r}: no longer in the code")
    return faults


def main():
    lupdate, root, catalogues = sys.argv[1], Path(sys.argv[2]), [Path(a) for a in sys.argv[3:]]
    with tempfile.TemporaryDirectory() as work:
        faults = [f for c in catalogues for f in check(lupdate, root, c, Path(work))]
    for fault in faults:
        print(fault)
    if faults:
        print("Run `cmake --build BUILD --target update_translations` and translate them.")
        return 1
    print(f"{len(catalogues)} catalogues complete")
    return 0


if __name__ == "__main__":
    sys.exit(main())
