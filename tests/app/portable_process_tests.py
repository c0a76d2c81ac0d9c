#!/usr/bin/env python3
"""The portable edition's process test: packs the flavour's portable zip as `make portable`
does, makes a fresh Wine prefix of its own (<build>/portable-test/wineprefix), unpacks the zip
into "C:\\Portable Studio ü\\" there and runs portable_process_tests.exe in that prefix, which
starts the unpacked program and compares the machine before and after.

    portable_process_tests.py <build> [gtest arguments...]
"""
import os
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FOLDER = "Portable Studio ü"


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    work = os.path.join(build, "portable-test")
    prefix = os.path.join(work, "wineprefix")
    package = os.path.join(work, "portable.zip")
    os.makedirs(work, exist_ok=True)
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_portable.py"), build, "--output", package],
                   check=True)

    # A machine where the program never ran: the prefix is made anew each time.
    env = dict(os.environ, ORDAVIA_WINEPREFIX=prefix)
    subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), stderr=subprocess.DEVNULL)
    shutil.rmtree(prefix, ignore_errors=True)
    if os.path.exists(prefix + ".lock"):
        os.remove(prefix + ".lock")
    test = os.path.join(build, "bin", "portable_process_tests.exe")
    runner = os.path.join(ROOT, "tools", "wine-run.sh")
    # wine-run.sh makes the prefix on first use; the unpacked folder must be there before the test
    # starts, so the prefix is made first by a run that lists the tests.
    subprocess.run([runner, test, "--gtest_list_tests"], env=env, check=True, stdout=subprocess.DEVNULL)
    target = os.path.join(prefix, "drive_c", FOLDER)
    with zipfile.ZipFile(package) as archive:
        archive.extractall(target)
    env["ORDAVIA_PORTABLE_FOLDER"] = "C:\\" + FOLDER + "\\"
    env.pop("QDX_DEMO_AUTOCLOSE", None)
    try:
        code = subprocess.run([runner, test, "--gtest_brief=1"] + sys.argv[2:], env=env).returncode
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(env, WINEPREFIX=prefix), stderr=subprocess.DEVNULL)
    sys.exit(code)


if __name__ == "__main__":
    main()
