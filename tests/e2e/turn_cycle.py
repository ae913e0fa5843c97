#!/usr/bin/python3
"""One turn, as a player plays it: the built program under Xvfb, found and read through its
accessibility interface (AT-SPI) and driven with real mouse clicks (xdotool).

turn_cycle.py PROGRAM_DIR WORK_DIR SCREENSHOT_TOOL SHOTS_DIR
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
game, out, inc, fakebin = (os.path.join(work, d) for d in ("game", "out", "in", "bin"))
for d in (game, out, inc, fakebin, os.path.join(work, "home")):
    os.makedirs(d, exist_ok=True)

BATTLE = b"Vantaris battle\r\n1\r\n2\r\n1 0\r\nmap\r\nBattle for the bridge\r\n36 60\r\nfog 3\r\n"
with zipfile.ZipFile(os.path.join(inc, "Turn07.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Turn07.bte", BATTLE)


desk.write_config(prog_dir, inc, out, game)

# The mail client: a stand-in xdg-email that records its arguments.
mail_args = os.path.join(work, "mail.args")
with open(os.path.join(fakebin, "xdg-email"), "w") as f:
    f.write('#!/bin/sh\nfor a in "$@"; do printf "%s\\n" "$a"; done > "' + mail_args + '"\n')
os.chmod(os.path.join(fakebin, "xdg-email"), 0o755)

env = dict(os.environ)
env.update(PATH=fakebin + ":" + env.get("PATH", ""), MAILER="stand-in-mailer", HOME=os.path.join(work, "home"),
           WINEPREFIX=os.path.join(work, "wine"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
env.pop("QT_QPA_PLATFORM", None)

shot, fail, walk, app, showing = desk.shot, desk.fail, desk.walk, desk.app, desk.showing
find, text_of, click = desk.find, desk.text_of, desk.click


def wait_for(what, check, seconds=15.0):
    return desk.wait_for(what, check, seconds)


def windows():
    return [w for w in app() if w is not None]


def dialogs():
    return [w for w in windows() if w.getRoleName() in ("dialog", "alert")]


def answer(expected_text, button):
    """Waits for the one message box the step must show, checks its text and presses a button."""
    box = wait_for("a message box saying " + repr(expected_text), lambda: (dialogs() or [None])[0])
    texts = [text_of(n) for n in walk(box) if n.getRoleName() == "label"]
    if expected_text not in texts:
        fail("unexpected message box: %r" % texts)
    shot("message")
    target = None
    for n in walk(box):
        if n.getRoleName() == "push button" and n.name.replace("&", "") == button:
            target = n
    if target is None:
        fail("no %s button in the message box" % button)
    click(target)
    wait_for("the message box to close", lambda: not dialogs())


def no_message_box():
    time.sleep(0.5)
    if dialogs():
        box = dialogs()[0]
        fail("unexpected message box: %r" % [text_of(n) for n in walk(box) if n.getRoleName() == "label"])


def catalogue():
    """The list, named by its heading and the tab it shows."""
    for n in walk(app()):
        if n.getRoleName() == "list" and n.name.startswith("Turnmail games: "):
            return n
    return None


def entries():
    return [n.name for n in catalogue() if n is not None]


def entry(name):
    for n in catalogue():
        if n is not None and n.name == name:
            return n
    return None


# Wake the accessibility bus before the program looks for it.
pyatspi.Registry.getDesktop(0)
proc = desk.watch(subprocess.Popen([os.path.join(prog_dir, "turnex")], env=env))
wait_for("the main window", lambda: find("push button", "Compress"))
time.sleep(0.5)
no_message_box()
shot("start")

# 1. The opponent's archive arrived: unpack it into the game directory.
click(find("page tab", "Incoming"))
wait_for("the received archive", lambda: entry("Turn07.zip"))
click(entry("Turn07.zip"))
click(find("push button", "Decompress"))
answer("File(s) extracted succesfully(unzip) !", "OK")
if open(os.path.join(game, "Turn07.bte"), "rb").read() != BATTLE:
    fail("the battle was not unpacked")
shot("decompressed")

# 2. The battle shows with its side and turn after Refresh.
click(find("page tab", "Battles"))
click(find("push button", "Refresh"))
wait_for("the battle in the list", lambda: entry("Battle for the bridge"))
click(entry("Battle for the bridge"))
wait_for("the details", lambda: text_of(find("text", "Playing side")) == "Allies")
if text_of(find("text", "Current turn")) != "7" or text_of(find("text", "Filename")) != "Turn07.bte":
    fail("wrong details: turn %r, file %r" % (text_of(find("text", "Current turn")), text_of(find("text", "Filename"))))
no_message_box()
shot("battle")

# 3. After playing: pack the battle for the opponent.
click(find("push button", "Compress"))
answer("File successfully zipped!", "OK")
with zipfile.ZipFile(os.path.join(out, "Turn07.zip")) as z:
    if z.namelist() != ["Turn07.bte"] or z.read("Turn07.bte") != BATTLE:
        fail("the outgoing archive is wrong: %r" % z.namelist())
shot("compressed")

# 4. Mail it: the compose window gets the archive.
click(find("page tab", "Outcoming"))
wait_for("the outgoing archive", lambda: entry("Turn07.zip"))
click(entry("Turn07.zip"))
click(find("push button", "Send mail"))
args = wait_for("the mail client", lambda: os.path.exists(mail_args) and open(mail_args).read().split("\n"))
no_message_box()
if "--attach" not in args or args[args.index("--attach") + 1] != os.path.join(out, "Turn07.zip"):
    fail("the mail client did not get the archive: %r" % args)
if args[args.index("--subject") + 1] != "Turn07.zip":
    fail("wrong subject: %r" % args)
shot("mailed")

# 5. The battle is over: delete it.
click(find("page tab", "Battles"))
wait_for("the battle in the list", lambda: entry("Battle for the bridge"))
click(entry("Battle for the bridge"))
click(find("push button", "Delete"))
answer("You want delete file Turn07.bte! Are you sure?", "Yes")
wait_for("the list to empty", lambda: entries() == [])
if os.path.exists(os.path.join(game, "Turn07.bte")):
    fail("the battle file is still there")
no_message_box()
shot("deleted")

click(find("push button", "Exit"))
try:
    proc.wait(timeout=10)
except subprocess.TimeoutExpired:
    fail("Exit did not end the program")
print("turn cycle ok: %d screenshots in %s" % (desk.shots_taken(), shots))
