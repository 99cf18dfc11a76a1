#!/usr/bin/env python3
"""Start-up benchmark of koru.exe under Wine.

Measures, inside Wine, the wall time from CreateProcessW to the end of the process for
  koru.exe   finding the stand-in JVM through "JRE Path", loading it, assembling the options,
             creating the JVM on the Java main thread, running an empty main, detaching and
             destroying the JVM (the stand-in returns at once from every call, logs nothing);
  trivial.exe a program of the same toolchain and flags that does nothing,
and prints the median of each over the same number of runs, and their ratio. It prints figures
only and asserts no timing; it fails only when a koru.exe run does not end with status 0.

  bench/startup.py [--win64-dir build/win64] [--runs 30] [--work-dir DIR] [--keep]

Needs the win64 build (koru.exe, runner.exe, trivial.exe, jvm.dll).
"""

import argparse
import os
import shutil
import statistics
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import Wine, escape_value, win_path  # noqa: E402

APP_INI = ("[Java Runtime Environment]\r\nJRE Path={dir}\\rt\r\nMain Class=Main\r\n"
           "[Class Path]\r\nClass Path=\\classes\r\n")


def lay_out(win64_dir, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "rt", "bin", "server"))
    os.makedirs(os.path.join(folder, "classes"))
    shutil.copyfile(os.path.join(win64_dir, "koru.exe"), os.path.join(folder, "App.exe"))
    shutil.copyfile(os.path.join(win64_dir, "trivial.exe"), os.path.join(folder, "trivial.exe"))
    shutil.copyfile(os.path.join(win64_dir, "jvm.dll"), os.path.join(folder, "rt", "bin", "server", "jvm.dll"))
    with open(os.path.join(folder, "rt", "bin", "server", "jvm.script"), "w") as f:
        f.write("log off\n")
    open(os.path.join(folder, "classes", "Main.class"), "wb").close()
    with open(os.path.join(folder, "App.ini"), "w", newline="") as f:
        f.write(APP_INI.replace("{dir}", win_path(folder)))


def measure(wine, win64_dir, folder, exe, runs):
    """Runs exe `runs` times in one runner.exe; answers [(status, microseconds)]."""
    exe_win = win_path(os.path.join(folder, exe))
    status_path = os.path.join(folder, exe + ".times")
    request_path = os.path.join(folder, exe + ".request")
    with open(request_path, "w") as f:
        f.write("exe %s\ncmd %s\ncwd %s\nrepeat %d\nstatus %s\n" % (
            escape_value(exe_win), escape_value('"%s"' % exe_win), escape_value(win_path(folder)), runs,
            escape_value(win_path(status_path))))
    with open(os.path.join(folder, exe + ".out"), "wb") as out:
        wine.run("wine", os.path.join(win64_dir, "runner.exe"), win_path(request_path),
                 stdin=None, stdout=out, stderr=out, timeout=600, check=True)
    with open(status_path) as f:
        return [(int(status, 16), int(micros)) for status, micros in (line.split() for line in f if line.strip())]


def describe(name, samples):
    times = sorted(micros / 1000.0 for _, micros in samples)
    median = statistics.median(times)
    print("%-12s median %7.2f ms   min %7.2f   max %7.2f   (%d runs)" % (name, median, times[0], times[-1], len(times)))
    return median


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--win64-dir", default=os.path.join(ROOT, "build", "win64"))
    parser.add_argument("--runs", type=int, default=30)
    parser.add_argument("--work-dir", default="/tmp/koru-bench-%d" % os.getuid())
    parser.add_argument("--keep", action="store_true", help="keep the prefix and the server for the next run")
    options = parser.parse_args()
    win64_dir = os.path.abspath(options.win64_dir)
    for tool in ("koru.exe", "runner.exe", "trivial.exe", "jvm.dll"):
        if not os.path.exists(os.path.join(win64_dir, tool)):
            sys.exit("%s is missing in %s: build the win64 build first" % (tool, win64_dir))

    wine = Wine(os.path.abspath(options.work_dir))
    wine.start_server()
    try:
        folder = os.path.join(wine.work_dir, "app")
        lay_out(win64_dir, folder)
        # Warm the file cache and Wine's own start-up before anything is counted.
        measure(wine, win64_dir, folder, "App.exe", 3)
        measure(wine, win64_dir, folder, "trivial.exe", 3)
        koru = measure(wine, win64_dir, folder, "App.exe", options.runs)
        trivial = measure(wine, win64_dir, folder, "trivial.exe", options.runs)
    finally:
        if not options.keep:
            wine.stop_server()
            shutil.rmtree(wine.work_dir, ignore_errors=True)

    failed = [status for status, _ in koru if status != 0]
    if failed:
        sys.exit("koru.exe did not run the empty main: exit status 0x%08X" % failed[0])
    print("Start-up under Wine, from CreateProcessW to the end of the process:")
    koru_median = describe("koru.exe", koru)
    trivial_median = describe("trivial.exe", trivial)
    print("ratio        %.2f (koru.exe / trivial.exe); koru.exe's own share %.2f ms" % (
        koru_median / trivial_median, koru_median - trivial_median))
    return 0


if __name__ == "__main__":
    sys.exit(main())
