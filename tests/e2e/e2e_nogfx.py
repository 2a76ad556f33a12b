"""End to end: without stkgfx.dll the program says so, ends with exit code 0
and writes no options.

    e2e_nogfx.py <folder with stakka.exe> <work folder> <e2eprobe.exe>
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2elib import (APP_KEY, ROOT_KEY, App, Shot, check, end_wine, finish, key, reg_query,  # noqa: E402
                    reg_delete_tree, reg_set, run, xdo)

bindir, work = sys.argv[1], sys.argv[2]

# A store from an earlier run, holding texts that a save would rewrite: "01" loads as 1
# and would be written back as "1".
reg_delete_tree(ROOT_KEY)
first = App(bindir, os.path.join(work, "run"))
first.start()
shot, origin = first.wait_ready()
check(origin is not None, "a normal run starts")
check(first.exit_by_menu() == 0, "and exits")
reg_set(APP_KEY, "Preview", "01")
reg_set(APP_KEY, "Window", "120,110")

app = App(bindir, os.path.join(work, "run"), with_gfx=False)
app.start()
box = app.wait_window(title="^Error$", timeout=40)
check(box is not None, "an error box shows")
if box:
    Shot(os.path.join(work, "nogfx.ppm"))
    texts = run(["wine", sys.argv[3], "boxtext", "Error"]).stdout.splitlines()
    check([t.strip() for t in texts] == ["Unable to load stkgfx.dll"],
          "the box says \"Unable to load stkgfx.dll\" (%s)" % texts)
    time.sleep(0.3)
    key("Return")
rc = app.wait_exit(timeout=30)
check(rc == 0, "the program ends with exit code 0 (got %s)" % rc)
if rc is None:
    end_wine()
check(reg_query(APP_KEY, "Preview") == "01", "no options were written (Preview stays \"01\")")
check(reg_query(APP_KEY, "Window") == "120,110", "no options were written (Window unchanged)")
finish()
