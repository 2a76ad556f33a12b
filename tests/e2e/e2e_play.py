"""End to end: the real program under Wine on an X display, played with key presses and judged
from whole-screen pictures and the registry: start, a piece, a move, pause, Show Grid and
Options > Graphics changed, exit; the options are stored at exit only.

    e2e_play.py <folder with stakka.exe and its libraries> <work folder>
"""
import os
import shutil
import subprocess
import sys
import time

bindir, work = sys.argv[1], sys.argv[2]
APP_KEY = r"HKCU\Software\Kellmarvostian\Stakka\1.1"
WELL = 192 * 352
failures = []


def run(*args, err=subprocess.DEVNULL):
    # Wine's server outlives the command: it must not hold a pipe we wait on.
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=err, stdin=subprocess.DEVNULL,
                          text=True)


def check(ok, what):
    print(("ok: " if ok else "FAIL: ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def key(*names):
    for n in names:
        run("xdotool", "key", n)
        time.sleep(0.3)


def shot(name):
    path = os.path.join(work, name + ".png")
    run("import", "-window", "root", "-depth", "8", path)
    return path


def changed(a, b):
    """How many pixels differ between two pictures."""
    out = run("compare", "-metric", "AE", a, b, "null:", err=subprocess.PIPE).stderr.split()
    return int(float(out[0])) if out else -1


def wait_change(base, low, high, name, timeout=5.0):
    end = time.time() + timeout
    while True:
        n = changed(base, shot(name))
        if low <= n <= high or time.time() > end:
            return n
        time.sleep(0.2)


def stored(name, sub=""):
    for line in run("wine", "reg", "query", APP_KEY + sub, "/v", name).stdout.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0] == name:
            return parts[2]
    return None


run("wine", "reg", "delete", r"HKCU\Software\Kellmarvostian", "/f")
rundir = os.path.join(work, "run")
shutil.rmtree(rundir, ignore_errors=True)
os.makedirs(rundir)
for name in ("stakka.exe", "stkgfx.dll", "midas11.dll", "beyond.mod"):
    shutil.copy(os.path.join(bindir, name), rundir)
app = subprocess.Popen(["wine", "stakka.exe"], cwd=rundir, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
wid = None
for _ in range(200):
    wid = run("xdotool", "search", "--onlyvisible", "--name", "^Stakka$").stdout.split()
    if wid and run("xdotool", "getwindowfocus").stdout.strip() == wid[0]:
        break
    time.sleep(0.2)
if not check(bool(wid), "the main window shows and has the focus"):
    run("wineserver", "-k")
    sys.exit(1)
time.sleep(1.0)
empty = shot("empty")
key("F2")
check(200 < wait_change(empty, 300, 3000, "piece") < 3000, "F2: a piece enters, the next one shows")
playing = shot("playing")
key("Left")
check(0 < changed(playing, shot("moved")) < 2000, "Left moves the piece")
paused = shot("before-pause")
key("Pause")
check(wait_change(paused, WELL // 2, 10 ** 7, "paused") > WELL // 2, "Pause covers the well")
key("Pause")
check(wait_change(paused, 0, WELL // 4, "resumed") < WELL // 4, "Pause again shows the game")
key("F3", "alt+o", "r")
check(stored("DrawGrid") == "1", "the options are stored as they were while the program runs")
before = shot("grid-off")
key("alt+o", "g")
time.sleep(1.0)
key("g", "Return")   # the kind list has the focus: "Gradient"
check(wait_change(before, WELL // 2, 10 ** 7, "gradient") > WELL // 2,
      "Graphics: the well shows the gradient")
key("alt+f", "e")
try:
    rc = app.wait(timeout=30)
except subprocess.TimeoutExpired:
    rc = None
    run("wineserver", "-k")
check(rc == 0, "Exit ends the program with 0 (got %s)" % rc)
check(stored("DrawGrid") == "0", "Show Grid off is stored at exit")
check(stored("BackgroundFlags", r"\Background") == "8", "the gradient is stored at exit")
print("%d check(s) failed" % len(failures) if failures else "all checks passed")
sys.exit(1 if failures else 0)
