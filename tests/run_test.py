"""Runs one test of a Python suite by name, as ctest does for each:
python3 tests/run_test.py SUITE Class.test_name. The suite is imported, not run as a
script, so that Python takes it compiled: a few hundred tests start sooner."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

SKIPPED = 77  # tests/CMakeLists.txt gives ctest the same number


def main():
    suite_name, test_name = sys.argv[1], sys.argv[2]
    import harness
    harness.check_tool()
    suite = __import__(suite_name)
    tests = unittest.defaultTestLoader.loadTestsFromName(test_name, suite)
    result = unittest.TextTestRunner(verbosity=2).run(tests)
    # A test that was skipped shows as skipped in ctest (SKIP_RETURN_CODE), not as passed.
    if result.wasSuccessful() and result.testsRun > 0 and len(result.skipped) == result.testsRun:
        sys.exit(SKIPPED)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
