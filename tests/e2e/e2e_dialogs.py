"""End to end: the options dialogs in the real program under Wine on an X display.
Options > Graphics chooses the gradient, Options > Controls binds Move Left to A;
the well and the game follow at once, and the registry holds both after exit.

    e2e_dialogs.py <folder with stakka.exe and its libraries> <work folder> <dlgprobe.exe>
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2elib import (APP_KEY, GRID, ROOT_KEY, App, Shot, check, end_wine, finish, key,  # noqa: E402
                    occupied, reg_delete_tree, reg_set, run, wait_for, xdo)

bindir, work, probe = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(work, exist_ok=True)
TOP = (255, 0, 0)       # gradient colours written into the store before the run
BOTTOM = (0, 0, 255)


def probe_ints(*args):
    """The numbers the probe prints, or None when the window or control is not there."""
    r = run(["wine", probe] + list(args))
    try:
        values = [int(v) for v in r.stdout.split()]
    except ValueError:
        return None
    return values if r.returncode == 0 and values else None


def reg_text(key_path, name):
    """A string value whose name may hold spaces, or None when it is missing."""
    for line in run(["wine", "reg", "query", key_path, "/v", name]).stdout.splitlines():
        m = re.match(r"\s*(.*?)\s+(REG_\w+)\s*(.*)$", line)
        if m and m.group(1).lower() == name.lower():
            return m.group(3)
    return None


def gradient_row(y):
    """The well's gradient colour in row y, as the program computes it."""
    vals = []
    for c0, c1 in zip(TOP, BOTTOM):
        v = float(c0)
        d = (c1 - c0) / 352.0
        for _ in range(y):
            v += d
        vals.append(int(v))
    return tuple(vals)


def near(a, b, tol=2):
    return a is not None and all(abs(p - q) <= tol for p, q in zip(a, b))


def wait_dialog(title, timeout=10.0):
    return wait_for(lambda: xdo("search", "--onlyvisible", "--name", "^%s$" % title).split(),
                    timeout)


def click_control(offset, title, ctl):
    r = wait_for(lambda: probe_ints("rect", title, str(ctl)), 5.0)
    if not r or len(r) != 4:
        return False
    x = offset[0] + (r[0] + r[2]) // 2
    y = offset[1] + (r[1] + r[3]) // 2
    xdo("mousemove", x, y)
    time.sleep(0.2)
    xdo("click", 1)
    time.sleep(0.5)
    return True


reg_delete_tree(ROOT_KEY)

# ---- First run: just makes the store with its defaults ------------------------------
app = App(bindir, os.path.join(work, "run"))
app.start()
_, origin = app.wait_ready()
if not check(origin is not None, "the program starts"):
    end_wine()
    finish()
check(app.exit_by_menu() == 0, "and exits")
reg_set(APP_KEY + r"\Background", "BackgroundColors", "%d,%d" % (
    TOP[0] | TOP[1] << 8 | TOP[2] << 16, BOTTOM[0] | BOTTOM[1] << 8 | BOTTOM[2] << 16))
reg_set(APP_KEY, "DrawGrid", "0")

# ---- Second run: the dialogs -----------------------------------------------------
app = App(bindir, os.path.join(work, "run"))
app.start()
shot, origin = app.wait_ready()
if not check(origin is not None, "the program starts again"):
    end_wine()
    finish()
wx, wy = origin[0] + GRID[0], origin[1] + GRID[1]
before = shot.at(wx + 96, wy + 8)
check(not near(before, gradient_row(8), 10), "the well starts with the built-in picture")

# Where the desktop's coordinates lie on the X screen.
client = probe_ints("client", "Stakka")
check(client is not None, "the probe finds the main window (%s)" % (client,))
offset = (origin[0] - client[0], origin[1] - client[1]) if client else (0, 0)

key("alt+o", "g")
check(bool(wait_dialog("Graphics Options")), "Options > Graphics opens the dialog")
time.sleep(0.5)
Shot(os.path.join(work, "graphics.ppm"))
key("g")          # the kind list has the focus: its entry starting with G, "Gradient"
time.sleep(0.5)
key("Return")     # OK
check(wait_for(lambda: not xdo("search", "--onlyvisible", "--name", "^Graphics Options$"), 5.0),
      "OK closes it")


def well_is_gradient():
    s = Shot()
    rows = (8, 100, 200, 340)
    return all(near(s.at(wx + 96, wy + y), gradient_row(y)) for y in rows)


check(wait_for(well_is_gradient, 5.0), "the well shows the gradient (top %s, bottom %s)" % (
    Shot().at(wx + 96, wy + 8), Shot().at(wx + 96, wy + 340)))
empty = Shot(os.path.join(work, "gradient.ppm"))

key("alt+o", "c")
check(bool(wait_dialog("Set Controls")), "Options > Controls opens the dialog")
time.sleep(0.5)
check(click_control(offset, "Set Controls", 105), "a click in the Move Left field")
check(bool(wait_for(lambda: probe_ints("client", "Choose Key"), 5.0)), "opens the key chooser")
Shot(os.path.join(work, "chooser.ppm"))
key("a")
check(wait_for(lambda: probe_ints("client", "Choose Key") is None, 5.0),
      "pressing A closes the chooser")
key("Return")
check(wait_for(lambda: not xdo("search", "--onlyvisible", "--name", "^Set Controls$"), 5.0),
      "OK closes the controls dialog")

# A game: A moves the piece left, the left arrow no longer does.
key("F2")


def piece():
    cells = occupied(Shot(), empty, origin)
    return cells if 1 <= len(cells) <= 4 else None


cells = wait_for(piece, 5.0)
check(cells is not None, "F2 starts a game (%s)" % (cells,))
if cells:
    left = min(x for x, _ in cells)
    key("Left")
    time.sleep(0.6)
    now = piece()
    check(now is not None and min(x for x, _ in now) == left,
          "the left arrow no longer moves the piece")
    key("a")
    moved = wait_for(lambda: (lambda cs: cs if cs and min(x for x, _ in cs) == left - 1 else None)(
        piece()), 3.0)
    check(moved is not None, "A moves the piece one column left")
key("F3")
time.sleep(0.3)

rc = app.exit_by_menu()
check(rc == 0, "Exit ends the program with 0 (got %s)" % rc)
flags = reg_text(APP_KEY + r"\Background", "BackgroundFlags")
check(flags == "8", "the registry holds the gradient flags (%s)" % flags)
binding = reg_text(APP_KEY + r"\Controls", "Move Left")
check(binding == "65", "the registry holds Move Left = A (%s)" % binding)
finish()
