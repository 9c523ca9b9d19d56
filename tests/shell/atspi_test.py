#!/usr/bin/env python3
"""What a screen reader hears: the real program on a real display, read through AT-SPI as a screen
reader reads it, window by window. Every control has a name, a selector is named by its caption
and not by its choice, a number field's value is its number, every value display reads out its
number with its unit under the name of its quantity, gauges and charts say what they show, and a
lost link is announced by an alert, wherever the focus is.

Run as: dbus-run-session -- atspi_test.py RQ55 RQ55-SIM (CTest does); it starts its own X server."""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time


XLOG = tempfile.TemporaryFile(mode="w+")


def start_display():
    """An X server on a free display, told once it takes connections; -noreset, or it starts over when
    its last client leaves (as the bus launcher does), cutting a program connecting then."""
    chosen, told = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(told), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                               "-noreset"], pass_fds=(told,), start_new_session=True, stderr=XLOG)
    os.close(told)
    number = os.read(chosen, 16).decode().strip()
    if not number:
        XLOG.seek(0)
        sys.exit(f"FAIL: the X server did not start:\n{XLOG.read()}")
    os.environ["DISPLAY"] = ":" + number
    return server


XSERVER = start_display()
import pyatspi  # noqa: E402  (it finds the accessibility bus through the display)
from gi.repository import GLib  # noqa: E402

RQ55, SIM = sys.argv[1], sys.argv[2]
CONTROLS = {"push button", "toggle button", "check box", "radio button", "combo box", "spin button",
            "text", "list", "dial", "slider", "progress bar", "chart"}
NETWORK = ["Voltage L-N L1", "Voltage L-N L2", "Voltage L-N L3", "Voltage L-L L1-L2", "Voltage L-L L2-L3",
           "Voltage L-L L3-L1", "Current L1", "Current L2", "Current L3", "Current N"] + [
    f"{q} {p}" for q in ("Active power", "Reactive power", "Apparent power") for p in ("L1", "L2", "L3", "total")] + [
    "Power factor L1", "Power factor L2", "Power factor L3", "Power factor total", "Average voltage L-N",
    "Average voltage L-L", "Average current", "Frequency"]
failures = []


def wait_for(what, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = what()
        if found:
            return found
        time.sleep(0.1)
    return None


def walk(node):
    """The node and all below it; a window closing meanwhile ends the walk there."""
    try:
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except GLib.GError:
        return
    yield node
    for child in children:
        if child is not None:
            yield from walk(child)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except NotImplementedError:
        return None


def the_app():
    return wait_for(lambda: next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "RQ55"), None), 20)


def window(title):
    """The program's window of that title, once it is shown."""
    def shown():
        for w in the_app():
            if w is None:
                continue
            w.clearCache()  # a title set after the window was first seen
            if w.name == title and showing(w):
                return w
        return None
    return wait_for(shown)


def find(node, role, name):
    for n in walk(node):
        try:
            # A menu's items are there to be pressed while the menu is closed.
            if n.getRoleName() == role and n.name == name and (role == "menu item" or showing(n)):
                return n
        except GLib.GError:  # gone while looked at: a window closing
            pass
    return None


def press(node, role, name):
    control = wait_for(lambda: find(node, role, name), 5)
    if control is None:
        failures.append(f"no {role} '{name}' to press in '{node.name}': {[n.name for n in walk(node) if n.getRoleName() == role]}")
        raise SystemExit(report())
    control.queryAction().doAction(0)


def settled(win):
    """A window whose first read has come: no value display shows a dash any more."""
    return not any((text_of(n) or "").startswith("\u2014") for n in walk(win) if n.getRoleName() == "label")


def check(win):
    """Every control named; a selector not by its choice; a number field's value its number; a
    value display named, reading its number with its unit; a gauge or chart named."""
    where = win.name
    for n in walk(win):
        role, name = n.getRoleName(), n.name
        if not showing(n):
            continue
        if role in CONTROLS and not name:
            failures.append(f"{where}: a {role} without a name")
        if role == "combo box":
            choices = {c.name for c in walk(n) if c.getRoleName() == "list item"}
            if name in choices:
                failures.append(f"{where}: combo box named by its choice '{name}'")
            chosen = text_of(n)
            if not chosen or (choices and chosen not in choices):
                failures.append(f"{where}: combo box '{name}' does not say its choice ({chosen!r})")
        if role == "text" and not n.getState().contains(pyatspi.STATE_EDITABLE):
            failures.append(f"{where}: a read-only text '{name}' offered as a field, not a label")
        if role == "spin button":
            # Read between two looks at the value, in case the panel's first read lands meanwhile.
            before, shown, after = n.queryValue().currentValue, text_of(n) or "", n.queryValue().currentValue
            if before == after and re.fullmatch(r"-?[0-9]+(\.[0-9]+)?", shown) and abs(float(shown) - after) > 1e-6:
                failures.append(f"{where}: spin button '{name}' shows {shown} but its value is {after}")
        if role == "dial" and not re.fullmatch(r"Full scale [0-9]+", n.description):
            failures.append(f"{where}: dial '{name}' does not say its scale ({n.description!r})")
        shown = text_of(n) if role == "label" else None
        if shown and re.search(r"[0-9\u2014]", shown) and (not name or name == shown):
            failures.append(f"{where}: a value display reading '{shown}' is named '{name}' ({n.getIndexInParent()})")


def check_network(win):
    displays = {n.name: text_of(n) for n in walk(win) if n.getRoleName() == "label" and text_of(n)}
    for name in NETWORK:
        if name not in displays:
            failures.append(f"Network parameters: no value named '{name}'")
        elif not re.fullmatch(r"-?[0-9]+\.[0-9]+( (k|M)?(V|A|W|Var|VA|Hz))?", displays[name]):
            failures.append(f"Network parameters: '{name}' reads '{displays[name]}', not a number and its unit")


def visit(app, item, title, inside=None, close="Close", role="push button"):
    press(app, role, item)
    win = window(title)
    if win is None:
        failures.append(f"{role} '{item}' opened no window '{title}': {[w.name for w in the_app() if w and showing(w)]}")
        return
    wait_for(lambda: settled(win), 5)
    check(win)
    if inside:
        inside(win)
    press(win, "push button", close)


def report():
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


def main():
    work = tempfile.mkdtemp(prefix="rq55-atspi-")
    sim = subprocess.Popen([SIM, "--rtu-tcp", "0", "--static", "--model", "59"], stdout=subprocess.PIPE, text=True)
    port = re.search(r":([0-9]+) ", sim.stdout.readline()).group(1)
    with open(os.path.join(work, "settings.ini"), "w") as f:
        f.write("[SOFTWARE]\nRQ55\\Language\\Language=2\n")
        f.write(f"RQ55\\Link\\Port=99\nRQ55\\Link\\Host=127.0.0.1\nRQ55\\Link\\TcpPort={port}\nRQ55\\Link\\Address=1\n")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               RQ55_SETTINGS=os.path.join(work, "settings.ini"))
    # The accessibility bus and its daemons, in a process group of their own to end together.
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], start_new_session=True)
    program = subprocess.Popen([RQ55], env=env)
    said = []
    try:
        app = the_app()
        if app is None:
            XLOG.seek(0)
            failures.append(f"the program never appeared on the accessibility bus (status {program.poll()}); "
                            f"the X server said:\n{XLOG.read()}")
            return report()
        main_panel = window("RQ55")
        check(main_panel)
        box = find(main_panel, "combo box", "Baud rate")
        baud = text_of(box) if box else None
        if baud != "19200":
            failures.append(f"the main panel's Baud rate says {baud!r}, not '19200'")
        press(main_panel, "check box", "Communication")
        if not wait_for(lambda: any(n.name.startswith("Connected to") for n in walk(main_panel)), 10):
            failures.append("switching on did not connect")
        visit(app, "Network parameters", "Network parameters",
              lambda win: (check_network(win), visit(app, "Trend", "Trend")))
        visit(app, "Energy counters", "Energy counters", lambda win: visit(win, "Reset counters", "Password", close="Cancel"))
        visit(app, "Maxima and minima", "Maxima and minima")
        visit(app, "Maximum demand", "Maximum demand")
        visit(app, "Status", "Status")
        visit(app, "Equipment configuration", "Equipment configuration")
        visit(app, "Inputs and outputs", "Inputs and outputs",
              lambda win: visit(win, "Analog output 1", "Analog output"))
        visit(app, "Model and version", "Modelo y versión / Model and version", close="Cerrar / Close")
        visit(app, "Report", "Report")
        for item, title, close in [("About RQ55", "Information", "OK"), ("Traffic monitor", "Traffic monitor", "Close"),
                                   ("Change password", "Change password", "Volver / Back")]:
            visit(app, item, title, close=close, role="menu item")

        # The link lost while nothing has the focus on it: an alert says so.
        def heard(event):
            try:
                if event.source.getRoleName() == "alert" and event.detail1 == 1:
                    said.append(event.source.name)
            except GLib.GError:  # a window that went meanwhile
                pass
        pyatspi.Registry.registerEventListener(heard, "object:state-changed:showing")
        sim.send_signal(signal.SIGKILL)
        end = time.monotonic() + 10
        while time.monotonic() < end and not any(s.startswith("Connection lost at") for s in said):
            if not GLib.MainContext.default().iteration(False):
                time.sleep(0.05)
        if not any(s.startswith("Connection lost at") for s in said):
            failures.append(f"the lost link was not announced: heard {said}")
        visit(app, "Find analyser...", "Find analyser")
        press(main_panel, "push button", "Exit")
        if program.wait(10) != 0:
            failures.append("the program did not end cleanly")
    finally:
        for p in (program, sim):
            if p.poll() is None:
                p.kill()
        os.killpg(bus.pid, signal.SIGKILL)
        XSERVER.terminate()  # it then takes its socket and lock file away
        XSERVER.wait(10)
    return report()


if __name__ == "__main__":
    sys.exit(main())
