#!/usr/bin/python3
"""What a desktop shows of VexaHost and what a screen reader learns of its
drop-down lists, read over the desktop's accessibility bus (AT-SPI), which
carries less than the toolkit offers inside the program.

  check-desktop.py PROGRAM

Starts PROGRAM on its own virtual X display with its own session and
accessibility bus, opens each window that holds drop-down lists through
accessibility actions, and checks that
- every list that cannot be typed into tells its label as its name and its
  current item as its text, without being opened;
- each action returns while the window it opens is still up (one that does
  not return waits for a modal window);
- the window system titles each window exactly as the window titles itself
  (nothing appended);
- every menu item tells its access key, the keys that reach it from the
  window and its shortcut, disabled items too.
Exit 0 when all hold, 1 when one does not, 77 when the desktop pieces are
not installed."""
import ctypes
import importlib.util
import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

# (what to press, in order, from the main window; the lists that must be
# there; what closes the window, None for a window left open)
WINDOWS = [
    ([], {"AFI family"}, None),
    (["Configuration", "ISO Setup..."], {"Downlink Mode", "Read Speed", "Tx Modulation", "Rx Modulation", "Block Length"},
     "Cancel"),
    (["Configuration", "Wiegand..."], {"AFI family"}, "Cancel"),
    (["File", "Activate", "LED..."], {"Color"}, "Cancel"),
    # Not a dialog: a screen reader must still meet it as a window.
    (["Tools", "Tag Log"], {"Family:", "Sort by:"}, None),
]
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
ACTION_S = 5.0   # an action that takes this long waits for something
APPEAR_S = 20.0  # a window or the program itself, on a loaded machine


def wait_for(condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    return condition()


def start_desktop(procs):
    # Xvfb writes the display's number once it accepts clients, nothing when
    # it cannot have the display (another test's, say).
    for number in random.sample(range(600, 900), 20):
        read_end, write_end = os.pipe()
        x = subprocess.Popen(["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                              "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as said:
            ready = said.readline().strip()
        if ready and x.poll() is None:
            procs.append(x)
            os.environ["DISPLAY"] = ":%d" % number
            break
        x.kill()
        x.wait()
    else:
        sys.exit("no free X display")
    out = subprocess.run(["dbus-launch", "--sh-syntax"], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            os.environ[key] = value.strip().rstrip(";").strip("'")
    procs.append(subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    ask = ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
           "org.a11y.Bus.GetAddress"]
    if not wait_for(lambda: subprocess.run(ask, capture_output=True).returncode == 0, APPEAR_S):
        sys.exit("the accessibility bus did not start")


class WindowTitles:
    """The titles of the X display's top-level windows, as a window manager
    or a task bar reads them (_NET_WM_NAME)."""

    def __init__(self):
        x = self.x = ctypes.CDLL("libX11.so.6")
        ulong, ptr = ctypes.c_ulong, ctypes.c_void_p
        x.XOpenDisplay.restype = ptr
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ulong
        x.XDefaultRootWindow.argtypes = [ptr]
        x.XInternAtom.restype = ulong
        x.XInternAtom.argtypes = [ptr, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ptr, ulong, ctypes.POINTER(ulong), ctypes.POINTER(ulong),
                                 ctypes.POINTER(ctypes.POINTER(ulong)), ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowProperty.argtypes = [ptr, ulong, ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int, ulong,
                                         ctypes.POINTER(ulong), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ulong),
                                         ctypes.POINTER(ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte))]
        x.XFree.argtypes = [ptr]
        self.display = x.XOpenDisplay(None)
        self.name_atom = x.XInternAtom(self.display, b"_NET_WM_NAME", 0)
        self.utf8_atom = x.XInternAtom(self.display, b"UTF8_STRING", 0)

    def __call__(self):
        x, ulong = self.x, ctypes.c_ulong
        root, parent, children, count = ulong(), ulong(), ctypes.POINTER(ulong)(), ctypes.c_uint()
        x.XQueryTree(self.display, x.XDefaultRootWindow(self.display), ctypes.byref(root), ctypes.byref(parent),
                     ctypes.byref(children), ctypes.byref(count))
        titles = []
        for i in range(count.value):
            kind, size, items, left = ulong(), ctypes.c_int(), ulong(), ulong()
            data = ctypes.POINTER(ctypes.c_ubyte)()
            if x.XGetWindowProperty(self.display, children[i], self.name_atom, 0, 1024, 0, self.utf8_atom,
                                    ctypes.byref(kind), ctypes.byref(size), ctypes.byref(items), ctypes.byref(left),
                                    ctypes.byref(data)) == 0 and data:
                titles.append(ctypes.string_at(data, items.value).decode("utf-8", "replace"))
                x.XFree(data)
        if children:
            x.XFree(children)
        return titles


def check_title(window, titles):
    if wait_for(lambda: window.name in titles(), APPEAR_S):
        return True
    print("FAIL: the window system titles %r as %r" % (window.name, [t for t in titles() if window.name in t]))
    return False


def walk(node, out):
    out.append(node)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, out)
    return out


def press(app, name, pyatspi):
    """Runs the first action of the first showing node called `name`; false
    (and says why) when there is none or the action does not return."""
    node = wait_for(lambda: next((n for n in walk(app, []) if n.name == name
                                  and n.getState().contains(pyatspi.STATE_SHOWING)), None), APPEAR_S)
    if node is None:
        print("FAIL: no showing %r to press" % name)
        return False
    done = []

    def run():
        try:
            node.queryAction().doAction(0)
            done.append(True)
        except Exception:  # the bus gave up waiting: the action never returned
            pass

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    thread.join(ACTION_S)
    if not done:
        print("FAIL: pressing %r did not return: it waits for the window it opens" % name)
        return False
    return True


def check_lists(window, wanted, pyatspi):
    ok = True
    found = set()
    for node in walk(window, []):
        # A list one can type into shows its text in its own edit field.
        if node.getRoleName() != "combo box" or node.getState().contains(pyatspi.STATE_EDITABLE):
            continue
        name = node.name.strip()
        try:
            text = node.queryText()
            item = text.getText(0, text.characterCount)
        except NotImplementedError:
            item = None
        print("  %r: %r" % (name, item))
        found.add(name)
        if not name or not item or item == node.name:
            print("FAIL: %r in %r tells no label and item apart (item %r)" % (name, window.name, item))
            ok = False
    for name in sorted(wanted - found):
        print("FAIL: no drop-down list %r in %r" % (name, window.name))
        ok = False
    return ok


def check_menu_keys(window):
    """Every menu item tells its access key and the keys from the window,
    and its shortcut where it has one ("P;Alt+F:P;Ctrl+P")."""
    items = [n for n in walk(window, []) if n.getRoleName() == "menu item"]
    told = [(n.name, n.queryAction().getKeyBinding(0) if n.queryAction().nActions else "") for n in items]
    bad = [(name, keys) for name, keys in told if len(keys.split(";")) != 3 or not all(keys.split(";")[:2])]
    for name, keys in bad:
        print("FAIL: menu item %r tells the keys %r" % (name, keys))
    return bool(items) and not bad


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    if importlib.util.find_spec("pyatspi") is None:
        print("SKIP: python3-pyatspi is not installed")
        return 77
    for tool in ("Xvfb", "dbus-launch", "dbus-send"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed" % tool)
            return 77
    if not os.path.exists(BUS_LAUNCHER):
        print("SKIP: at-spi2-core is not installed")
        return 77

    procs = []
    config = tempfile.TemporaryDirectory()
    # No real serial port is touched: every listed port names no device.
    ports = os.path.join(config.name, "Kestrune", "VexaHost", "ports")
    os.makedirs(ports)
    for n in range(1, 9):
        os.symlink("/nonexistent/vexa-port", os.path.join(ports, "COM%d" % n))
    program = None
    try:
        start_desktop(procs)
        import pyatspi  # reaches the bus as it loads
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_ACCESSIBILITY="1", XDG_CONFIG_HOME=config.name)
        program = subprocess.Popen([sys.argv[1]], env=env)
        app = wait_for(lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                                     if a is not None and a.get_process_id() == program.pid), None), APPEAR_S)
        if app is None:
            print("FAIL: the program did not appear on the accessibility bus")
            return 1
        main_window = wait_for(lambda: next((w for w in app if w is not None and w.getRoleName() == "frame"), None),
                               APPEAR_S)
        titles = WindowTitles()
        ok = True
        for presses, wanted, closer in WINDOWS:
            if not presses:
                print("%s:" % main_window.name)
                ok &= check_lists(main_window, wanted, pyatspi)
                ok &= check_menu_keys(main_window)
                ok &= check_title(main_window, titles)
                continue
            if not all(press(app, name, pyatspi) for name in presses):
                ok = False
                continue
            dialog = wait_for(lambda: next((w for w in app if w is not None and w.getRoleName() in ("dialog", "frame")
                                            and w.name != main_window.name
                                            and w.getState().contains(pyatspi.STATE_SHOWING)), None), APPEAR_S)
            if dialog is None:
                print("FAIL: %s opened no window" % " > ".join(presses))
                ok = False
                continue
            print("%s:" % dialog.name)
            ok &= check_lists(dialog, wanted, pyatspi)
            ok &= check_title(dialog, titles)
            if closer is None:
                continue
            if not press(dialog, closer, pyatspi):
                return 1
            if not wait_for(lambda: not dialog.getState().contains(pyatspi.STATE_SHOWING), APPEAR_S):
                print("FAIL: %r stayed open after %s" % (dialog.name, closer))
                return 1
        return 0 if ok else 1
    finally:
        if program is not None:
            program.terminate()
            try:
                program.wait(10)
            except subprocess.TimeoutExpired:
                program.kill()
        for proc in reversed(procs):
            proc.terminate()
        pid = int(os.environ.get("DBUS_SESSION_BUS_PID", "0") or 0)
        if pid:
            try:
                os.kill(pid, 15)
            except OSError:
                pass
        config.cleanup()


sys.exit(main())
