#!/usr/bin/env python3
"""Soak run of zorvctl and ZorvApp on four emulated cards.

zorvctl: every 10 s a setup change: a `load` of two setup files in turn, or a bit error test
on the next card (`ber`, which programs the setup with the test on and then off again); a
`status` read once a minute. Each zorvctl run is its own process, so its figures are the peak
of that one run; the first and the last runs of a command show whether anything the runs share
(the kept setups, the emulated cards' state file, the logs) makes a run grow.

ZorvApp: one process for the whole run, offscreen, with the four card windows open and its
metrics read every 10 s. Nothing outside the program can change its setups, so its cards'
signals come and go on a schedule instead (locks lost and regained, journaled every period).

Reported: resident memory, threads and open file handles at the start (after a minute's
warm-up) and at the end, log growth per hour, the emulator's violation counts (the
ZORV_EMULATOR_REPORT of every process) and every refused call (a zorvctl run that failed).
The exit code is 0 when no violation and no refused call was seen.

    bench/soak/soak.py --bin build/default/bin [--minutes 10] [--workdir DIR] [--no-app]

Run it as root inside a mount namespace of its own for the instance locks, as the tests run:

    unshare --mount --propagation private sh -c 'mkdir -p /tmp/zorv-locks && \\
        mount -t tmpfs tmpfs /tmp/zorv-locks && bench/soak/soak.py --bin build/default/bin'

zorvctl and ZorvApp refuse to run beside each other (a machine-wide lock in /tmp/zorv-locks);
here each has its own in-process emulated bus and guards no real card, so ZorvApp gets a second
private lock folder of its own.
"""

import argparse
import configparser
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path

PERIOD_SECONDS = 10
CARDS = 4
SAMPLE_SECONDS = 0.1
STATUS_EVERY = 6
# ZorvApp's start figures and both log sizes are taken after the first minute: the windows,
# the metrics server and the first histories are built by then.
WARM_UP_PERIODS = 6

# Both lock on the emulated signal (1,024,000 bit/s), so that every bit error test counts.
SETUP_FILES = {
    "setup-a.ZORV": {"BitRate": "1024000", "InputCode": "NRZL", "LoopBandwidth": "1.0"},
    "setup-b.ZORV": {"BitRate": "1030000", "InputCode": "BIOL", "LoopBandwidth": "2.0"},
}

# ZorvApp's cards lose their signal for 3 s of every period.
APP_SCENARIO = "[Bus]\nCards=4\n" + "".join(
    f"[Card{i}]\nSignalSchedule=on 7, off 3\n" for i in range(CARDS))


def figures(pid):
    """Resident memory (kB), threads and open file handles of a running process, or None."""
    try:
        status = Path(f"/proc/{pid}/status").read_text()
        handles = len(os.listdir(f"/proc/{pid}/fd"))
    except (FileNotFoundError, ProcessLookupError, PermissionError):
        return None
    values = dict(line.split(":", 1) for line in status.splitlines() if ":" in line)
    if "VmRSS" not in values:
        return None  # it has ended and not been waited for yet
    return {
        "rss_kb": int(values["VmRSS"].split()[0]),
        "threads": int(values["Threads"]),
        "handles": handles,
    }


def peak(a, b):
    if a is None:
        return b
    if b is None:
        return a
    return {key: max(a[key], b[key]) for key in a}


def violations(report):
    """The bus's refused requests and the cards' protocol violations from one report file."""
    parser = configparser.ConfigParser(strict=False, interpolation=None)
    if not parser.read(report):
        return None
    total = parser.getint("Bus", "Refused", fallback=0)
    for section in parser.sections():
        if section.lower().startswith("card"):
            total += sum(parser.getint(section, part, fallback=0)
                         for part in ("Eeprom", "Bitsync", "Irig"))
    return total


def log_bytes(folder):
    return sum(p.stat().st_size for p in Path(folder).rglob("*") if p.suffix.lower() == ".log")


class ZorvctlRuns:
    """zorvctl runs, one at a time, with the peak figures and the violations of each."""

    def __init__(self, zorvctl, folder, environment):
        self.zorvctl = zorvctl
        self.folder = folder
        self.environment = environment
        self.first = {}
        self.last = {}
        self.violations = 0
        self.missing_reports = 0
        self.refused = []
        self.runs = 0

    def run(self, *words):
        report = self.folder / "violations.ini"
        report.unlink(missing_ok=True)
        environment = dict(self.environment, ZORV_EMULATOR_REPORT=str(report))
        command = [str(self.zorvctl), "--emulate", str(CARDS), *words]
        child = subprocess.Popen(command, cwd=self.folder, env=environment,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        top = None
        while child.poll() is None:
            top = peak(top, figures(child.pid))
            time.sleep(SAMPLE_SECONDS)
        errors = child.stderr.read()
        self.runs += 1
        if child.returncode != 0:
            self.refused.append(f"{' '.join(words)}: exit {child.returncode}: {errors.strip()}")
        counted = violations(report)
        if counted is None:
            self.missing_reports += 1
        else:
            self.violations += counted
        if top is not None:
            self.first.setdefault(words[0], top)
            self.last[words[0]] = top


class ZorvApp:
    """One ZorvApp for the whole run, in a lock folder of its own."""

    def __init__(self, program, folder, environment):
        self.folder = folder
        self.report = folder / "violations.ini"
        (folder / "scenario.ini").write_text(APP_SCENARIO)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        environment = dict(environment, QT_QPA_PLATFORM="offscreen",
                           ZORV_EMULATOR_REPORT=str(self.report))
        opens = [w for card in range(1, CARDS + 1) for w in ("--open", str(card))]
        private_locks = ("mkdir -p /tmp/zorv-locks && mount -t tmpfs tmpfs /tmp/zorv-locks && "
                         'exec "$0" "$@"')
        self.process = subprocess.Popen(
            ["unshare", "--mount", "--propagation", "private", "sh", "-c", private_locks,
             str(program), "--emulate", "scenario.ini", *opens,
             "--metrics", f"127.0.0.1:{self.port}"],
            cwd=folder, env=environment, stdout=subprocess.DEVNULL,
            stderr=open(folder / "stderr.txt", "w"))
        self.metrics_failures = 0
        self.metrics_reads = 0

    def read_metrics(self):
        self.metrics_reads += 1
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/metrics", timeout=5) as r:
                r.read()
        except OSError:
            self.metrics_failures += 1

    def figures(self):
        return figures(self.process.pid)

    def stop(self):
        """Ends it as a termination signal does (setups written back); its exit code."""
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return "killed after 60 s"


def write_setup_files(runs, folder):
    """Two setup files that differ in rate, input code and loop bandwidth on every card."""
    runs.run("save", "saved.ZORV")
    saved = (folder / "saved.ZORV").read_text().splitlines()
    for name, values in SETUP_FILES.items():
        lines = []
        for line in saved:
            key = line.split("=", 1)[0].strip()
            lines.append(f"{key}={values[key]}" if key in values else line)
        (folder / name).write_text("\n".join(lines) + "\n")


def describe_logs(start, end, seconds):
    hourly = (end - start) * 3600.0 / seconds if seconds > 0 else 0.0
    return f"  logs: {start} bytes -> {end} bytes, {hourly:.0f} bytes/hour"


def describe(label, start, end):
    if start is None or end is None:
        return f"  {label}: no figures"
    return (f"  {label}: resident {start['rss_kb']} kB -> {end['rss_kb']} kB, "
            f"threads {start['threads']} -> {end['threads']}, "
            f"handles {start['handles']} -> {end['handles']}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, type=Path, help="folder with zorvctl, ZorvApp")
    parser.add_argument("--minutes", type=float, default=10.0)
    parser.add_argument("--workdir", type=Path, help="scratch folder (default: a new temporary)")
    parser.add_argument("--no-app", action="store_true", help="zorvctl only")
    arguments = parser.parse_args()

    work = arguments.workdir or Path(tempfile.mkdtemp(prefix="zorv-soak-"))
    ctl_folder, app_folder = work / "zorvctl", work / "zorvapp"
    for folder in (ctl_folder, app_folder, work / "runtime-ctl", work / "runtime-app"):
        folder.mkdir(mode=0o700, parents=True, exist_ok=True)
    # The emulated cards keep their state between runs in the runtime folder: the soak's own.
    base = {k: v for k, v in os.environ.items() if not k.startswith("ZORV_")}
    runs = ZorvctlRuns(arguments.bin / "zorvctl", ctl_folder,
                       dict(base, XDG_RUNTIME_DIR=str(work / "runtime-ctl")))
    app = None
    if not arguments.no_app:
        app = ZorvApp(arguments.bin / "ZorvApp", app_folder,
                      dict(base, XDG_RUNTIME_DIR=str(work / "runtime-app")))
    print(f"soak: {arguments.minutes:g} minutes in {work}", flush=True)

    try:
        write_setup_files(runs, ctl_folder)
        began = time.monotonic()
        deadline = began + arguments.minutes * 60
        warmed_up = None
        app_start = app_end = None
        period = 0
        while time.monotonic() < deadline:
            started = time.monotonic()
            # A zorvctl run takes 4 to 7 s (the library's load opens the four cards), so the
            # load and the bit error test, which programs the setup with the test on and then
            # off again, take turns; a status read once a minute makes that period run over.
            if period % 2 == 0:
                runs.run("load", list(SETUP_FILES)[period // 2 % 2])
            else:
                runs.run("ber", "--card", str(period // 2 % CARDS + 1), "--seconds", "3")
            if period % STATUS_EVERY == 0:
                runs.run("status", "--card", str(period // STATUS_EVERY % CARDS + 1))
            if app is not None:
                if app.process.poll() is not None:
                    runs.refused.append(f"ZorvApp ended early with exit {app.process.returncode}")
                    app = None
                else:
                    app.read_metrics()
                    app_end = app.figures()
                    if period == WARM_UP_PERIODS:
                        app_start = app_end
            if period == WARM_UP_PERIODS:
                warmed_up = (time.monotonic(), log_bytes(ctl_folder), log_bytes(app_folder))
            period += 1
            time.sleep(max(0.0, PERIOD_SECONDS - (time.monotonic() - started)))

    except BaseException:
        if app is not None:
            app.stop()  # not left running behind a failed or interrupted soak
        raise
    ended = time.monotonic()
    app_exit = app.stop() if app is not None else None
    app_violations = violations(app_folder / "violations.ini") if app is not None else None
    if warmed_up is None:
        print("soak: ended before the warm-up was over; run it for longer")
        return 1
    logged_seconds = ended - warmed_up[0]
    print(f"soak: {period} periods in {(ended - began) / 60:.1f} minutes, {runs.runs} zorvctl runs")
    print("zorvctl (peak of one run, first run -> last run):")
    for command in runs.first:
        print(describe(command, runs.first[command], runs.last[command]))
    print(describe_logs(warmed_up[1], log_bytes(ctl_folder), logged_seconds))
    print(f"  violations: {runs.violations} (runs without a report: {runs.missing_reports})")
    if not arguments.no_app:
        print("ZorvApp (after the first minute -> at the end):")
        print(describe("process", app_start, app_end))
        print(describe_logs(warmed_up[2], log_bytes(app_folder), logged_seconds))
        print(f"  violations: {app_violations}, exit {app_exit}")
        if app is not None:
            print(f"  metrics reads failed: {app.metrics_failures} of {app.metrics_reads}")
    print(f"refused calls: {len(runs.refused)}")
    for line in runs.refused:
        print(f"  {line}")
    clean = (runs.violations == 0 and runs.missing_reports == 0 and not runs.refused and
             (arguments.no_app or (app_violations == 0 and app_exit == 0)))
    return 0 if clean else 1


if __name__ == "__main__":
    sys.exit(main())
