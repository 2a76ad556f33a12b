"""The screen benchmark: prints, from one run,
  - the in-process figures of bench_screen.exe (a frame step that is not due
    against a bare tick read, the whole well against a band, how late frame
    steps act during a fast game under the real main loop);
  - the real program's CPU use over 10 s with no game, paused and while a
    game runs, read from /proc for its process;
  - the time from launching the program to its window being shown.

    bench.py <folder with stakka.exe and its libraries> <work folder> <bench_screen.exe>
             [seconds per CPU sample, default 10]
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2elib import ROOT_KEY, App, key, reg_delete_tree  # noqa: E402

bindir, work, bench_exe = sys.argv[1], sys.argv[2], sys.argv[3]
sample = float(sys.argv[4]) if len(sys.argv) > 4 else 10.0
TCK = os.sysconf("SC_CLK_TCK")


def out(name, value, unit):
    print("bench: %s %s %s" % (name, value, unit), flush=True)


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def cpu_share(pid, seconds, keys=None):
    c0, t0 = cpu_ticks(pid), time.time()
    if keys:
        i = 0
        while time.time() - t0 < seconds:
            key(keys[i % len(keys)], delay=0.25)
            i += 1
    else:
        time.sleep(seconds)
    c1, t1 = cpu_ticks(pid), time.time()
    return (c1 - c0) / float(TCK) / (t1 - t0) * 100.0


# ---- In-process figures -------------------------------------------------------
folder = os.path.join(work, "inproc")
if os.path.exists(folder):
    shutil.rmtree(folder)
os.makedirs(folder)
for name in ("stkgfx.dll", "midas11.dll"):
    shutil.copy(os.path.join(bindir, name), folder)
shutil.copy(bench_exe, folder)
res = subprocess.run(["wine", os.path.basename(bench_exe)], cwd=folder, stdout=subprocess.PIPE,
                     stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, text=True, timeout=300)
for line in res.stdout.splitlines():
    if line.startswith("bench:"):
        print(line, flush=True)

# ---- Launch time ------------------------------------------------------------------
reg_delete_tree(ROOT_KEY)
launches = []
for i in range(3):
    app = App(bindir, os.path.join(work, "run"))
    t0 = time.time()
    app.start()
    wid = app.wait_window()
    if wid:
        launches.append(time.time() - t0)
    app.wait_ready()
    if i < 2:
        app.exit_by_menu()
if launches:
    out("launch_to_window_min", "%.2f" % min(launches), "s")
    out("launch_to_window_max", "%.2f" % max(launches), "s")

# ---- CPU use of the real program ----------------------------------------------------
pid = app.pid()
time.sleep(1.0)
out("cpu_no_game", "%.2f" % cpu_share(pid, sample), "% of a core")
key("F2")
time.sleep(0.5)
key("Pause")
time.sleep(0.5)
out("cpu_paused", "%.2f" % cpu_share(pid, sample), "% of a core")
key("Pause")
time.sleep(0.5)
out("cpu_game_running", "%.2f" % cpu_share(pid, sample), "% of a core")
out("cpu_game_with_keys", "%.2f" % cpu_share(pid, sample, ["Left", "Right", "Up", "Right", "Left"]),
    "% of a core (a key press every 0.25 s)")
key("F3")
app.exit_by_menu()
