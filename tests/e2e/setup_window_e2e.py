#!/usr/bin/env python3
"""End-to-end test of the real corvane-setup binary in a real window: install from the loopback
test CDN into a fresh HOME by clicking through the page, launch the client, then uninstall through
the client folder's uninstall.exe, which relaunches from the temporary folder and deletes itself
at exit. Screenshots of every step go to the screenshot folder.

With --dpi 144 the desktop runs at 150 % (Xft.dpi): the windows grow to match and every click and
colour check follows the page's zoom.

usage: setup_window_e2e.py --setup BIN --cdn BIN --builder BIN --port N --shots DIR [--dpi N]"""

import argparse
import filecmp
import glob
import hashlib
import json
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "setup_driver"))
import setup_driver as drv  # noqa: E402

PROGRAMS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane"
check = drv.Checks()


def make_client(folder):
    """A small client: a runnable Corvane.exe that records how it was started, one file big
    enough to be fetched in byte ranges, small files and packable tables."""
    rng = random.Random(20261208)
    os.makedirs(os.path.join(folder, "bin", "sub"))
    os.makedirs(os.path.join(folder, "data", "ngtables"))
    with open(os.path.join(folder, "Corvane.exe"), "w") as exe:
        exe.write('#!/bin/sh\nprintf "%s\\n" "$PWD" "$@" > "$HOME/launched"\n')
    with open(os.path.join(folder, "bin", "client.dll"), "wb") as big:
        big.write(rng.randbytes(18 * 1024 * 1024))
    for i in range(6):
        with open(os.path.join(folder, "bin", "sub", f"lib{i}.dll"), "wb") as small:
            small.write(rng.randbytes(300_000 + i))
    for i in range(3):
        with open(os.path.join(folder, "data", "ngtables", f"table{i}.txt"), "w") as table:
            table.write(("row %d of table %d\n" % (i, i)) * 20000)


def tree_files(folder):
    found = []
    for base, _, files in os.walk(folder):
        found += [os.path.relpath(os.path.join(base, name), folder) for name in files]
    return sorted(found)


def main():
    parser = argparse.ArgumentParser()
    for name in ("setup", "cdn", "builder", "shots"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--dpi", type=int, default=96)
    args = parser.parse_args()
    args.setup, args.cdn, args.builder = (os.path.abspath(p) for p in (args.setup, args.cdn, args.builder))
    os.makedirs(args.shots, exist_ok=True)
    shot = lambda name: os.path.join(args.shots, name)  # noqa: E731

    sandbox = drv.Sandbox()
    display = drv.Display(dpi=args.dpi)
    install_size = drv.window_size(display.size, drv.INSTALL_BASE, args.dpi)
    uninstall_size = drv.window_size(display.size, drv.UNINSTALL_BASE, args.dpi)
    cdn = None
    try:
        source = os.path.join(sandbox.root, "client-source")
        make_client(source)
        os.chmod(os.path.join(source, "Corvane.exe"), 0o755)
        # Signed with the test keys that the test builds pin.
        keys = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "keys")
        channel = os.path.join(sandbox.root, "cdn", "release")
        drv.run([args.builder, "--source", source, "--out", channel, "--version", "1.4.2", "--date", "2026-12-08",
                 "--pack", "data/ngtables/*", "--sign-key", os.path.join(keys, "test-release.pem")])
        drv.run([args.builder, "--key-list", "--root-key", os.path.join(keys, "test-root.pem"),
                 "--release-key", os.path.join(keys, "test-release.pub.pem"), "--out", channel])
        # Slow bodies (per request) so that the install takes a few seconds.
        cdn = drv.TestCdn(args.cdn, os.path.join(sandbox.root, "cdn"), args.port, rate=1536 * 1024)
        env = sandbox.env(display.env)
        client = os.path.join(sandbox.home, "Corvane")

        # A close from the window manager during the download stops the install: the window goes
        # once the download has stopped, the setup ends with 0, and no client file is in place;
        # what was downloaded stays in the staging folder for the next install.
        cancelled = subprocess.Popen([args.setup], env=env, cwd=sandbox.root,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        geometry, window = drv.wait_painted(display, 20)
        if geometry:
            first = drv.PageWindow(display, geometry, window, drv.INSTALL_BASE)
            first.wait_colour(drv.INSTALL_BUTTON_FILL, drv.is_red, 10, shot("00-setup.png"))
            first.click(drv.INSTALL_BUTTON)
            check(drv.wait_for(lambda: os.path.isdir(os.path.join(client, "update")), 10),
                  "the download of the install to be closed has started")
            first.close_from_window_manager()
        try:
            code = cancelled.wait(15)
        except subprocess.TimeoutExpired:
            cancelled.kill()
            code = None
        check(code == 0, f"a close during the download ends the install and the setup with 0 ({code})")
        check(not os.path.exists(os.path.join(client, "Corvane.exe")) and os.path.isdir(os.path.join(client, "update")),
              "the closed install put no client file in place and kept its staging folder")

        # Install mode: the window appears once the page has drawn, at its computed size, centred.
        started = time.monotonic()
        setup = subprocess.Popen([args.setup], env=env, cwd=sandbox.root,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        geometry, window = drv.wait_painted(display, 20)
        shown_after = time.monotonic() - started
        check(geometry is not None, f"install window painted after {shown_after:.2f} s")
        if not geometry:
            return
        check(geometry[2:] == install_size,
              f"install window is {install_size[0]} x {install_size[1]} ({geometry[2]} x {geometry[3]})")
        centred = ((display.size[0] - install_size[0]) // 2, (display.size[1] - install_size[1]) // 2)
        check(geometry[:2] == centred, f"install window centred at {centred} ({geometry[0]}, {geometry[1]})")
        page = drv.PageWindow(display, geometry, window, drv.INSTALL_BASE)
        button = page.wait_colour(drv.INSTALL_BUTTON_FILL, drv.is_red, 10, shot("01-setup.png"))
        check(button is not None, "setup form: the game folder was found, the install button is enabled (red)")

        # The install folder field opens the folder dialog at the proposed folder's nearest existing
        # ancestor; a cancel changes nothing, a picked folder gets its own "Corvane" subfolder.
        picked = os.path.join(sandbox.root, "Games")
        os.makedirs(picked)
        page.click(drv.INSTALL_FOLDER_FIELD)
        dialog, dialog_id = display.wait_window(10, "Куда установить клиент")
        check(dialog is not None and display.activate(dialog_id), "the install folder field opens the folder dialog")
        display.screenshot(shot("01b-folder-dialog.png"))
        display.key("Escape")
        check(drv.wait_for(lambda: display.visible_window("Куда установить клиент")[0] is None, 5),
              "Escape closes the dialog")
        page.click(drv.INSTALL_FOLDER_FIELD)
        dialog, dialog_id = display.wait_window(10, "Куда установить клиент")
        if dialog and display.activate(dialog_id):
            # Type the folder into the location bar (Return opens it), then press "Выбрать",
            # the dialog's bottom-right button.
            display.key("ctrl+l")
            display.type_text(picked + "/")
            time.sleep(0.5)
            display.key("Return")
            time.sleep(1.0)
            x, y, width, height = dialog
            display.xdotool("mousemove", "--sync", str(x + width - 59), str(y + height - 44))
            display.xdotool("click", "1")
        check(dialog is not None and drv.wait_for(
                  lambda: display.visible_window("Куда установить клиент")[0] is None, 5),
              "the dialog accepts the typed folder")
        client = os.path.join(picked, "Corvane")
        time.sleep(0.5)
        display.screenshot(shot("01c-folder-picked.png"))

        # The page moves the window when the hero is dragged, and minimises it from its control.
        # Up and to the right: the window stays on the screen at 150 % too, where the window
        # manager would stop it at the bottom edge.
        page.drag_by(drv.HERO_BACKGROUND, 120, -30)
        target = (geometry[0] + 120, geometry[1] - 30)
        drv.wait_for(lambda: (display.visible_window()[0] or (0, 0))[:2] == target, 5)
        moved, _ = display.visible_window()
        check(moved is not None and moved[:2] == target, f"dragging the hero moves the window ({moved})")
        if moved:
            page = drv.PageWindow(display, moved, window, drv.INSTALL_BASE)
        page.click(drv.MINIMIZE_CONTROL)
        check(drv.wait_for(lambda: display.visible_window()[0] is None, 5), "the minimise control iconifies the window")
        display.xdotool("windowactivate", "--sync", window)
        check(drv.wait_for(lambda: display.visible_window()[0] is not None, 5), "the window comes back when activated")
        time.sleep(0.5)

        page.click(drv.INSTALL_BUTTON)
        staging = os.path.join(client, "update")
        check(drv.wait_for(lambda: os.path.isdir(staging), 10), "the download has started")
        time.sleep(1.0)
        display.screenshot(shot("02-progress.png"))
        done = page.wait_colour(drv.CONTINUE_BUTTON_FILL, drv.is_green, 90, shot("03-installed.png"))
        check(done is not None, "the success screen shows with its green button")
        expected = tree_files(source)
        installed = [f for f in tree_files(client) if f != "uninstall.exe" and f != "launcher.json"]
        check(installed == expected, f"client files in place ({len(installed)} files)")
        check(all(filecmp.cmp(os.path.join(source, f), os.path.join(client, f), shallow=False) for f in expected),
              "every client file byte-exact")
        check(filecmp.cmp(args.setup, os.path.join(client, "uninstall.exe"), shallow=False),
              "uninstall.exe is a copy of the setup")
        with open(os.path.join(client, "launcher.json")) as launcher:
            config = json.load(launcher)
        check(config.get("clientVersion") == "1.4.2" and config.get("gamePath") == sandbox.game,
              "launcher.json holds clientVersion and gamePath")
        desktop = os.path.join(sandbox.home, "Desktop", "Corvane.desktop")
        menu = os.path.join(sandbox.data, "applications", "Corvane.desktop")
        check(os.path.isfile(desktop) and os.path.isfile(menu), "desktop and menu launchers written")
        entry = sandbox.registry_values("hkcu", PROGRAMS_KEY) or {}
        check(entry.get("InstallLocation") == ("sz", client) and entry.get("DisplayVersion") == ("sz", "1.4.2")
              and entry.get("UninstallString") == ("sz", f'"{client}/uninstall.exe" /uninstall'),
              "programs-list entry written")
        check(not os.path.exists(os.path.join(client, "update")), "no staging folder left")

        page.click(drv.CONTINUE_BUTTON)
        launched = os.path.join(sandbox.home, "launched")
        check(drv.wait_for(lambda: os.path.exists(launched), 10), "\u00abПродолжить\u00bb started the client")
        if os.path.exists(launched):
            with open(launched) as marker:
                check(marker.readline().strip() == client, "the client runs in its own folder")
        try:
            code = setup.wait(15)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, f"the window closed and the setup ended with 0 ({code})")

        # Uninstall: the client folder's uninstall.exe relaunches from a copy of its own in the
        # temporary folder.
        # Its relaunched copy inherits standard output and error: no pipes to wait on.
        first = subprocess.run([os.path.join(client, "uninstall.exe")], env=env, cwd=sandbox.root,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        check(first.returncode == 0, "uninstall.exe ends at once with 0")
        copies = glob.glob(os.path.join(sandbox.tmp, "Corvane-Uninstall-*.exe"))
        check(len(copies) == 1, f"one temporary copy Corvane-Uninstall-*.exe exists ({copies})")
        temp_copy = copies[0] if copies else os.path.join(sandbox.tmp, "Corvane-Uninstall-missing.exe")
        geometry, window = drv.wait_painted(display, 20)
        check(geometry is not None and geometry[2:] == uninstall_size,
              f"uninstall card painted at {uninstall_size[0]} x {uninstall_size[1]} ({geometry})")
        if not geometry:
            return
        card = drv.PageWindow(display, geometry, window, drv.UNINSTALL_BASE)
        check(card.wait_colour(drv.UNINSTALL_ACTION_FILL, drv.is_red, 10, shot("04-uninstall-confirm.png")) is not None,
              "uninstall card asks for confirmation")
        card.click(drv.UNINSTALL_ACTION)
        check(drv.wait_for(lambda: not os.path.exists(client), 30), "the client folder is gone")
        closed = card.wait_colour(drv.UNINSTALL_ACTION_FILL, drv.is_button_grey, 15, shot("05-uninstall-done.png"))
        check(closed is not None, "the card shows its done phase")
        check(not os.path.exists(desktop) and not os.path.exists(menu), "launchers removed")
        check(sandbox.registry_values("hkcu", PROGRAMS_KEY) is None, "programs-list entry removed")
        card.click(drv.UNINSTALL_ACTION)
        check(drv.wait_for(lambda: not os.path.exists(temp_copy), 15), "the temporary copy deleted itself at exit")
        check(drv.wait_for(lambda: display.visible_window()[0] is None, 10), "the uninstall window closed")
    finally:
        if cdn:
            cdn.stop()
        display.close()
        subprocess.run(["pkill", "-f", sandbox.root], check=False)
        sandbox.remove()


if __name__ == "__main__":
    main()
    sys.exit(check.summary())
