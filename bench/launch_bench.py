#!/usr/bin/env python3
"""Launch overhead: how long a self-running show takes from its start to the start of
its player, against `arq extract` of the same archive into the same folder.

The show is 64 MiB of Crushed text and program data (taken from this machine's own
files), the player the tests' own test player, which reports once it has read the
show, with the time it took itself from its start to the report: that time is
subtracted, so what remains is the launcher's work up to the player's start.

Natively:   launch_bench.py --bin build/native/bin
Under Wine: launch_bench.py --bin build/windows/bin --native-arq build/native/bin/arq
            --runner build/windows/wine-run.sh --prefix build/windows/wineprefix

The archive is written by the native arq (`create --fast`), the show file is the
launcher followed by the archive header record and that archive. Prints the medians of
--runs runs and the ratio (target: at most 1.10).
"""

import argparse
import glob
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

SHOW_BYTES = 64 * 1024 * 1024
ARCHIVE_SIG = bytes([0x67, 0x57, 0x04, 0x00 + 2])  # spelled so that this file holds no signature


def corpus(size):
    """Half text, half program bytes, from files every Debian machine has."""
    text = b""
    for path in sorted(glob.glob("/usr/share/common-licenses/*")) + sorted(glob.glob("/usr/share/doc/*/copyright")):
        try:
            with open(path, "rb") as f:
                text += f.read()
        except OSError:
            continue
        if len(text) >= size // 2:
            break
    programs = b""
    for path in sorted(glob.glob("/usr/bin/*")):
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            programs += f.read()
        if len(programs) >= size // 2:
            break
    data = (text * (size // max(len(text), 1) + 1))[: size // 2] + programs[: size - size // 2]
    return data


def wait_for(path, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path):
            return True
        time.sleep(0.005)
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of the built programs")
    parser.add_argument("--native-arq", help="the native arq (to write the archive) when --bin is a Windows build")
    parser.add_argument("--runner", help="the Wine runner")
    parser.add_argument("--prefix", help="the Wine prefix")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    args.runner = os.path.abspath(args.runner) if args.runner else None
    args.prefix = os.path.abspath(args.prefix) if args.prefix else None
    if args.native_arq:
        args.native_arq = os.path.abspath(args.native_arq)
    wine = bool(args.runner)
    ext = ".exe" if wine else ""
    launcher = os.path.join(args.bin, ("Vardok" if wine else "vardok") + ext)
    arq = os.path.join(args.bin, "arq" + ext)
    player = os.path.join(args.bin, "test_player" + ext)
    native_arq = args.native_arq or arq

    work = tempfile.mkdtemp(prefix="vardok-launch-bench-")
    try:
        inputs = os.path.join(work, "in")
        os.mkdir(inputs)
        with open(os.path.join(inputs, "DECK.PPS"), "wb") as f:
            f.write(corpus(SHOW_BYTES))
        shutil.copyfile(player, os.path.join(inputs, "PLAYER.EXE"))
        archive = os.path.join(work, "show.arq")
        subprocess.run([native_arq, "create", "-q", "--fast", archive, os.path.join(inputs, "DECK.PPS"),
                        os.path.join(inputs, "PLAYER.EXE")], check=True)
        with open(archive, "rb") as f:
            body = f.read()
        total = SHOW_BYTES + os.path.getsize(player)
        show = os.path.join(work, "Show" + (ext or ".run"))  # the engine adds ".exe" to a name without a dot
        with open(launcher, "rb") as f:
            stub = f.read()
        with open(show, "wb") as f:
            f.write(stub + ARCHIVE_SIG + struct.pack("<IHH", total, 0, 0) + body)
        os.chmod(show, 0o755)
        temp = os.path.join(work, "temp")
        os.mkdir(temp)
        report = os.path.join(work, "report.txt")

        env = dict(os.environ, VARDOK_TEST_PLAYER_REPORT=("Z:" + report.replace("/", "\\")) if wine else report)
        prefix = []
        if wine:
            env["WINEPREFIX"] = args.prefix
            prefix = [args.runner]
            for name in ("TMP", "TEMP"):
                subprocess.run(prefix + ["reg", "add", "HKCU\\Environment", "/v", name, "/t", "REG_EXPAND_SZ", "/d",
                                         "Z:" + temp.replace("/", "\\") + "\\", "/f"], env=env, check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        else:
            env["TMPDIR"] = temp + "/"

        keeper = None
        if wine:
            # On Windows the desktop is there before any show starts; Wine starts its
            # desktop process with the first window and ends it after the last one. A
            # window kept open for the whole run keeps that start out of the figures.
            keeper = subprocess.Popen(prefix + ["notepad"], env=env, cwd=work, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            subprocess.run(prefix + ["cmd", "/c", "echo"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        launches = []
        extracts = []
        players = []
        for _ in range(args.runs):
            if os.path.exists(report):
                os.remove(report)
            started = time.perf_counter()
            process = subprocess.Popen(prefix + [show], env=env, cwd=work)
            if not wait_for(report, 600):
                sys.exit("the player did not start")
            elapsed = time.perf_counter() - started
            process.wait()
            with open(report) as f:
                fields = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
            if "show_error" in fields:
                sys.exit("the player could not read the show: " + fields["show_error"])
            players.append(int(fields["work_us"]) / 1e6)
            launches.append(elapsed - players[-1])

            shutil.rmtree(temp)
            os.mkdir(temp)
            started = time.perf_counter()
            subprocess.run(prefix + [arq, "extract", "-q", "--overwrite", "always", archive, "-C", temp], env=env,
                           cwd=work, check=True)
            extracts.append(time.perf_counter() - started)
            shutil.rmtree(temp)
            os.mkdir(temp)
        if wine:
            subprocess.run(prefix + ["taskkill", "/f", "/im", "notepad.exe"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            keeper.wait()
            for name in ("TMP", "TEMP"):
                subprocess.run(prefix + ["reg", "delete", "HKCU\\Environment", "/v", name, "/f"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        launch = statistics.median(launches)
        extract = statistics.median(extracts)
        print("archive: %d bytes for %d (%.1f%%)" % (len(body), total, 100.0 * len(body) / total))
        print("the player's own work:       %.3f s" % statistics.median(players))
        print("show start to player start: %.3f s (runs: %s)" % (launch, ", ".join("%.3f" % t for t in launches)))
        print("arq extract:                %.3f s (runs: %s)" % (extract, ", ".join("%.3f" % t for t in extracts)))
        print("ratio: %.3f (target at most 1.10)" % (launch / extract))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
