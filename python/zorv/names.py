"""The library's numbers as enumerations: result codes, lock and IRIG statuses, and the rows of
the setup record's tables (models, input sources, codes, loop bandwidths).

The result codes and statuses carry the values of zorv/ZorvApi.h; each table row carries the
display name the C++ code shows for it (``label``). The test suite compares both with what the
C header and the C++ name tables say, so that they cannot drift apart.
"""

from __future__ import annotations

import enum
import re


class ResultCode(enum.IntEnum):
    """What every export but ZorvApiClose returns (code 6 is never returned)."""

    SUCCESS = 0
    DOS_MODE = 1
    NOT_OPEN = 2
    BAD_CARD_INDEX = 3
    NO_IRIG = 4
    NO_BITSYNC = 5
    IRIG_STATUS_FAILED = 7
    IRIG_NOWTIME_FAILED = 8
    IRIG_SETUP_FAILED = 9
    BITSYNC_STATUS_FAILED = 10
    BITSYNC_SETUP_FAILED = 11
    NOT_READBACK_CAPABLE = 12
    OPTIONS_FAILED = 13
    PROGRAMMED_BIT_RATE_FAILED = 14
    PROGRAMMED_INPUT_CODE_FAILED = 15
    PROGRAMMED_OUTPUT_CODE_FAILED = 16
    PROGRAMMED_LOOP_BW_FAILED = 17
    OPERATIONAL_STATUS_FAILED = 18
    BIT_FAILED = 19
    BIT_COUNT_FAILED = 20
    ERROR_COUNT_FAILED = 21
    OFFSET_FREQUENCY_FAILED = 22
    SIGNAL_VOLTAGE_FAILED = 23
    ES_NO_FAILED = 24
    LINK_ANALYSIS_STATUS_FAILED = 25
    QUICK_REACT_FAILED = 26


class _Labelled(enum.IntEnum):
    """A table row whose display name is ``label``."""

    @property
    def label(self) -> str:
        return _LABELS[type(self)][self.value]


# The display names of each table, by class; filled as the tables are made.
_LABELS: dict[type, tuple[str, ...]] = {}


class LockStatus(_Labelled):
    """ZorvApiGetBitsyncStatus's lock status. BUSY: another caller's transaction held the module
    for 300 ms, so the status was not read (the operator program shows it as LOCK)."""

    NO_CLOCK_NO_SIGNAL = 0
    SEARCH = 1
    LOCKED = 2
    BUSY = 3
    ERROR = 4
    DOES_NOT_EXIST = 5


_LABELS[LockStatus] = ("NOCLK_NOSIG", "SEARCH", "LOCK", "LOCK", "ERROR", "DOES NOT EXIST")


class IrigStatus(enum.IntEnum):
    """ZorvApiGetIrigStatus's reader status; READY is neither busy nor in error."""

    BUSY = 2
    ERROR = 4
    READY = 5


class IrigCode(enum.IntEnum):
    """The IRIG code of IrigSetup.SourceFormat and GeneratorFormat."""

    IRIG_B = 0
    IRIG_A = 1
    IRIG_G = 2


def _member_name(label: str) -> str:
    """An identifier for a display name: upper case, runs of other characters as one
    underscore, and a prefix where it would start with a digit ("0.05" -> "BW_0_05")."""
    name = re.sub(r"[^0-9A-Za-z]+", "_", label).strip("_").upper()
    return "BW_" + name if name[:1].isdigit() else name


def _table(name: str, labels: tuple[str, ...], member_labels: tuple[str, ...] | None = None):
    """A table as an enumeration: row i is member i, named after member_labels (the labels
    unless given), with labels[i] as its label."""
    members = [(_member_name(text), row) for row, text in enumerate(member_labels or labels)]
    table = _Labelled(name, members, module=__name__, qualname=name)
    _LABELS[table] = labels
    return table


Model = _table("Model", ("KELT_20", "KELT_10", "TAVIN", "TAVINX", "KELTV2_20", "KELTV2_10"))

# Named by their connector pins; the members by the plain names. Rows 0 to 3 are all that a
# module without command read-back takes.
InputSource = _table(
    "InputSource",
    ("SE_INPUT 1 (J1-36)", "SIMULATOR (J1-9)", "SE_INPUT 3 (J1-37)", "SE_INPUT 4 (J1-39)",
     "SE_INPUT 5 (J1-34)", "SE_INPUT 6 (J1-42)", "SE_INPUT 7 ( J1-35)", "SE_INPUT 8 (J1-40)",
     "DIFF_IN1 (J1-34/36)", "(UNUSED/SIM)", "DIFF_IN3 (J1-35/37)", "DIFF_IN4 (J1-40/39)"),
    ("SE_INPUT 1", "SE_INPUT 2", "SE_INPUT 3", "SE_INPUT 4", "SE_INPUT 5", "SE_INPUT 6",
     "SE_INPUT 7", "SE_INPUT 8", "DIFF_INPUT 1", "DIFF_INPUT 2", "DIFF_INPUT 3",
     "DIFF_INPUT 4"))

InputCode = _table(
    "InputCode",
    ("NRZL", "NRZM", "NRZS", "BIOL", "BIOM", "BIOS", "DMM", "DMS", "MDMM", "MDMS", "INV_NRZL",
     "INV_BIOL", "RZ", "INV_RZ", "RNRZ11", "RNRZ15", "RNRZ17", "RNRZ23", "INV_NRZM", "INV_NRZS",
     "INV_BIOM", "INV_BIOS", "INV_DMM", "INV_DMS", "INV_MDMM", "INV_MDMS", "INV_RNRZ11",
     "INV_RNRZ15", "INV_RNRZ17", "INV_RNRZ23", "RNRZ9", "INV_RNRZ9"))

OutputCode = _table(
    "OutputCode",
    ("NRZL", "NRZM", "NRZS", "BIOL", "BIOM", "BIOS", "DMM", "DMS", "MDMM", "MDMS", "INV_NRZL",
     "INV_BIOL", "RZ", "INV_RZ", "RNRZ11", "RNRZ15", "RNRZ17", "RNRZ23", "RNRZ9"))

# The eight-entry list the module is programmed with and reports back.
LoopBandwidth = _table("LoopBandwidth",
                       ("2.0", "1.0", "0.5", "0.2", "0.1", "0.05", "0.02", "0.01"))

# The tables the C++ code names, under the names of its arrays.
NAME_TABLES = {
    "kModelNames": Model,
    "kInputSourceNames": InputSource,
    "kInputCodeNames": InputCode,
    "kOutputCodeNames": OutputCode,
    "kLoopBandwidthNames": LoopBandwidth,
    "kLockStatusNames": LockStatus,
}
