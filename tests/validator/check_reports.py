#!/usr/bin/python3
"""Reads check's reports with real parsers, which refuse anything that is not well-formed JSON or
XML, checks that the two tell the same run, and prints what the tests look at, one item a line:

    json SEED CHECKS            then one line per check:  check NAME RESULT
    junit TESTS FAILURES SKIPPED  then one line per test case:  case NAME OUTCOME [out]

OUTCOME is failure, skipped or passed; "out" marks a case with a system-out. With --kaveltrum it
also requires what a check of our own module must show: no check failed, and both reports
tell the same.
"""
import json
import sys
import xml.etree.ElementTree as ET

arguments = [a for a in sys.argv[1:] if not a.startswith("--")]
with open(arguments[0], encoding="utf-8") as file:
    run = json.load(file)
for key in ("tool", "version", "module", "seed", "properties", "checks"):
    if key not in run:
        sys.exit("the JSON report has no %s" % key)
print("json", run["seed"], len(run["checks"]))
for check in run["checks"]:
    if check["result"] not in ("PASS", "FAIL", "WARN", "SKIP"):
        sys.exit("check %s has the result %r" % (check["name"], check["result"]))
    if not isinstance(check["seconds"], (int, float)) or check["seconds"] < 0:
        sys.exit("check %s took %r seconds" % (check["name"], check["seconds"]))
    print("check", check["name"], check["result"])

root = ET.parse(arguments[1]).getroot()
if root.tag != "testsuites":
    sys.exit("the JUnit root element is <%s>" % root.tag)
suites = root.findall("testsuite")
if len(suites) != 1:
    sys.exit("the JUnit report holds %d suites" % len(suites))
suite = suites[0]
cases = suite.findall("testcase")
print("junit", suite.get("tests"), suite.get("failures"), suite.get("skipped"))
if int(suite.get("tests")) != len(cases):
    sys.exit("the suite counts %s tests but holds %d" % (suite.get("tests"), len(cases)))
for case in cases:
    outcome = "failure" if case.find("failure") is not None else (
        "skipped" if case.find("skipped") is not None else "passed")
    float(case.get("time"))
    print("case", case.get("name"), outcome, "out" if case.find("system-out") is not None else "")

if "--kaveltrum" in sys.argv:
    if any(c["result"] == "FAIL" for c in run["checks"]):
        sys.exit("a check of KAVELTRUM did not pass: %r" % run["checks"])
    if len(cases) != len(run["checks"]) or int(suite.get("failures")) != 0:
        sys.exit("the JUnit report does not tell the run the JSON report tells")
