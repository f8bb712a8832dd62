#!/usr/bin/env python3
"""Reads one ctest run: its console output and its LastTest.log.

Prints a line per skipped test with the reason the test gave, then a last
line "PASSED FAILED SKIPPED" with the counts (skipped tests are not counted
as passed).
"""
import re
import sys


def main(console_path, last_log_path):
    console = open(console_path, errors="replace").read()
    summary = re.findall(r"tests passed, (\d+) tests? failed out of (\d+)", console)
    if not summary:
        print("0 0 0")
        return
    failed, total = (int(x) for x in summary[-1])
    skipped = re.findall(r"^\s*\d+ - (\S+) \(Skipped\)\s*$", console, re.M)
    try:
        log = open(last_log_path, errors="replace").read()
    except OSError:
        log = ""
    for name in skipped:
        reason = "no reason given"
        block = re.search(r'Test: ' + re.escape(name) + r'\n(.*?)(?=^\d+/\d+ Test: |\Z)', log, re.S | re.M)
        if block:
            found = re.search(r": Skipped\n(.*?)\n", block.group(1))
            if found and found.group(1).strip():
                reason = found.group(1).strip()
        print("skipped: %s (%s)" % (name, reason))
    print(total - failed - len(skipped), failed, len(skipped))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
