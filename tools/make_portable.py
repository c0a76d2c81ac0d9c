#!/usr/bin/env python3
"""Packs the portable edition of one flavour into a zip file.

Usage: make_portable.py BUILD_DIR [--output FILE]

The package holds the portable program and its initial archive from BUILD_DIR/portable, and
everything else the installed edition ships from BUILD_DIR/dist (libraries, lang\\ with the
language packs and help files, brvstore.exe), at the top of the zip: unpacked into a folder, the
folder is the program folder. The flavour comes from the program's header, the version from its
version resource (as for the installer). The default output is
BUILD_DIR/dist/OrdaviaStudio-<version>-portable-<arch>.zip.
"""
import argparse
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import make_installer  # noqa: E402

# What the portable folder supplies in place of the installed edition's.
OWN = [make_installer.PROGRAM, "init.zip"]


def package_files(build):
    """[(path in the zip, file on disk)], sorted by path in the zip."""
    dist = os.path.join(build, "dist")
    portable = os.path.join(build, "portable")
    files = {}
    for rel in make_installer.dist_files(dist):
        if rel.lower() in (name.lower() for name in OWN):
            continue
        files[rel] = os.path.join(dist, rel)
    for name in OWN:
        path = os.path.join(portable, name)
        if not os.path.isfile(path):
            raise make_installer.Failure(f"{path}: missing; build the program first")
        files[name] = path
    return sorted(files.items())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", help="build folder with dist/ and portable/ (build or build64)")
    parser.add_argument("--output", help="zip file instead of dist/OrdaviaStudio-<version>-portable-<arch>.zip")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    arch = make_installer.program_arch(os.path.join(build, "portable", make_installer.PROGRAM))
    installed_arch = make_installer.program_arch(os.path.join(build, "dist", make_installer.PROGRAM))
    if arch != installed_arch:
        raise make_installer.Failure(f"{build}: the portable program is {arch}, the installed one {installed_arch}")
    version, _ = make_installer.read_version(os.path.join(ROOT, "app", "Resources.rc"))
    output = os.path.abspath(args.output or os.path.join(build, "dist", f"OrdaviaStudio-{version}-portable-{arch}.zip"))
    files = package_files(build)
    # Only a finished package gets the name.
    tmp = output + ".part"
    os.makedirs(os.path.dirname(output), exist_ok=True)
    try:
        with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as archive:
            for rel, path in files:
                archive.write(path, rel)
    except BaseException:
        if os.path.exists(tmp):
            os.remove(tmp)
        raise
    os.replace(tmp, output)
    print(f"{output}: version {version}, {arch}, {len(files)} files, {os.path.getsize(output)} bytes")


if __name__ == "__main__":
    try:
        main()
    except (make_installer.Failure, OSError) as e:
        sys.exit(f"make_portable: {e}")
