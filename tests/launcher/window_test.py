#!/usr/bin/env python3
"""The progress window on a real display under Wine: the probe (tests/launcher/
progress_probe.cpp) shows it through our framework with the bar at 50 and waits,
with no message loop running, while this script finds the window by its title,
measures it against the template and the work area, and reads the bar's fill off a
screenshot. The screenshot is kept under --artefacts. window_catch (the demo's way to
catch the launcher's short-lived window) must copy the same pixels off the screen.

usage: window_test.py --runner WINE_RUN --probe progress_probe.exe --catch window_catch.exe
                      --artefacts DIR
"""

import argparse
import os
import subprocess
import sys
import time

TITLE = "Preparing Tarnby"
WS_SYSMENU = 0x00080000
# The template's own size and its style in the file are checked by resources_test.py;
# here the live window must have that size in pixels (as the system maps dialog units
# for the template's font) and no close box.


def xdotool(*args):
    return subprocess.run(["xdotool"] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, timeout=30).stdout


def find_window(seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = xdotool("search", "--onlyvisible", "--name", "^%s$" % TITLE).split()
        if found:
            return found[0]
        time.sleep(0.2)
    return None


def geometry(window):
    values = {}
    for line in xdotool("getwindowgeometry", "--shell", window).splitlines():
        key, _, value = line.partition("=")
        values[key] = int(value) if value.isdigit() else value
    return values


def pixel_row(image, x, y, width):
    """The RGB pixels of one row of a screenshot, through ImageMagick's text output."""
    text = subprocess.run(["convert", image, "-crop", "%dx1+%d+%d" % (width, x, y), "+repage", "txt:-"],
                          stdout=subprocess.PIPE, text=True, timeout=60, check=True).stdout
    row = []
    for line in text.splitlines()[1:]:
        colour = line.split("(", 1)[1].split(")", 1)[0]
        row.append(tuple(int(float(c)) for c in colour.split(",")[:3]))
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--catch", required=True)
    parser.add_argument("--artefacts", required=True)
    args = parser.parse_args()
    os.makedirs(args.artefacts, exist_ok=True)
    failures = []
    passed = []

    def check(condition, what):
        print(("ok      " if condition else "FAILED  ") + what)
        (passed if condition else failures).append(what)

    # Right after the fixture has started Wine's desktop process, a new program can find
    # no desktop to put its window on yet: the probe is started again, for up to a
    # minute, until it reports a window.
    deadline = time.time() + 60
    while True:
        probe = subprocess.Popen([args.runner, args.probe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True)
        report = {}
        for line in probe.stdout:
            key, _, value = line.strip().partition(" ")
            if key == "ready":
                break
            report[key] = value
        if "window" in report or time.time() > deadline:
            break
        probe.wait(timeout=120)
        time.sleep(2)
    try:
        print("probe: %s" % report)
        if "window" not in report:
            check(False, "the probe made a window (is there a display?)")
            return 1
        wx, wy, ww, wh = map(int, report["window"].split())
        cw, ch = map(int, report["client"].split())
        tw, th = map(int, report["template"].split())
        bx, by, bw, bh = map(int, report["bar"].split())
        left, top, right, bottom = map(int, report["work"].split())
        style = int(report["style"], 16)

        window = find_window()
        check(window is not None, "a visible window titled \"%s\" appears" % TITLE)
        if window is None:
            return 1
        g = geometry(window)
        check((g["X"], g["Y"], g["WIDTH"], g["HEIGHT"]) == (wx, wy, ww, wh),
              "the display shows it where and as large as the system says (%s)" % g)
        check((cw, ch) == (tw, th), "its client area is the template's 186x28 units: %dx%d px" % (cw, ch))
        check(abs(wx + ww / 2 - (left + right) / 2) <= 1 and abs(wy + wh / 2 - (top + bottom) / 2) <= 1,
              "it is centred on the work area")
        check(style & WS_SYSMENU == 0, "no system menu, so no close box (style %08x)" % style)
        check(report.get("caption") == TITLE, "its caption")
        check(int(report["position"]) == 50, "the bar stands at 50")

        shot = os.path.join(args.artefacts, "progress-window.png")
        subprocess.run(["import", "-window", "root", shot], check=True, timeout=60)
        # The middle row of the bar, inside its border: filled cells from the left, the
        # background from the first unfilled pixel on. Half the range is half the width,
        # give or take a cell of the segmented bar.
        row = pixel_row(shot, bx + 1, by + bh // 2, bw - 2)
        background = row[-1]
        last_filled = max((i for i, colour in enumerate(row) if colour != background), default=-1)
        share = (last_filled + 1) / len(row)
        check(0.40 <= share <= 0.60, "the bar is half filled on the screen (%.0f%% of its width)" % (100 * share))

        # The window stays, so the catcher takes it as it stands at its 1-second limit.
        caught = os.path.join(args.artefacts, "progress-window-caught.bmp")
        run = subprocess.run([args.runner, args.catch, TITLE, caught, "1"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True, timeout=120)
        check(run.returncode == 0 and "caught %d %d %d %d" % (wx, wy, ww, wh) in run.stdout,
              "window_catch finds the window where the system has it: %r" % run.stdout)
        if run.returncode == 0:
            same = subprocess.run(["compare", "-metric", "AE", caught,
                                   "(", shot, "-crop", "%dx%d+%d+%d" % (ww, wh, wx, wy), "+repage", ")",
                                   "null:"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
            check(same.stderr.strip() == "0", "and copies the pixels the display shows (%s differ)" % same.stderr)
    finally:
        if probe.poll() is None:
            try:
                probe.stdin.write("\n")
                probe.stdin.flush()
                probe.wait(timeout=120)
            except (OSError, subprocess.TimeoutExpired):
                probe.kill()
    print("%d passed, %d failed" % (len(passed), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
