"""A Wine prefix of the tests' own, made once per build tree and copied for each rig.

``wineboot -i`` takes half a minute or more; a copy of a prefix it made takes a few seconds. Every
rig of a tree (the Wine tests' one, each end-to-end suite's, the demo's, the timing run's) wants a
new prefix on a fresh clone, so the first one makes the template (``QV_E2E_PREFIX_TEMPLATE``, under
a lock, so that concurrent rigs wait for one wineboot) and every one copies it. A prefix made
without a template is made by wineboot as before. Python 3 standard library only.

    python3 wine_prefix.py PREFIX HOME [TEMPLATE]   make PREFIX unless it exists (cmake/wine-rig.sh)
"""
import fcntl
import os
import shutil
import subprocess
import sys

WINE64 = "/usr/lib/wine/wine64"  # makes the prefix: always a 64-bit one
WINESERVER = "/usr/lib/wine/wineserver"
NO_MENU_ENTRIES = "winemenubuilder.exe=d"  # no desktop menu entries from test programs
# Nor a .NET or HTML engine to install while the prefix is made.
BOOT_OVERRIDES = "mscoree=;mshtml=;" + NO_MENU_ENTRIES


class PrefixError(Exception):
    """wineboot could not make a prefix."""


def is_made(prefix):
    return os.path.exists(os.path.join(prefix, "system.reg"))


def boot(prefix, home, timeout=300):
    """Makes ``prefix`` with wineboot, its HOME ``home``, and waits until its server is gone."""
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=prefix, HOME=home, WINEDEBUG="-all", WINEDLLOVERRIDES=BOOT_OVERRIDES)
    env.pop("WINELOADER", None)
    env.pop("WINESERVER", None)
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    try:
        rc = subprocess.run([WINE64, "wineboot", "-i"], timeout=timeout, **quiet).returncode
        subprocess.run([WINESERVER, "-w"], timeout=120, **quiet)
    except subprocess.TimeoutExpired:
        raise PrefixError(f"wineboot -i did not finish in {timeout} s in {prefix}") from None
    if rc != 0 or not is_made(prefix):
        raise PrefixError(f"wineboot -i failed ({rc}) in {prefix}")


def template_home(template):
    return template + ".home"


def ensure_template(template):
    """Makes the template prefix unless it exists; a rig that finds it half made (an earlier run
    stopped inside wineboot) makes it again. Concurrent callers wait for the one that makes it."""
    os.makedirs(os.path.dirname(os.path.abspath(template)), exist_ok=True)
    with open(template + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if is_made(template):
            return False
        partial = template + ".partial"
        for leftover in (template, partial):
            shutil.rmtree(leftover, ignore_errors=True)
        boot(partial, template_home(template))
        os.rename(partial, template)
        return True


def relink_home(prefix, old_home, new_home):
    """The profile's links into the template's HOME (Desktop, Documents, ...) lead to ``new_home``
    instead, as wineboot would have made them for this prefix."""
    old = os.path.realpath(old_home)
    for folder, subfolders, files in os.walk(os.path.join(prefix, "drive_c", "users")):
        for name in subfolders + files:
            path = os.path.join(folder, name)
            if os.path.islink(path) and os.path.realpath(path) == old:
                os.remove(path)
                os.symlink(new_home, path)


def ensure(prefix, home, template=None):
    """Makes ``prefix`` (HOME ``home``) unless it is made already: a copy of ``template`` when one
    is given, else by wineboot. True when it made it."""
    if is_made(prefix):
        return False
    shutil.rmtree(prefix, ignore_errors=True)  # a half-made one
    os.makedirs(home, exist_ok=True)
    if not template:
        boot(prefix, home)
        return True
    ensure_template(template)
    os.makedirs(os.path.dirname(os.path.abspath(prefix)), exist_ok=True)
    # cp keeps the links (dosdevices) as links and the files' modes; Python's copytree is slower.
    done = subprocess.run(["cp", "-a", template, prefix], stdin=subprocess.DEVNULL, capture_output=True)
    if done.returncode != 0 or not is_made(prefix):
        raise PrefixError(f"copying {template} to {prefix} failed: {done.stderr.decode(errors='replace').strip()}")
    relink_home(prefix, template_home(template), os.path.abspath(home))
    return True


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    try:
        ensure(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else None)
    except PrefixError as error:
        sys.exit(str(error))
