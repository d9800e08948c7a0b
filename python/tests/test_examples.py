"""The examples, run as a user runs them, on emulated cards as they power up."""

from __future__ import annotations

import os
import re
import subprocess
import sys

import pytest

from conftest import SOURCE_TREE, built_file


def run_example(*command: str) -> subprocess.CompletedProcess:
    return subprocess.run(command, capture_output=True, text=True, timeout=60,
                          env={**os.environ, "ZORV_EMULATE_FRESH": "1"})


def test_ber_run_prints_the_forced_error_rate():
    built_file("ZORV_LIBRARY")
    # One second of real time instead of the default ten: some 10^6 bits and 10^3 errors.
    finished = run_example(sys.executable, str(SOURCE_TREE / "examples" / "ber_run.py"),
                           "--emulate", "1", "--seconds", "1")
    assert finished.returncode == 0, finished.stderr
    rate = re.search(r"^BER (\S+)$", finished.stdout, re.MULTILINE)
    assert rate and float(rate.group(1)) == pytest.approx(1e-3, rel=0.1)


def test_watch_lock_names_each_cards_status():
    built_file("ZORV_LIBRARY")
    finished = run_example(sys.executable, str(SOURCE_TREE / "examples" / "watch_lock.py"),
                           "--emulate", "2", "--seconds", "0.3")
    assert finished.returncode == 0, finished.stderr
    assert finished.stdout.startswith("2 card(s)")
    for number in (1, 2):
        assert re.search(rf"card {number}: NO_CLOCK_NO_SIGNAL \(", finished.stdout)


def test_the_c_example_reports_every_card():
    finished = run_example(built_file("ZORV_STATUS_EXAMPLE"))
    assert finished.returncode == 0, finished.stdout
    lines = finished.stdout.splitlines()
    assert lines[0] == "2 card(s)"
    assert [line for line in lines if "lock status" in line] == [
        "card 1: lock status NOCLK_NOSIG", "card 2: lock status NOCLK_NOSIG"]
