#!/usr/bin/env python3
"""The demo player's window, seen from outside: Player.exe under Wine on a virtual X
display (run this script under `xvfb-run -a -s "-screen 0 1024x768x24"`).

Cases: a two-slide show plays to its end by itself (its window covers the screen, a
screenshot of the first slide is saved and its colours judged); Escape ends a long
show early; Right goes on and ends the show after the last slide; a document that
cannot be shown gets a message box, dismissed with Return, and exit code 1.

Standard library only; uses xdotool and ImageMagick's `import` and `convert`. Every
wait is a poll with a time-out. The Wine server of the prefix is restarted on this
display first and ended at the end (one tied to a vanished display breaks later
windowed runs), then started again without a display, as the test fixture leaves it.
"""
import argparse
import os
import subprocess
import sys
import time

SCREEN_WIDTH = 1024
SCREEN_HEIGHT = 768
# Generous: Wine shows a window in about a second, but far slower where it runs emulated.
WINDOW_LIMIT_S = 180
EXIT_LIMIT_S = 180
# The player's colours (player.cpp).
BACKGROUND_TOP = (0x22, 0x34, 0x52)
ACCENT = (0xF2, 0xA6, 0x3B)
TITLE = "Player window test"
MESSAGE_CAPTION = "Player"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Wine:
    def __init__(self, run, setup, prefix):
        self.run_script = run
        self.setup_script = setup
        self.started = []
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEARCH="win32", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def server(self, *args):
        subprocess.run(["wineserver", *args], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    # The first program of a new server waits for the prefix's boot: minutes where
    # Wine runs emulated.
    def run(self, *args, timeout=900):
        # Wine's service processes inherit the output: never let it be a pipe.
        return subprocess.run([self.run_script, *args], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode

    def start(self, *args):
        process = subprocess.Popen([self.run_script, *args], env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(process)
        return process

    def end_leftovers(self):
        """Ends what a failed case left running, so that the next case starts alone."""
        for process in self.started:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.started = []

    def restore_headless(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY")}
        subprocess.run([self.setup_script], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def xdotool(*args):
    result = subprocess.run(["timeout", "10", "xdotool", *args], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True)
    return result.returncode, result.stdout


def find_window(name, process, limit=WINDOW_LIMIT_S):
    """The id of the visible window called exactly name, polled until limit."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        rc, out = xdotool("search", "--onlyvisible", "--name", "^%s$" % name)
        ids = out.split()
        if rc == 0 and ids:
            return ids[0]
        check(process.poll() is None, "the player ended (code %s) before its window '%s' appeared"
              % (process.returncode, name))
        time.sleep(0.1)
    raise Failure("no window '%s' within %d s" % (name, limit))


def geometry(window):
    rc, out = xdotool("getwindowgeometry", "--shell", window)
    check(rc == 0, "no geometry for window %s" % window)
    return {k: int(v) for k, v in (line.split("=") for line in out.split()) if k in ("X", "Y", "WIDTH", "HEIGHT")}


def press(window, key):
    xdotool("windowfocus", "--sync", window)
    rc, _ = xdotool("key", key)
    check(rc == 0, "xdotool could not press %s" % key)


def wait_exit(process, limit=EXIT_LIMIT_S):
    try:
        return process.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise Failure("the player did not end within %d s" % limit)


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=True, timeout=60)
    ppm = subprocess.run(["convert", path, "ppm:-"], check=True, capture_output=True, timeout=60).stdout
    # P6 header: magic, width, height, maximum value, each followed by one blank.
    fields, at = [], 0
    while len(fields) < 4:
        while ppm[at:at + 1].isspace():
            at += 1
        start = at
        while not ppm[at:at + 1].isspace():
            at += 1
        fields.append(ppm[start:at])
    check(fields[0] == b"P6" and fields[3] == b"255", "unexpected screenshot format")
    return int(fields[1]), int(fields[2]), ppm[at + 1:]


def pixel(image, x, y):
    width, _, data = image
    at = (y * width + x) * 3
    return tuple(data[at:at + 3])


def count_pixels(image, left, top, right, bottom, test):
    return sum(1 for y in range(top, bottom) for x in range(left, right) if test(pixel(image, x, y)))


def near(colour, wanted, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


def write_show(folder, name, text):
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(text)
    return path


# ---- Cases -----------------------------------------------------------------------

def case_plays_to_its_end(wine, player, artefacts):
    show = write_show(os.path.join(artefacts, "show folder with blanks"), "two slides.txt", (
        "# Two slides that play themselves\r\n"
        "@title %s\r\n"
        "= %s\r\n@duration 15\r\n"
        "The first slide, with a line of text\r\n"
        "- and a bulleted line\r\n"
        "= The second slide\r\n@duration 1\r\nIt ends the show.\r\n" % (TITLE, TITLE)).encode())
    process = wine.start(player, windows_path(show))
    window = find_window(TITLE, process)
    box = geometry(window)
    check(box == {"X": 0, "Y": 0, "WIDTH": SCREEN_WIDTH, "HEIGHT": SCREEN_HEIGHT},
          "the window does not cover the screen: %s" % box)

    shot = os.path.join(artefacts, "slide.png")
    image = screenshot(shot)
    width, height, _ = image
    check((width, height) == (SCREEN_WIDTH, SCREEN_HEIGHT), "screenshot is %dx%d" % (width, height))
    corner = pixel(image, 2, 2)
    check(near(corner, BACKGROUND_TOP), "background at the top left is %s, not %s" % (corner, BACKGROUND_TOP))
    margin = width // 12
    # The title's band: white text from height/9 down, some height/11 high.
    title_top, title_bottom = height // 9, height // 9 + height // 11 + height // 20
    white = count_pixels(image, margin, title_top, width - margin, title_bottom, lambda c: min(c) > 235)
    check(white > 1000, "the title band holds only %d white pixels (%s)" % (white, shot))
    accent = count_pixels(image, margin, title_top, margin + width // 8 + 2, height // 2,
                          lambda c: near(c, ACCENT, 12))
    check(accent > 200, "no accent bar under the title: %d pixels (%s)" % (accent, shot))
    text = count_pixels(image, margin, title_bottom + height // 20, width - margin, height - height // 8,
                        lambda c: min(c) > 170)
    check(text > 500, "the text lines show only %d light pixels (%s)" % (text, shot))
    code = wait_exit(process)
    check(code == 0, "exit code %d after the last slide" % code)
    return "window %dx%d at 0,0; screenshot %s; ended by itself with 0" % (width, height, shot)


def case_escape_ends_early(wine, player, artefacts):
    show = write_show(artefacts, "long show.txt",
                      ("@title %s\n@duration 600\n= Long one\nEscape ends it.\n= Long two\n" % TITLE).encode())
    process = wine.start(player, windows_path(show))
    window = find_window(TITLE, process)
    # The show lasts 20 minutes: ending within the limit is Escape's doing. A key sent
    # while the new window is still taking the focus can be lost: press again then.
    code = None
    for _ in range(6):
        press(window, "Escape")
        try:
            code = process.wait(timeout=10)
            break
        except subprocess.TimeoutExpired:
            pass
    if code is None:
        code = wait_exit(process, 60)
    check(code == 0, "exit code %d after Escape" % code)
    return "Escape ended a 20-minute show, exit code 0"


def case_right_goes_past_the_last_slide(wine, player, artefacts):
    show = write_show(artefacts, "keys.txt",
                      ("@title %s\n@duration 600\n= One\n= Two\n" % TITLE).encode())
    process = wine.start(player, windows_path(show))
    window = find_window(TITLE, process)
    press(window, "Right")
    check(process.poll() is None, "the show ended after one Right with two slides")
    press(window, "Right")
    code = wait_exit(process, 120)
    check(code == 0, "exit code %d after going past the last slide" % code)
    return "two Rights ended a two-slide show, exit code 0"


def unreadable_case(name, make_path):
    def case(wine, player, artefacts):
        path = make_path(artefacts)
        process = wine.start(player, windows_path(path))
        box = find_window(MESSAGE_CAPTION, process)
        shot = os.path.join(artefacts, "message-%s.png" % name)
        screenshot(shot)
        press(box, "Return")
        code = wait_exit(process, 120)
        check(code == 1, "exit code %d after the message box" % code)
        return "message box '%s' (%s) dismissed with Return, exit code 1" % (MESSAGE_CAPTION, shot)
    return case


def missing_show(artefacts):
    return os.path.join(artefacts, "no such show.txt")


def binary_show(artefacts):
    return write_show(artefacts, "picture.txt", b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR")


def no_slide_show(artefacts):
    return write_show(artefacts, "no slides.txt", b"# only a comment\n@duration 2\n")


CASES = [
    ("plays to its end", case_plays_to_its_end),
    ("escape ends early", case_escape_ends_early),
    ("right goes past the last slide", case_right_goes_past_the_last_slide),
    ("missing show", unreadable_case("missing", missing_show)),
    ("binary show", unreadable_case("binary", binary_show)),
    ("show without slides", unreadable_case("no-slide", no_slide_show)),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--wine-setup", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--player", required=True)
    parser.add_argument("--artefacts", required=True)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("no DISPLAY: run under xvfb-run", file=sys.stderr)
        return 2
    os.makedirs(args.artefacts, exist_ok=True)

    wine = Wine(args.wine_run, args.wine_setup, args.prefix)
    failures = 0
    try:
        wine.server("-k")
        wine.server("-w")
        wine.server("-p60")
        # Unmanaged windows: drawn as on Windows, focused, hidden at once.
        try:
            rc = wine.run("reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        except subprocess.SubprocessError as error:
            rc = str(error)
        if rc != 0:
            print("FAIL setup: reg add: %s" % rc, flush=True)
            return 1
        for name, case in CASES:
            try:
                print("PASS %s: %s" % (name, case(wine, args.player, args.artefacts)), flush=True)
            except (Failure, subprocess.SubprocessError, OSError) as error:
                failures += 1
                print("FAIL %s: %s" % (name, error), flush=True)
            wine.end_leftovers()
    finally:
        wine.server("-k")
        wine.server("-w")
        wine.restore_headless()
    print("%d of %d cases failed" % (failures, len(CASES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
