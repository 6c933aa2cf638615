#!/usr/bin/env python3
"""Adds up the GoogleTest JUnit reports under the given folders and prints
one line: "N passed, M failed" (with ", K skipped" when some were)."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for folder in sys.argv[1:]:
    for path in sorted(glob.glob(os.path.join(folder, "*.xml"))):
        try:
            root = ET.parse(path).getroot()
        except ET.ParseError:
            failed += 1
            continue
        for case in root.iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failed += 1
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
            else:
                passed += 1
line = f"{passed} passed, {failed} failed"
if skipped:
    line += f", {skipped} skipped"
print(line)
