"""End-to-end helpers: run the real program under Wine on an X display, press
keys with xdotool, take screenshots with ImageMagick's import and read pixels.

The environment (DISPLAY, WINEPREFIX, TMPDIR, WINEDEBUG, WINEDLLOVERRIDES) is
set up by run.sh; the prefix's default desktop is a virtual one of 800 x 600,
so the program starts plainly and returns its real exit code.
"""
import os
import shutil
import subprocess
import sys
import time

APP_KEY = r"HKCU\Software\Kellmarvostian\Stakka\1.1"
ROOT_KEY = r"HKCU\Software\Kellmarvostian"

# Places in the main window's client area (pixels).
GRID = (30, 30, 192, 352)
NEXT = (230, 30, 112, 112)
SCORE = (230, 172, 150, 90)
STATS = (230, 266, 150, 130)
CELL = 16

failures = []


def log(msg):
    print(msg, flush=True)


def check(ok, what):
    if ok:
        log("ok: " + what)
    else:
        log("FAIL: " + what)
        failures.append(what)
    return ok


def finish():
    if failures:
        log("%d check(s) failed" % len(failures))
        sys.exit(1)
    log("all checks passed")
    sys.exit(0)


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL, text=True, **kw)


# ---- Registry ---------------------------------------------------------------

def reg_query(key, name):
    """The text of a string value, or None when it is missing."""
    out = run(["wine", "reg", "query", key, "/v", name]).stdout
    for line in out.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
            return parts[2] if len(parts) == 3 else ""
    return None


def reg_set(key, name, text):
    run(["wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", text, "/f"])


def reg_delete_tree(key):
    run(["wine", "reg", "delete", key, "/f"])


# ---- Screenshots ------------------------------------------------------------

class Shot:
    """A screenshot of the whole display, 8 bits a channel."""

    def __init__(self, path=None):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              check=True).stdout
        # P6 <w> <h> <max>\n<bytes>
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        pos += 1
        self.w, self.h = int(fields[1]), int(fields[2])
        self.px = data[pos:pos + self.w * self.h * 3]
        if path:
            with open(path, "wb") as f:
                f.write(data)

    def at(self, x, y):
        if x < 0 or y < 0 or x >= self.w or y >= self.h:
            return None
        i = (y * self.w + x) * 3
        return tuple(self.px[i:i + 3])

    def row(self, y):
        return self.px[y * self.w * 3:(y + 1) * self.w * 3]

    def find_stats(self):
        """Top-left corner of the "Stats" panel: the one black area of exactly
        150 x 130 pixels, bounded by non-black on its left and right."""
        run_bytes = b"\x00" * (150 * 3)
        starts = {}
        for y in range(self.h):
            row = self.row(y)
            i = row.find(run_bytes)
            while i != -1:
                if i % 3 == 0:
                    x = i // 3
                    left = self.at(x - 1, y)
                    right = self.at(x + 150, y)
                    if left not in (None, (0, 0, 0)) and right not in (None, (0, 0, 0)):
                        starts.setdefault(x, []).append(y)
                i = row.find(run_bytes, i + 3)
        for x, ys in starts.items():
            ys.sort()
            first = ys[0]
            count = 1
            for a, b in zip(ys, ys[1:]):
                if b == a + 1:
                    count += 1
                    if count >= 130:
                        return x, b - 129
                else:
                    count = 1
            del first
        return None

    def client_origin(self):
        s = self.find_stats()
        if not s:
            return None
        return s[0] - STATS[0], s[1] - STATS[1]


def cell_box(origin, cx, cy):
    x = origin[0] + GRID[0] + cx * CELL
    y = origin[1] + GRID[1] + cy * CELL
    return x, y


def cell_diff(a, b, origin, cx, cy):
    """Mean absolute difference of a cell's inner 12 x 12 pixels between two shots."""
    x0, y0 = cell_box(origin, cx, cy)
    total = 0
    for y in range(y0 + 2, y0 + 14):
        for x in range(x0 + 2, x0 + 14):
            pa, pb = a.at(x, y), b.at(x, y)
            total += abs(pa[0] - pb[0]) + abs(pa[1] - pb[1]) + abs(pa[2] - pb[2])
    return total / 144.0


def occupied(shot, empty, origin, threshold=30):
    """Cells (column, row) that differ from the empty well's picture."""
    cells = []
    for cy in range(22):
        for cx in range(12):
            if cell_diff(shot, empty, origin, cx, cy) > threshold:
                cells.append((cx, cy))
    return cells


def fraction(shot, x0, y0, w, h, colour):
    n = 0
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            if shot.at(x, y) == colour:
                n += 1
    return n / float(w * h)


def diff_box(a, b, x0, y0, x1, y1):
    """Bounding box of the pixels that differ between two shots within a box."""
    box = None
    for y in range(y0, y1):
        ra, rb = a.row(y), b.row(y)
        if ra[x0 * 3:x1 * 3] == rb[x0 * 3:x1 * 3]:
            continue
        for x in range(x0, x1):
            if ra[x * 3:x * 3 + 3] != rb[x * 3:x * 3 + 3]:
                if box is None:
                    box = [x, y, x, y]
                else:
                    box[0] = min(box[0], x)
                    box[1] = min(box[1], y)
                    box[2] = max(box[2], x)
                    box[3] = max(box[3], y)
    return box


# ---- The program ------------------------------------------------------------

def xdo(*args):
    return run(["xdotool"] + [str(a) for a in args]).stdout.strip()


def key(*names, delay=0.15):
    for n in names:
        xdo("key", n)
        time.sleep(delay)


class App:
    """One run of stakka.exe from a folder of its own."""

    def __init__(self, bindir, rundir, with_gfx=True):
        self.rundir = rundir
        if os.path.exists(rundir):
            shutil.rmtree(rundir)
        os.makedirs(rundir)
        for name in ("stakka.exe", "stkgfx.dll", "midas11.dll", "beyond.mod"):
            if name == "stkgfx.dll" and not with_gfx:
                continue
            src = os.path.join(bindir, name)
            if os.path.exists(src):
                shutil.copy(src, rundir)
        self.proc = None
        self.wid = None

    def start(self):
        self.t0 = time.time()
        self.proc = subprocess.Popen(["wine", "stakka.exe"], cwd=self.rundir,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL)
        return self.proc

    def wait_window(self, title="^Stakka$", timeout=40):
        end = time.time() + timeout
        while time.time() < end:
            ids = xdo("search", "--onlyvisible", "--name", title).split()
            if ids:
                return ids[0]
            if self.proc and self.proc.poll() is not None:
                return None
            time.sleep(0.05)
        return None

    def wait_ready(self, timeout=40):
        """Waits for the main window, its X focus and a picture with the panels;
        returns (shot, client origin) or (None, None)."""
        self.wid = self.wait_window(timeout=timeout)
        if not self.wid:
            return None, None
        end = time.time() + timeout
        while time.time() < end:
            if xdo("getwindowfocus") == self.wid:
                shot = Shot()
                origin = shot.client_origin()
                if origin:
                    return shot, origin
            time.sleep(0.2)
        return None, None

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def exit_by_menu(self):
        key("alt+f", "e")
        return self.wait_exit()

    def pid(self):
        return self.proc.pid if self.proc else None


def wait_for(predicate, timeout=5.0, step=0.1):
    """Polls predicate() (which returns a value, falsy while not yet) until it
    holds or the time is up; returns its last value."""
    end = time.time() + timeout
    value = predicate()
    while not value and time.time() < end:
        time.sleep(step)
        value = predicate()
    return value


def end_wine():
    """Ends every process of this prefix (a failed run must not linger)."""
    run(["wineserver", "-k"])
