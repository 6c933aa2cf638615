"""JUnit reports like GoogleTest's, written by the Python test drivers so
that the test command counts their cases beside the GoogleTest ones."""

import xml.etree.ElementTree as ET


def write_cases(path, suite_name, outcomes):
    """outcomes: (case name, failure text or None) in the order they ran."""
    suite = ET.Element("testsuite", name=suite_name, tests=str(len(outcomes)))
    for name, failure in outcomes:
        node = ET.SubElement(suite, "testcase", name=name, classname=suite_name)
        if failure is not None:
            ET.SubElement(node, "failure", message="failed").text = failure
    root = ET.Element("testsuites")
    root.append(suite)
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def write_unittest(path, suite_name, result, cases):
    """One case per unittest case; a failure outside any case (a class
    set-up) fails every case that then never ran, and counts once more."""
    failed = {t.id(): msg for t, msg in result.failures + result.errors}
    skipped = {t.id() for t, _ in result.skipped}
    ids = {case.id() for case in cases}
    set_up_failed = any(other not in ids for other in failed)
    outcomes = []
    for case in cases:
        if case.id() in skipped:
            continue
        if case.id() in failed:
            failure = failed[case.id()]
        elif set_up_failed:
            failure = "not run: the set-up failed"
        else:
            failure = None
        outcomes.append((case.id().split(".")[-1], failure))
    outcomes += [(str(other), msg) for other, msg in failed.items() if other not in ids]
    write_cases(path, suite_name, outcomes)
