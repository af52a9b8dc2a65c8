#!/usr/bin/env python3
"""Copies tests out of the source and build trees, for a run by a user who cannot read them.

    relocate_tests.py TESTS_JSON SOURCE_DIR BUILD_DIR DEST

TESTS_JSON is what `ctest --show-only=json-v1` printed for the chosen tests. Every file of the
two trees that a test's command or its REQUIRED_FILES name is copied into DEST (one flat
directory, so a test program finds its helper programs beside itself), a directory of the
build tree that a command names becomes a fresh one in DEST, and DEST/CTestTestfile.cmake
is written so that `ctest --test-dir DEST` runs the same tests with the same properties there,
with VARLO_RELOCATED_TESTS=1 in their environment so that a test looks for its helper programs
beside itself only. A file that a test requires and that is not there to copy fails the
relocation: the run would otherwise go on without the helper and test less.
"""
import json
import os
import shutil
import sys


def main():
    tests_json, source, build, dest = sys.argv[1:]
    trees = [os.path.realpath(source), os.path.realpath(build)]
    copied = {}  # name in DEST -> the file it was copied from

    def relocate(path):
        real = os.path.realpath(path)
        if not os.path.isabs(path) or not any(real.startswith(tree + os.sep) for tree in trees):
            return path
        name = os.path.basename(real)
        if copied.setdefault(name, real) != real:
            sys.exit(f"relocate_tests: two files named {name}: {copied[name]} and {real}")
        target = os.path.join(dest, name)
        if os.path.isfile(real):
            if not os.path.exists(target):
                shutil.copy2(real, target)
        else:
            os.makedirs(target, exist_ok=True)
        return target

    def required(test, path):
        if not os.path.isfile(path):
            sys.exit(f"relocate_tests: {test} requires {path}, which is not there to copy")
        return relocate(path)

    def quoted(value):
        if isinstance(value, list):
            value = ";".join(str(item) for item in value)
        return f"[==[{value}]==]"

    with open(tests_json) as listing:
        tests = json.load(listing)["tests"]
    lines = []
    for test in tests:
        command = [relocate(word) for word in test["command"]]
        lines.append(f"add_test({quoted(test['name'])} {' '.join(map(quoted, command))})")
        properties = [("WORKING_DIRECTORY", dest)]
        environment = ["VARLO_RELOCATED_TESTS=1"]
        for prop in test.get("properties", []):
            name, value = prop["name"], prop["value"]
            if name == "WORKING_DIRECTORY":
                continue
            if name == "ENVIRONMENT":
                environment += value
                continue
            if name == "REQUIRED_FILES":
                value = [required(test["name"], path) for path in value]
            properties.append((name, value))
        properties.append(("ENVIRONMENT", environment))
        pairs = " ".join(f"{name} {quoted(value)}" for name, value in properties)
        lines.append(f"set_tests_properties({quoted(test['name'])} PROPERTIES {pairs})")
    with open(os.path.join(dest, "CTestTestfile.cmake"), "w") as testfile:
        testfile.write("\n".join(lines) + "\n")
    print(f"relocate_tests: {len(tests)} tests and {len(copied)} files in {dest}")


if __name__ == "__main__":
    main()
