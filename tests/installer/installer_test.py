#!/usr/bin/env python3
"""Installs, runs, upgrades and removes a flavour's Windows Installer package under Wine.

Usage: installer_test.py BUILD_DIR   (a flavour's build folder: build for x86, build64 for x64)

Works in BUILD_DIR/installer-test with a Wine prefix of its own, made afresh each run, because
installing writes machine-wide state that the other tests must not see. The prefix is of the
package's own kind: the x64 package goes into a 64-bit prefix through Wine's 64-bit loader (the
`wine` wrapper would pick the 32-bit one where wine32 is installed), the x86 package into a
32-bit prefix, so msiexec and reg.exe always see the registry the package writes to.
Prints one line per check group and exits non-zero at the first failure.
"""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_installer  # noqa: E402

# The loader and prefix kind of each package kind.
LOADERS = {"x64": ("/usr/lib/wine/wine64", "win64"), "x86": ("wine", "win32")}
WINESERVER = "/usr/lib/wine/wineserver"
NAME = "Brenvalo Ordavia 2010 Advanced"
PRODUCT_KEY = r"HKLM\SOFTWARE\brenvalo" + "\\" + NAME
HANDLERS = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\AutoplayHandlers"
HANDLER_PREFIX = "BRVBrenvalo_Ordavia_2010_Advanced"
PROGID = r"HKLM\SOFTWARE\Classes\Brenvalo.OrdaviaStudio.AutoPlay"
UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"
INSTALL_DIR = "C:\\Program Files\\Brenvalo\\" + NAME
PROGRAM = INSTALL_DIR + "\\OrdaviaStudio.exe"


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


class Wine:
    """The private prefix of one package kind and the commands run in it."""

    def __init__(self, prefix, arch):
        self.prefix = prefix
        self.loader, kind = LOADERS[arch]
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEARCH=kind, WINEDEBUG="-all",
                        DISPLAY="", WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=")
        self.env.pop("QDX_DEMO_AUTOCLOSE", None)
        self.env.pop("WINELOADER", None)
        if arch == "x64":
            self.env["WINELOADER"] = self.loader

    def make(self):
        self.stop()
        shutil.rmtree(self.prefix, ignore_errors=True)
        self.run(["wineboot", "-i"], timeout=300)
        # Headless: the null graphics driver, and no crash dialog waiting for a click.
        self.run(["reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/d", "null", "/f"])
        self.run(["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                  "/d", "0", "/f"])

    def settle(self):
        """Waits until the server has ended and written the registry files."""
        subprocess.run([WINESERVER, "-w"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, args, timeout=120, env=None):
        """(exit code, standard output) of a Windows command line."""
        try:
            done = subprocess.run([self.loader] + args, env=dict(self.env, **(env or {})), stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            raise Failed(f"{' '.join(args)}: no end after {timeout} s (a dialog waiting?)")
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def unix_path(self, windows_path):
        check(windows_path[1:3] == ":\\", f"not a drive path: {windows_path}")
        return os.path.join(self.prefix, "drive_" + windows_path[0].lower(), *windows_path[3:].split("\\"))

    def windows_path(self, unix_path):
        rel = os.path.relpath(unix_path, os.path.join(self.prefix, "drive_c"))
        return "C:\\" + rel.replace("/", "\\")

    def registry(self, key):
        """{subkey path: {value name: (type, data)}} under key, or {} when the key is missing."""
        code, out = self.run(["reg", "query", key, "/s"])
        if code != 0:
            return {}
        tree, current = {}, None
        for line in out.splitlines():
            if line.startswith("HKEY_"):
                current = line.strip()
                tree[current] = {}
            elif line.startswith("    ") and current is not None:
                parts = line.strip().split("    ", 2)
                if len(parts) >= 2:
                    name = "" if parts[0] == "(Default)" else parts[0]
                    tree[current][name] = (parts[1], parts[2] if len(parts) > 2 else "")
        return tree


def full(key):
    return key.replace("HKLM\\", "HKEY_LOCAL_MACHINE\\", 1)


def msiexec(wine, *args):
    code, _ = wine.run(["msiexec"] + list(args) + ["/qn"], timeout=300)
    return code


def installed_products(wine):
    """{product code: display version} of our entries in "Programs and Features"."""
    found = {}
    for key, values in wine.registry(UNINSTALL).items():
        if values.get("DisplayName", ("", ""))[1] == NAME:
            found[key.rsplit("\\", 1)[1]] = values.get("DisplayVersion", ("", ""))[1]
    return found


def start_menu_folders(wine):
    # Wine puts per-machine shortcuts into the installing user's menu; Windows into the
    # common one. Either place counts.
    return [wine.unix_path("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\" + NAME),
            os.path.join(wine.prefix, "drive_c", "users", os.environ.get("USER", "root"), "AppData", "Roaming",
                         "Microsoft", "Windows", "Start Menu", "Programs", NAME)]


def packed(code):
    """A product or upgrade code as Windows Installer writes it into its own registry keys."""
    hexes = code.strip("{}").replace("-", "").upper()
    swapped = hexes[:8][::-1] + hexes[8:12][::-1] + hexes[12:16][::-1]
    return swapped + "".join(hexes[i + 1] + hexes[i] for i in range(16, 32, 2))


def registry_file(path):
    """(keys, values) of a Wine registry file: key paths and (key path, value name) pairs."""
    keys, values, current = set(), set(), None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("["):
                current = line[1:line.rindex("]")].lower()
                keys.add(current)
            elif current is not None and (line.startswith('"') or line.startswith("@=")):
                values.add((current, "@" if line.startswith("@=") else line[1:line.index('"=')].lower()
                            if '"=' in line else line.strip()))
    return keys, values


def machine_state(wine):
    """Everything machine-wide that an uninstall must give back: the machine's registry (keys
    and value names) and every file and folder on drive C: outside the temporary folders."""
    wine.settle()
    keys, values = registry_file(os.path.join(wine.prefix, "system.reg"))
    paths = set()
    drive = os.path.join(wine.prefix, "drive_c")
    for folder, dirs, files in os.walk(drive):
        dirs[:] = [d for d in dirs if d.lower() not in ("temp", "inetcache")]
        paths.update(os.path.relpath(os.path.join(folder, n), drive).lower() + "/" for n in dirs)
        paths.update(os.path.relpath(os.path.join(folder, n), drive).lower() for n in files)
    return keys, values, paths


def left_behind(before, after, marks):
    """New values and files anywhere; new keys and folders that bear one of our names or codes
    (Windows Installer makes empty keys and folders of its own on first use and keeps them)."""
    keys = [k for k in after[0] - before[0] if any(m in k for m in marks)]
    values = [f"{k}: {v}" for k, v in after[1] - before[1]]
    paths = [p for p in after[2] - before[2] if not p.endswith("/") or any(m in p for m in marks)]
    return sorted(keys) + sorted(values) + ["C:/" + p for p in sorted(paths)]


def check_files(wine, dist):
    expected = sorted(make_installer.dist_files(dist) + [make_installer.PROGRAM])
    for must in ["OrdaviaStudio.exe", "qdxburn.dll", "brv_spti.dll", "brv_inet.dll"]:
        check(must in expected, f"{must} is not in {dist}; the package would be incomplete")
    root = wine.unix_path(INSTALL_DIR)
    installed = []
    for folder, _, files in os.walk(root):
        installed += [os.path.relpath(os.path.join(folder, f), root).replace(os.sep, "/") for f in files]
    check(sorted(installed) == expected,
          f"installed files differ from the dist folder: missing {sorted(set(expected) - set(installed))}, "
          f"extra {sorted(set(installed) - set(expected))}")
    for rel in expected:
        with open(os.path.join(dist, rel), "rb") as a, open(os.path.join(root, rel), "rb") as b:
            check(a.read() == b.read(), f"{rel}: installed content differs from the dist folder")
    print(f"ok: {len(expected)} files installed as in the dist folder")


def check_product_values(wine, version_text, langid):
    values = wine.registry(PRODUCT_KEY).get(full(PRODUCT_KEY), {})
    expected = {
        "Version": ("REG_SZ", version_text),
        "Edition": ("REG_SZ", "Advanced"),
        "ProductCode": ("REG_SZ", BUILD_NUMBER),
        "UpgradeType": ("REG_DWORD", "0x0"),
        "UpdateType": ("REG_DWORD", "0x2"),
        "InfoChannelsEnabled": ("REG_DWORD", "0x1"),
        "ReportTransformURL": ("REG_SZ", "html"),
    }
    if langid is not None:
        expected["DefaultLangID"] = ("REG_SZ", langid)
    check(values == expected, f"product values: expected {expected}, found {values}")
    print(f"ok: product values (Version {version_text}, DefaultLangID {langid or 'absent'})")


# (handler, Action text, verb, events it is bound to, switches after the drive)
AUTOPLAY = [
    ("BURNONARRIVAL", "Burn CD/DVD", "burn",
     ["HandleCDBurningOnArrival", "HandleDVDBurningOnArrival", "HandleBDBurningOnArrival"], ""),
    ("COPYONARRIVAL", "Copy CD/DVD", "copy",
     ["PlayCDAudioOnArrival", "PlayDVDMovieOnArrival", "PlayBluRayOnArrival", "MixedContentOnArrival"], " -copy"),
    ("RIPONARRIVAL", "Rip audio CD", "rip", ["PlayCDAudioOnArrival"], " -rip"),
]


def check_autoplay(wine):
    tree = wine.registry(HANDLERS)
    progid = wine.registry(PROGID)
    for action, text, verb, events, switches in AUTOPLAY:
        handler = HANDLER_PREFIX + action
        values = tree.get(full(HANDLERS) + "\\Handlers\\" + handler, {})
        expected = {
            "Action": ("REG_SZ", text),
            "Provider": ("REG_SZ", NAME),
            "DefaultIcon": ("REG_SZ", PROGRAM + ",0"),
            "InvokeProgID": ("REG_SZ", "Brenvalo.OrdaviaStudio.AutoPlay"),
            "InvokeVerb": ("REG_SZ", verb),
        }
        check(values == expected, f"handler {handler}: expected {expected}, found {values}")
        for event in events:
            bound = tree.get(full(HANDLERS) + "\\EventHandlers\\" + event, {})
            check(handler in bound, f"handler {handler} is not bound to {event}")
        command = progid.get(full(PROGID) + f"\\shell\\{verb}\\command", {}).get("")
        check(command == ("REG_SZ", f'"{PROGRAM}" -autoplay -selectdrive %L{switches}'),
              f"verb {verb}: command {command}")
    print(f"ok: {len(AUTOPLAY)} AutoPlay handlers with their events and commands")


# (shortcut file, arguments it must carry)
SHORTCUTS = [(NAME + ".lnk", ""), ("Copy a disc.lnk", "-autoplay -copy"), ("Rip an audio CD.lnk", "-autoplay -rip")]


def check_shortcuts(wine):
    folders = [f for f in start_menu_folders(wine) if os.path.isdir(f)]
    check(len(folders) == 1, f"expected one Start-menu folder, found {folders}")
    names = sorted(os.listdir(folders[0]))
    check(names == sorted(s for s, _ in SHORTCUTS), f"Start-menu entries: {names}")
    for name, arguments in SHORTCUTS:
        with open(os.path.join(folders[0], name), "rb") as f:
            data = f.read()
        # Shell links keep their strings in UTF-16.
        check(PROGRAM.encode("utf-16-le") in data or PROGRAM.encode("latin-1") in data,
              f"{name} does not point to {PROGRAM}")
        if arguments:
            check(arguments.encode("utf-16-le") in data, f"{name} does not carry {arguments}")
    print(f"ok: {len(SHORTCUTS)} Start-menu entries")


def run_program(wine, args):
    """The installed program with the demo engine, which prints what it received and returns."""
    code, out = wine.run([PROGRAM] + args, timeout=120, env={"QDX_DEMO_AUTOCLOSE": "1"})
    check(code == 0, f"OrdaviaStudio.exe {' '.join(args)} exited with {code}:\n{out}")
    lines = {}
    for line in out.splitlines():
        key, sep, value = line.strip().partition(": ")
        if sep and key not in lines:
            lines[key] = value
    check("version" in lines, f"OrdaviaStudio.exe {' '.join(args)} printed no summary:\n{out}")
    return lines


def language_packs(wine):
    folder = wine.unix_path(INSTALL_DIR + "\\lang")
    return [n for n in os.listdir(folder) if n.lower().endswith(".brvlang")] if os.path.isdir(folder) else []


def check_language(wine, summary, langid):
    """The request comes from DefaultLangID. Without packs the program keeps the request as its
    language; with packs it is a pack's code (the match, or the fallback)."""
    packs = language_packs(wine)
    language = summary.get("language", "")
    if not packs:
        check(language == langid, f"language {language!r}, expected the request {langid!r}")
    elif any(langid.split("-")[0].lower() in p.lower() for p in packs):
        check(language.lower().startswith(langid.split("-")[0].lower()),
              f"language {language!r} with packs {packs} for {langid!r}")
    else:
        check(language not in ("", "(none)"), f"no language with packs {packs}")


# (arguments, launch line the engine must see) -- the plain start, and each AutoPlay command as
# Windows would run it for drive E:.
LAUNCHES = [
    ([], "mode 1 (data disc), flag 0 (plain start), drive (none)"),
    (["-autoplay", "-selectdrive", "E:\\"], "mode 1 (data disc), flag 0 (plain start), drive E:\\"),
    (["-autoplay", "-selectdrive", "E:\\", "-copy"], "mode 3 (copy disc), flag 1 (task from the command line), drive E:\\"),
    (["-autoplay", "-selectdrive", "E:\\", "-rip"], "mode 17 (rip disc), flag 1 (task from the command line), drive E:\\"),
]


def check_runs(wine, version_text, langid):
    for args, launch in LAUNCHES:
        summary = run_program(wine, args)
        check(summary.get("launch request") == launch,
              f"{' '.join(args) or 'plain start'}: launch request {summary.get('launch request')!r}, expected {launch!r}")
        if not args:
            for key, value in [("version", version_text), ("edition", "Advanced"), ("product code", BUILD_NUMBER),
                               ("report transform", "html")]:
                check(summary.get(key) == value, f"program read {key} {summary.get(key)!r}, expected {value!r}")
            check_language(wine, summary, langid)
    print(f"ok: the installed program ran {len(LAUNCHES)} times and read its product values")


def uninstall(wine, baseline, marks):
    products = installed_products(wine)
    check(len(products) == 1, f"expected one installed product, found {products}")
    code = msiexec(wine, "/x", next(iter(products)))
    check(code == 0, f"msiexec /x exited with {code}")
    check(not installed_products(wine), "the product is still listed after the uninstall")
    left = left_behind(baseline, machine_state(wine), marks)
    check(not left, "left behind after the uninstall:\n  " + "\n  ".join(left))
    print("ok: uninstalled, nothing machine-wide left")


def later_version(version):
    """The same version with the build field one higher (Windows Installer compares the first
    three fields only)."""
    parts = version.split(".")
    parts[2] = str(int(parts[2]) + 1)
    return ".".join(parts)


BUILD_NUMBER = ""


def main():
    global BUILD_NUMBER
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    dist = os.path.join(build, "dist")
    work = os.path.join(build, "installer-test")
    os.makedirs(work, exist_ok=True)
    version, BUILD_NUMBER = make_installer.read_version(os.path.join(ROOT, "app", "Resources.rc"))
    later = later_version(version)
    three = lambda v: ".".join(v.split(".")[:3])  # noqa: E731

    arch = make_installer.program_arch(os.path.join(dist, "OrdaviaStudio.exe"))
    wine = Wine(os.path.join(work, "wineprefix"), arch)
    try:
        # The packages under test, built from the dist folder as `make installer` does.
        current = os.path.join(work, "current.msi")
        newer = os.path.join(work, "later.msi")
        for output, v in [(current, version), (newer, later)]:
            done = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_installer.py"), build,
                                   "--version", v, "--output", output])
            check(done.returncode == 0, f"building the {v} package failed")
        wine.make()
        shutil.copy(current, wine.unix_path("C:\\current.msi"))
        shutil.copy(newer, wine.unix_path("C:\\later.msi"))
        baseline = machine_state(wine)
        codes = [make_installer.UPGRADE_CODE] + [make_installer.guid(arch, "product", v) for v in (version, later)]
        marks = ["brenvalo", "ordavia"] + [c.lower() for c in codes] + [packed(c).lower() for c in codes]

        print(f"-- {version} with DEFAULTLANGID=de-de")
        check(msiexec(wine, "/i", "C:\\current.msi", "DEFAULTLANGID=de-de") == 0, "msiexec /i exited non-zero")
        check(list(installed_products(wine).values()) == [version], f"installed: {installed_products(wine)}")
        check_files(wine, dist)
        check_product_values(wine, three(version), "de-de")
        check_autoplay(wine)
        check_shortcuts(wine)
        check_runs(wine, three(version), "de-de")

        print(f"-- upgrade to {later} without properties")
        first = set(installed_products(wine))
        check(msiexec(wine, "/i", "C:\\later.msi") == 0, "msiexec /i of the later version exited non-zero")
        products = installed_products(wine)
        check(list(products.values()) == [later] and not first & set(products),
              f"after the upgrade: {products} (before: {first})")
        check_files(wine, dist)
        # The language an administrator gave the first installation stays.
        check_product_values(wine, three(later), "de-de")
        check_autoplay(wine)
        uninstall(wine, baseline, marks)

        print(f"-- {version} without DEFAULTLANGID")
        check(msiexec(wine, "/i", "C:\\current.msi") == 0, "msiexec /i without properties exited non-zero")
        check_product_values(wine, three(version), None)
        uninstall(wine, baseline, marks)

        print(f"-- {version} with an unknown DEFAULTLANGID")
        check(msiexec(wine, "/i", "C:\\current.msi", "DEFAULTLANGID=zz-zz") == 0,
              "msiexec /i with an unknown language exited non-zero")
        check_product_values(wine, three(version), "zz-zz")
        summary = run_program(wine, [])
        check_language(wine, summary, "zz-zz")
        print(f"ok: the program started with language {summary.get('language')!r}")
        # A user's own choice, as the language dialog writes it, outlives the product.
        user_key = r"HKCU\Software\brenvalo" + "\\" + NAME + r"\General"
        code, _ = wine.run(["reg", "add", user_key, "/v", "Language", "/d", "en-us", "/f"])
        check(code == 0, "could not write the user's language choice")
        uninstall(wine, baseline, marks)
        kept = wine.registry(user_key).get(user_key.replace("HKCU\\", "HKEY_CURRENT_USER\\", 1), {})
        check(kept.get("Language") == ("REG_SZ", "en-us"), f"the user's language choice is gone: {kept}")
        print("ok: the user's own settings stay")
    except Failed as e:
        print(f"FAILED: {e}", file=sys.stderr)
        return 1
    finally:
        wine.stop()
    print("installer tests passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
