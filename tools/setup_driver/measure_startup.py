#!/usr/bin/env python3
"""Start-up of the setup window against a bare WebKitGTK window, as a person sees it: each program
starts RUNS times, taking turns, under Xvfb (1920 x 1080, openbox) for a fresh test user, while its
window's area is sampled from the X server (screen_probe). Printed per run: when the window
became visible and when its content first differed from a flat colour, from process start, and
the longest time it was visible but flat; then the medians, the setup's first paint against the
baseline's, the setup's own start-up milestones (CORVANE_STARTUP_TRACE), and for each program with
its web processes the memory (PSS) 3 s after its first paint and the CPU it used in the 3 s that
follow (in % of one core). Not a test.

usage: measure_startup.py SETUP_BINARY BASELINE_BINARY [RUNS]"""

import os
import statistics
import subprocess
import sys
import time

import screen_probe as probe
import setup_driver as drv


def cpu_seconds(root_pid):
    """CPU time (user + system) used so far by a process and its descendants."""
    ticks = os.sysconf("SC_CLK_TCK")
    total = 0
    for pid in drv.process_tree(root_pid):
        try:
            with open(f"/proc/{pid}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except (OSError, IndexError, ValueError):
            continue
    return total / ticks


def start(binary, title, trace):
    """One start on a display of its own: (timeline, milestones [(seconds, what)], PSS in MiB,
    CPU in % of one core while it shows its first screen)."""
    display = drv.Display()
    sandbox = drv.Sandbox()
    env = sandbox.env(display.env)
    if trace:
        env["CORVANE_STARTUP_TRACE"] = "1"
    log = os.path.join(sandbox.root, "stderr.txt")
    try:
        with open(log, "w") as stderr:
            started = time.monotonic()
            program = subprocess.Popen([binary], env=env, cwd=sandbox.root, stdout=subprocess.DEVNULL, stderr=stderr)
            try:
                timeline = probe.watch(display, started, lambda: program.poll() is None, timeout=30, settle=0.5,
                                       title=title)
                memory = cpu = None
                if timeline.painted is not None:
                    time.sleep(max(0.0, timeline.painted + 3 - (time.monotonic() - started)))
                    memory = sum(drv.pss_kib(pid) for pid in drv.process_tree(program.pid)) / 1024
                    before, since = cpu_seconds(program.pid), time.monotonic()
                    time.sleep(3)
                    cpu = (cpu_seconds(program.pid) - before) / (time.monotonic() - since) * 100
            finally:
                program.kill()
                program.wait()
        subprocess.run(["pkill", "-f", sandbox.root], check=False)
        with open(log) as lines:
            milestones = [(float(line.split()[1]), line.split(None, 2)[2].strip())
                          for line in lines if line.startswith("corvane-startup ")]
        return timeline, milestones, memory, cpu
    finally:
        sandbox.remove()
        display.close()


def seconds(value):
    return f"{value:6.2f}" if value is not None else "  none"


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    setup, baseline = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    results = {"setup": [], "baseline": []}
    print("run  program    visible  painted  longest blank  PSS MiB  CPU %", flush=True)
    for run in range(1, runs + 1):
        for name, binary, title in (("setup", setup, "Corvane"), ("baseline", baseline, "Baseline")):
            timeline, milestones, memory, cpu = start(binary, title, trace=name == "setup")
            results[name].append((timeline, milestones, memory))
            print(f"{run:3d}  {name:9s} {seconds(timeline.visible)}   {seconds(timeline.painted)}   "
                  f"{timeline.longest_blank * 1000:8.0f} ms   {memory or 0:6.0f}  {cpu or 0:5.0f}", flush=True)

    print("\nmedian (s from process start)  visible  painted")
    for name in ("setup", "baseline"):
        timelines = [t for t, _, _ in results[name]]
        print(f"  {name:28s} {seconds(median([t.visible for t in timelines]))}   "
              f"{seconds(median([t.painted for t in timelines]))}")
    setup_paint = median([t.painted for t, _, _ in results["setup"]])
    baseline_paint = median([t.painted for t, _, _ in results["baseline"]])
    if setup_paint is not None and baseline_paint is not None:
        print(f"setup's first paint - baseline's: {setup_paint - baseline_paint:+.2f} s (medians)")

    print("\nwhere the setup's start-up goes (median s from process start, per milestone)")
    names = [what for _, what in results["setup"][0][1]] if results["setup"] else []
    for what in names:
        at = median([next((s for s, w in m if w == what), None) for _, m, _ in results["setup"]])
        print(f"  {seconds(at)}  {what}")
    painted = median([t.painted for t, _, _ in results["setup"]])
    print(f"  {seconds(painted)}  seen painted on the screen")
    complete = all(t.painted is not None for name in results for t, _, _ in results[name])
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())
