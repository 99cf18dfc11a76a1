"""The end-to-end cases: one Case per run of koru.exe (see harness.py for the fields).

Unless a case says otherwise, the executable is App.exe in the case folder {dir}, App.ini names
the stand-in runtime {dir}\\rt ("JRE Path") and the main class Main, found in {dir}\\classes.
"""

import os
import re
import struct
import time

from harness import (Case, ServiceCase, SingleInstanceCase, COMPANION, FAILURE, JVM, JVM_WITHOUT_CREATE, JVM_WITHOUT_DEFAULT_ARGS,
                     BASE_PATH, error_line, expect)

RT_JVM = r"{dir}\rt\bin\server\jvm.dll"
CLASS_PATH = r"-Djava.class.path={dir}\classes;"
MIB = 1024 * 1024

MAIN_CLASS_MISSING = error_line("Main class was not specified in INI file.")
NO_MAIN_METHOD = error_line("No main method found in specified class.\n")


def class_not_found(name):
    return error_line("Could not find the main class %s.\n" % name)


def jvm_not_created(reason):
    return error_line("JNI exception: failed to create the Java VM\nReason: %s.\n" % reason)


CASES = []


def case(**fields):
    CASES.append(Case(**fields))


# --- Settings file and the main class ------------------------------------------------------------

case(name="no_ini_file", no_ini=True,
     stdout=MAIN_CLASS_MISSING, status=FAILURE, expect_log=False)

case(name="main_class_empty", ini={"Java Runtime Environment": {"Main Class": ""}},
     stdout=MAIN_CLASS_MISSING, status=FAILURE, expect_log=False)

# A value found only in the append section comes back after one blank, and the class is looked
# up under that name: the setting is found (no message 210), the class " Main" is not.
case(name="main_class_only_in_append_section",
     ini_text="[Java Runtime Environment]\nJRE Path={dir}\\rt\n"
              "[Java Runtime Environment+]\nMain Class=Main\n"
              "[Class Path]\nClass Path=\\classes\n",
     stdout=class_not_found(" Main"), status=FAILURE, classes=[(" Main", False)], main_called=False)

# INI section and key names match without regard to case; "." in "Main Class" becomes "/".
case(name="ini_names_in_other_case",
     ini_text="[JAVA runtime ENVIRONMENT]\nmain CLASS=com.example.Main\njre path={dir}\\rt\n"
              "[class path]\nCLASS PATH=\\classes\n",
     files={"classes/com/example/Main.class": b""},
     classes=[("com/example/Main", True)], main_called=True, args_seen=[])

# A value longer than the first read buffer is read in full (255 units is the first to need the
# buffer doubled).
for length in (254, 255, 256, 1000):
    case(name="long_ini_value_%d" % length, ini={"Application": {"Cmd": "v" * length}}, args_seen=["v" * length])

# Keywords compare exactly: "Service" is no service, the launch runs as an application.
case(name="application_type_in_other_case", ini={"Application": {"Application Type": "Service"}},
     main_called=True)

def check_no_dot(run):
    return ["the case folder %s holds a dot, so this case proves nothing" % run.folder] if "." in run.folder else []


# Without any "." in the executable's path there is no settings file name: -1 and no message,
# even with a complete App.ini beside it.
case(name="exe_path_without_dot", exe="App", no_ini=True,
     files={"App.ini": "[Java Runtime Environment]\nJRE Path={dir}\\rt\nMain Class=Main\n"
                       "[Class Path]\nClass Path=\\classes\n"},
     stdout="", status=FAILURE, expect_log=False, log_at="rt/bin/server", check=check_no_dot)

# A service started from a console cannot reach the service control manager: no message, and
# the status is ERROR_FAILED_SERVICE_CONTROLLER_CONNECT (Wine takes about ten seconds to say so).
case(name="service_started_from_console", ini={"Application": {"Application Type": "service"}},
     stdout="", status=1063, expect_log=False)

# --- Where the runtime comes from ---------------------------------------------------------------

PER_USER_INI = "appdata/My Tool/{1234}/App.ini"
PRODUCT = {"Product Information": {"Product Name": "My: Tool", "Product Code": "{1234}"}}

# The per-user file's "JRE Path" wins over the main INI's, which names another valid runtime.
case(name="jre_path_from_per_user_file",
     ini=dict(PRODUCT, **{"Java Runtime Environment": {"JRE Path": r"{dir}\other"}}),
     files={"other/bin/server/jvm.dll": JVM, PER_USER_INI: "[Java Runtime Environment]\nJRE Path={dir}\\rt\n"},
     log_at="rt/bin/server", env_seen={"KORU_JVM_PATH": RT_JVM, "KORU_JVM_HOME": r"{dir}\rt"},
     main_called=True)

# A per-user file without "JRE Path" gives an empty one: the main INI's is not consulted, and with
# no other source the launch fails.
case(name="per_user_file_without_jre_path",
     ini=PRODUCT, files={PER_USER_INI: "[Java Runtime Environment]\nMinimum Version=1.8\n"},
     stdout="", status=FAILURE, expect_log=False)

# A relative "JRE Path" is resolved in the executable's folder with "Override WorkingDir", and
# the library path stays relative.
RELATIVE = {"app/rt/bin/server/jvm.dll": JVM, "app/classes/Main.class": b"",
            "rt/bin/server/jvm.dll": None, "classes/Main.class": None}
case(name="relative_jre_path_with_override_workingdir", exe="app/App.exe", files=RELATIVE,
     ini={"Java Runtime Environment": {"JRE Path": "rt"}, "Application": {"Override WorkingDir": "yes"}},
     cwd="{dir}", cwd_seen=r"{dir}\app", main_called=True,
     env_seen={"KORU_JVM_PATH": r"rt\bin\server\jvm.dll", "KORU_JVM_HOME": "rt",
               "Path": BASE_PATH + r";rt\bin"},
     options=[r"-Djava.class.path={dir}\app\classes;"])

case(name="relative_jre_path_without_override_workingdir", exe="app/App.exe", files=RELATIVE,
     ini={"Java Runtime Environment": {"JRE Path": "rt"}}, cwd="{dir}",
     stdout="", status=FAILURE, expect_log=False)

# The private runtime: the executable's folder itself, else its jre64 folder.
NO_JRE_PATH = {"Java Runtime Environment": {"JRE Path": None}}
case(name="private_runtime_in_exe_folder", ini=NO_JRE_PATH,
     files={"rt/bin/server/jvm.dll": None, "bin/java.dll": b"", "bin/server/jvm.dll": JVM},
     env_seen={"KORU_JVM_PATH": r"{dir}\bin\server\jvm.dll", "KORU_JVM_HOME": "{dir}"}, main_called=True)

case(name="private_runtime_in_jre64", ini=NO_JRE_PATH,
     files={"rt/bin/server/jvm.dll": None, "jre64/bin/java.dll": b"", "jre64/bin/server/jvm.dll": JVM},
     env_seen={"KORU_JVM_PATH": r"{dir}\jre64\bin\server\jvm.dll", "KORU_JVM_HOME": r"{dir}\jre64"},
     main_called=True)

# With bin\java.dll in the executable's folder that folder is the Java home, and jre64 is not
# looked at even though it holds a runtime; a folder named jre is never looked at.
case(name="exe_folder_java_home_hides_jre64", ini=NO_JRE_PATH,
     files={"rt/bin/server/jvm.dll": None, "bin/java.dll": b"",
            "jre64/bin/java.dll": b"", "jre64/bin/server/jvm.dll": JVM},
     stdout="", status=FAILURE, expect_log=False)

case(name="jre_folder_beside_exe_not_searched", ini=NO_JRE_PATH,
     files={"rt/bin/server/jvm.dll": None, "jre/bin/java.dll": b"", "jre/bin/server/jvm.dll": JVM},
     stdout="", status=FAILURE, expect_log=False)

# "JRE Path" naming a folder without a runtime falls through to the other sources silently.
case(name="no_runtime_found", ini={"Java Runtime Environment": {"JRE Path": r"{dir}\nothing"}},
     stdout="", status=FAILURE, expect_log=False)

# "JVM Type" picks the library inside the Java home.
BOTH_VMS = {"rt/bin/client/jvm.dll": JVM, "rt/bin/server/jvm.dll": JVM}
case(name="jvm_type_default_takes_client", files=BOTH_VMS, log_at="rt/bin/client",
     env_seen={"KORU_JVM_PATH": r"{dir}\rt\bin\client\jvm.dll", "KORU_JVM_HOME": r"{dir}\rt"})
case(name="jvm_type_server_takes_server", files=BOTH_VMS, log_at="rt/bin/server",
     ini={"Java Runtime Environment": {"JVM Type": "server"}},
     env_seen={"KORU_JVM_PATH": RT_JVM, "KORU_JVM_HOME": r"{dir}\rt"})

# --- The paired product -------------------------------------------------------------------------

def pe_image(machine):
    """The headers of a PE DLL for the given machine: enough for the launcher's test of the
    machine field (and for the loader to refuse it), no code at all."""
    dos_header = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40)
    file_header = struct.pack("<4sHHIIIHH", b"PE\0\0", machine, 0, 0, 0, 0, 0xE0, 0x2102)
    optional_header = struct.pack("<H", 0x10B) + bytes(0xE0 - 2)  # PE32
    return dos_header + file_header + optional_header


X86_JVM = pe_image(0x014C)
X86_RT = {"rt/bin/server/jvm.dll": X86_JVM}
HIGH_CODE = 0xC0000123


def pair_ini(product, return_code=None, **application):
    return {"Application": dict(application, **{"Pair Product": product, "Pair Return Code": return_code})}


def companion(folder, code=None, hold=False):
    """A companion in folder, ending with code (hex in exitcode.txt), held until released."""
    files = {folder + "/companion.exe": COMPANION}
    if code is not None:
        files[folder + "/exitcode.txt"] = "%X" % code
    if hold:
        files[folder + "/hold"] = b""
    return files


def wait_for_file(path, seconds=30):
    deadline = time.monotonic() + seconds
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def check_companions(started=None, command_line=None, not_started=(), held=False):
    """The companion in the folder started saw exactly command_line as its command line; the
    ones in not_started never ran. A held companion must still run when the launcher has ended:
    the check then releases it. Every started companion is waited for, so that its folder can go."""
    def check(run):
        problems = []
        if started is not None:
            folder = os.path.join(run.folder, started)
            if not wait_for_file(os.path.join(folder, "cmdline.txt")):
                problems.append("the companion in %s did not start" % started)
            else:
                # Windows gives a process started without a command line its application name as
                # it stands; Wine gives it the name in quotes, blanks or not.
                path = run.fill(command_line).encode("utf-8")
                with open(os.path.join(folder, "cmdline.txt"), "rb") as f:
                    seen = f.read()
                if seen not in (path, b'"' + path + b'"'):
                    expect(problems, "the companion's command line", path, seen)
            if held:
                if os.path.exists(os.path.join(folder, "ended.txt")):
                    problems.append("the held companion ended before the launcher did")
                os.remove(os.path.join(folder, "hold"))
            if not wait_for_file(os.path.join(folder, "ended.txt")):
                problems.append("the companion in %s did not end" % started)
        for folder in not_started:
            if os.path.exists(os.path.join(run.folder, folder, "cmdline.txt")):
                problems.append("the companion in %s was started" % folder)
        return problems
    return check


PAIR = r"{dir}\pair\companion.exe"

# A "JRE Path" naming a 32-bit runtime with "Pair Product" set: the companion starts with its own
# path as its whole command line, none of the launcher's arguments, and the 32-bit library is never
# loaded. Without "Pair Return Code" the launcher ends at once with 0 and does not wait: the
# companion is held until the launcher has ended (a launcher that waited would run into the
# timeout).
case(name="pair_product_started_for_x86_jre_path", files=dict(X86_RT, **companion("pair", HIGH_CODE, hold=True)),
     ini=pair_ini(PAIR), args='first "second arg"', stdout="", status=0, expect_log=False, timeout_ms=15000,
     check=check_companions("pair", PAIR, held=True))

# "Pair Return Code" is a yes-flag, case ignored: the companion's exit code, all 32 bits, becomes
# the launcher's. Any other text leaves it at 0. A path with blanks reaches the companion unquoted.
PAIR_WITH_BLANK = r"{dir}\pair dir\companion.exe"
# (Case folder names differ in more than case: Wine finds files without regard to case.)
for name, flag, status in [("yes", "yes", HIGH_CODE), ("upper_yes", "YES", HIGH_CODE),
                           ("mixed_yes", "Yes", HIGH_CODE), ("no", "No", 0), ("true", "true", 0)]:
    case(name="pair_return_code_" + name, files=dict(X86_RT, **companion("pair dir", HIGH_CODE)),
         ini=pair_ini(PAIR_WITH_BLANK, flag), args='-x "y z"', stdout="", status=status, expect_log=False,
         check=check_companions("pair dir", PAIR_WITH_BLANK))

# A companion that cannot be started gives no message and 0, even with "Pair Return Code".
case(name="pair_product_missing", files=X86_RT, ini=pair_ini(r"{dir}\pair\missing.exe", "yes"),
     stdout="", status=0, expect_log=False)

# A relative "Pair Product" is resolved against the current folder: the one the launcher was
# started in, or with "Override WorkingDir" the executable's folder. A companion waits in each
# place, each with its own exit code; the path text itself is the command line.
case(name="relative_pair_product", cwd=r"{dir}\work",
     files=dict(X86_RT, **companion("work/pair", 0x11), **companion("pair", 0x22)),
     ini=pair_ini(r"pair\companion.exe", "yes"), stdout="", status=0x11, expect_log=False,
     check=check_companions("work/pair", r"pair\companion.exe", not_started=("pair",)))

case(name="relative_pair_product_with_override_workingdir", exe="app/App.exe",
     files=dict(X86_RT, **companion("app/pair", 0x22), **companion("pair", 0x11)),
     ini=pair_ini(r"pair\companion.exe", "yes", **{"Override WorkingDir": "Yes"}),
     stdout="", status=0x22, expect_log=False,
     check=check_companions("app/pair", r"pair\companion.exe", not_started=("pair",)))

# A 64-bit runtime named by "JRE Path" runs in the launcher, "Pair Product" or not.
case(name="pair_product_with_x64_jre_path", files=companion("pair", 0x22), ini=pair_ini(PAIR, "yes"),
     main_called=True, check=check_companions(not_started=("pair",)))


def load_failed(path):
    return error_line("Failed to load Java VM library: %s (errno = 193).\n" % path)


# A 32-bit runtime is loaded like any other (and fails) when it is the private runtime folder's,
# even with "Pair Product" set, or when no "Pair Product" is set.
case(name="private_x86_runtime_not_handed_over", ini=dict(NO_JRE_PATH, **pair_ini(PAIR, "yes")),
     files=dict({"rt/bin/server/jvm.dll": None, "bin/java.dll": b"", "bin/server/jvm.dll": X86_JVM},
                **companion("pair", 0x22)),
     stdout=load_failed(r"{dir}\bin\server\jvm.dll"), status=FAILURE, expect_log=False,
     check=check_companions(not_started=("pair",)))

case(name="x86_jre_path_without_pair_product", files=X86_RT, ini=pair_ini(None, "yes"),
     stdout=load_failed(RT_JVM), status=FAILURE, expect_log=False)

# --- Runtimes from the registry -----------------------------------------------------------------

# The cases add version keys under HKEY_LOCAL_MACHINE for their run only (the harness deletes them
# afterwards) and name no "JRE Path"; their runtimes lie in the case folder.
JAVASOFT_JRE = r"Software\JavaSoft\Java Runtime Environment" + "\\"
JAVASOFT_JDK = r"Software\JavaSoft\Java Development Kit" + "\\"
NO_RT = {"rt/bin/server/jvm.dll": None}
TWO_JRES = dict(NO_RT, **{"jre6/bin/client/jvm.dll": JVM, "jre8/bin/server/jvm.dll": JVM})
TWO_JRE_KEYS = [(JAVASOFT_JRE + "1.6.0_22", r"{dir}\jre6", False),
                (JAVASOFT_JRE + "1.8.0_301", r"{dir}\jre8", False)]


def not_loaded(*folders):
    """The stand-ins in these folders were never loaded."""
    def check(run):
        return ["the stand-in in %s was loaded" % folder for folder in folders
                if os.path.exists(os.path.join(run.folder, folder, "jvm.log"))]
    return check


# The newest runtime within the limits wins; the limits default to none at all.
case(name="registry_newest_runtime", ini=NO_JRE_PATH, files=TWO_JRES, registry=TWO_JRE_KEYS,
     log_at="jre8/bin/server", main_called=True,
     env_seen={"KORU_JVM_PATH": r"{dir}\jre8\bin\server\jvm.dll", "KORU_JVM_HOME": r"{dir}\jre8"},
     check=not_loaded("jre6/bin/client"))

# "Maximum Version" 1.7 leaves the 1.6 runtime; so does "Preferred versions" 1.6 without limits.
for name, settings in [("maximum_version", {"Maximum Version": "1.7"}),
                       ("preferred_version", {"Preferred versions": "1.7;1.6"})]:
    case(name="registry_" + name, ini={"Java Runtime Environment": dict(settings, **{"JRE Path": None})},
         files=TWO_JRES, registry=TWO_JRE_KEYS, log_at="jre6/bin/client", main_called=True,
         env_seen={"KORU_JVM_PATH": r"{dir}\jre6\bin\client\jvm.dll"}, check=not_loaded("jre8/bin/server"))

# A JDK's Java home is its jre folder; the JDK folder itself is not probed.
case(name="registry_jdk_runtime", ini=NO_JRE_PATH,
     files=dict(NO_RT, **{"jdk/jre/bin/server/jvm.dll": JVM, "jdk/bin/server/jvm.dll": JVM}),
     registry=[(JAVASOFT_JDK + "1.8.0_301", r"{dir}\jdk", False)], log_at="jdk/jre/bin/server",
     main_called=True, env_seen={"KORU_JVM_HOME": r"{dir}\jdk\jre"}, check=not_loaded("jdk/bin/server"))

# A runtime known only to the 32-bit registry is the paired product's: the companion starts and
# no library is loaded, whatever its machine. Without "Pair Product" the 32-bit view is not
# searched at all.
REG32 = dict(NO_RT, **{"rt32/bin/client/jvm.dll": X86_JVM})
REG32_KEYS = [(JAVASOFT_JRE + "1.8.0_301", r"{dir}\rt32", True)]
case(name="registry_32bit_view_handed_over", ini=dict(NO_JRE_PATH, **pair_ini(PAIR, "yes")),
     files=dict(REG32, **companion("pair", 0x22)), registry=REG32_KEYS,
     stdout="", status=0x22, expect_log=False, check=check_companions("pair", PAIR))

case(name="registry_32bit_view_without_pair_product", ini=NO_JRE_PATH, files=REG32, registry=REG32_KEYS,
     stdout="", status=FAILURE, expect_log=False)

# --- Loading the JVM library --------------------------------------------------------------------

case(name="jvm_library_not_loadable", files={"rt/bin/server/jvm.dll": "this is no DLL\n"},
     stdout=error_line("Failed to load Java VM library: %s (errno = 193).\n" % RT_JVM),
     status=FAILURE, expect_log=False)

case(name="jvm_without_create_entry", files={"rt/bin/server/jvm.dll": JVM_WITHOUT_CREATE},
     stdout=error_line("Windows exception: cannot find CreateJavaVM JNI (errno = 127).\n"),
     status=FAILURE, expect_log=False)

case(name="jvm_without_default_args_entry", files={"rt/bin/server/jvm.dll": JVM_WITHOUT_DEFAULT_ARGS},
     stdout=error_line("Windows exception: cannot find CreateJavaVM JNI (errno = 127).\n"),
     status=FAILURE, expect_log=False)

# --- JNI_CreateJavaVM failing -------------------------------------------------------------------

for result, reason in [(-1, "unknown"), (-2, "thread detached from VM"), (-3, "JNI version error"),
                       (-4, "not enough memory"), (-5, "VM already created"), (-6, "invalid arguments"),
                       (-7, "")]:
    case(name="create_jvm_fails_%d" % -result, script="create_result %d\n" % result,
         stdout=jvm_not_created(reason), status=FAILURE, options=[CLASS_PATH],
         main_called=False, absent=("destroy-begin",))

# --- A packaged application ---------------------------------------------------------------------

# The jar appended to the executable is the whole class path; the VM parameters follow in order
# (quotes removed), then the two hooks; the command-line arguments and the "Cmd" tokens reach
# main in order.
case(name="packaged_application", packaged=True, base_files=False,
     files={"rt/bin/server/jvm.dll": JVM}, script="main echo\n",
     ini={"Java Runtime Environment": {"Main Class": "com.example.App",
                                       "Virtual Machine Parameters": '-Xmx64m  -Dp="a b" -ea'},
          "Class Path": None, "Application": {"Embedded Jar": "yes", "Cmd": "x"}},
     args='a "b c" d',
     options=["-Djava.class.path={exe}", "-Xmx64m", "-Dp=a b", "-ea"],
     classes=[("com/example/App", True)], args_seen=["a", "b c", "d", "x"],
     stdout="a\nb c\nd\nx\n", order=("main-begin", "main-end", "detach", "destroy"))


def check_wildcard_class_path(run):
    options = [text for text, hook in run.log.options if not hook]
    jars = [run.fill(r"{dir}\lib\a.jar"), run.fill(r"{dir}\lib\b.jar")]
    accepted = ["-Djava.class.path=%s;%s;%s" % (first, second, run.fill("{exe}"))
                for first, second in (jars, jars[::-1])]
    return [] if options[:1] and options[0] in accepted else [
        "class path option %r is none of %r" % (options[:1], accepted)]


# Wildcard entries give one entry per match (in the file system's order), and the executable
# follows after a ';'.
case(name="packaged_application_with_wildcard_class_path", packaged=True, base_files=False,
     files={"rt/bin/server/jvm.dll": JVM, "lib/a.jar": b"", "lib/b.jar": b""},
     ini={"Java Runtime Environment": {"Main Class": "com.example.App"},
          "Class Path": {"Class Path": r"\lib\*.jar"}, "Application": {"Embedded Jar": "YES"}},
     classes=[("com/example/App", True)], check=check_wildcard_class_path)

# An empty class path is reported; the JVM is still created with what was gathered, and the main
# class is then not found (whether the launch goes on after message 209 is the launcher's choice).
case(name="class_path_empty", ini={"Class Path": {"Class Path": r"\missing.jar"}},
     stdout=(error_line("Java Class Path was not specified in INI file.") + class_not_found("Main"),
             error_line("Java Class Path was not specified in INI file.")),
     status=FAILURE, main_called=False)

# How "Class Path" entries become the class path: absolute ones stay as written, relative ones
# exist beside the executable (an empty piece names the folder itself), variables are expanded.
for name, class_path, expected in [
        ("absolute_entry_kept", r"C:\x\y.jar;\classes", r"C:\x\y.jar;{dir}\classes;"),
        ("empty_piece_names_exe_folder", r"\a.jar;;\classes", r"{dir}\a.jar;{dir};{dir}\classes;"),
        ("missing_relative_entry_dropped", r"\missing.jar;\classes", r"{dir}\classes;"),
        ("variable_expanded", r"%E2E_LIB%\x.jar;\classes", r"C:\app\x.jar;{dir}\classes;")]:
    case(name="class_path_" + name, files={"a.jar": b""}, env={"E2E_LIB": r"C:\app"},
         ini={"Class Path": {"Class Path": class_path}}, options=["-Djava.class.path=" + expected],
         classes=[("Main", True)], main_called=True)

# Option strings are handed over in the ANSI code page (Windows-1252 under Wine's English locale).
case(name="options_in_ansi_code_page", exe="B\u00fccher/App.exe",
     files={"classes/Main.class": None, "B\u00fccher/classes/Main.class": b""},
     ini={"Java Runtime Environment": {"Virtual Machine Parameters": "-Dname=gr\u00fc\u00dfe"}},
     options=["-Djava.class.path={dir}\\B\u00fccher\\classes;", "-Dname=gr\u00fc\u00dfe"],
     classes=[("Main", True)], main_called=True)

# An error line written before the Java program ends the process with System.exit is not lost:
# the JVM is still created after message 209 (its default class path is the current folder).
case(name="error_line_survives_system_exit", files={"classes/Main.class": None, "Main.class": b""},
     ini={"Class Path": {"Class Path": r"\missing.jar"}}, script="main print bye\nmain exit 3\n",
     stdout=error_line("Java Class Path was not specified in INI file.") + "bye\n", status=3,
     options=[], main_called=True)

# --- Arguments ------------------------------------------------------------------------------------

for name, tail, expected in [
        ("quoted_and_plain", 'a "b c" d', ["a", "b c", "d"]),
        ("empty_quotes", '"" x', ["", "x"]),
        ("quote_inside_token", '-Dx="a b"', ['-Dx="a', 'b"']),
        ("closing_quote_then_text", '"abc"def', ["abc", "def"]),
        ("unclosed_quote", '"abc', ["abc"]),
        ("lone_quote_at_end", 'x "', ["x", ""]),
        ("tab_inside_token", "a\tb", ["a\tb"]),
        ("backslash_before_quote", '"C:\\dir\\" x', ["C:\\dir\\", "x"]),
        ("no_options_of_its_own", "-nosplash /nosplash", ["-nosplash", "/nosplash"]),
        ("none", "", [])]:
    case(name="arguments_" + name, args=tail, args_seen=expected, script="main echo\n",
         stdout="".join(arg + "\n" for arg in expected))

# Arguments reach Java as UTF-16, whatever the code page.
case(name="arguments_outside_the_code_page", args="gr\u00fc\u00dfe \u65e5\u672c \U0001F600",
     args_seen=["gr\u00fc\u00dfe", "\u65e5\u672c", "\U0001F600"])

# Whitespace around the whole command line never reaches main.
case(name="arguments_surrounding_whitespace", cmd=' \t"{exe}" a \t\r\n', args_seen=["a"])

# An unquoted program path with a blank loses only its first part.
case(name="arguments_unquoted_program_path_with_blank", exe="Program Files/App.exe",
     files={"classes/Main.class": None, "Program Files/classes/Main.class": b""},
     cmd=r"{dir}\Program Files\App.exe a", args_seen=[r"Files\App.exe", "a"])

# "Cmd" is expanded, split like a command line, and its non-empty tokens follow the arguments.
case(name="arguments_from_cmd_setting", env={"E2E_WORD": "hello"}, args="first",
     ini={"Application": {"Cmd": '%E2E_WORD% "q r"  ""'}}, args_seen=["first", "hello", "q r"])

# --- How main ends ----------------------------------------------------------------------------------

# System.exit ends the process with its code at once: the exit hook runs, the teardown does not.
for code in (7, -2):
    case(name="system_exit_%s" % str(code).replace("-", "minus_"), script="main print bye\nmain exit %d\n" % code,
         stdout="bye\n", status=code & 0xFFFFFFFF,
         order=("main-begin", "exit", "exit-hook", "exit-hook-returned"), absent=("detach", "destroy-begin"))

case(name="main_class_missing", ini={"Java Runtime Environment": {"Main Class": "com.example.Missing"}},
     stdout=class_not_found("com/example/Missing"), status=FAILURE,
     stderr_has=("java.lang.NoClassDefFoundError: com/example/Missing",),
     classes=[("com/example/Missing", False)], main_called=False, order=("create", "destroy"))

case(name="main_method_missing", script="main_method missing\n",
     stdout=NO_MAIN_METHOD, status=FAILURE, main_called=False, order=("create", "destroy"))

# Real JVMs answer the lookup of a missing main with a pending NoSuchMethodError: it is taken
# for what it is, a class without main, and reported as such.
case(name="main_method_missing_with_exception", script="main_method missing_throws\n",
     stdout=NO_MAIN_METHOD, status=FAILURE, main_called=False)

# An uncaught exception alone does not change the result.
case(name="main_throws", script="main print before\nmain throw java/lang/IllegalStateException boom\n",
     stdout="before\n", stderr_has=('Exception in thread "main" java.lang.IllegalStateException: boom',),
     order=("main-end", "detach", "destroy"))

case(name="main_throws_with_failure_check", ini={"Application": {"Failure Check": "YES"}},
     script="main throw java/lang/IllegalStateException boom\n",
     order=("main-end", "detach", "destroy"))

case(name="detach_fails", script="detach_result -1\nmain print hi\n",
     stdout="hi\n", status=FAILURE, order=("main-end", "detach", "destroy"))

# The teardown waits in DestroyJavaVM for the program's non-daemon threads.
case(name="destroy_waits_for_non_daemon_thread", script="main print early\nmain thread 1500 late\n",
     stdout="early\nlate\n", order=("main-end", "detach", "destroy-begin", "thread-end", "destroy"))

# With IBM runtimes accepted the Java main thread must not detach; the run still ends when the
# program's last non-daemon thread has ended, not never.
case(name="ibm_accepted_main_thread_stays_attached", ini={"Java Runtime Environment": {"VM Provider": "any"}},
     script="main print early\nmain thread 800 late\n", stdout="early\nlate\n",
     order=("main-end", "destroy-begin", "thread-end", "destroy"), absent=("detach",), timeout_ms=15000)

# --- Library path and environment ---------------------------------------------------------------

for name, library_path, system_path, first_option, path in [
        ("library_path", r"C:\native", None,
         r"-Djava.library.path=C:\native;{dir}\;.;" + BASE_PATH + r";{dir}\rt\lib", BASE_PATH + r";{dir}\rt\bin"),
        ("library_path_ending_in_separator", "C:\\native;", None,
         r"-Djava.library.path=C:\native;{dir}\;.;" + BASE_PATH + r";{dir}\rt\lib", BASE_PATH + r";{dir}\rt\bin"),
        ("system_path", None, r"C:\tools", None, r"C:\tools;" + BASE_PATH + r";{dir}\rt\bin"),
        ("system_path_with_variable", None, r"%E2E_TOOLS%\bin", None, r"C:\e2e\bin;" + BASE_PATH + r";{dir}\rt\bin")]:
    case(name=name, env={"E2E_TOOLS": r"C:\e2e"},
         ini={"Java Runtime Environment": {"Library Path": library_path, "System Path": system_path}},
         options=([first_option] if first_option else []) + [CLASS_PATH],
         env_seen={"KORU_JVM_PATH": RT_JVM, "KORU_JVM_HOME": r"{dir}\rt", "Path": path})

def check_default_args_version(run):
    version = run.log.value("default-args")
    return [] if version == str(0x10001) else ["JNI_GetDefaultJavaVMInitArgs asked for version %r" % version]


# --- Virtual machine parameters ---------------------------------------------------------------

# Blanks separate parameters except inside quotes; quotes are removed; a lone quote stays.
for name, parameters, expected in [
        ("leading_blank", " -ea", ["-ea"]),
        ("quoted_blank", '-Dp="a b"  -ea', ["-Dp=a b", "-ea"]),
        ("unclosed_quote", '-Da="b c', ['-Da="b', "c"]),
        ("variable_expanded", "-Dhome=%E2E_HOME%", [r"-Dhome=C:\h"])]:
    case(name="vm_parameters_" + name, env={"E2E_HOME": r"C:\h"},
         ini={"Java Runtime Environment": {"Virtual Machine Parameters": parameters}},
         options=[CLASS_PATH] + expected, main_called=True)


def memory_form(parameter, physical_bytes):
    """A share of physical memory rewritten into kilobytes, worked out independently."""
    prefix, numbers = re.match(r"(-X(?:ms|mx|ss)[^0-9:]*)([0-9:]*)[pP]$", parameter).groups()
    share, minimum, maximum = ([int(n) if n else 0 for n in numbers.split(":")] + [0, 0, 0])[:3]
    kilobytes = int(float(physical_bytes >> 10) * (share / 100.0))
    if maximum and kilobytes > maximum * 1024:
        kilobytes = maximum * 1024
    if minimum * 1024 > kilobytes:
        kilobytes = minimum * 1024
    return "%s%dK" % (prefix, kilobytes)


MEMORY_FORMS = ["-Xmx50P", "-Xmx50:256:1024P", "-Xms1:1024P", "-Xmx:64p"]


def check_memory_forms(run):
    physical = int(run.log.value("physical-memory"))
    expected = [CLASS_PATH.replace("{dir}", run.fill("{dir}"))] + [memory_form(p, physical) for p in MEMORY_FORMS]
    expected += ["-xmx25P"]
    actual = [text for text, hook in run.log.options if not hook]
    return [] if actual == expected else ["memory forms: expected %r, got %r" % (expected, actual)]


# Shares of physical memory become kilobytes, with the machine's own figure; the prefix of a
# memory form is case-sensitive.
case(name="vm_parameters_memory_forms",
     ini={"Java Runtime Environment": {"Virtual Machine Parameters": " ".join(MEMORY_FORMS + ["-xmx25P"])}},
     main_called=True, check=check_memory_forms)

# --- The Java main thread's stack -------------------------------------------------------------------

# The thread that creates the JVM gets the "-Xss" size, else the JVM's default Java stack size
# (5 MiB here; the executable's own default is 2 MiB).
# The default is asked for only when there is no "-Xss".
for name, parameters, default, stack in [
        ("xss_3m", "-Xss3m", 5 * MIB, 3 * MIB),
        ("xss_2m", "-Xss2m", 5 * MIB, 2 * MIB),
        ("last_xss_decides", "-Xss4m -Xss3072k", 5 * MIB, 3 * MIB),
        ("default_java_stack_size", "-Xmx64m", 5 * MIB, 5 * MIB),
        ("no_default_java_stack_size", "-Xmx64m", -1, 2 * MIB)]:
    case(name="stack_" + name, script="default_stack %d\n" % default,
         ini={"Java Runtime Environment": {"Virtual Machine Parameters": parameters}},
         options=[CLASS_PATH] + parameters.split(), stack=stack, main_called=True,
         absent=("default-args",) if "-Xss" in parameters else (),
         order=("create",) if "-Xss" in parameters else ("default-args", "create"),
         check=None if "-Xss" in parameters else check_default_args_version)

# A stack that cannot be had: the Java main thread's work runs on the entry thread instead.
case(name="stack_too_large_for_a_thread", ini={"Java Runtime Environment": {"Virtual Machine Parameters": "-Xss1000000g"}},
     options=[CLASS_PATH, "-Xss1000000g"], main_called=True, order=("create", "main-end", "detach", "destroy"))

# --- Output redirection -------------------------------------------------------------------------------

case(name="output_file_in_missing_folder", script="main echo\n", args="a b",
     ini={"Application": {"Output File": r"{dir}\logs\app\out.log"}},
     stdout="", files_after={"logs/app/out.log": "a\nb\n"}, order=("setOut", "main-begin"))

case(name="output_file_emptied", script="main echo\n", args="new",
     files={"logs/out.log": "old content that must go\n"},
     ini={"Application": {"Output File": r"%E2E_LOGS%\out.log"}}, env={"E2E_LOGS": r"{dir}\logs"},
     stdout="", files_after={"logs/out.log": "new\n"})

case(name="error_file", script="main print visible\nmain throw java/lang/IllegalStateException boom\n",
     ini={"Application": {"Error File": r"{dir}\err\e.log"}},
     stdout="visible\n",
     files_after={"err/e.log": 'Exception in thread "main" java.lang.IllegalStateException: boom\n'},
     order=("setErr", "main-begin"))

# The extended-length prefix stays on every folder made.
case(name="output_file_extended_length_path", script="main echo\n", args="x",
     ini={"Application": {"Output File": r"\\?\{dir}\deep\er\out.log"}},
     stdout="", files_after={"deep/er/out.log": "x\n"})

# A stream that cannot be redirected stays where it was; the JVM start goes on.
case(name="output_file_not_creatable", script="main echo\n", args="x",
     files={"blocker": "a file where a folder is needed\n"},
     ini={"Application": {"Output File": r"{dir}\blocker\out.log"}},
     stdout="x\n", stderr_has=("java.io.FileNotFoundException",), absent=("setOut",), main_called=True)

case(name="output_and_error_files", script="main echo\n", args="x",
     ini={"Application": {"Output File": r"{dir}\o\out.log", "Error File": r"{dir}\o\err.log"}},
     stdout="", files_after={"o/out.log": "x\n", "o/err.log": ""}, order=("setOut", "setErr", "main-begin"))


# --- Running as a service -------------------------------------------------------------------------
# Installed under a name of its own ({service}) with the arguments of "args" in its binPath,
# started with "sc start {service} a "b c"" and watched with "sc query".

def service_case(**fields):
    CASES.append(ServiceCase(**fields))


def stop_thread(run, problems):
    """The thread that attached after main began: it must be another than main's and must have
    detached again before the JVM was destroyed (which would otherwise wait for it forever)."""
    records = [(tag, f[0] if f else "") for tag, f in run.log.records]
    attaches = [thread for tag, thread in records if tag == "attach"]
    if len(attaches) != 1:
        problems.append("expected one thread to attach (the stop thread), got %r" % attaches)
        return None
    thread = attaches[0]
    if thread == run.log.value("create"):
        problems.append("the stop thread is the thread that created the JVM and runs main")
    attach, detach = records.index(("attach", thread)), (records.index(("detach", thread))
                                                         if ("detach", thread) in records else -1)
    destroy = records.index(("destroy-begin", "")) if ("destroy-begin", "") in records else len(records)
    if not attach < detach < destroy:
        problems.append("the stop thread did not detach before the JVM was destroyed: %r" % records)
    return thread


def check_stop_called(run):
    problems = []
    thread = stop_thread(run, problems)
    stops = [f[0] for tag, f in run.log.records if tag == "stop"]
    if stops != [thread]:
        problems.append("stop() should run once, on the stop thread %s; it ran on %r" % (thread, stops))
    return problems


def check_no_stop_method(run):
    problems = []
    stop_thread(run, problems)
    described = [f[0] for tag, f in run.log.records if tag == "describe"]
    expect_described = ["java.lang.NoSuchMethodError: stop"]
    if described != expect_described:
        problems.append("exceptions described: expected %r, got %r" % (expect_described, described))
    return problems


SERVICE = {"Application Type": "service"}
SERVICE_ARGS = 'x "y z"'
START_ARGS = ["a", "b c"]

# main gets the binPath arguments, then the service name (left out when "Omit Service Name" has
# any text, even No) and the start arguments. The service shows RUNNING while main runs; "sc
# stop" calls the main class's static stop() on a thread attached for it (the service is
# STOP_PENDING meanwhile), stop() makes main return, and the service reports STOPPED.
for name, omit, service_name in [("service_name_first", None, ["{service}"]),
                                 ("omit_service_name_no", "No", []),
                                 ("omit_service_name_empty", "", ["{service}"])]:
    service_case(name="service_" + name, ini={"Application": dict(SERVICE, **{"Omit Service Name": omit})},
                 args=SERVICE_ARGS, start_args=START_ARGS, script="stop_method present\nmain wait_stop\n",
                 stop=True, args_seen=["x", "y z"] + service_name + START_ARGS,
                 states=("RUNNING", "STOP_PENDING?", "STOPPED"),
                 service_states={"main-begin": "RUNNING", "stop": "STOP_PENDING"},
                 order=("main-begin", "attach", "stop", "main-stopped", "main-end", "destroy", "unloaded"),
                 absent=("describe",), check=check_stop_called)

# Without stop() the lookup's NoSuchMethodError is described and the stop thread detaches; the
# service stays STOP_PENDING until main ends by itself.
service_case(name="service_without_stop_method", ini={"Application": SERVICE}, start_args=START_ARGS,
             script="main wait_file release\n", stop=True, release=True,
             states=("RUNNING", "STOP_PENDING", "STOPPED"), service_states={"main-begin": "RUNNING"},
             order=("main-begin", "attach", "describe", "detach", "main-released", "main-end", "destroy",
                    "unloaded"),
             absent=("stop",), check=check_no_stop_method)

# System.exit in main reports STOPPED through the exit hook, before the process ends.
# The JVM takes its time to end after the exit hook: the launcher must not tear down meanwhile.
service_case(name="service_system_exit", ini={"Application": SERVICE}, start_args=START_ARGS,
             script="exit_delay 2000\nmain wait_file release\nmain exit 5\n", release=True,
             states=("RUNNING", "STOPPED"), service_states={"main-begin": "RUNNING", "exit-hook": "STOPPED"},
             order=("main-begin", "main-released", "exit", "exit-hook", "exit-hook-returned", "unloaded"),
             absent=("detach", "destroy-begin", "attach"))


# --- Single instance --------------------------------------------------------------------------
# A first instance whose main waits for "release"; second instances from the same path hand their
# arguments to its secondaryMain and end with its answer, without loading a runtime.

SINGLE = {"Application": {"Single Instance": "yes"}}
WAITING_MAIN = "main wait_file release\n"

# The int answer becomes the exit status, sign and all; no arguments give one empty string.
CASES.append(SingleInstanceCase(
    name="single_instance_int_answer", ini=SINGLE, args="first",
    script="secondary_main int -2\n" + WAITING_MAIN,
    seconds=[('a "b c"', -2), ("", -2)], handed=[["a", "b c"], [""]],
    args_seen=["first"], order=("main-begin", "secondary-begin", "main-released")))

# A void secondaryMain answers 0 before it runs.
CASES.append(SingleInstanceCase(
    name="single_instance_void_answer", ini=SINGLE, script="secondary_main void\n" + WAITING_MAIN,
    seconds=[("x", 0)], handed=[["x"]]))

# The argument area holds 1040 units: 1038 units, the terminator and the final zero fit; one
# unit more ends the second instance with -1, and nothing reaches secondaryMain.
CASES.append(SingleInstanceCase(
    name="single_instance_argument_area_limit", ini=SINGLE, script="secondary_main int 5\n" + WAITING_MAIN,
    seconds=[("y" * 1038, 5), ("y" * 1039, FAILURE), ("p " + "q" * 1035, 5)],
    handed=[["y" * 1038], ["p", "q" * 1035]]))

# Without secondaryMain the second instance gets no answer: it waits for the first instance to
# end and takes its exit status.
CASES.append(SingleInstanceCase(
    name="single_instance_without_secondary_main", ini=SINGLE,
    script=WAITING_MAIN + "main exit 7\n", seconds=[("z", 7)], handed=[], release_while_waiting=True,
    status=7, order=("main-begin", "attach", "describe", "detach", "main-released")))


# --- The runtime-not-found dialog ----------------------------------------------------------------
# Each case finds no runtime ("JRE Path" names a folder without one), so the dialog appears on a
# virtual display of the case's own; dialog_probe.exe reads it and answers it (DialogCase in
# harness.py).

from harness import DialogCase  # noqa: E402

NO_RUNTIME = {"JRE Path": r"{dir}\nothing"}
JRE_NOT_FOUND = "The Java Runtime Environment (JRE) was not found. Please  download and install a JRE "


def dialog_shows(message):
    """The probe's record of the dialog as it first appears: no owner (a console program has no
    active window), centred on the work area, OK disabled, the link taken over."""
    return ["caption JRE Not Found", "owner none", "centred yes", "icon yes", "link-dlgcode 128",
            "text 1 OK", "text 2 Cancel", "text 201 ", "text 202 Browse...", "text 203 " + message,
            "text 205 https://www.java.com/download/",
            "text 206 If you have a JRE installed you can browse for it below:", "ok-enabled 0"]


def check_nothing_stored(run):
    """Cancel writes no settings: no per-user file and no paired settings file."""
    stored = [os.path.relpath(os.path.join(root, name), run.folder)
              for root, _, names in os.walk(os.path.join(run.folder, "appdata")) for name in names]
    if os.path.exists(os.path.join(run.folder, "Pair.ini")):
        stored.append("Pair.ini")
    return ["settings written although the dialog was cancelled: %r" % stored] if stored else []


# Cancel, Esc and the close box all end the launch with the failure status and store nothing,
# even with a paired product, where OK would store the folder. The server type names a server
# JVM, and the limits name the versions.
for action, jre, message in [
        ("cancel", dict(NO_RUNTIME, **{"JVM Type": "server", "Minimum Version": "1.5", "Maximum Version": "1.6.0.0"}),
         JRE_NOT_FOUND + "with a server JVM (version between 1.5 and 1.6) from:"),
        ("escape", dict(NO_RUNTIME, **{"JVM Type": "favor_server"}), JRE_NOT_FOUND + "(latest version) from:"),
        ("close", NO_RUNTIME, JRE_NOT_FOUND + "(latest version) from:")]:
    CASES.append(DialogCase(
        name="dialog_" + action, dialog_action=action, dialog_shows=dialog_shows(message),
        ini=dict(PRODUCT, **{"Java Runtime Environment": jre}, **pair_ini(r"{dir}\Pair.exe")),
        stdout="", status=FAILURE, expect_log=False, check=check_nothing_stored))

# Browse picks a folder holding a client VM: the edit shows it, OK becomes enabled, and OK runs
# that runtime in the launcher (an x64 library is not handed over) and stores the folder, with
# its trailing backslash, as "JRE Path" in the per-user files of the launcher and of the paired
# product (their folders are made below an existing APPDATA).
CHOSEN = "[Java Runtime Environment]\nJRE Path={pick}\\picked\\\n"
DIALOG_PER_USER = "appdata/My Tool/{1234}/"
DIALOG_BROWSE = dict(dialog_action="browse", browse_folder="picked",
                     files={"picked/bin/client/jvm.dll": JVM, "appdata/.keep": ""})
CASES.append(DialogCase(
    name="dialog_browse_and_ok", **DIALOG_BROWSE,
    dialog_shows=dialog_shows(JRE_NOT_FOUND + "(latest version) from:")
    + ["browsed", r"text 201 {pick}\picked", "ok-enabled 1"],
    ini=dict(PRODUCT, **{"Java Runtime Environment": NO_RUNTIME}, **pair_ini(r"{dir}\Pair.exe")),
    log_at="picked/bin/client", main_called=True,
    env_seen={"KORU_JVM_PATH": r"{pick}\picked\bin\client\jvm.dll", "KORU_JVM_HOME": r"{pick}\picked"},
    files_after={DIALOG_PER_USER + "JreDialog.ini": CHOSEN, DIALOG_PER_USER + "Pair.ini": CHOSEN,
                 "Pair.ini": None}))

# The same folder with "JVM Type" server holds no usable library: the edit shows the folder but
# OK stays disabled, so the probe can only cancel, and nothing is stored.
CASES.append(DialogCase(
    name="dialog_browse_without_usable_vm", **DIALOG_BROWSE,
    dialog_shows=dialog_shows(JRE_NOT_FOUND + "with a server JVM (latest version) from:")
    + ["browsed", r"text 201 {pick}\picked", "ok-enabled 0"],
    ini=dict(PRODUCT, **{"Java Runtime Environment": dict(NO_RUNTIME, **{"JVM Type": "server"})},
             **pair_ini(r"{dir}\Pair.exe")),
    stdout="", status=FAILURE, expect_log=False,
    files_after={DIALOG_PER_USER + "JreDialog.ini": None, DIALOG_PER_USER + "Pair.ini": None,
                 "Pair.ini": None}))

# A 32-bit library picked in the dialog with "Pair Product" set is handed over: the companion
# runs instead of the JVM (its exit code is the launcher's), and the folder is stored for the
# launcher and for the paired product under its own name.
CASES.append(DialogCase(
    name="dialog_browse_x86_handed_over", dialog_action="browse", browse_folder="picked",
    files=dict(companion("pair", 0x2A), **{"picked/bin/client/jvm.dll": X86_JVM, "appdata/.keep": ""}),
    dialog_shows=dialog_shows(JRE_NOT_FOUND + "(latest version) from:")
    + ["browsed", r"text 201 {pick}\picked", "ok-enabled 1"],
    ini=dict(PRODUCT, **{"Java Runtime Environment": NO_RUNTIME}, **pair_ini(PAIR, "yes")),
    stdout="", status=0x2A, expect_log=False, check=check_companions("pair", PAIR),
    files_after={DIALOG_PER_USER + "JreDialog.ini": CHOSEN, DIALOG_PER_USER + "companion.ini": CHOSEN,
                 "pair/companion.ini": None}))
