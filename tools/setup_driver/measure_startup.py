#!/usr/bin/env python3
"""Start-up time and memory of the setup window: starts corvane-setup RUNS times under Xvfb for a
fresh test user, measures the time from process start to its visible window, and the PSS of the
setup and its web view processes 3 s later. Not a test.

usage: measure_startup.py SETUP_BINARY [RUNS]"""

import os
import subprocess
import sys
import time

import setup_driver as drv


def main():
    binary = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    shown, memory = [], []
    display = drv.Display()
    try:
        for _ in range(runs):
            sandbox = drv.Sandbox()
            started = time.monotonic()
            setup = subprocess.Popen([binary], env=sandbox.env(display.env),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            geometry, _ = display.wait_window(30)
            if geometry:
                shown.append(time.monotonic() - started)
                time.sleep(3)
                memory.append(sum(drv.pss_kib(pid) for pid in drv.process_tree(setup.pid)) / 1024)
            setup.kill()
            setup.wait()
            subprocess.run(["pkill", "-f", sandbox.root], check=False)
            sandbox.remove()
            time.sleep(1)
    finally:
        display.close()
    print("start to visible window (s):", ", ".join(f"{t:.2f}" for t in shown))
    print("PSS of setup + web view 3 s after show (MiB):", ", ".join(f"{m:.0f}" for m in memory))
    return 0 if len(shown) == runs else 1


if __name__ == "__main__":
    sys.exit(main())
