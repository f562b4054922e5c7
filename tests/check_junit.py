#!/usr/bin/env python3
"""stagecheck's JUnit files, read with Python's XML parser (expat), which
refuses anything that is not well-formed XML: the folder run's file counted
against the text report of the same run, and the file of made-up verdicts
compared with the texts it was written from. stagecheck_tests leaves both
in the folder given."""
import os
import re
import sys
import xml.etree.ElementTree as ET


def fail(message):
    print("check_junit: " + message)
    sys.exit(1)


def expect(condition, message):
    if not condition:
        fail(message)


def sections(text):
    """{file name: its report} from the '=== N of M: PATH' headers."""
    parts = re.split(r"^=== (?:\d+ of \d+: (.*)|the run)$", text, flags=re.M)
    found = {}
    for path, body in zip(parts[1::2], parts[2::2]):
        if path is not None:
            found[re.split(r"[\\/]", path)[-1]] = body
    return found


def table_rows(text):
    """{file name: (held, failed, verdict)} from the closing table."""
    table = text.split("\n=== the run\n", 1)[1]
    rows = {}
    for line in table.splitlines()[1:]:
        m = re.match(r"(.*?)\s+(\d+|-)\s+(\d+|-)\s+(holds|fails|no plug-in: .*|"
                     r"not finished: .*)$", line)
        if m:
            rows[re.split(r"[\\/]", m.group(1))[-1]] = m.group(2, 3, 4)
    return rows


def check_pack(folder):
    text = open(os.path.join(folder, "pack.txt"), encoding="utf-8",
                errors="replace").read()
    root = ET.parse(os.path.join(folder, "pack.xml")).getroot()
    expect(root.tag == "testsuites", "root is " + root.tag)
    reports, rows = sections(text), table_rows(text)
    suites = root.findall("testsuite")
    expect(sorted(s.get("name") for s in suites) == sorted(rows),
           "suites %s, table rows %s" % ([s.get("name") for s in suites],
                                         sorted(rows)))
    totals = dict(tests=0, failures=0, errors=0, skipped=0)
    for suite in suites:
        name = suite.get("name")
        cases = suite.findall("testcase")
        failures = [c for c in cases if c.find("failure") is not None]
        errors = [c for c in cases if c.find("error") is not None]
        skipped = [c for c in cases if c.find("skipped") is not None]
        counted = dict(tests=len(cases), failures=len(failures),
                       errors=len(errors), skipped=len(skipped))
        for key, value in counted.items():
            expect(int(suite.get(key)) == value,
                   "%s: %s=%s, %d counted" % (name, key, suite.get(key), value))
            totals[key] += value
        held, failed, verdict = rows[name]
        if verdict.startswith("no plug-in: "):
            # One error, holding the table's reason.
            expect(len(cases) == 1 and len(errors) == 1,
                   "%s: %d cases, %d errors" % (name, len(cases), len(errors)))
            error = errors[0].find("error")
            expect(error.get("message") == verdict[len("no plug-in: "):],
                   "%s: error %r, row %r" % (name, error.get("message"), verdict))
            continue
        # One case per PASS or FAIL line of its report, the same verdicts.
        report = reports[name]
        lines = re.findall(r"^(PASS|FAIL)  (\S+)", report, flags=re.M)
        expect([c.get("name") for c in cases] == [rule for _, rule in lines],
               "%s: cases %s, report %s" % (name, [c.get("name") for c in cases],
                                            lines))
        expect({c.get("name") for c in failures} ==
               {rule for verdict_, rule in lines if verdict_ == "FAIL"},
               name + ": failures differ from the FAIL lines")
        expect((int(held), int(failed)) == (len(cases) - len(failures),
                                            len(failures)),
               "%s: row %s/%s" % (name, held, failed))
        for case in cases:
            expect(float(case.get("time")) >= 0 and case.get("classname") == name,
                   name + ": " + str(case.attrib))
        # What each failure saw, as the report says it.
        for case in failures:
            saw = re.search(r"^FAIL  %s .*\n      saw: (.*)$" %
                            re.escape(case.get("name")), report, flags=re.M)
            expect(saw and case.find("failure").get("message").startswith(
                saw.group(1)), name + ": " + case.get("name"))
        out = suite.find("system-out").text
        for line in re.findall(r"^NOTE  .*$", report, flags=re.M):
            expect(line in out, "%s: %r not in system-out" % (name, line))
    for key, value in totals.items():
        expect(int(root.get(key)) == value,
               "testsuites %s=%s, %d counted" % (key, root.get(key), value))
    print("check_junit: pack.xml: %d suites, %d cases, %d failures, "
          "%d errors, as the report says" % (len(suites), totals["tests"],
                                             totals["failures"],
                                             totals["errors"]))


def check_escaping(folder):
    path = os.path.join(folder, "escaping.xml")
    raw = open(path, "rb").read()
    expect(raw.startswith(b'<?xml version="1.0" encoding="UTF-8"?>'),
           "no UTF-8 declaration")
    root = ET.fromstring(raw)
    expected = open(os.path.join(folder, "escaping.expected"), "rb").read()
    expected = expected.decode("utf-8")
    first, gone, half = root.findall("testsuite")
    expect(first.get("name") == "\u30b9\u30c6\u30fc\u30b8\u00e9 & <co>.dll",
           "suite name %r" % first.get("name"))
    failure = first.find("testcase/failure")
    expect(failure.get("message") == expected,
           "message %r, expected %r" % (failure.get("message"), expected))
    expect(failure.text.endswith("\nsaw: " + expected),
           "failure text %r" % failure.text)
    expect("a note <with> & \"marks\"" in first.find("system-out").text,
           "notes")
    # Two rules ran, one failed and one held; every other rule is skipped.
    held = [c for c in first.findall("testcase")
            if c.find("system-out") is not None]
    expect([c.find("system-out").text for c in held] == ["held <well>"],
           "a passed rule's detail")
    cases = len(first.findall("testcase"))
    expect(cases > 2 and
           [int(first.get(k)) for k in ("tests", "failures", "skipped")] ==
           [cases, 1, cases - 2], "first suite counts %s" % first.attrib)
    error = gone.find("testcase/error")
    expect(error.get("message") == 'not found <here> & "there"',
           "error %r" % error.get("message"))
    expect([c.get("name") for c in half.findall("testcase[error]")] ==
           ["stagecheck"] and half.find("testcase/skipped[@message]")
           is not None, "an unfinished report")
    print("check_junit: escaping.xml: every text read back as written")


if __name__ == "__main__":
    check_pack(sys.argv[1])
    check_escaping(sys.argv[1])
