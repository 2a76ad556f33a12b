"""End to end: the real program under Wine on an X display, driven like a
player with key presses and the mouse, judged from screenshots and the
registry.

    e2e_play.py <folder with stakka.exe, stkgfx.dll, midas11.dll> <work folder>
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2elib import (APP_KEY, GRID, NEXT, ROOT_KEY, SCORE, App, Shot, check, diff_box,  # noqa: E402
                    end_wine, finish, fraction, key, log, occupied, reg_query, reg_delete_tree,
                    reg_set, wait_for, xdo)

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
RED = (255, 0, 0)

bindir, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)


def c(origin, x, y):
    """Screen point of a client point."""
    return origin[0] + x, origin[1] + y


def at(shot, origin, x, y):
    return shot.at(*c(origin, x, y))


def piece_cells(empty, origin, want_min=1, want_max=4, timeout=5.0):
    def probe():
        cells = occupied(Shot(), empty, origin)
        return cells if want_min <= len(cells) <= want_max else None
    return wait_for(probe, timeout)


def cols(cells):
    return sorted(set(x for x, _ in cells))


def well_white(origin):
    s = Shot()
    return fraction(s, origin[0] + GRID[0] + 2, origin[1] + GRID[1] + 2, GRID[2] - 4,
                    GRID[3] - 4, WHITE)


def menu_shot(accel, base):
    """Opens a menu with its accelerator, returns the shot with it open and closes it."""
    key(accel)
    shot = wait_for(lambda: (lambda s: s if diff_box(base, s, 0, 0, 800, 600) else None)(Shot()),
                    3.0)
    key("Escape", "Escape")
    time.sleep(0.3)
    return shot


def drag(x0, y0, dx, dy):
    xdo("mousemove", x0, y0)
    time.sleep(0.2)
    xdo("mousedown", 1)
    time.sleep(0.2)
    steps = 6
    for i in range(1, steps + 1):
        xdo("mousemove", x0 + dx * i // steps, y0 + dy * i // steps)
        time.sleep(0.08)
    xdo("mouseup", 1)
    time.sleep(0.4)


reg_delete_tree(ROOT_KEY)

# ---- First run: window, panels, playing -------------------------------------
app = App(bindir, os.path.join(work, "run"))
app.start()
shot0, origin = app.wait_ready()
if not check(origin is not None, "the main window shows with its four panels"):
    end_wine()
    finish()
shot0 = Shot(os.path.join(work, "start.ppm"))
log("client origin at %s" % (origin,))
frame = (origin[0] - 100, origin[1] - 100)  # window corner to client origin; default place

check(at(shot0, origin, 10, 10) == WHITE, "main window client area is white")
check(at(shot0, origin, GRID[0] + 16, GRID[1] + 8) == BLACK and
      at(shot0, origin, GRID[0] + 100, GRID[1] + 16) == BLACK,
      "well at (30, 30) with grid lines on")
check(at(shot0, origin, GRID[0] - 1, GRID[1] + 40) == WHITE and
      at(shot0, origin, GRID[0] + GRID[2], GRID[1] + 40) == WHITE and
      at(shot0, origin, GRID[0] + 40, GRID[1] + GRID[3]) == WHITE and
      at(shot0, origin, GRID[0] + 40, GRID[1] + GRID[3] - 1) != WHITE,
      "well is 192 x 352")
check(at(shot0, origin, NEXT[0] + 2, NEXT[1] + 56) == RED and
      at(shot0, origin, NEXT[0] + 56, NEXT[1] + NEXT[3] - 3) == RED and
      at(shot0, origin, NEXT[0] + 56, NEXT[1] + 56) == WHITE,
      "next panel at (230, 30) with its red frame")
check(at(shot0, origin, SCORE[0], SCORE[1]) == BLACK and
      at(shot0, origin, SCORE[0] + SCORE[2] - 1, SCORE[1] + SCORE[3] - 1) == BLACK and
      at(shot0, origin, SCORE[0] - 1, SCORE[1] + 40) == WHITE and
      at(shot0, origin, SCORE[0] + 40, SCORE[1] - 1) == WHITE and
      at(shot0, origin, SCORE[0] + 40, SCORE[1] + SCORE[3]) == WHITE,
      "score panel at (230, 172), 150 x 90, black")
check(fraction(shot0, origin[0] + SCORE[0] + 5, origin[1] + SCORE[1] + 10, 100, 40, WHITE) > 0.02,
      "score panel shows its texts")

# F2: a piece enters at columns 5..8, rows 0..2.
key("F2")
cells = piece_cells(shot0, origin)
check(cells is not None and all(5 <= x <= 8 and 0 <= y <= 2 for x, y in cells),
      "F2 starts a game: a piece at columns 5..8, rows 0..2 (%s)" % (cells,))
check(fraction(Shot(), origin[0] + NEXT[0] + 8, origin[1] + NEXT[1] + 24, 96, 80, WHITE) < 0.97,
      "the next piece shows in its panel")

# Arrows move it.
if cells:
    before = min(cols(cells))
    key("Left")
    moved = wait_for(lambda: (lambda cs: cs if cs and min(cols(cs)) == before - 1 else None)(
        piece_cells(shot0, origin, timeout=0.5)), 3.0)
    check(moved is not None, "Left moves the piece one column left")
    key("Right", "Right")
    moved = wait_for(lambda: (lambda cs: cs if cs and min(cols(cs)) == before + 1 else None)(
        piece_cells(shot0, origin, timeout=0.5)), 3.0)
    check(moved is not None, "Right twice moves it two columns right")

# Pause shows the pause screen; pressed again the game shows again.
key("Pause")
check(wait_for(lambda: well_white(origin) > 0.8, 3.0), "Pause shows the white pause screen")
s = Shot(os.path.join(work, "paused.ppm"))
text = fraction(s, origin[0] + GRID[0] + 10, origin[1] + GRID[1] + 150, 172, 50, BLACK)
check(text > 0.05, "the pause screen has its black text at y 150")
key("Pause")
check(wait_for(lambda: well_white(origin) < 0.2, 3.0), "Pause again shows the well")

# F3 stops: the well is empty again.
key("F3")
check(wait_for(lambda: occupied(Shot(), shot0, origin) == [], 3.0), "F3 stops the game: empty well")

# Show Grid and Show Next: option, picture and check mark.
base = Shot()
open_grid_on = menu_shot("alt+o", base)
popup = diff_box(base, open_grid_on, 0, 0, 800, 600) if open_grid_on else None
check(popup is not None, "the Options menu opens (%s)" % (popup,))
key("alt+o", "r")
check(wait_for(lambda: Shot().at(*c(origin, GRID[0] + 16, GRID[1] + 8)) != BLACK, 3.0),
      "Show Grid removes the grid lines")
base2 = Shot()
open_grid_off = menu_shot("alt+o", base2)
if popup and open_grid_off:
    marks = diff_box(open_grid_on, open_grid_off, popup[0], origin[1], popup[2] + 1, popup[3] + 1)
    check(marks is not None and marks[2] - popup[0] < 40,
          "the Show Grid check mark goes (changed %s in menu %s)" % (marks, popup))
check(reg_query(APP_KEY, "DrawGrid") == "1", "the changed grid option is not stored while running")

key("F2")
piece_cells(shot0, origin)
next_inner = (origin[0] + NEXT[0] + 8, origin[1] + NEXT[1] + 24, 96, 80)
check(wait_for(lambda: fraction(Shot(), *next_inner, WHITE) < 0.97, 3.0), "preview shows a piece")
open_next_on = menu_shot("alt+o", Shot())
key("alt+o", "n")
check(wait_for(lambda: fraction(Shot(), *next_inner, WHITE) == 1.0, 3.0),
      "Show Next off: the next panel shows no piece")
open_next_off = menu_shot("alt+o", Shot())
if popup and open_next_on and open_next_off:
    marks = diff_box(open_next_on, open_next_off, popup[0], origin[1], popup[0] + 40, popup[3] + 1)
    check(marks is not None, "the Show Next check mark goes")
key("alt+o", "n")
check(wait_for(lambda: fraction(Shot(), *next_inner, WHITE) < 0.97, 3.0),
      "Show Next on again: the piece shows")

# Play to the end: drop every piece; the game-over fill covers the well.
over = False
for _ in range(80):
    xdo("keydown", "Down")
    time.sleep(0.8)
    xdo("keyup", "Down")
    time.sleep(0.1)
    if len(occupied(Shot(), shot0, origin)) > 240:
        over = True
        break
check(over, "the game ends with the well filled")
Shot(os.path.join(work, "gameover.ppm"))
time.sleep(0.5)
# The File menu offers New Game again: its mnemonic starts a game.
key("alt+f", "n")
cells = piece_cells(shot0, origin, timeout=5.0)
check(cells is not None and all(0 <= y <= 2 for _, y in cells),
      "after the game over File offers New Game again, and it starts a game")
key("Escape")
key("F3")
check(wait_for(lambda: occupied(Shot(), shot0, origin) == [], 3.0), "F3 stops that game")

# Move the window by its caption, then exit through the menu.
wx, wy = origin[0] - frame[0], origin[1] - frame[1]
drag(wx + 150, wy + 8, 60, 40)
moved = wait_for(lambda: Shot().client_origin() == (origin[0] + 60, origin[1] + 40), 3.0)
check(moved, "the window moves by its caption")
rc = app.exit_by_menu()
check(rc == 0, "Exit ends the program with exit code 0 (got %s)" % rc)
check(reg_query(APP_KEY, "DrawGrid") == "0", "the grid option is stored at exit")
check(reg_query(APP_KEY, "Window") == "160,140",
      "the moved position is stored at exit (%s)" % reg_query(APP_KEY, "Window"))

# ---- Second run: opens where it was left, with the stored options ---------
app = App(bindir, os.path.join(work, "run"))
app.start()
s, origin2 = app.wait_ready()
check(origin2 == (origin[0] + 60, origin[1] + 40), "the next start opens where it was left")
if origin2:
    check(s.at(*c(origin2, GRID[0] + 16, GRID[1] + 8)) != BLACK, "and without grid lines")
check(app.exit_by_menu() == 0, "second run exits with 0")

# ---- Third run: a place left of and above the screen ------------------------
reg_set(APP_KEY, "Window", "-40,-30")
app = App(bindir, os.path.join(work, "run"))
app.start()
s, origin3 = app.wait_ready()
check(origin3 == (origin[0] - 140, origin[1] - 130),
      "a stored place left of and above the screen is used as it is (%s)" % (origin3,))
check(app.exit_by_menu() == 0, "third run exits with 0")
check(reg_query(APP_KEY, "Window") == "-40,-30", "and is stored again unchanged")

finish()
