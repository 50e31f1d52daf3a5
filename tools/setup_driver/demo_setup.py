#!/usr/bin/env python3
"""The setup demo's scripted user: with no display of its own it starts Xvfb, runs corvane-setup,
clicks through the install (or the uninstall) as a person would and writes a screenshot of each
screen; on a real display it only starts the setup and waits for the user.

usage: demo_setup.py install   --setup BIN --home DIR --shots DIR [--headless]
       demo_setup.py uninstall --home DIR --shots DIR [--headless]"""

import argparse
import glob
import os
import subprocess
import sys
import time

import setup_driver as drv


def fail(message):
    print(f"demo: {message}", file=sys.stderr)
    sys.exit(1)


def install(args, display, sandbox, shots):
    env = sandbox.env(display.env if display else os.environ)
    client = os.path.join(sandbox.home, "Corvane")
    started = time.monotonic()
    setup = subprocess.Popen([args.setup], env=env, cwd=sandbox.root)
    if not display:
        print("demo: the setup window is open; install, then press \u00abПродолжить\u00bb or close it")
        setup.wait()
        return client
    memory = drv.PeakMemory(setup.pid)
    geometry, window = drv.wait_painted(display, 20)
    if not geometry:
        fail("no setup window appeared")
    print(f"demo: window painted {time.monotonic() - started:.2f} s after start, {geometry[2]} x {geometry[3]}")
    page = drv.PageWindow(display, geometry, window, drv.INSTALL_BASE)
    if not page.wait_colour(drv.INSTALL_BUTTON_FILL, drv.is_red, 15, shots("01-setup.png")):
        fail("the install button never became active")
    page.click(drv.INSTALL_BUTTON)
    drv.wait_for(lambda: os.path.isdir(os.path.join(client, "update")), 20)
    time.sleep(2.5)
    display.screenshot(shots("02-progress.png"))
    if not page.wait_colour(drv.CONTINUE_BUTTON_FILL, drv.is_green, 600, shots("03-installed.png")):
        fail("the install did not finish (see the screenshots)")
    print(f"demo: peak memory of the setup and its web view processes: {memory.stop() / 1024:.0f} MiB (PSS)")
    page.click(drv.CONTINUE_BUTTON)
    setup.wait(30)
    return client


def uninstall(display, sandbox, shots):
    env = sandbox.env(display.env if display else os.environ)
    client = os.path.join(sandbox.home, "Corvane")
    if not os.path.isfile(os.path.join(client, "uninstall.exe")):
        fail(f"no installed client in {client}: run the install demo first")
    subprocess.run([os.path.join(client, "uninstall.exe")], env=env, cwd=sandbox.root,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    # The copy it started in the temporary folder, under a name of its own (the newest one).
    copies = glob.glob(os.path.join(sandbox.tmp, "Corvane-Uninstall-*.exe"))
    if not copies:
        fail("uninstall.exe started no copy of itself in the temporary folder")
    temp_copy = max(copies, key=os.path.getmtime)
    if not display:
        print("demo: the uninstall window is open")
        drv.wait_for(lambda: not os.path.exists(temp_copy), 3600, 1.0)
        return client
    geometry, window = drv.wait_painted(display, 20)
    if not geometry:
        fail("no uninstall window appeared")
    card = drv.PageWindow(display, geometry, window, drv.UNINSTALL_BASE)
    card.wait_colour(drv.UNINSTALL_ACTION_FILL, drv.is_red, 15, shots("04-uninstall-confirm.png"))
    card.click(drv.UNINSTALL_ACTION)
    if not card.wait_colour(drv.UNINSTALL_ACTION_FILL, drv.is_button_grey, 60, shots("05-uninstall-done.png")):
        fail("the uninstall did not finish (see the screenshots)")
    card.click(drv.UNINSTALL_ACTION)
    drv.wait_for(lambda: not os.path.exists(temp_copy), 15)
    return client


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("install", "uninstall"))
    parser.add_argument("--setup")
    parser.add_argument("--home", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("--headless", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.shots, exist_ok=True)
    shots = lambda name: os.path.join(args.shots, name)  # noqa: E731
    sandbox = drv.Sandbox(args.home)
    display = drv.Display() if args.headless else None
    try:
        if args.mode == "install":
            client = install(args, display, sandbox, shots)
            launched = os.path.join(sandbox.home, "launched")
            if os.path.exists(launched):
                print(f"demo: the client was started ({launched})")
            print(f"demo: the client was installed in {client}")
        else:
            client = uninstall(display, sandbox, shots)
            print(f"demo: {client} " + ("still exists" if os.path.exists(client) else "was removed"))
    finally:
        if display:
            display.close()
    if display:
        print(f"demo: screenshots in {args.shots}")


if __name__ == "__main__":
    main()
