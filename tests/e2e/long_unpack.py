#!/usr/bin/python3
"""Long Decompress: the built program under Xvfb unpacks a RAR, an ACE and a zip archive of many
members, each long enough to show its progress; the window answers the accessibility bus all the
while, its other buttons wait, and Cancel, pressed through the bus, stops the work with whole
files only, which the message names.

long_unpack.py PROGRAM_DIR WORK_DIR SCREENSHOT_TOOL SHOTS_DIR
"""
import os
import struct
import subprocess
import sys
import time
import zipfile
import zlib

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desk  # noqa: E402

prog_dir, work, shot_tool, shots = sys.argv[1:5]
desk.begin(shot_tool, shots)
game, out, inc, home = (os.path.join(work, d) for d in ("game", "out", "in", "home"))
for d in (game, out, inc, home):
    os.makedirs(d, exist_ok=True)


def content(i, size):
    """A member's bytes, its number repeated: a file that arrived whole is told by them."""
    stamp = b"%06d;" % i
    return (stamp * (size // len(stamp) + 1))[:size]


def member_name(i):
    return "part%05d.bte" % i


def vint(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def rar5_header(body):
    sized = vint(len(body)) + body
    return struct.pack("<I", zlib.crc32(sized)) + sized


def write_rar(path, count, size):
    """RAR 5, every member stored."""
    with open(path, "wb") as f:
        f.write(b"Rar!\x1a\x07\x01\x00" + rar5_header(vint(1) + vint(0) + vint(0)))
        for i in range(count):
            data, name = content(i, size), member_name(i).encode()
            h = (vint(2) + vint(0x02) + vint(len(data)) + vint(0x04) + vint(len(data)) + vint(0x81A4) +
                 struct.pack("<I", zlib.crc32(data)) + vint(0) + vint(1) + vint(len(name)) + name)
            f.write(rar5_header(h) + data)
        f.write(rar5_header(b"\x05\x00\x00"))


def ace_crc(data):
    return ~zlib.crc32(data) & 0xFFFFFFFF


def ace_block(body):
    return struct.pack("<HH", ace_crc(body) & 0xFFFF, len(body)) + body


def write_ace(path, count, size):
    """ACE 2.0, every member stored."""
    with open(path, "wb") as f:
        f.write(ace_block(b"\0" + struct.pack("<H", 0) + b"**ACE**" + b"\x14\x14\x02\x00" +
                          struct.pack("<I", 0x41046F21) + bytes(9)))
        for i in range(count):
            data, name = content(i, size), member_name(i).encode()
            h = (b"\1" + struct.pack("<HIIIII", 1, len(data), len(data), 0x41046DDA, 0x20, ace_crc(data)) +
                 bytes(4) + struct.pack("<HH", 0, len(name)) + name)
            f.write(ace_block(h) + data)


def write_zip(path, count, size):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i in range(count):
            z.writestr(member_name(i), content(i, size))


# Many members make long work of a small archive: every file is created, written and put in place.
KINDS = [("long.rar", write_rar, 30000, 256), ("long.ace", write_ace, 4000, 48 << 10),
         ("long.zip", write_zip, 4000, 256)]
began = time.time()
for name, writer, count, size in KINDS:
    writer(os.path.join(inc, name), count, size)


desk.write_config(prog_dir, inc, out, game)

env = dict(os.environ)
env.update(HOME=home, WINEPREFIX=os.path.join(work, "wine"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
env.pop("QT_QPA_PLATFORM", None)
shot, fail, walk, app, showing = desk.shot, desk.fail, desk.walk, desk.app, desk.showing
find, enabled, text_of, click = desk.find, desk.enabled, desk.text_of, desk.click


def wait_for(what, check, seconds=30.0):
    return desk.wait_for(what, check, seconds)


def press(node, what):
    """The press action, as a screen reader calls it."""
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == "Press":
            if not action.doAction(i):
                fail("the press of %s was refused" % what)
            return
    fail("%s has no press action" % what)


def dialogs():
    return [w for w in app() if w is not None and w.getRoleName() in ("dialog", "alert")]


def entry(name):
    for n in walk(app()):
        if n.getRoleName() == "list item" and n.name == name:
            return n
    return None


def arrived_whole(count, size):
    """The files in the game folder, each of which must be a member, whole."""
    names = sorted(os.listdir(game))
    wanted = {member_name(i): i for i in range(count)}
    for n in names:
        if n not in wanted:
            fail("a stray file was left in the game folder: %s" % n)
        with open(os.path.join(game, n), "rb") as f:
            if f.read() != content(wanted[n], size):
                fail("%s was left half-written" % n)
    return names


print("archives written in %.1f s" % (time.time() - began))
pyatspi.Registry.getDesktop(0)
proc = desk.watch(subprocess.Popen([os.path.join(prog_dir, "turnex")], env=env))
wait_for("the main window", lambda: find("push button", "Compress"))
time.sleep(0.5)
click(find("page tab", "Incoming"))

for name, writer, count, size in KINDS:
    wait_for("the archive " + name, lambda: entry(name))
    click(entry(name))
    start = time.time()
    click(find("push button", "Decompress"))
    # The bus is answered while the work goes on: the progress shows, the other buttons wait.
    bar = wait_for("the progress of " + name, lambda: showing(find("progress bar", "Progress")) and
                   find("progress bar", "Progress"))
    shown_after = time.time() - start
    if enabled(find("push button", "Delete")):
        fail("Delete can be pressed while %s is unpacked" % name)
    value = bar.queryValue()
    if not 0 <= value.currentValue <= value.maximumValue:
        fail("the progress of %s reads %r of %r" % (name, value.currentValue, value.maximumValue))
    shot("progress-" + name)
    cancel = wait_for("Cancel", lambda: (lambda b: b if b is not None and enabled(b) else None)(
        find("push button", "Cancel")))
    press(cancel, "Cancel")
    box = wait_for("the message after Cancel", lambda: (dialogs() or [None])[0])
    texts = [text_of(n) for n in walk(box) if n.getRoleName() == "label"]
    told = [t for t in texts if t.startswith('Decompress of "%s" was cancelled.' % name)]
    if not told:
        fail("unexpected message after Cancel: %r" % texts)
    shot("cancelled-" + name)
    click([n for n in walk(box) if n.getRoleName() == "push button" and n.name.replace("&", "") == "OK"][0])
    wait_for("the message box to close", lambda: not dialogs())
    names = arrived_whole(count, size)
    if len(names) >= count:
        fail("Cancel did not stop %s: every file arrived" % name)
    if names and names[0] not in told[0]:
        fail("the message does not name %s: %r" % (names[0], told[0]))
    if not names and "No file was unpacked" not in told[0]:
        fail("the message does not say that nothing arrived: %r" % told[0])
    print("%s: progress after %.1f s, %d of %d files whole when cancelled, %.1f s in all" %
          (name, shown_after, len(names), count, time.time() - start))
    for n in names:
        os.remove(os.path.join(game, n))

click(find("push button", "Exit"))
try:
    proc.wait(timeout=10)
except subprocess.TimeoutExpired:
    fail("Exit did not end the program")
print("long unpack ok: %d screenshots in %s" % (desk.shots_taken(), shots))
