#!/usr/bin/env python3
"""The demo player's window, seen from outside: Player.exe under Wine on a virtual X
display (run this script under `xvfb-run -a -s "-screen 0 1024x768x24"`).

Cases: a two-slide show plays to its end by itself (its window covers the screen, a
screenshot of the first slide is saved and its colours judged); Escape ends a long
show early; Right goes on and ends the show after the last slide; a document that
cannot be shown gets a message box, dismissed with Return, and exit code 1.

Pictures: PNG, BMP (24 bits bottom up, 8 bits top down) and JPEG pictures of four
coloured quadrants, alone and beside text, are found on the screenshots where the
layout puts them, in their proportions and with each quadrant's colour at its centre;
a document of over 1 MiB plays to its end; a PNG-signed picture that is no PNG gets
a message box naming its slide (read by the player_message_text helper) and exit 1.

Standard library only (the PNG and BMP files are written with struct and zlib; the
JPEG is converted from a PNG by ImageMagick); uses xdotool and ImageMagick's `import`
and `convert`. Every wait is a poll with a time-out. The Wine server of the prefix is restarted on this
display first and ended at the end (one tied to a vanished display breaks later
windowed runs), then started again without a display, as the test fixture leaves it.
"""
import argparse
import base64
import os
import struct
import subprocess
import sys
import time
import zlib

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
# The layout (player.cpp): margins of width / 12, text stops height / 8 above the
# bottom, and beside a picture the text keeps 55 % of the width between the margins.
MARGIN_DIVISOR = 12
FOOTER_ZONE_DIVISOR = 8
TEXT_SHARE_PERCENT = 55
# Colours a slide never uses itself, one a quadrant of each picture.
RED, GREEN, BLUE, YELLOW = (230, 20, 20), (20, 200, 40), (30, 60, 240), (250, 230, 10)
# A picture's transparent parts show this (player.cpp's PICTURE_BACKDROP); None in a
# picture's quadrants stands for a transparent one.
BACKDROP = (0x17, 0x24, 0x3B)
TRANSPARENT_WHITE = (255, 255, 255, 0)
PICTURE_TOLERANCE = 40
SCREENSHOT_POLL_S = 0.3


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


def picture_box(image, colours):
    """The bounding box (left, top, right, bottom; right and bottom exclusive) of the
    pixels near any of colours, and their count."""
    width, height, data = image
    left, top, right, bottom, count = width, height, -1, -1, 0
    for y in range(height):
        row = y * width * 3
        for x in range(width):
            at = row + x * 3
            r, g, b = data[at], data[at + 1], data[at + 2]
            for c in colours:
                if abs(r - c[0]) <= PICTURE_TOLERANCE and abs(g - c[1]) <= PICTURE_TOLERANCE \
                        and abs(b - c[2]) <= PICTURE_TOLERANCE:
                    count += 1
                    left, right = min(left, x), max(right, x)
                    top, bottom = min(top, y), max(bottom, y)
                    break
    return (left, top, right + 1, bottom + 1), count


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


# ---- Pictures ----------------------------------------------------------------------

PICTURE_WIDTH, PICTURE_HEIGHT = 30, 20  # 3:2, quadrants of 15 x 10


def quadrants(top_left, top_right, bottom_left, bottom_right):
    def colour_at(x, y):
        if y < PICTURE_HEIGHT // 2:
            return top_left if x < PICTURE_WIDTH // 2 else top_right
        return bottom_left if x < PICTURE_WIDTH // 2 else bottom_right
    return colour_at


def png_file(colour_at, width=PICTURE_WIDTH, height=PICTURE_HEIGHT, alpha=False):
    """An 8-bit RGB PNG, or RGBA with a transparent white for None; each row filtered
    with filter type 0."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    def values(x, y):
        colour = colour_at(x, y)
        return TRANSPARENT_WHITE if colour is None else colour + (255,) if alpha else colour
    rows = b"".join(b"\0" + bytes(v for x in range(width) for v in values(x, y)) for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
            + chunk(b"IEND", b""))


def bmp_file(bits, rows_bytes, width, height, top_down, colours=b""):
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, 0, len(rows_bytes),
                       2835, 2835, len(colours) // 4, 0)
    offset = 14 + len(info) + len(colours)
    return struct.pack("<2sIHHI", b"BM", offset + len(rows_bytes), 0, 0, offset) + info + colours + rows_bytes


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def bmp_24(colour_at, width=PICTURE_WIDTH, height=PICTURE_HEIGHT):
    """Bottom up, blue-green-red, rows padded to 4 bytes (30 pixels: 90 + 2 bytes)."""
    rows = b"".join(padded(bytes(v for x in range(width) for v in reversed(colour_at(x, y))))
                    for y in reversed(range(height)))
    return bmp_file(24, rows, width, height, top_down=False)


def bmp_8_top_down(colour_at, width=PICTURE_WIDTH, height=PICTURE_HEIGHT):
    palette = []
    for y in range(height):
        for x in range(width):
            if colour_at(x, y) not in palette:
                palette.append(colour_at(x, y))
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    rows = b"".join(padded(bytes(palette.index(colour_at(x, y)) for x in range(width))) for y in range(height))
    return bmp_file(8, rows, width, height, top_down=True, colours=colours)


def jpeg_file(colour_at, folder):
    source = os.path.join(folder, "quadrants.png")
    target = os.path.join(folder, "quadrants.jpg")
    with open(source, "wb") as f:
        f.write(png_file(colour_at))
    # Full-resolution colour: no chroma subsampling to smear the quadrants.
    subprocess.run(["convert", source, "-quality", "95", "-sampling-factor", "1x1", target], check=True,
                   timeout=60)
    with open(target, "rb") as f:
        return f.read()


def picture_lines(data, width):
    text = base64.b64encode(data).decode()
    return "".join(text[at:at + width] + "\n" for at in range(0, len(text), width))


def picture_slide(title, text_lines, data, line_width):
    return "= %s\n%s@picture\n%s@end\n" % (title, "".join(line + "\n" for line in text_lines),
                                           picture_lines(data, line_width))


def check_picture(image, colours, beside_text):
    """None when the picture of colours (top left, top right, bottom left, bottom right)
    is where the layout puts it, else what is wrong."""
    width, height, _ = image
    (left, top, right, bottom), count = picture_box(image, [c for c in colours if c is not None])
    if count < 1000:
        return "only %d pixels of the picture's colours" % count
    box_width, box_height = right - left, bottom - top
    ratio = box_width / box_height
    if abs(ratio - PICTURE_WIDTH / PICTURE_HEIGHT) > 0.04:
        return "the picture is %dx%d at %d,%d: proportions %.3f, not 1.5" % (box_width, box_height, left, top, ratio)
    if box_width < 8 * PICTURE_WIDTH:
        return "the picture is only %d pixels wide: not scaled up" % box_width
    margin = width // MARGIN_DIVISOR
    text_bottom = height - height // FOOTER_ZONE_DIVISOR
    text_right = margin + (width - 2 * margin) * TEXT_SHARE_PERCENT // 100
    if bottom > text_bottom + 1 or right > width - margin + 1 or left < margin - 1:
        return "the picture (%d,%d)-(%d,%d) leaves the slide's area" % (left, top, right, bottom)
    # Fitted: it spans its area's width or its height (the area runs down to the footer).
    fills_height = abs(bottom - text_bottom) <= 3
    if beside_text:
        if left <= text_right:
            return "the picture starts at x %d, within the text's %d" % (left, text_right)
        if not (fills_height or abs(right - (width - margin)) <= 3):
            return "the picture (%d,%d)-(%d,%d) does not fill its column" % (left, top, right, bottom)
        text = count_pixels(image, margin, top, text_right, bottom, lambda c: min(c) > 170)
        if text < 200:
            return "only %d light text pixels beside the picture" % text
        stray = count_pixels(image, text_right + 1, top, width, bottom, lambda c: min(c) > 170)
        if stray:
            return "%d light pixels right of the text's column" % stray
    else:
        if abs((left + right) / 2 - width / 2) > 3:
            return "the picture (%d..%d) is not centred" % (left, right)
        if not (fills_height or abs(box_width - (width - 2 * margin)) <= 3):
            return "the picture (%d,%d)-(%d,%d) does not fill the area" % (left, top, right, bottom)
    for (fx, fy), wanted in zip(((1, 1), (3, 1), (1, 3), (3, 3)), colours):
        x, y = left + box_width * fx // 4, top + box_height * fy // 4
        got = pixel(image, x, y)
        wanted = BACKDROP if wanted is None else wanted
        if not near(got, wanted, PICTURE_TOLERANCE):
            return "the quadrant centred at %d,%d is %s, not %s" % (x, y, got, wanted)
    return None


def wait_for_picture(path, colours, beside_text, process, limit=WINDOW_LIMIT_S):
    deadline = time.monotonic() + limit
    while True:
        problem = check_picture(screenshot(path), colours, beside_text)
        if problem is None:
            return
        check(process.poll() is None, "the player ended (code %s) while %s" % (process.returncode, problem))
        if time.monotonic() > deadline:
            raise Failure("%s (%s)" % (problem, path))
        time.sleep(SCREENSHOT_POLL_S)


def case_pictures(wine, player, artefacts):
    folder = os.path.join(artefacts, "pictures")
    os.makedirs(folder, exist_ok=True)
    text = ["A picture beside these lines: the text keeps the left part of the slide and wraps there.",
            "- a bulleted line"]
    # Slide by slide: kind, layout, quadrants (distinct on every slide, so that each
    # screenshot is known for the slide it shows), and base64 line width.
    slides = [
        ("PNG alone", False, (RED, GREEN, BLUE, YELLOW), png_file, 76),
        ("BMP beside text", True, (GREEN, RED, YELLOW, BLUE), bmp_24, 57),
        ("BMP alone, 8 bits, top down", False, (BLUE, YELLOW, RED, GREEN), bmp_8_top_down, 64),
        ("JPEG beside text", True, (YELLOW, BLUE, GREEN, RED), lambda c: jpeg_file(c, folder), 61),
        ("PNG alone, a quadrant transparent", False, (GREEN, BLUE, RED, None), lambda c: png_file(c, alpha=True),
         76),
    ]
    document = "@title %s\n@duration 600\n" % TITLE
    for title, beside, colours, make, line_width in slides:
        document += picture_slide(title, text if beside else [], make(quadrants(*colours)), line_width)
    show = write_show(folder, "pictures.txt", document.encode())
    process = wine.start(player, windows_path(show))
    window = find_window(TITLE, process)
    for number, (title, beside, colours, _, _) in enumerate(slides, 1):
        if number > 1:
            press(window, "Right")
        shot = os.path.join(folder, "slide-%d.png" % number)
        try:
            wait_for_picture(shot, colours, beside, process)
        except Failure as error:
            raise Failure("slide %d (%s): %s" % (number, title, error))
    press(window, "Right")
    code = wait_exit(process, 120)
    check(code == 0, "exit code %d after the last picture" % code)
    return "%d picture slides where the layout puts them (%s), exit code 0" % (len(slides), folder)


def case_large_document(wine, player, artefacts):
    # A 640 x 640 picture of 24 bits: 1,228,854 bytes, some 1.6 MiB of base64.
    big = bmp_24(quadrants(RED, GREEN, BLUE, YELLOW), 640, 640)
    document = ("@title %s\n%s@duration 2\n= The end\n@duration 0.5\nIt played to its end.\n"
                % (TITLE, picture_slide("A large picture", [], big, 76)))
    show = write_show(artefacts, "large.txt", document.encode())
    size = os.path.getsize(show)
    check(size > 1024 * 1024, "the document has only %d bytes" % size)
    process = wine.start(player, windows_path(show))
    find_window(TITLE, process)
    code = wait_exit(process)
    check(code == 0, "exit code %d for a document of %d bytes" % (code, size))
    return "a document of %d bytes played to its end, exit code 0" % size


def case_picture_that_is_no_picture(wine, player, message_text, artefacts):
    garbage = b"\x89PNG\r\n\x1a\n" + b"signed as a PNG, but nothing of one follows. " * 4
    document = "= A slide of text\nIt is fine.\n%s" % picture_slide("A broken picture", [], garbage, 60)
    show = write_show(artefacts, "broken picture.txt", document.encode())
    out = os.path.join(artefacts, "broken-picture-message.txt")
    if os.path.exists(out):
        os.remove(out)
    process = wine.start(player, windows_path(show))
    rc = wine.run(message_text, MESSAGE_CAPTION, windows_path(out), str(WINDOW_LIMIT_S))
    check(rc == 0, "no message box '%s' was read (helper exit %d)" % (MESSAGE_CAPTION, rc))
    with open(out, "rb") as f:
        text = f.read().decode("ascii", "replace")
    check("Slide 2: the picture cannot be shown." in text, "the message does not name slide 2: %r" % text)
    check("error 0x" in text, "the message gives no reason: %r" % text)
    code = wait_exit(process, 120)
    check(code == 1, "exit code %d after the message box" % code)
    return "message box read: %r; exit code 1" % text.replace("\r\n", " | ").replace("\n", " | ")


def all_cases(message_text):
    return [
        ("plays to its end", case_plays_to_its_end),
        ("escape ends early", case_escape_ends_early),
        ("right goes past the last slide", case_right_goes_past_the_last_slide),
        ("missing show", unreadable_case("missing", missing_show)),
        ("binary show", unreadable_case("binary", binary_show)),
        ("show without slides", unreadable_case("no-slide", no_slide_show)),
        ("pictures alone and beside text", case_pictures),
        ("a document over 1 MiB", case_large_document),
        ("a picture that is no picture",
         lambda wine, player, artefacts: case_picture_that_is_no_picture(wine, player, message_text, artefacts)),
    ]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--wine-setup", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--player", required=True)
    parser.add_argument("--message-text", required=True)
    parser.add_argument("--artefacts", required=True)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("no DISPLAY: run under xvfb-run", file=sys.stderr)
        return 2
    os.makedirs(args.artefacts, exist_ok=True)
    cases = all_cases(args.message_text)

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
        for name, case in cases:
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
    print("%d of %d cases failed" % (failures, len(cases)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
