"""Fixtures over the built programs and the library on emulated cards. The suite runs from
ctest (python/CMakeLists.txt), which names the built files in the environment and sets
ZORV_EMULATE; run alone, the tests that need a built file are skipped."""

from __future__ import annotations

import json
import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

import zorv

SOURCE_TREE = Path(__file__).resolve().parents[2]


def built_file(variable: str) -> str:
    """The built file the environment variable names; the test is skipped without it."""
    path = os.environ.get(variable)
    if not path:
        pytest.skip(f"{variable} is not set (ctest sets it)")
    return path


def run_json(variable: str):
    output = subprocess.run([built_file(variable)], check=True, capture_output=True, text=True)
    return json.loads(output.stdout)


@pytest.fixture(scope="session")
def header_values():
    return run_json("ZORV_HEADER_VALUES")


@pytest.fixture(scope="session")
def name_tables():
    return run_json("ZORV_NAME_TABLES")


@pytest.fixture
def library():
    built_file("ZORV_LIBRARY")
    with zorv.Library() as loaded:
        yield loaded


@pytest.fixture
def cards(library):
    return library.open()


@pytest.fixture(scope="module")
def module_cards():
    """Cards opened once for a module's tests (opening reads each module's configuration,
    some 0.5 s); the library holds the machine-wide name until the module's end."""
    built_file("ZORV_LIBRARY")
    with zorv.Library() as loaded:
        yield loaded.open()


# The setup the operator program gives a new card: on the emulated signal's input and rate.
def standard_setup(**changes) -> zorv.BitsyncSetup:
    fields = dict(Model=zorv.Model.KELT_20, InputSource=zorv.InputSource.SE_INPUT_2,
                  InputCode=zorv.InputCode.NRZL, OutputCode=zorv.OutputCode.NRZL,
                  LoopBandwidth=zorv.LoopBandwidth.BW_0_5, BitRate=1024000,
                  BitDecisionDetector=1, QuickReactMode=1, StartupAutoTestEnabled=1,
                  Pattern15Bit=1)
    fields.update(changes)
    return zorv.BitsyncSetup(**fields)


def wait_for(condition, seconds: float = 2.0):
    """Polls the condition on the real clock: the library runs in this process on the real
    clock, and an emulated module locks 20 ms after a setup; 2 s is ample and short."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


def run_python(code: str, **environment) -> subprocess.CompletedProcess:
    """Runs the code in a new interpreter (a library loaded afresh, on the cards that
    ZORV_EMULATE names there)."""
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          env={**os.environ, **environment}, timeout=60)
