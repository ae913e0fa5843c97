"""What the end-to-end scripts share: the program's turnex.dat, screenshots, waiting for the
accessibility tree, finding the program and its controls in it, and clicking them."""
import os
import subprocess
import sys
import time

import pyatspi

_shot_tool = None
_shots = None
_step = [0]
_program = [None]


def begin(shot_tool, shots):
    global _shot_tool, _shots
    _shot_tool, _shots = shot_tool, shots
    os.makedirs(shots, exist_ok=True)


def watch(process):
    """The program to end when a check fails."""
    _program[0] = process
    return process


def field(value, encoding="utf-8"):
    data = value.encode(encoding)[:255]
    return bytes([len(data)]) + data + bytes(255 - len(data))


def write_config(prog_dir, inc, out, game, encoding="utf-8"):
    """turnex.dat: the first game is current and uses these folders; rule "only older files"."""
    record0 = bytes([0]) + field(inc, encoding) + field(out, encoding) + bytes([1]) + field(game, encoding) + bytes([1])
    other = bytes([0]) + field("c:\\") + field("c:\\") + bytes([1]) + field("c:\\") + bytes([0])
    config = record0 + other + other
    with open(os.path.join(prog_dir, "turnex.dat"), "wb") as f:
        f.write(config)
    return config


def shot(name):
    _step[0] += 1
    subprocess.run([_shot_tool, os.path.join(_shots, "%02d-%s.png" % (_step[0], name)), "--full"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def fail(message):
    shot("failure")
    print("FAIL:", message)
    if _program[0] is not None:
        _program[0].kill()
    sys.exit(1)


def wait_for(what, check, seconds=15.0):
    end = time.time() + seconds
    while time.time() < end:
        try:
            result = check()
        except Exception:  # the tree changes under us while the program works
            result = None
        if result:
            return result
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def walk(node, depth=0):
    if node is None or depth > 14:
        return
    yield node
    for child in node:
        yield from walk(child, depth + 1)


def app():
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None and a.name == "turnex":
            return a
    return None


def showing(node):
    return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)


def enabled(node):
    return node.getState().contains(pyatspi.STATE_ENABLED)


def find(role, name, root=None):
    """The first node of that role and name below root (the program by default)."""
    for n in walk(root or app()):
        if n.getRoleName() == role and n.name == name:
            return n
    return None


def text_of(node):
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return node.name


def click(node):
    """A real click of the pointer in the middle of the node."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"], check=True)
    time.sleep(0.3)


def shots_taken():
    return _step[0]
