#!/usr/bin/env python3
"""Runs the scenario table against the native build, the Windows build under Wine, or
both, and checks each run against its row and the two builds against each other.

  run.py --native build/native/ZPConfigUtil
  run.py --wine build/mingw/ZPConfigUtil.exe --native build/native/ZPConfigUtil
  run.py --wine32 build/mingw-x86/ZPConfigUtil-x86.exe ...

--wine32 runs the 32-bit build on 32-bit Windows (a win32 prefix), and its rows marked
wow64 on 64-bit Windows (a win64 prefix made after the 32-bit Wine was installed).

Options: --only GLOB (scenario names, repeatable), --skip GLOB (likewise), --jobs N (Wine
runs at a time, default 2), --fixtures DIR (the output of tests/wine/build_fixtures.sh;
built afresh when absent), --keep (keep the work folder). A failure names the scenario,
the build, what was expected and what came; a failed Wine run keeps its prefix. A Wine run
the harness tried again after a harness error of its own says so ("retried after a harness
error: SCENARIO: REASON").
The last line is "N passed, M failed"; the exit status is 0 only when nothing failed."""

import argparse
import concurrent.futures
import difflib
import fnmatch
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))

from exe_checks import check_imports, check_version_resource  # noqa: E402
from machines import (ARBITER, ENUM, EVENT_SOURCE, NLS_CODE_PAGE, SERVICE, REG_BINARY,  # noqa: E402
                      REG_DWORD, Reg, decode_reg, encode, parse_reg, reg_file_bytes)
from scenarios import BROKEN_MACHINE, NO_KEY, RESTART_FAILED, SCENARIOS  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
RUN_SCENARIO = ROOT / "tests" / "wine" / "run_scenario.sh"
BUILD_FIXTURES = ROOT / "tests" / "wine" / "build_fixtures.sh"

# Where the builds differ. Mostly what Wine cannot show, and so is checked on the native
# build alone: rows name the first and "read-only", "exit-2" and "default-machine"; the
# others are fields of every row (restart, failed_opens, calls, unchanged machine file)
# that only the native run checks. Rows name "code-page-932" for the Windows build alone.
KNOWN_DIFFERENCES = {
    "presence": "Wine's SetupAPI ignores DIGCF_PRESENT and lists devices that are not started",
    "restart": "Wine cannot attach property-change parameters (SetupDiSetClassInstallParamsW "
               "fails), so the program never asks for a restart there and every set says on "
               "standard error that the board could not be restarted; a restart that leaves "
               "DI_NEEDREBOOT set shows only on the simulated machine",
    "failed-opens": "the test driver under Wine logs what reaches it; a failed open never does",
    "read-only": "Wine denies the prefix's own user nothing, so read-only keys cannot be shown",
    "registry-calls": "only the simulated machine counts the program's registry operations",
    "exit-2": "a machine file that cannot be read is a failure of the simulated platform",
    "default-machine": "ZPCONFIG_MACHINE and the built-in default machine belong to the "
                       "simulation",
    "code-page-932": "the simulated machine converts to code pages 1252 and 65001 only; the "
                     "double-byte code page 932 is shown under Wine (Windows build only)",
    "run-mutex": "the run mutex Global\\ZPConfigUtil, its notes and its 60-second give-up are "
                 "the Windows build's; the simulated machine's runs wait on its file's lock",
    "console": "a console (WriteConsoleW) and its output code page are the Windows build's; "
               "the native build writes UTF-8 whatever its output goes to",
    # Where Wine or a double stays kinder than Windows, and what stands in for the check.
    "mutex-rights": "Wine checks no access on named objects: that a standard user may wait on "
                    "the run mutex an administrator created rests on the mutex's explicit "
                    "security, as Microsoft documents it",
    "wow64-calls": "the doubles serve resource data under WOW64, where Windows answers "
                   "CR_CALL_NOT_IMPLEMENTED, and Wine has no ARM64 WOW64: the 32-bit exe is "
                   "refused before such a call (IsWow64Process2; wow64 rows on x64 only)",
    "five-part-manifest": "Wine starts an exe whose manifest names an assembly version of five "
                          "parts, which Windows refuses: the exe check reads the version back",
    "node-properties": "the configuration-manager double writes a friendly name straight into "
                       "the Enum key, where Windows asks its Plug and Play service, which may "
                       "refuse a standard user with an undocumented code: the program counts "
                       "any refused write to a node that reads as a want of rights",
    "utf-8-flags": "Wine accepts WC_NO_BEST_FIT_CHARS when the ANSI code page is UTF-8, where "
                   "Windows refuses the conversion: a unit test pins which flags each code "
                   "page gets",
    "force-claim": "the COM port database double refuses a claim of a number in use whatever "
                   "ForceClaim says, as the reimplementation it follows does (the flag is "
                   "reserved); the simulated machine lets a forced claim through. The program "
                   "never forces",
    "console-code-pages": "Wine's console takes only an output code page it can convert to "
                          "(chcp 42 and chcp 1200 leave it at 437), so the fallback of "
                          "redirected output to UTF-8 never runs there",
    "double-flags": "the configuration-manager double ignores the flags arguments, where "
                    "Windows refuses unknown flags with CR_INVALID_FLAG (the program passes 0 "
                    "or the documented flags)",
    "config-errors": "Wine 8.0 has no CM_MapCrToWin32Err, which Windows 7 and later export: "
                     "the configuration-manager double serves it, mapping the codes its calls "
                     "give as Windows does",
}

# The locale the Windows build runs under for a machine's ANSI code page (Wine takes its
# code page from the locale), and the codec of that build's redirected output.
CODE_PAGES = {"1252": ("C.UTF-8", "cp1252"), "932": ("ja_JP.UTF-8", "cp932"),
              "65001": ("hi_IN.UTF-8", "utf-8")}

# run_scenario.sh bounds each Wine step and tries a scenario twice at most; this bounds the
# whole run, should the harness itself hang.
WINE_RUN_SECONDS = 900

DRIVER_LINE = re.compile(r"^(open \\\\\.\\zephyn|close \\\\\.\\zephyn|ioctl .*)$")
END_LINE = re.compile(r"^end registry-calls=(\d+)$")


@dataclass
class Run:
    """What one run of one build left behind."""
    stdout: str = ""
    status: int = -1
    stderr: str = ""
    driver: list = field(default_factory=list)
    registry: dict = field(default_factory=dict)  # parse_reg form, after the run
    before: dict = field(default_factory=dict)  # parse_reg form, before the run
    prefix: str = ""  # the Wine prefix kept for a look
    retried: list = field(default_factory=list)  # reasons of harness errors tried again


# ---- Comparing registry contents ---------------------------------------------------------


def program_view(keys, port_nodes):
    """The values the program owns: its service key and settings store, its event-log
    source, the COM port database, and the names of the port device nodes."""
    view = {}
    roots = (SERVICE.upper(), EVENT_SOURCE.upper())
    for upper, (_, values) in keys.items():
        if any(upper == r or upper.startswith(r + "\\") for r in roots):
            view[(upper, None)] = "key"
            for value_name, (_, type_, data) in values.items():
                view[(upper, value_name)] = (type_, data)
    wanted = [(ARBITER, "COMDB")]
    for instance in port_nodes:
        wanted += [(f"{ENUM}\\{instance}", "FRIENDLYNAME"),
                   (f"{ENUM}\\{instance}\\Device Parameters", "PORTNAME")]
    for path, value_name in wanted:
        values = keys.get(path.upper(), (None, {}))[1]
        if value_name in values:
            view[(path.upper(), value_name)] = values[value_name][1:]
    return view


def show(value):
    if value is None:
        return "absent"
    if value == "key":
        return "key"
    type_, data = value
    if type_ == REG_DWORD and len(data) == 4:
        return f"dword {int.from_bytes(data, 'little'):#x}"
    if type_ in (1, 2) and len(data) % 2 == 0:
        return f"type {type_} {data.decode('utf-16-le')!r}"
    if type_ == REG_BINARY:
        numbers = [i * 8 + b + 1 for i, byte in enumerate(data) for b in range(8)
                   if byte >> b & 1]
        return f"binary of {len(data)} bytes, bits of {numbers}"
    return f"type {type_} {data.hex(',')}"


def view_differences(a, b, a_name, b_name):
    out = []
    for key in sorted(set(a) | set(b), key=lambda k: (k[0], k[1] or "")):
        if a.get(key) != b.get(key):
            place = key[0] + ("" if key[1] is None else f" : {key[1] or '@'}")
            out.append(f"{place}: {a_name} {show(a.get(key))}, {b_name} {show(b.get(key))}")
    return out


def check_values(row, keys):
    problems = []
    for path, name, expected in row.values:
        key = keys.get(path.upper())
        if expected is NO_KEY:
            if key is not None:
                problems.append(f"{path}: expected no such key")
            continue
        stored = key[1].get(name.upper()) if key else None
        came = None if stored is None else tuple(stored[1:])
        want = None if expected is None else encode(expected)
        if came != want:
            problems.append(f"{path} : {name}: expected {show(want)}, came {show(came)}")
    return problems


def text_difference(what, expected, came):
    if expected == came:
        return []
    diff = difflib.unified_diff(expected.splitlines(True), came.splitlines(True), "expected",
                                "came", n=1)
    lines = [line.rstrip("\n").replace("\r", "\\r") for line in diff]
    if len(lines) > 40:
        lines = lines[:40] + [f"... ({len(lines) - 40} more lines)"]
    return [f"{what} differs:"] + ["    " + line for line in lines]


def list_difference(what, expected, came):
    if expected == came:
        return []
    return text_difference(what, "".join(x + "\n" for x in expected),
                           "".join(x + "\n" for x in came))


# ---- The native build --------------------------------------------------------------------


def machine_reg(row):
    return row.machine if isinstance(row.machine, Reg) else Reg()


def run_together(exe, command_lines_, env, folder):
    """Starts every command line at once; each run's output goes to files of its own, so no
    run stalls on a pipe while it holds the machine. A run that overruns is killed."""
    procs, files = [], []
    for i, args in enumerate(command_lines_):
        out, err = open(folder / f"stdout{i}", "w+b"), open(folder / f"stderr{i}", "w+b")
        files.append((out, err))
        procs.append(subprocess.Popen([exe, *args], env=env, stdout=out, stderr=err))
    deadline = time.monotonic() + 120
    try:
        for proc in procs:
            proc.wait(timeout=max(1, deadline - time.monotonic()))
    finally:
        for proc in procs:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
    runs = []
    for proc, (out, err) in zip(procs, files):
        out.seek(0)
        err.seek(0)
        runs.append(Run(out.read().decode("utf-8", "replace"), proc.returncode,
                        err.read().decode("utf-8", "replace")))
        out.close()
        err.close()
    return runs


def own_notes(row, stderr):
    """A run's standard error without the note that it waited for another run, which a row
    of two runs at once may or may not see."""
    if not row.also:
        return stderr
    return "".join(line for line in stderr.splitlines(True)
                   if not line.startswith("ZPConfigUtil: waiting for "))


def run_native(exe, row, folder):
    folder.mkdir(parents=True)
    path = folder / "machine.reg"
    if row.machine == "default":
        path = folder / "state" / "zpconfigutil" / "machine.reg"
    elif row.machine == "broken":
        path.write_bytes(BROKEN_MACHINE)
    elif row.machine is not None:
        path.write_bytes(reg_file_bytes(row.machine))
    before = path.read_bytes() if path.exists() else None
    env = dict(os.environ, ZPCONFIG_MACHINE=str(path))
    runs = run_together(exe, command_lines(row), env, folder)
    after = path.read_bytes() if path.exists() else None
    log_path = Path(str(path) + ".log")
    log = log_path.read_text("utf-8").splitlines() if log_path.exists() else None
    run, problems = runs[0], []
    for which, each in zip(RUN_NAMES, runs):
        problems += [which + p for p in text_difference("stdout", row.stdout, each.stdout)]
        if each.status != row.status:
            problems.append(f"{which}exit status: expected {row.status}, came {each.status}")
        if row.stderr is not None:
            if not re.fullmatch(row.stderr, each.stderr):
                problems.append(f"{which}stderr: expected /{row.stderr}/, came {each.stderr!r}")
        else:
            problems += [which + p for p in text_difference(
                "stderr", "".join(n + "\n" for n in row.notes), own_notes(row, each.stderr))]

    if not row.platform:
        if log is not None or Path(str(path) + ".lock").exists():
            problems.append("a run that never reaches the machine left a log or a lock file")
        if after != before:
            problems.append("a run that never reaches the machine changed or created its file")
    elif row.status != 2:
        problems += check_native_log(row, log, run)
    if row.unchanged and after != before:
        problems.append("the machine file changed")
    if row.machine == "default" and after is None:
        problems.append("the default machine file was not created")
    if after is not None and run.status != 2:
        try:
            run.registry = parse_reg(decode_reg(after))
            run.before = parse_reg(decode_reg(before)) if before else {}
        except ValueError as error:
            problems.append(f"the machine file after the run does not read back: {error}")
        problems += check_values(row, run.registry)
    return run, problems


def check_native_log(row, log, run):
    if log is None:
        return ["no event log was written"]
    problems = []
    run.driver = [line for line in log if DRIVER_LINE.match(line)]
    problems += list_difference("driver lines", in_order(row, row.driver),
                                in_order(row, run.driver))
    restarts = sorted(line for line in log if line.startswith("restart "))
    wanted = [row.restart] if isinstance(row.restart, str) else row.restart or []
    problems += list_difference("restart lines", sorted(f"restart {r}" for r in wanted), restarts)
    failed = sum(1 for line in log if line == "open-failed \\\\.\\zephyn")
    if failed != row.failed_opens:
        problems.append(f"failed opens: expected {row.failed_opens}, came {failed}")
    ends = [END_LINE.match(line) for line in log]
    if not log or not ends[-1] or sum(1 for m in ends if m) != len(command_lines(row)):
        problems.append("the log does not end each run with one 'end registry-calls=N' line")
    elif row.calls is not None and int(ends[-1].group(1)) != row.calls:
        problems.append(f"registry calls: expected {row.calls}, came {ends[-1].group(1)}")
    strange = [line for line in log if not (DRIVER_LINE.match(line) or END_LINE.match(line)
               or line.startswith("restart ") or line == "open-failed \\\\.\\zephyn")]
    if strange:
        problems.append(f"unknown log lines: {strange}")
    return problems


# ---- The Windows build under Wine --------------------------------------------------------


def run_harness(command, env):
    """Runs run_scenario.sh: its exit status (None when it did not end in time) and its
    standard error. One that does not end is stopped with its process group; its exit trap
    then stops the prefix's wineserver."""
    with subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          start_new_session=True) as proc:
        try:
            said = proc.communicate(timeout=WINE_RUN_SECONDS)[1]
            return proc.returncode, said
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGTERM)
            try:
                return None, proc.communicate(timeout=150)[1]
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                return None, proc.communicate()[1]


def run_wine(row, folder, env):
    folder.mkdir(parents=True)
    machine_file = folder / "machine.reg"
    machine_file.write_bytes(reg_file_bytes(machine_reg(row)))
    results = folder / "results"
    locale, codec = code_page(row)
    also = [option for arg in row.also or [] for option in ("--also", arg)]
    status, said = run_harness(["bash", str(RUN_SCENARIO), "--keep", *also, str(machine_file),
                                str(results), *row.args],
                               dict(env, ZP_WINE_LOCALE=locale, ZP_WINE_CONSOLE=row.console or "",
                                    ZP_WINE_HOLD=str(row.hold or "")))
    stderr = said.decode("utf-8", "replace")
    kept = re.search(r"prefix kept in (\S+)", stderr)
    run = Run(prefix=kept.group(1) if kept else "",
              retried=re.findall(r"^run_scenario: retried after a harness error: (.*)$", stderr,
                                 re.M))
    if status is None:
        return run, [f"the Wine runner did not end in {WINE_RUN_SECONDS} s and was stopped: "
                     f"{stderr.strip()[-2000:]}"]
    if status == 2 or not (results / "status").exists():
        return run, [f"the Wine runner failed: {stderr.strip()[-2000:]}"]
    problems = []
    for which, suffix in zip(RUN_NAMES, ["", ".2"][:len(command_lines(row))]):
        said = (results / f"stderr{suffix}").read_text("utf-8", "replace")
        if row.stderr is not None and not re.search(row.stderr, said, re.M):
            problems.append(f"{which}stderr: expected a line /{row.stderr}/, came {said!r}")
        elif row.stderr is None and row.console != "terminal":
            # Wine cannot restart a board: a set that restarts one natively says so here.
            notes = row.notes + ([RESTART_FAILED] if row.restart else [])
            own = (results / f"program.stderr{suffix}").read_bytes().replace(b"\r\n", b"\n")
            problems += [which + p for p in text_difference(
                "stderr", in_code_page("".join(n + "\n" for n in notes), codec),
                own_notes(row, own.decode(codec, "replace")))]
        raw = (results / f"stdout{suffix}").read_bytes()
        stdout = raw.replace(b"\r\n", b"\n").decode(codec, "replace")
        expected = in_code_page(row.stdout, codec)
        if row.console == "terminal":
            stdout, expected = terminal_text(raw.decode(codec, "replace")), terminal_text(expected)
        elif b"\r" in raw.replace(b"\r\n", b"") or raw.count(b"\n") != raw.count(b"\r\n"):
            problems.append(f"{which}stdout holds a CR or an LF outside a CR LF line end")
        problems += [which + p for p in text_difference("stdout", expected, stdout)]
        status = int((results / f"status{suffix}").read_text().strip())
        if status != row.status:
            problems.append(f"{which}exit status: expected {row.status}, came {status}")
        if not suffix:
            run.stdout, run.status = stdout, status
    run.driver = (results / "driver.log").read_text("utf-8").splitlines()
    problems += list_difference("driver lines", in_order(row, row.driver),
                                in_order(row, run.driver))
    try:
        run.registry = parse_reg((results / "registry.reg").read_text("utf-8"))
    except (OSError, ValueError) as error:
        return run, problems + [f"the exported registry does not read: {error}"]
    run.before = parse_reg(decode_reg(machine_file.read_bytes()))
    problems += check_values(row, run.registry)
    return run, problems


def unchanged_problems(row, run):
    nodes = machine_reg(row).port_nodes
    return [f"changed: {d}" for d in view_differences(program_view(run.before, nodes),
                                                      program_view(run.registry, nodes),
                                                      "before", "after")]


def cross_problems(row, native, wine):
    problems = []
    if in_code_page(native.stdout, code_page(row)[1]) != wine.stdout:
        problems.append("the two builds printed different texts")
    if native.status != wine.status:
        problems.append(f"exit status: native {native.status}, wine {wine.status}")
    problems += list_difference("driver lines (native, then wine)", in_order(row, native.driver),
                                in_order(row, wine.driver))
    nodes = machine_reg(row).port_nodes
    problems += view_differences(program_view(native.registry, nodes),
                                 program_view(wine.registry, nodes), "native", "wine")
    return problems


# ---- Driving it --------------------------------------------------------------------------


def code_page(row):
    """The locale of the Windows build's run, and the codec of its output: the ANSI code
    page's, the terminal's (UTF-8) for a console, or the console's output code page."""
    locale, codec = CODE_PAGES[machine_reg(row).keys.get(NLS_CODE_PAGE, {}).get("ACP", "1252")]
    return locale, {None: codec, "terminal": "utf-8"}.get(row.console, f"cp{row.console}")


def terminal_text(text):
    """What a terminal shows of a console's output: its control sequences and carriage
    returns taken out, and the spaces at line ends, which it renders away."""
    text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07|\r", "", text)
    return "".join(line.rstrip(" ") + "\n" for line in text.splitlines())


def command_lines(row):
    return [row.args] + ([row.also] if row.also else [])


RUN_NAMES = ["", "second run: "]


def in_order(row, lines):
    """Driver lines as compared: two runs at once may come in either order."""
    return sorted(lines) if row.also else lines


def in_code_page(text, codec):
    """The text as the Windows build writes it redirected: '?' for what the code page
    lacks."""
    return text.encode(codec, "replace").decode(codec)


def safe_name(name):
    return re.sub(r"[^A-Za-z0-9_.-]", "_", name)


def runs_32bit_wine():
    """Why 32-bit Wine cannot run here (a kernel without 32-bit emulation cannot start its
    loader), or None when it can."""
    loader = Path(os.environ.get("WINE_BIN", "/usr/lib/wine")) / "wine"
    try:
        subprocess.run([str(loader), "--version"], check=True, capture_output=True, timeout=60)
    except (OSError, subprocess.SubprocessError) as error:
        return f"{loader} does not start ({error}): a kernel without 32-bit emulation"
    return None


def build_fixtures(target):
    subprocess.run(["sh", str(BUILD_FIXTURES), str(target)], check=True, capture_output=True)
    return target


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--native")
    parser.add_argument("--wine")
    parser.add_argument("--wine32")
    parser.add_argument("--only", action="append")
    parser.add_argument("--skip", action="append")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--fixtures")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    if not args.native and not args.wine and not args.wine32:
        parser.error("give --native, --wine, --wine32, or several")

    names = [row.name for row in SCENARIOS]
    assert len(names) == len(set(names)), "scenario names repeat"
    for row in SCENARIOS:
        assert row.native_only in (None, *KNOWN_DIFFERENCES), row.name
        assert row.wine_only in (None, *KNOWN_DIFFERENCES), row.name
    no_wine32 = runs_32bit_wine() if args.wine32 else None
    rows = [r for r in SCENARIOS
            if (not args.only or any(fnmatch.fnmatch(r.name, g) for g in args.only))
            and not any(fnmatch.fnmatch(r.name, g) for g in args.skip or [])
            and (args.wine32 and not no_wine32 or not r.wow64)]

    work = Path(tempfile.mkdtemp(prefix="zp-e2e-"))
    failures = {}  # scenario name -> [(build, problem lines)]
    native_runs, wine_runs = {}, {}

    def fail(name, build, problems):
        if problems:
            failures.setdefault(name, []).append((build, problems))

    if args.native:
        exe = str(Path(args.native).resolve())
        for row in [r for r in rows if r.wine_only is None and not r.wow64]:
            run, problems = run_native(exe, row, work / "native" / safe_name(row.name))
            if row.unchanged and row.status != 2:
                problems += unchanged_problems(row, run)
            native_runs[row.name] = run
            fail(row.name, "native", problems)

    def run_wine_rows(build, wine_rows, folder, env_of):
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            futures = {pool.submit(run_wine, r, folder / safe_name(r.name),
                                   env_of(r) if callable(env_of) else env_of): r
                       for r in wine_rows}
            for future in concurrent.futures.as_completed(futures):
                row = futures[future]
                try:
                    run, problems = future.result()
                except Exception as error:  # one broken run must not hide the others' results
                    run, problems = Run(), [f"the Wine run broke: {error!r}"]
                if row.unchanged and run.registry:
                    problems += unchanged_problems(row, run)
                if row.name in native_runs and run.registry:
                    problems += [f"builds disagree: {p}" for p in
                                 cross_problems(row, native_runs[row.name], run)]
                wine_runs[(build, row.name)] = run
                fail(row.name, build, problems)
                if not problems and run.prefix:
                    shutil.rmtree(run.prefix, ignore_errors=True)

    def fixtures_folder():
        if args.fixtures:
            return Path(args.fixtures).resolve()
        if not (work / "fixtures").exists():
            build_fixtures(work / "fixtures")
        return work / "fixtures"

    def check_exe(exe, label):
        for check in (check_imports, check_version_resource):
            fail(f"{label}/{check.__name__[6:].replace('_', '-')}", "wine", check(exe, ROOT))

    wine_seconds = wine32_seconds = None
    if args.wine:
        exe = Path(args.wine).resolve()
        check_exe(exe, "exe")
        fixtures = fixtures_folder()
        env = dict(os.environ, ZP_WINE_EXE=str(exe), ZP_WINE_FIXTURES=str(fixtures),
                   ZP_WINE_WORK=str(work / "wine-work"))
        wine_rows = [r for r in rows if r.native_only is None and not r.wow64]
        started = time.monotonic()
        run_wine_rows("wine", wine_rows, work / "wine", env)
        wine_seconds = time.monotonic() - started

    if args.wine32:
        exe = Path(args.wine32).resolve()
        check_exe(exe, "exe32")
    if args.wine32 and not no_wine32:
        # The whole table as on 32-bit Windows; the wow64 rows on 64-bit Windows.
        fixtures = fixtures_folder()
        env32 = dict(os.environ, ZP_WINE_EXE=str(exe), ZP_WINE_FIXTURES=str(fixtures),
                     ZP_WINE_ARCH="win32", ZP_WINE_WORK=str(work / "wine32-work"))
        env64 = dict(env32, ZP_WINE_ARCH="win64", ZP_WINE_WORK=str(work / "wine-work"))
        started = time.monotonic()
        run_wine_rows("wine32", [r for r in rows if r.native_only is None], work / "wine32",
                      lambda r: env64 if r.wow64 else env32)
        wine32_seconds = time.monotonic() - started

    checks = sorted(n for n in failures if n.startswith(("exe/", "exe32/")))
    for name in [r.name for r in rows] + checks:
        for build, problems in failures.get(name, []):
            print(f"FAIL {name} [{build}]")
            for line in problems:
                print(f"  {line}")
            prefix = wine_runs.get((build, name), Run()).prefix
            if prefix:
                print(f"  Wine prefix kept in {prefix}")
    if args.wine or args.wine32:
        print("Known differences between the builds:")
        for key, reason in KNOWN_DIFFERENCES.items():
            print(f"  {key}: {reason}")
    for label, build, seconds in (("Wine suite", "wine", wine_seconds),
                                  ("32-bit Wine suite", "wine32", wine32_seconds)):
        if seconds is not None:
            count = sum(1 for b, _ in wine_runs if b == build)
            print(f"{label}: {count} runs in {seconds:.0f} s")
    if no_wine32:
        print(f"32-bit Wine suite not run: {no_wine32}")
    for (build, name), run in sorted(wine_runs.items()):
        for reason in run.retried:
            where = "" if build == "wine" else f" [{build}]"
            print(f"retried after a harness error: {name}{where}: {reason}")
    failed = len(failures)
    ran = [r for r in rows if args.wine or args.wine32 or r.wine_only is None]
    passed = len(ran) + (2 if args.wine else 0) + (2 if args.wine32 else 0) - failed
    if failed or args.keep:
        print(f"work folder kept: {work}")
    else:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
