"""Counts the test cases of the JUnit result files under a folder, for scripts/test.

Prints "PASSED FAILED" on its first line and then one line per failure: a case that failed or
met an error, named LABEL + its result folder/class.name, or a result file that does not parse.
Skipped cases count neither way.

Usage: python3 scripts/count_junit.py FOLDER [LABEL]
"""
import pathlib
import sys
import xml.etree.ElementTree as ET


def count(folder, label=""):
    """(passed, failed, names of the failures) over every *.xml under `folder`."""
    passed, failures = 0, []
    for path in sorted(pathlib.Path(folder).rglob("*.xml")):
        try:
            root = ET.parse(path).getroot()
        except ET.ParseError:
            failures.append(f"{label}{path.name}: unreadable result file")
            continue
        for case in root.iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failures.append(f"{label}{path.parent.name}/{case.get('classname')}.{case.get('name')}")
            elif case.find("skipped") is None:
                passed += 1
    return passed, len(failures), failures


if __name__ == "__main__":
    passed, failed, names = count(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "")
    print(passed, failed)
    for name in names:
        print(name)
