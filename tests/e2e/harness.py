#!/usr/bin/env python3
"""End-to-end tests of the real koru.exe under Wine.

Each case gets a folder of its own under WORK/cases/NAME holding a copy of koru.exe under the
name it needs, its INI files, a stand-in jvm.dll (tests/e2e/win/stand_in_jvm.cpp) with the
script that tells it how to behave, and whatever else the case lays out. The case runs through
runner.exe with an exact command line, working folder and environment; the harness then checks
the whole standard output byte for byte, the full 32-bit exit status and what the stand-in
recorded in its jvm.log.

Expected output is written with "\\n" line ends: a Windows program's printf and Java's println
both end lines with CR LF, so every "\\n" of an expectation stands for CR LF.

  harness.py --list                                      the case names, one a line
  harness.py --list-registry                             the cases that take the registry lock
  harness.py --win64-dir D --work-dir W setup            private WINEPREFIX, wineserver -p, test jar
  harness.py --win64-dir D --work-dir W run [CASE...]    runs the cases (all when none is named)
  harness.py --win64-dir D --work-dir W cleanup          wineserver -k, removes the prefix and jar

A ServiceCase runs koru.exe as a Windows service instead: installed with "sc create", started
with "sc start" and watched with "sc query" (services need the persistent wineserver of setup).

Cases run with DISPLAY unset, so that a window the launcher tries to show fails at once instead
of waiting for a user; set KORU_E2E_XVFB=1 to give them a virtual display instead.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from typing import Callable, Optional

HERE = os.path.dirname(os.path.abspath(__file__))
JAVA_HOME = "/usr/lib/jvm/java-17-openjdk-amd64"  # replaced by --java-home

# ------------------------------------------------------------------------------------------------
# Files a case lays out

JVM = "jvm.dll"                                    # the stand-in JVM
JVM_WITHOUT_CREATE = "jvm_without_create.dll"      # lacks JNI_CreateJavaVM
JVM_WITHOUT_DEFAULT_ARGS = "jvm_without_default_args.dll"  # lacks JNI_GetDefaultJavaVMInitArgs
STAND_INS = (JVM, JVM_WITHOUT_CREATE, JVM_WITHOUT_DEFAULT_ARGS)
COMPANION = "companion.exe"                        # a paired product (tests/e2e/win/companion.cpp)

FAILURE = 0xFFFFFFFF
HOOKS = [("abort", True), ("exit", True)]

# The usual layout: a runtime at rt (named by "JRE Path") and the main class Main in classes.
BASE_FILES = {"rt/bin/server/jvm.dll": JVM, "classes/Main.class": b""}
BASE_INI = {
    "Java Runtime Environment": {"JRE Path": r"{dir}\rt", "Main Class": "Main"},
    "Class Path": {"Class Path": r"\classes"},
}
# A known PATH, so that the values the launcher derives from it can be written down.
BASE_PATH = r"C:\windows\system32;C:\windows"


@dataclass
class Case:
    """One run of koru.exe. Texts may hold {dir} (the case folder, Windows form, no trailing
    backslash) and {exe} (the executable's Windows path); nothing else in braces is touched."""
    name: str
    # Layout: relative path -> bytes, text, one of STAND_INS, COMPANION, or None (removes a
    # BASE_FILES entry).
    files: dict = field(default_factory=dict)
    base_files: bool = True
    exe: str = "App.exe"                 # where koru.exe is copied, relative to the case folder
    packaged: bool = False               # append the test jar to the executable
    # The main INI beside the executable: sections merged over BASE_INI (a None value removes a
    # key), or ini_text written as it stands, or no_ini.
    ini: dict = field(default_factory=dict)
    ini_text: Optional[str] = None
    no_ini: bool = False
    script: str = ""                     # jvm.script beside every stand-in
    args: str = ""                       # appended to the quoted executable path
    cmd: Optional[str] = None            # the whole command line instead
    cwd: str = "{dir}"
    env: dict = field(default_factory=dict)  # name -> value, or None to unset
    # Expectations.
    status: int = 0
    stdout: object = ""                  # text, or a tuple of acceptable texts
    stderr_has: tuple = ()
    log_at: Optional[str] = None         # folder of the stand-in whose log is read
    expect_log: bool = True              # False: the stand-in must not have been loaded
    options: Optional[list] = None       # option strings before the two hooks
    args_seen: Optional[list] = None     # the String[] main received; None: not checked
    main_called: Optional[bool] = None
    env_seen: dict = field(default_factory=dict)   # variables the stand-in must have seen
    cwd_seen: Optional[str] = None
    stack: Optional[int] = None          # reserved stack of the thread creating the JVM
    classes: Optional[list] = None       # [(name, found)] of the application classes looked up
    order: tuple = ()                    # log events that must come in this order
    absent: tuple = ()                   # log events that must not occur
    files_after: dict = field(default_factory=dict)  # relative path -> exact content afterwards
    check: Optional[Callable] = None     # extra check: check(run) -> list of problems
    timeout_ms: int = 30000
    # Keys added under HKEY_LOCAL_MACHINE for the run and deleted after it, whatever its outcome:
    # (key path, "JavaHome" text, True for the 32-bit view). See uses_registry.
    registry: list = field(default_factory=list)


@dataclass
class ServiceCase(Case):
    """One run of koru.exe as a service, under a service name of its own ({service} in texts).
    "args" are the arguments written in the service's binPath after the executable's path."""
    start_args: list = field(default_factory=list)   # given to "sc start" after the name
    stop: bool = False                   # "sc stop" once main runs
    # Creates the file "release" beside the stand-in once main runs, or, with stop, once the
    # stop thread has detached again (for main's "wait_file release").
    release: bool = False
    # What "sc query" shows, in this order, repeats left out; a state ending in "?" may be missed.
    states: tuple = ("RUNNING", "STOPPED")
    service_states: dict = field(default_factory=dict)  # where -> state the program itself saw


@dataclass
class SingleInstanceCase(Case):
    """A first instance of App.exe (arguments "args") whose main waits for the file "release"
    beside the stand-in, and second instances started from the same path while it runs. The
    expected status and standard output are the first instance's."""
    # (arguments, expected exit status) of each second instance, started one after the other.
    seconds: list = field(default_factory=list)
    # The String[] of each secondaryMain call, in order.
    handed: list = field(default_factory=list)
    # Let the first instance go while each second instance still waits, instead of afterwards.
    release_while_waiting: bool = False


SERVICE_STATES = {"1": "STOPPED", "2": "START_PENDING", "3": "STOP_PENDING", "4": "RUNNING"}


def win_path(path):
    """The Windows path under Wine of an absolute Linux path (Z: is the root)."""
    return "Z:" + path.replace("/", "\\")


# ------------------------------------------------------------------------------------------------
# The stand-in's log

def unescape(field_text):
    out = bytearray()
    raw = field_text.encode("utf-8")
    i = 0
    while i < len(raw):
        if raw[i] == 0x25 and i + 2 < len(raw):
            out.append(int(raw[i + 1:i + 3], 16))
            i += 3
        else:
            out.append(raw[i])
            i += 1
    return out.decode("utf-8", errors="replace")


class StandInLog:
    def __init__(self, text):
        self.records = []
        for line in text.split("\n"):
            if line:
                tag, *fields = line.split("\t")
                self.records.append((tag, [unescape(f) for f in fields]))
        self.events = [tag for tag, _ in self.records]
        self.options = [(f[0], f[1] == "1") for tag, f in self.records if tag == "option"]
        self.env = {}
        for tag, f in self.records:
            if tag == "env":
                self.env[f[0]] = f[1]
            elif tag == "env-unset":
                self.env[f[0]] = None
        self.classes = [(f[0], f[1] == "found") for tag, f in self.records if tag == "findclass"]
        self.args = [f[0] for tag, f in self.records if tag == "arg"] if "main-begin" in self.events else None
        self.violations = [f[0] for tag, f in self.records if tag == "violation"]

    def value(self, tag):
        for t, f in self.records:
            if t == tag:
                return f[0] if f else ""
        return None


# ------------------------------------------------------------------------------------------------
# Wine

class Wine:
    def __init__(self, work_dir):
        self.work_dir = work_dir
        self.prefix = os.path.join(work_dir, "prefix")
        self.env = dict(os.environ)
        # The locale decides Wine's ANSI code page: C.UTF-8 gives Windows-1252.
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        LANG="C.UTF-8", LC_ALL="C.UTF-8")
        self.env.pop("DISPLAY", None)
        if os.environ.get("KORU_E2E_XVFB") == "1":
            self.env["DISPLAY"] = ":%d" % xvfb_display_number()

    def run(self, *command, timeout=120, **kwargs):
        return subprocess.run(list(command), env=self.env, timeout=timeout, **kwargs)

    def start_server(self):
        os.makedirs(self.work_dir, exist_ok=True)
        if os.environ.get("KORU_E2E_XVFB") == "1":
            start_xvfb(self.work_dir, xvfb_display_number())
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A persistent server for the whole run. It puts itself in the background once it is
        # ready; it must not hold ctest's pipes open.
        self.run("wineserver", "-p", start_new_session=True, timeout=60, **quiet)
        # Wine ends its background processes (the service control manager among them) with the
        # last Windows process, and starts them afresh, with their services, for the next one,
        # while the old ones may still be ending: two service control managers then share the
        # services' traffic. A process that waits until the server is killed keeps one set of
        # them for the whole run; as the first process it also makes the prefix when needed. It
        # pauses on a pipe whose write end it holds itself, and is detached from any other pipe:
        # started by a case, the background processes would keep its output pipes open.
        read_end, write_end = os.pipe()
        subprocess.Popen(["wine", "cmd", "/c", "pause"], env=self.env, stdin=read_end, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, pass_fds=(write_end,), start_new_session=True)
        os.close(read_end)
        os.close(write_end)
        # The services that start with the manager are running once the event log is.
        for _ in range(600):
            query = self.run("wine", "sc", "query", "eventlog", stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=60)
            if re.search(rb"STATE\s*:\s*4\b", query.stdout):
                break
            time.sleep(0.1)

    def stop_server(self):
        self.run("wineserver", "-k", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        stop_xvfb(self.work_dir)


def xvfb_display_number():
    return 90 + os.getuid() % 50


def start_xvfb(work_dir, number):
    if os.path.exists("/tmp/.X11-unix/X%d" % number):
        return
    process = subprocess.Popen(["Xvfb", ":%d" % number, "-nolisten", "tcp"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(work_dir, "xvfb.pid"), "w") as f:
        f.write(str(process.pid))
    for _ in range(50):
        if os.path.exists("/tmp/.X11-unix/X%d" % number):
            return
        time.sleep(0.1)


def stop_xvfb(work_dir):
    pid_file = os.path.join(work_dir, "xvfb.pid")
    if os.path.exists(pid_file):
        with open(pid_file) as f:
            pid = int(f.read())
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        os.remove(pid_file)


# ------------------------------------------------------------------------------------------------
# The test jar, appended to the executable by the packaged cases

JAR_SOURCE = """package com.example;

public class App {
    public static void main(String[] args) {
        for (String arg : args) System.out.println(arg);
    }
}
"""


def build_jar(work_dir, java_home):
    jar = os.path.join(work_dir, "app.jar")
    if os.path.exists(jar):
        return jar
    build = os.path.join(work_dir, "jar-build.%d" % os.getpid())
    shutil.rmtree(build, ignore_errors=True)
    os.makedirs(os.path.join(build, "src", "com", "example"))
    with open(os.path.join(build, "src", "com", "example", "App.java"), "w") as f:
        f.write(JAR_SOURCE)
    subprocess.run([os.path.join(java_home, "bin", "javac"), "-d", os.path.join(build, "classes"),
                    os.path.join(build, "src", "com", "example", "App.java")], check=True)
    subprocess.run([os.path.join(java_home, "bin", "jar"), "cf", os.path.join(build, "app.jar"),
                    "-C", os.path.join(build, "classes"), "."], check=True)
    os.replace(os.path.join(build, "app.jar"), jar)
    shutil.rmtree(build, ignore_errors=True)
    return jar


# ------------------------------------------------------------------------------------------------
# Running one case

def escape_value(text):
    out = []
    for byte in text.encode("utf-8"):
        out.append("%%%02X" % byte if byte < 0x20 or byte == 0x25 or byte >= 0x7F else chr(byte))
    return "".join(out)


def ini_text(sections):
    lines = []
    for section, keys in sections.items():
        lines.append("[%s]" % section)
        lines.extend("%s=%s" % (key, value) for key, value in keys.items() if value is not None)
        lines.append("")
    return "\r\n".join(lines)


def merged_ini(overrides):
    sections = {name: dict(keys) for name, keys in BASE_INI.items()}
    for name, keys in overrides.items():
        if keys is None:
            sections.pop(name, None)
            continue
        sections.setdefault(name, {}).update(keys)
    return sections


@dataclass
class Run:
    case: Case
    folder: str
    fill: Callable
    stdout: bytes = b""
    stderr: bytes = b""
    status: Optional[int] = None
    log: Optional[StandInLog] = None
    states: list = field(default_factory=list)     # service states seen, repeats left out
    seconds: list = field(default_factory=list)    # (status, stdout) of each second instance
    problems: list = field(default_factory=list)   # found while the run was driven


class Harness:
    def __init__(self, win64_dir, work_dir, java_home):
        self.win64_dir = win64_dir
        self.work_dir = os.path.abspath(work_dir)
        self.java_home = java_home
        self.wine = Wine(self.work_dir)

    def tool(self, name):
        path = os.path.join(self.win64_dir, name)
        if not os.path.exists(path):
            raise RuntimeError("%s is missing: build the win64 build first (cmake --preset win64 && "
                               "cmake --build --preset win64)" % path)
        return path

    def lay_out(self, case, folder, fill):
        files = dict(BASE_FILES) if case.base_files else {}
        files.update(case.files)
        exe_path = os.path.join(folder, case.exe)
        os.makedirs(os.path.dirname(exe_path), exist_ok=True)
        with open(self.tool("koru.exe"), "rb") as f:
            image = f.read()
        if case.packaged:
            with open(build_jar(self.work_dir, self.java_home), "rb") as f:
                image += f.read()
        with open(exe_path, "wb") as f:
            f.write(image)
        for relative, content in files.items():
            if content is None:
                continue
            path = os.path.join(folder, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if content in STAND_INS:
                shutil.copyfile(self.tool(content), path)
                with open(os.path.join(os.path.dirname(path), "jvm.script"), "w") as f:
                    f.write(case.script)
            elif content == COMPANION:
                shutil.copyfile(self.tool(content), path)
            else:
                with open(path, "wb") as f:
                    f.write(content if isinstance(content, bytes) else fill(content).encode("utf-8"))
        if not case.no_ini:
            text = case.ini_text if case.ini_text is not None else ini_text(merged_ini(case.ini))
            stem = os.path.splitext(exe_path)[0] if "." in os.path.basename(exe_path) else exe_path
            with open(stem + ".ini", "wb") as f:
                f.write(fill(text).replace("\r\n", "\n").replace("\n", "\r\n").encode("cp1252"))
        return files

    def prepare(self, case, **tokens):
        folder = os.path.join(self.work_dir, "cases", case.name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        values = {"{dir}": win_path(folder), "{exe}": win_path(os.path.join(folder, case.exe))}
        values.update(tokens)

        def fill(text):
            for token, value in values.items():
                text = text.replace(token, value)
            return text

        return Run(case, folder, fill), self.lay_out(case, folder, fill)

    def read_log(self, run, files):
        log_folder = run.case.log_at or next((os.path.dirname(p) for p, c in files.items() if c in STAND_INS), None)
        if log_folder is not None:
            log_path = os.path.join(run.folder, log_folder, "jvm.log")
            if os.path.exists(log_path):
                with open(log_path, encoding="utf-8", errors="replace") as f:
                    run.log = StandInLog(f.read())
        return log_folder

    def reg(self, *arguments):
        return self.wine.run("wine", "reg", *arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, timeout=60)

    def run_case(self, case):
        if isinstance(case, ServiceCase):
            return self.run_service(case)
        if isinstance(case, SingleInstanceCase):
            return self.run_single_instance(case)
        run, files = self.prepare(case)
        added = []
        try:
            for key, java_home, view32 in case.registry:
                view = ["/reg:32"] if view32 else []
                result = self.reg("add", "HKLM\\" + key, "/v", "JavaHome", "/d", run.fill(java_home), "/f", *view)
                if result.returncode != 0:
                    raise RuntimeError("reg add %s failed: %s" % (key, result.stdout.decode(errors="replace")))
                added.append((key, view))
            return self.run_program(run, files)
        finally:
            for key, view in added:
                self.reg("delete", "HKLM\\" + key, "/f", *view)

    def write_request(self, run, command_line, tag=""):
        """Writes request<tag>.txt for runner.exe (status to status<tag>.txt); answers its path."""
        case, folder, fill = run.case, run.folder, run.fill
        env = {"APPDATA": r"{dir}\appdata", "Path": BASE_PATH}
        env.update(case.env)
        request = ["exe " + escape_value(fill("{exe}")), "cmd " + escape_value(command_line),
                   "cwd " + escape_value(fill(case.cwd)), "timeout %d" % case.timeout_ms,
                   "status " + escape_value(win_path(os.path.join(folder, "status%s.txt" % tag)))]
        for name, value in env.items():
            request.append("unset " + escape_value(name) if value is None
                           else "set " + escape_value("%s=%s" % (name, fill(value))))
        request_path = os.path.join(folder, "request%s.txt" % tag)
        with open(request_path, "w") as f:
            f.write("\n".join(request) + "\n")
        return request_path

    def run_program(self, run, files):
        case = run.case
        folder, fill, exe_win = run.folder, run.fill, run.fill("{exe}")
        command_line = fill(case.cmd) if case.cmd is not None else '"%s"%s' % (
            exe_win, (" " + fill(case.args)) if case.args else "")
        request_path = self.write_request(run, command_line)
        # Output goes to files, not pipes: a Wine background process started by this run could
        # inherit a pipe and keep it open long after koru.exe has ended.
        with open(os.path.join(folder, "stdout.bin"), "w+b") as out, \
                open(os.path.join(folder, "stderr.bin"), "w+b") as err:
            result = self.wine.run("wine", self.tool("runner.exe"), win_path(request_path),
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   timeout=case.timeout_ms / 1000 + 60)
            out.seek(0)
            err.seek(0)
            run.stdout, run.stderr = out.read(), err.read()
        status_path = os.path.join(folder, "status.txt")
        if result.returncode != 0 or not os.path.exists(status_path):
            raise RuntimeError("runner.exe failed (%d): %s" % (result.returncode, run.stderr.decode(errors="replace")))
        with open(status_path) as f:
            status_text = f.read().strip()
        run.status = None if status_text == "timeout" else int(status_text, 16)
        self.read_log(run, files)
        return run

    # --- Single instance ---------------------------------------------------------------------

    def start_runner(self, run, arguments, tag):
        """Starts koru.exe through runner.exe without waiting; output goes to stdout<tag>.bin."""
        exe_win = run.fill("{exe}")
        command_line = '"%s"%s' % (exe_win, (" " + run.fill(arguments)) if arguments else "")
        request_path = self.write_request(run, command_line, tag)
        out = open(os.path.join(run.folder, "stdout%s.bin" % tag), "w+b")
        err = open(os.path.join(run.folder, "stderr%s.bin" % tag), "w+b")
        process = subprocess.Popen(["wine", self.tool("runner.exe"), win_path(request_path)],
                                   env=self.wine.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        return process, out, err

    def finish_runner(self, run, started, tag):
        """Waits for a runner started by start_runner; answers (status or None, stdout bytes)."""
        process, out, err = started
        try:
            process.wait(timeout=run.case.timeout_ms / 1000 + 60)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            out.seek(0)
            stdout = out.read()
            out.close()
            err.close()
        status_path = os.path.join(run.folder, "status%s.txt" % tag)
        if process.returncode != 0 or not os.path.exists(status_path):
            raise RuntimeError("runner.exe failed (%d) for %s" % (process.returncode, tag or "the first instance"))
        with open(status_path) as f:
            status_text = f.read().strip()
        return (None if status_text == "timeout" else int(status_text, 16)), stdout

    def run_single_instance(self, case):
        run, files = self.prepare(case)
        log_folder = self.read_log(run, files)
        log_dir = os.path.join(run.folder, log_folder)

        def events():
            self.read_log(run, files)
            return run.log.events if run.log is not None else []

        def release():
            with open(os.path.join(log_dir, "release"), "w"):
                pass

        problems = []
        first = self.start_runner(run, case.args, "")
        try:
            if not self.wait_for(lambda: "main-begin" in events() or "unloaded" in events(), 60):
                problems.append("the first instance's main did not begin within a minute")
            run.seconds = []
            for index, (arguments, _) in enumerate(case.seconds):
                tag = "-second%d" % (index + 1)
                second = self.start_runner(run, arguments, tag)
                if case.release_while_waiting:
                    time.sleep(3)
                    if second[0].poll() is not None:
                        problems.append("second instance %d did not wait for the first one" % (index + 1))
                    release()
                run.seconds.append(self.finish_runner(run, second, tag))
        finally:
            release()
            run.status, run.stdout = self.finish_runner(run, first, "")
        self.read_log(run, files)
        run.problems = problems
        return run

    # --- Services -----------------------------------------------------------------------------

    def sc(self, *arguments):
        result = self.wine.run("wine", "sc", *arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=60)
        return result.returncode, (result.stdout + result.stderr).decode(errors="replace")

    def service_state(self, run, name, output=None):
        """The state "sc query" (or the given sc output) shows, noted in run.states."""
        if output is None:
            output = self.sc("query", name)[1]
        match = re.search(r"STATE\s*:\s*(\d+)", output)
        state = SERVICE_STATES.get(match.group(1), match.group(1)) if match else None
        if state is not None and (not run.states or run.states[-1] != state):
            run.states.append(state)
        return state

    @staticmethod
    def wait_for(condition, seconds):
        deadline = time.monotonic() + seconds
        while not condition():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.1)
        return True

    def run_service(self, case):
        name = "koru_e2e_%s_%d" % (case.name, os.getpid())
        run, files = self.prepare(case, **{"{service}": name})
        log_folder = self.read_log(run, files)
        if log_folder is None:
            raise RuntimeError("a service case needs the stand-in JVM")
        log_dir = os.path.join(run.folder, log_folder)
        with open(os.path.join(log_dir, "jvm.script"), "a") as f:
            f.write("service %s\n" % name)

        def events():
            self.read_log(run, files)
            return run.log.events if run.log is not None else []

        def release():
            with open(os.path.join(log_dir, "release"), "w"):
                pass

        bin_path = '"%s"%s' % (run.fill("{exe}"), (" " + run.fill(case.args)) if case.args else "")
        code, output = self.sc("create", name, "binPath=", bin_path)
        if code != 0:
            raise RuntimeError("sc create failed (%d): %s" % (code, output))
        problems = []
        try:
            code, output = self.sc("start", name, *[run.fill(a) for a in case.start_args])
            if code != 0:
                raise RuntimeError("sc start failed (%d): %s" % (code, output))
            self.service_state(run, name, output)
            if not self.wait_for(lambda: "main-begin" in events() or "unloaded" in events(), 60):
                problems.append("main did not begin within a minute")
            elif "unloaded" not in events():
                self.service_state(run, name)  # while main runs
            if case.stop:
                code, output = self.sc("stop", name)
                self.service_state(run, name, output)
                if case.release:
                    # The stop thread has detached once a second thread has attached and detached.
                    stop_done = lambda: sum(1 for e in events() if e == "detach") >= 1 and "attach" in events()
                    if not self.wait_for(stop_done, 30):
                        problems.append("the stop thread did not attach and detach within 30 s")
                    for _ in range(5):  # the service stays stopping meanwhile
                        self.service_state(run, name)
                        time.sleep(0.1)
            if case.release:
                release()
            if not self.wait_for(lambda: self.service_state(run, name) == "STOPPED", 60):
                problems.append("the service did not stop within a minute")
            if not self.wait_for(lambda: "unloaded" in events(), 60):
                problems.append("the service process did not end within a minute")
        finally:
            if "unloaded" not in events():
                # End the service whatever happened: ask it to stop, let main go, then end it.
                self.sc("stop", name)
                release()
                if not self.wait_for(lambda: "unloaded" in events(), 15) and run.log is not None:
                    pid = run.log.value("loaded")
                    if pid:
                        self.wine.run("wine", "taskkill", "/f", "/pid", pid, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            self.sc("delete", name)
        run.problems = problems
        return run


# ------------------------------------------------------------------------------------------------
# Checking a run

def crlf(text):
    return text.replace("\n", "\r\n").encode("utf-8")


def name_jni_slot(violation, names=[]):
    """Names the JNI function of an "unexpected call of JNI function slot N" violation."""
    match = re.search(r"slot (\d+)$", violation)
    if not match:
        return violation
    if not names:
        with open(os.path.join(JAVA_HOME, "include", "jni.h")) as f:
            header = f.read()
        body = header[header.index("struct JNINativeInterface_ {"):]
        body = body[:body.index("};")]
        names.extend(re.findall(r"\(JNICALL \*(\w+)\)|void \*(reserved\d)", body))
    slot = int(match.group(1))
    return violation + " (%s)" % "".join(names[slot]) if slot < len(names) else violation


def expect(problems, what, expected, actual):
    if expected != actual:
        problems.append("%s:\n    expected %r\n    actual   %r" % (what, expected, actual))


def check_log(case, fill, log):
    """What the stand-in recorded, against the case's expectations."""
    problems = []

    problems.extend("stand-in: " + name_jni_slot(v) for v in log.violations)
    if "create" in log.events:
        expect(problems, "JavaVMInitArgs.version", str(0x10002), log.value("version"))
        expect(problems, "JavaVMInitArgs.ignoreUnrecognized", "0", log.value("ignore"))
        hooks = [option for option in log.options if option[1]]
        expect(problems, "hook options", HOOKS, hooks)
        expect(problems, "the last two options", HOOKS, log.options[-2:])
    if case.options is not None:
        expect(problems, "JVM options", [fill(o) for o in case.options], [text for text, hook in log.options[:-2]])
    if case.args_seen is not None:
        expect(problems, "String[] handed to main", [fill(a) for a in case.args_seen], log.args)
    if case.main_called is not None:
        expect(problems, "main called", case.main_called, "main-begin" in log.events)
    for name, value in case.env_seen.items():
        expect(problems, "environment variable " + name, fill(value) if value is not None else None, log.env.get(name, "<not recorded>"))
    if case.cwd_seen is not None:
        expect(problems, "current folder at JNI_CreateJavaVM", fill(case.cwd_seen), log.value("cwd"))
    if case.stack is not None:
        expect(problems, "stack reserved for the thread creating the JVM", case.stack, int(log.value("stack") or 0))
    if case.classes is not None:
        expect(problems, "application classes looked up", [(fill(n), found) for n, found in case.classes], log.classes)
    positions = []
    for event in case.order:
        if event not in log.events:
            problems.append("stand-in event %r missing; events: %r" % (event, log.events))
            break
        positions.append(log.events.index(event))
    if positions and positions != sorted(positions):
        problems.append("stand-in events out of order: expected %r, got %r" % (list(case.order), log.events))
    for event in case.absent:
        if event in log.events:
            problems.append("stand-in event %r should not occur; events: %r" % (event, log.events))
    return problems


def check_service_run(run):
    case, fill, problems = run.case, run.fill, list(run.problems)
    pattern = "".join("(%s,)?" % s[:-1] if s.endswith("?") else "%s," % s for s in case.states)
    if not re.fullmatch(pattern, "".join(s + "," for s in run.states)):
        problems.append("service states shown by sc query: expected %r, seen %r" % (list(case.states), run.states))
    log = run.log
    if log is None:
        return problems + ["the stand-in JVM recorded nothing (not loaded?)"]
    problems.extend(check_log(case, fill, log))
    seen = {f[0]: SERVICE_STATES.get(f[1], f[1]) for tag, f in log.records if tag == "service-state"}
    expect(problems, "service states the program saw", case.service_states, seen)
    if case.check is not None:
        problems.extend(case.check(run))
    return problems


def check_single_instance_run(run):
    case, log = run.case, run.log
    problems = list(run.problems)
    for index, ((arguments, status), (seen_status, stdout)) in enumerate(zip(case.seconds, run.seconds)):
        what = "second instance %d (%s)" % (index + 1, arguments)
        if seen_status is None:
            problems.append(what + " did not end in time")
        else:
            expect(problems, what + ": exit status", "0x%08X" % (status & 0xFFFFFFFF), "0x%08X" % seen_status)
        expect(problems, what + ": standard output", b"", stdout)
    if log is not None:
        # Only the first instance loads the runtime.
        expect(problems, "processes that loaded the stand-in", 1, log.events.count("loaded"))
        handed = []
        for tag, f in log.records:
            if tag == "secondary-begin":
                handed.append([])
            elif tag == "secondary-arg":
                handed[-1].append(f[0])
        expect(problems, "String[] of each secondaryMain call", [[run.fill(a) for a in h] for h in case.handed], handed)
    return problems


def check_run(run):
    if isinstance(run.case, ServiceCase):
        return check_service_run(run)
    case, fill, problems = run.case, run.fill, []
    if isinstance(case, SingleInstanceCase):
        problems.extend(check_single_instance_run(run))

    if run.status is None:
        problems.append("koru.exe did not end within %d ms (ended by the runner)" % case.timeout_ms)
    else:
        expect(problems, "exit status", "0x%08X" % (case.status & 0xFFFFFFFF), "0x%08X" % run.status)
    accepted = case.stdout if isinstance(case.stdout, tuple) else (case.stdout,)
    accepted_bytes = [crlf(fill(text)) for text in accepted]
    if run.stdout not in accepted_bytes:
        expect(problems, "standard output", accepted_bytes[0] if len(accepted_bytes) == 1 else accepted_bytes, run.stdout)
    stderr = run.stderr.decode("utf-8", errors="replace")
    for text in case.stderr_has:
        if fill(text) not in stderr:
            problems.append("standard error lacks %r; it holds %r" % (fill(text), stderr))
    for relative, content in case.files_after.items():
        path = os.path.join(run.folder, relative)
        actual = open(path, "rb").read() if os.path.exists(path) else None
        expect(problems, "content of " + relative, crlf(fill(content)) if content is not None else None, actual)

    log = run.log
    if not case.expect_log:
        if log is not None:
            problems.append("the stand-in JVM was loaded, but should not have been: %r" % log.events)
    elif log is None:
        problems.append("the stand-in JVM recorded nothing (not loaded?)")
    else:
        problems.extend(check_log(case, fill, log))
    if case.check is not None and (log is not None or not case.expect_log):
        problems.extend(case.check(run))
    return problems


# ------------------------------------------------------------------------------------------------
# The cases

def error_line(text):
    """The console error line: "Error: ", the message, a blank and a line feed."""
    return "Error: " + text + " \n"


def uses_registry(case):
    """Whether the case must not run beside another one that has registry keys: it adds keys
    itself, or it expects the launcher to find no runtime at all, so that its search reaches
    the registry (all cases share one Wine prefix). ctest gives these cases one resource lock."""
    if case.registry:
        return True
    return (not isinstance(case, ServiceCase) and case.status == FAILURE and case.stdout == ""
            and not case.expect_log)


def cases():
    # cases.py imports this module as "harness": let it find this very module, so that its
    # cases are instances of these classes.
    sys.modules.setdefault("harness", sys.modules[__name__])
    from cases import CASES
    return CASES


def main():
    global JAVA_HOME
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--list-registry", action="store_true")
    parser.add_argument("--win64-dir")
    parser.add_argument("--work-dir")
    parser.add_argument("--java-home", default=JAVA_HOME)
    parser.add_argument("action", nargs="?", choices=["setup", "run", "cleanup"])
    parser.add_argument("names", nargs="*")
    options = parser.parse_args()
    JAVA_HOME = options.java_home
    sys.path.insert(0, HERE)
    all_cases = cases()
    if options.list_registry:
        print("\n".join(case.name for case in all_cases if uses_registry(case)))
        return 0
    if options.list:
        print("\n".join(case.name for case in all_cases))
        return 0
    if not options.work_dir or not options.action:
        parser.error("--work-dir and an action are needed")
    harness = Harness(options.win64_dir, options.work_dir, options.java_home)
    if options.action == "setup":
        harness.wine.start_server()
        build_jar(harness.work_dir, options.java_home)
        return 0
    if options.action == "cleanup":
        # The folders of failed cases stay for inspection; the next run replaces them.
        harness.wine.stop_server()
        shutil.rmtree(harness.wine.prefix, ignore_errors=True)
        if os.path.exists(os.path.join(harness.work_dir, "app.jar")):
            os.remove(os.path.join(harness.work_dir, "app.jar"))
        return 0
    by_name = {case.name: case for case in all_cases}
    unknown = [name for name in options.names if name not in by_name]
    if unknown:
        parser.error("unknown cases: " + ", ".join(unknown))
    selected = [by_name[name] for name in options.names] if options.names else all_cases
    failed = 0
    for case in selected:
        started = time.monotonic()
        try:
            run = harness.run_case(case)
            problems = check_run(run)
        except (RuntimeError, subprocess.SubprocessError, OSError) as error:
            run, problems = None, ["could not run: %s" % error]
        seconds = time.monotonic() - started
        if problems:
            failed += 1
            print("FAIL %s (%.1f s)" % (case.name, seconds))
            for problem in problems:
                print("  " + problem.replace("\n", "\n  "))
            if run is not None:
                print("  case folder kept: %s" % run.folder)
                if run.log is not None:
                    print("  stand-in events: %s" % " ".join(run.log.events))
        else:
            print("ok   %s (%.1f s)" % (case.name, seconds))
            shutil.rmtree(os.path.join(harness.work_dir, "cases", case.name), ignore_errors=True)
    if len(selected) > 1:
        print("%d of %d cases failed" % (failed, len(selected)))
    return 1 if failed else 0


# ------------------------------------------------------------------------------------------------
# The runtime-not-found dialog

DIALOG_PROBE = "dialog_probe.exe"   # finds, reads and answers the dialog (tests/e2e/win)
DIALOG_DESKTOP = "koru-dialog"      # the Wine desktop of the dialog cases


@dataclass
class DialogCase(Case):
    """One run of koru.exe that finds no runtime and shows the runtime-not-found dialog on a
    virtual display of its own (Xvfb), while dialog_probe.exe reads the dialog and answers it
    with dialog_action ("cancel", "escape", "close" or "browse" of browse_folder). Other cases
    keep running without a display. dialog_shows: the lines the probe must write, in order.
    The folder browser does not walk into Wine's Z: drive, so the case folder is also reached
    as {pick} on C: for the run; browse_folder is relative to it."""
    exe: str = "JreDialog.exe"          # the only executable that runs on the dialog's desktop
    dialog_action: str = "cancel"
    browse_folder: str = ""
    dialog_shows: list = field(default_factory=list)


def dialog_display_number():
    # Apart from the display that KORU_E2E_XVFB=1 gives every case.
    return xvfb_display_number() + 50


def run_dialog_case(harness, case):
    pick_link = os.path.join(harness.wine.prefix, "drive_c", "koru-dialog")
    run, files = harness.prepare(case, **{"{pick}": r"C:\koru-dialog"})
    if os.path.lexists(pick_link):
        os.remove(pick_link)
    os.symlink(run.folder, pick_link)
    try:
        return run_dialog_program(harness, case, run, files)
    finally:
        os.remove(pick_link)


def run_dialog_program(harness, case, run, files):
    start_xvfb(harness.work_dir, dialog_display_number())
    # The prefix's own desktop came up without a display; the dialog case's executable and the
    # probe share a desktop of their own, whose explorer starts with the display given here.
    for program in (os.path.basename(case.exe), DIALOG_PROBE):
        harness.reg("add", r"HKCU\Software\Wine\AppDefaults\%s\Explorer" % program, "/v", "Desktop",
                    "/d", DIALOG_DESKTOP, "/f")
    harness.reg("add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", DIALOG_DESKTOP, "/d", "1024x768", "/f")
    env = dict(harness.wine.env, DISPLAY=":%d" % dialog_display_number())
    probe_output = os.path.join(run.folder, "dialog.txt")
    probe = subprocess.Popen(["wine", harness.tool(DIALOG_PROBE), win_path(probe_output), case.dialog_action,
                              run.fill("{pick}\\" + case.browse_folder)], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    without_display = harness.wine.env
    harness.wine.env = env
    try:
        harness.run_program(run, files)
    finally:
        harness.wine.env = without_display
        try:
            probe.wait(timeout=60)
        except subprocess.TimeoutExpired:
            probe.kill()
            probe.wait()
    shown = open(probe_output, encoding="utf-8").read().splitlines() if os.path.exists(probe_output) else []
    expect(run.problems, "what the dialog showed (dialog.txt)", [run.fill(text) for text in case.dialog_shows], shown)
    return run


_run_case_without_dialog = Harness.run_case


def run_case_with_dialog(self, case):
    if isinstance(case, DialogCase):
        return run_dialog_case(self, case)
    return _run_case_without_dialog(self, case)


Harness.run_case = run_case_with_dialog

_check_run_without_dialog = check_run


def check_run(run):
    problems = _check_run_without_dialog(run)
    return (list(run.problems) + problems) if isinstance(run.case, DialogCase) else problems


_uses_registry_without_dialog = uses_registry


def uses_registry(case):
    # Every dialog case searches the registry before the dialog appears.
    return isinstance(case, DialogCase) or _uses_registry_without_dialog(case)


if __name__ == "__main__":
    sys.exit(main())
