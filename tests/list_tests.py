"""Prints the tests of Python suites, one "SUITE Class.test_name" a line, for ctest to run each
by name: python3 tests/list_tests.py SUITE.py..."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


def test_ids(suite):
    for test in suite:
        if isinstance(test, unittest.TestSuite):
            yield from test_ids(test)
        else:
            yield test.id()


def main():
    for path in sys.argv[1:]:
        name = os.path.splitext(os.path.basename(path))[0]
        module = __import__(name)
        for test_id in test_ids(unittest.defaultTestLoader.loadTestsFromModule(module)):
            print(name, test_id.split(".", 1)[1])


if __name__ == "__main__":
    main()
