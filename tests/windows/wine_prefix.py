"""Makes (setup) or removes (cleanup) the Wine prefix that WINEPREFIX names.

Setup also starts a Wine server that stays up, with Wine's background
services, until cleanup. Otherwise every run of velloran.exe starts those
services again, and they hold its output open for seconds after it ends.
"""
import os
import shutil
import subprocess
import sys

prefix = os.environ["WINEPREFIX"]
wine = os.environ["VELLORAN_WINE"]
wineserver = os.environ["VELLORAN_WINESERVER"]
# Detached from the caller's output, which the test runner waits to see closed.
quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

if sys.argv[1:] == ["setup"]:
    subprocess.run([wineserver, "-k"], **quiet)
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    subprocess.Popen([wineserver, "--persistent"], start_new_session=True, **quiet)
    subprocess.run([wine, "wineboot", "--init"], check=True, **quiet)
elif sys.argv[1:] == ["cleanup"]:
    subprocess.run([wineserver, "-k"], **quiet)
    shutil.rmtree(prefix, ignore_errors=True)
else:
    sys.exit("usage: wine_prefix.py setup|cleanup")
