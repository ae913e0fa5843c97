#!/usr/bin/python3
"""The lists follow their folders, as a player sees it: the built program under Xvfb, read through
its accessibility interface (AT-SPI). A battle saved by the game and an archive saved into the
incoming folder appear without Refresh, each within a second; a note being typed meanwhile stays
and is saved to the battle it was typed for.

live_lists.py PROGRAM_DIR WORK_DIR SCREENSHOT_TOOL SHOTS_DIR
"""
import os
import subprocess
import sys
import time
import zipfile

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desk  # noqa: E402

prog_dir, work, shot_tool, shots = sys.argv[1:5]
desk.begin(shot_tool, shots)
game, out, inc, home = (os.path.join(work, d) for d in ("game", "out", "in", "home"))
for d in (game, out, inc, home):
    os.makedirs(d, exist_ok=True)


def battle(title, turns="36 60"):
    return ("Vantaris battle\r\n1\r\n2\r\n1 0\r\nmap\r\n%s\r\n%s\r\nfog 3\r\n" % (title, turns)).encode()


with open(os.path.join(game, "a.bte"), "wb") as f:
    f.write(battle("Alpha"))


desk.write_config(prog_dir, inc, out, game)

env = dict(os.environ)
env.update(HOME=home, WINEPREFIX=os.path.join(work, "wine"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
env.pop("QT_QPA_PLATFORM", None)

shot, fail, walk, app, showing = desk.shot, desk.fail, desk.walk, desk.app, desk.showing
text_of, click = desk.text_of, desk.click


def wait_for(what, check, seconds=15.0):
    return desk.wait_for(what, check, seconds)


def find(role, names):
    for n in walk(app()):
        if n.getRoleName() == role and n.name in names and showing(n):
            return n
    return None


def catalogue():
    for n in walk(app()):
        if n.getRoleName() == "list" and showing(n):
            return n
    return None


def entries():
    return [n.name for n in catalogue() if n is not None]


def entry(name):
    for n in catalogue():
        if n is not None and n.name == name:
            return n
    return None


def selected():
    return [n.name for n in catalogue() if n is not None and n.getState().contains(pyatspi.STATE_SELECTED)]


def notes():
    return find("text", ("User comments", "notesEdit"))


def appears_within_a_second(what, check):
    """Polls from the moment the file is complete; a file that shows late is told with its delay."""
    start = time.time()
    wait_for(what, check)
    took = time.time() - start
    if took > 1.0:
        fail("%s showed only after %.2f s" % (what, took))
    print("%s showed after %.2f s" % (what, took))


def comments():
    """user.dat: 282-byte records of name and note."""
    path = os.path.join(prog_dir, "user.dat")
    data = open(path, "rb").read() if os.path.exists(path) else b""
    records = [data[i:i + 282] for i in range(0, len(data), 282)]
    return {r[1:1 + r[0]].decode(): r[27:27 + r[26]].decode() for r in records}


def no_message_box():
    boxes = [w for w in app() if w is not None and w.getRoleName() in ("dialog", "alert") and showing(w)]
    if boxes:
        fail("unexpected message box: %r" % [b.name for b in boxes])


# Wake the accessibility bus before the program looks for it.
pyatspi.Registry.getDesktop(0)
proc = desk.watch(subprocess.Popen([os.path.join(prog_dir, "turnex")], env=env))
wait_for("the main window", lambda: find("push button", ("Compress",)))
wait_for("the battle list", lambda: entries() == ["Alpha"])
shot("start")

# 1. A note is being typed for Alpha when the game saves another battle, in pieces as a game
#    writes: the new battle shows by its title, Alpha stays selected, the note stays as typed.
click(entry("Alpha"))
click(notes())
subprocess.run(["xdotool", "type", "--delay", "30", "hold the bridge"], check=True)
wait_for("the note being typed", lambda: text_of(notes()) == "hold the bridge")
data = battle("Bravo")
with open(os.path.join(game, "b.bte"), "wb") as f:
    for i in range(0, len(data), 16):
        f.write(data[i:i + 16])
        f.flush()
        time.sleep(0.02)
appears_within_a_second("the battle written in pieces", lambda: entries() == ["Alpha", "Bravo"])
if selected() != ["Alpha"]:
    fail("the selection moved: %r" % selected())
if text_of(notes()) != "hold the bridge":
    fail("the note being typed changed: %r" % text_of(notes()))
no_message_box()
shot("battle-appeared")

# 2. Another battle saved whole (written beside, then renamed into place, as careful programs save).
temp = os.path.join(game, "c.tmp")
with open(temp, "wb") as f:
    f.write(battle("Charlie"))
os.rename(temp, os.path.join(game, "c.bte"))
appears_within_a_second("the battle saved whole", lambda: entries() == ["Alpha", "Bravo", "Charlie"])

# 3. Leaving the note for another battle saves it to Alpha.
click(entry("Charlie"))
wait_for("the note saved", lambda: comments().get("a.bte") == "hold the bridge")
if "b.bte" in comments() and comments()["b.bte"]:
    fail("the note went to the wrong battle: %r" % comments())
no_message_box()

# 4. On "Incoming": a mail attachment saved into the incoming folder appears.
click(find("page tab", ("Incoming",)))
wait_for("the empty incoming list", lambda: entries() == [])
with zipfile.ZipFile(os.path.join(inc, "Turn08.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Turn08.bte", battle("Delta"))
appears_within_a_second("the received archive", lambda: entries() == ["Turn08.zip"])
no_message_box()
shot("archive-appeared")

click(find("push button", ("Exit",)))
try:
    proc.wait(timeout=10)
except subprocess.TimeoutExpired:
    fail("Exit did not end the program")
print("live lists ok: %d screenshots in %s" % (desk.shots_taken(), shots))
