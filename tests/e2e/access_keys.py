#!/usr/bin/python3
"""Every action without the mouse: the built program under Xvfb, its controls found by the names
a screen reader announces (AT-SPI), the buttons pressed through the accessibility bus, and every
shortcut typed with xdotool after a note, which must be saved first.

access_keys.py PROGRAM_DIR WORK_DIR SCREENSHOT_TOOL SHOTS_DIR
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
game, out, inc, fakebin, home = (os.path.join(work, d) for d in ("game", "out", "in", "bin", "home"))
for d in (game, inc, fakebin, os.path.join(game, "Turn archive"), os.path.join(inc, "old turns"),
          os.path.join(home, "home marker"), os.path.join(work, "wine", "dosdevices")):
    os.makedirs(d, exist_ok=True)
# Drive d: of the Wine prefix is the work folder: the game folder is stored as "d:\game".
os.symlink(work, os.path.join(work, "wine", "dosdevices", "d:"))

BATTLE = b"Vantaris battle\r\n1\r\n2\r\n1 0\r\nmap\r\nBattle for the bridge\r\n36 60\r\nfog 3\r\n"
with open(os.path.join(game, "Turn07.bte"), "wb") as f:
    f.write(BATTLE)
for exe in ("iron plain.exe", "iron plain#.exe"):
    open(os.path.join(game, exe), "wb").close()
with zipfile.ZipFile(os.path.join(inc, "Turn07.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Turn07.bte", BATTLE)


# The outgoing folder does not exist yet: its browser opens in the home folder.
config = desk.write_config(prog_dir, inc, out, "d:\\game", encoding="cp1252")

# The mail client and Wine: stand-ins that record their arguments.
for program in ("xdg-email", "wine"):
    args = os.path.join(work, program + ".args")
    with open(os.path.join(fakebin, program), "w") as f:
        f.write('#!/bin/sh\nfor a in "$@"; do printf "%s\\n" "$a"; done > "' + args + '"\n')
    os.chmod(os.path.join(fakebin, program), 0o755)

env = dict(os.environ)
env.update(PATH=fakebin + ":" + env.get("PATH", ""), MAILER="stand-in-mailer", HOME=home,
           WINEPREFIX=os.path.join(work, "wine"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
env.pop("QT_QPA_PLATFORM", None)

shot, fail, walk, app, showing = desk.shot, desk.fail, desk.walk, desk.app, desk.showing
text_of, click = desk.text_of, desk.click


def wait_for(what, check, seconds=15.0):
    return desk.wait_for(what, check, seconds)


def find(role, name, root=None):
    for n in walk(root or main_window()):
        if n.getRoleName() == role and n.name == name and showing(n):
            return n
    return None


def main_window():
    return next(w for w in app() if w is not None and w.name == "Kestrel Series - Turnmail manager")


def window(name):
    for w in app():
        if w is not None and w.name == name and showing(w):
            return w
    return None


def dialogs():
    return [w for w in app() if w is not None and w.getRoleName() in ("dialog", "alert") and showing(w)]


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "60"] + list(keys), check=True)
    time.sleep(0.3)


def press(node, what):
    """The press action, as a screen reader calls it: it must come back at once, before any
    dialog the press opens is answered."""
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            try:
                if not action.doAction(i):
                    fail("the press of %s was refused" % what)
            except Exception as error:  # no answer: the call timed out on the bus
                fail("the press of %s did not return: %s" % (what, error))
            return
    fail("%s has no press action" % what)


def answer(expected_text, button):
    """Waits for the one message box the step must show, checks its text and presses a button."""
    box = wait_for("a message box saying " + repr(expected_text), lambda: (dialogs() or [None])[0])
    texts = [text_of(n) for n in walk(box) if n.getRoleName() == "label"]
    if expected_text not in texts:
        fail("unexpected message box: %r" % texts)
    target = [n for n in walk(box) if n.getRoleName() == "push button" and n.name.replace("&", "") == button]
    if not target:
        fail("no %s button in the message box" % button)
    click(target[0])
    wait_for("the message box to close", lambda: not dialogs())


def dialog_then_escape(title):
    wait_for("the dialog " + repr(title), lambda: window(title))
    key("Escape")
    wait_for("the dialog %r to close" % title, lambda: not window(title))


def no_message_box():
    time.sleep(0.5)
    if dialogs():
        fail("unexpected dialog: %r" % [d.name for d in dialogs()])


def catalogue():
    for n in walk(main_window()):
        if n.getRoleName() == "list" and n.name.startswith("Turnmail games: "):
            return n
    return None


def entry(name):
    for n in catalogue():
        if n is not None and n.name == name:
            return n
    return None


def notes_stored():
    """user.dat as name -> note."""
    path = os.path.join(prog_dir, "user.dat")
    data = open(path, "rb").read() if os.path.exists(path) else b""
    notes = {}
    for at in range(0, len(data) - 281, 282):
        record = data[at:at + 282]
        name = record[1:1 + record[0]].decode("cp1252")
        notes.setdefault(name, record[27:27 + record[26]].decode("cp1252"))
    return notes


def type_note(note):
    """Selects the battle and types a note, leaving the note edit with the keyboard focus."""
    wait_for("the battle", lambda: entry("Battle for the bridge"))
    click(entry("Battle for the bridge"))
    wait_for("its details", lambda: text_of(find("text", "Filename")) == "Turn07.bte")
    click(find("text", "User comments"))
    key("ctrl+a")
    subprocess.run(["xdotool", "type", "--delay", "20", note], check=True)
    wait_for("the note typed", lambda: text_of(find("text", "User comments")) == note)


def with_note(keys, name):
    note = "note before " + name
    type_note(note)
    key(*keys)
    return note


def note_saved(note):
    wait_for("the note %r saved for the battle" % note, lambda: notes_stored().get("Turn07.bte") == note)


def lines(path):
    return wait_for(os.path.basename(path), lambda: os.path.exists(path) and open(path).read().split("\n"))


pyatspi.Registry.getDesktop(0)  # wakes the accessibility bus before the program looks for it
proc = desk.watch(subprocess.Popen([os.path.join(prog_dir, "turnex")], env=env))
wait_for("the main window", lambda: find("push button", "Compress"))
time.sleep(0.5)
no_message_box()
shot("start")

# 1. Each control is named as it reads on the screen, with the right role, labels tied to fields.
BUTTON_KEYS = {"Compress": "Alt+C", "Copy": "Alt+P", "Move": "Alt+M", "Delete": "Alt+D", "Help": "Alt+H",
               "Refresh": "Alt+R", "Select Game": "Alt+S", "Options": "Alt+O", "Send mail": "Alt+N",
               "Run Game": "Alt+G", "Exit": "Alt+X"}
if main_window().getRoleName() != "frame":
    fail("the main window is announced as a %s" % main_window().getRoleName())
expected = [("list", "Turnmail games: Battles"), ("page tab list", "Battles"), ("label", "Turnmail games"),
            ("label", "Iron Plain")]
expected += [("page tab", tab) for tab in ("Battles", "Outcoming", "Incoming")]
expected += [("push button", caption) for caption in BUTTON_KEYS]
FIELDS = ("Playing side", "Current turn", "Length", "Visibility", "Filename", "User comments")
expected += [("text", name) for name in FIELDS]
for role, name in expected:
    if find(role, name) is None:
        fail("no %s named %r" % (role, name))
for name in FIELDS:
    labels = [r.getTarget(0).name for r in find("text", name).getRelationSet()
              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
    if labels != [name]:
        fail("the field %r is labelled by %r" % (name, labels))
for caption, shortcut in BUTTON_KEYS.items():
    binding = find("push button", caption).queryAction().getKeyBinding(0)
    if shortcut not in binding:
        fail("the key binding of %r is %r" % (caption, binding))
CODE_NAMES = {"catalogueList", "catalogueTabs", "notesEdit", "filenameEdit", "visibilityEdit", "lengthEdit",
              "turnEdit", "sideEdit", "backgroundImage", "clientArea", "mainWindow"}
leaked = sorted({n.name for n in walk(app()) if n.name in CODE_NAMES})
if leaked:
    fail("controls announced by their names in the code: %r" % leaked)

# 2. A tab pressed through the bus shows its list as a click does; the relabelled fields are renamed.
press(find("page tab", "Incoming"), "the Incoming tab")
wait_for("the incoming list", lambda: catalogue().name == "Turnmail games: Incoming" and entry("Turn07.zip"))
for role, name in (("text", "Filedate"), ("text", "Filesize"), ("push button", "Decompress")):
    if find(role, name) is None:
        fail("no %s named %r on the Incoming tab" % (role, name))
press(find("page tab", "Battles"), "the Battles tab")
wait_for("the battle list", lambda: catalogue().name == "Turnmail games: Battles" and entry("Battle for the bridge"))
shot("named")

# 3. Options pressed through the bus: the call returns, then the dialog opens.
press(find("push button", "Options"), "Options")
options = wait_for("the Options dialog", lambda: window("Options"))
for role, name in (("text", "Game directory"), ("text", "Outcoming directory"), ("text", "Incoming directory"),
                   ("push button", "Choose game directory"), ("push button", "Choose outcoming directory"),
                   ("push button", "Choose incoming directory"), ("push button", "OK"), ("push button", "Cancel"),
                   ("panel", "Zip file overwrite"), ("radio button", "always"),
                   ("radio button", "only older files"), ("radio button", "never")):
    if find(role, name, options) is None:
        fail("no %s named %r in the Options dialog" % (role, name))
if text_of(find("text", "Game directory", options)) != "d:\\game":
    fail("the game directory reads %r" % text_of(find("text", "Game directory", options)))
shot("options")


def browser_opens_at(keys, title, folder, marker):
    """The folder browser of a field, by its shortcut, opens at the folder and lists its content."""
    # Xvfb has no window manager to give the dialog the keyboard back after a browser: a click does.
    click(find("text", "Game directory", window("Options")))
    key(keys)
    browser = wait_for("the browser " + repr(title), lambda: window(title))
    look_in = [n.name for n in walk(browser) if n.getRoleName() == "combo box" and n.name.startswith("/")]
    if look_in != [os.path.realpath(folder)]:
        fail("%r opened at %r, not at %r" % (title, look_in, os.path.realpath(folder)))
    wait_for("%r listed in the browser" % marker,
             lambda: any(n.name == marker and n.getRoleName() == "list item" for n in walk(browser)))
    shot("browser")
    key("Escape")
    wait_for("the browser to close", lambda: not window(title))


# 4. The browser starts at the folder in the field (a drive letter mapped through the prefix), or at
# home when that folder does not exist.
browser_opens_at("alt+g", "Select game directory: ", game, "Turn archive")
browser_opens_at("alt+u", "Select outcoming directory: ", home, "home marker")
browser_opens_at("alt+i", "Select incoming directory: ", inc, "old turns")
click(find("text", "Game directory", window("Options")))
key("Escape")  # Cancel
wait_for("the Options dialog to close", lambda: not window("Options"))
if open(os.path.join(prog_dir, "turnex.dat"), "rb").read() != config:
    fail("Cancel changed the configuration")
os.makedirs(out)

# 5. Select Game and Run Game (with the mod choice) pressed through the bus return at once as well.
press(find("push button", "Select Game"), "Select Game")
select = wait_for("the Select dialog", lambda: window("Select"))
for role, name in (("panel", "Vantaris"), ("radio button", "Iron Plain"), ("radio button", "Grey Coast"),
                   ("radio button", "Jade Tide"), ("push button", "OK"), ("push button", "Cancel")):
    if find(role, name, select) is None:
        fail("no %s named %r in the Select dialog" % (role, name))
key("Escape")
wait_for("the Select dialog to close", lambda: not window("Select"))
press(find("push button", "Run Game"), "Run Game")
mod = wait_for("the mod choice", lambda: window("Select game mod"))
for name in ("IP II Standard", "IP II HKMR Mod"):
    if find("push button", name, mod) is None:
        fail("no button %r in the mod choice" % name)
key("Return")
wine_args = os.path.join(work, "wine.args")
if os.path.realpath(lines(wine_args)[0]) != os.path.realpath(os.path.join(game, "iron plain.exe")):
    fail("Run Game started %r" % lines(wine_args))
os.remove(wine_args)
no_message_box()
shot("pressed")

# 6. Every shortcut does what its button does, the note typed just before saved first.
note = with_note(["F5"], "F5")
wait_for("the details emptied", lambda: text_of(find("text", "Filename")) == "")
note_saved(note)  # saved before Refresh emptied the filename it is stored under
note = with_note(["alt+r"], "Alt+R")
wait_for("the details emptied", lambda: text_of(find("text", "Filename")) == "")
note_saved(note)

note = with_note(["alt+c"], "Alt+C")
answer("File successfully zipped!", "OK")
with zipfile.ZipFile(os.path.join(out, "Turn07.zip")) as z:
    if z.read("Turn07.bte") != BATTLE:
        fail("the outgoing archive is wrong")
note_saved(note)

for keys, title in ((["alt+p"], "COPY - Select destination: "), (["alt+m"], "MOVE - Select destination: ")):
    note = with_note(keys, keys[0])
    dialog_then_escape(title)
    note_saved(note)

note = with_note(["alt+d"], "Alt+D")
answer("You want delete file Turn07.bte! Are you sure?", "No")
note_saved(note)

for keys, title in ((["alt+s"], "Select"), (["alt+o"], "Options")):
    note = with_note(keys, keys[0])
    dialog_then_escape(title)
    note_saved(note)

mail_args = os.path.join(work, "xdg-email.args")
note = with_note(["alt+n"], "Alt+N")
sent = lines(mail_args)
if "--attach" not in sent or (os.path.realpath(sent[sent.index("--attach") + 1])
                              != os.path.realpath(os.path.join(game, "Turn07.bte"))):
    fail("the mail client did not get the battle: %r" % sent)
note_saved(note)

note = with_note(["alt+g"], "Alt+G")
dialog_then_escape("Select game mod")  # Escape picks the mod
if os.path.basename(lines(wine_args)[0]) != "iron plain#.exe":
    fail("Run Game started %r" % lines(wine_args))
note_saved(note)

for keys in (["F1"], ["alt+h"]):
    note = with_note(keys, keys[0])
    wait_for("the help", lambda: window("turnex help")
             and window("turnex help").getState().contains(pyatspi.STATE_ACTIVE))
    note_saved(note)
    # Out of the way of the main window, which the next click makes active again.
    subprocess.run(["xdotool", "search", "--name", "^turnex help$", "windowmove", "1000", "740"],
                   stdout=subprocess.DEVNULL)
no_message_box()
shot("shortcuts")

# 7. Delete inside the note deletes a character; outside it, it is the Delete button.
type_note("xbridge")
key("Home", "Delete")
wait_for("the character deleted", lambda: text_of(find("text", "User comments")) == "bridge")
no_message_box()
click(entry("Battle for the bridge"))  # the list takes the focus; the note is saved
note_saved("bridge")
key("Delete")
answer("You want delete file Turn07.bte! Are you sure?", "No")

# 8. The tabs by the keyboard, the note saved on the way.
note = with_note(["ctrl+3"], "Ctrl+3")
wait_for("the Incoming tab", lambda: catalogue().name == "Turnmail games: Incoming" and entry("Turn07.zip"))
note_saved(note)
for keys, tab in ((["ctrl+Tab"], "Battles"), (["ctrl+shift+Tab"], "Incoming"), (["ctrl+2"], "Outcoming")):
    key(*keys)
    wait_for("the %s tab after %s" % (tab, keys[0]), lambda: catalogue().name == "Turnmail games: " + tab)
key("alt+p")  # Copy is greyed out on this tab: its shortcut, like its click, does nothing
no_message_box()
key("ctrl+1")
wait_for("the Battles tab after ctrl+1", lambda: catalogue().name == "Turnmail games: Battles")
no_message_box()
shot("tabs")

key("alt+x")
try:
    proc.wait(timeout=10)
except subprocess.TimeoutExpired:
    fail("Alt+X did not end the program")
print("shortcuts and names ok: %d screenshots in %s" % (desk.shots_taken(), shots))
