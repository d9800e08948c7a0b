"""The library loaded by file name, its 27 exports bound with their exact prototypes, and the
cards it opened."""

from __future__ import annotations

import ctypes
import datetime
import re
import sys
from typing import NamedTuple

from .instance import InstanceGuard
from .names import InputCode, IrigStatus, LockStatus, LoopBandwidth, OutputCode, ResultCode
from .records import BitsyncSetup, IrigSetup
from .search import LibraryNotFound, find_library

_I32 = ctypes.c_int32
_P = ctypes.POINTER
_BYTE = _P(ctypes.c_uint8)

# The most cards the library opens: ZorvApiOpen fills this many entries at most.
MAX_CARDS = 8
# The text functions write at most seven characters and a terminator.
TEXT_BUFFER_SIZE = 8

# Every export: its result type and argument types, as zorv/ZorvApi.h declares them.
PROTOTYPES: dict[str, tuple[type | None, list[type]]] = {
    "ZorvApiOpen": (_I32, [_BYTE, _P(_I32), _P(_I32), _P(_I32)]),
    "ZorvApiClose": (None, []),
    "ZorvApiGetIrigStatus": (_I32, [_I32, _P(_I32)]),
    "ZorvApiGetIrigNowtime": (_I32, [_I32, _P(ctypes.c_double)]),
    "ZorvApiLoadIrigSetup": (_I32, [_I32, _P(IrigSetup)]),
    "ZorvApiGetBitsyncStatus": (_I32, [_I32, _P(_I32)]),
    "ZorvApiGetBitsyncMaxInputSource": (_I32, [_I32, _P(_I32)]),
    "ZorvApiLoadBitsyncSetup": (_I32, [_I32, _P(BitsyncSetup)]),
    "ZorvApiGetBitsyncOptions": (_I32, [_I32, _BYTE, _BYTE]),
    "ZorvApiGetBitsyncFirmware": (_I32, [_I32, _P(_I32), _P(_I32)]),
    "ZorvApiGetBitsyncProgrammedBitRate": (_I32, [_I32, _P(ctypes.c_uint32)]),
    "ZorvApiGetBitsyncProgrammedInputCode": (_I32, [_I32, _P(_I32)]),
    "ZorvApiGetBitsyncProgrammedOutputCode": (_I32, [_I32, _P(_I32)]),
    "ZorvApiGetBitsyncProgrammedLoopBw": (_I32, [_I32, _BYTE]),
    "ZorvApiGetBitSyncOperationalStatus": (_I32, [_I32, _BYTE, _BYTE, _BYTE, _BYTE]),
    "ZorvApiGetBIT": (_I32, [_I32, _BYTE, _BYTE, _BYTE, _BYTE, _BYTE]),
    "ZorvApiGetLinkAnalysisBitCount": (_I32, [_I32, _P(ctypes.c_uint32)]),
    "ZorvApiGetLinkAnalysisErrorCount": (_I32, [_I32, _P(ctypes.c_uint32)]),
    "ZorvApiGetLinkAnalysisOperationalStatus": (_I32, [_I32, _BYTE, _BYTE, _BYTE]),
    "ZorvApiGetGetOffsetFrequency": (_I32, [_I32, ctypes.c_char_p]),
    "ZorvApiGetSignalVoltage": (_I32, [_I32, ctypes.c_char_p]),
    "ZorvApiGetEstimatedEsNo": (_I32, [_I32, ctypes.c_char_p]),
    "ZorvApiSetBitsyncQuickReactMode": (_I32, [_I32, _I32]),
    "ZorvApiGetBsEnableFspOption": (_I32, [_I32, _BYTE]),
    "ZorvApiEnableBsFspSigQualMode": (_I32, [_I32, _I32, _I32, _I32, _I32, _I32]),
    "ZorvApiDisableBsFspSigQualMode": (_I32, [_I32]),
    "ZorvApiGetBsFspCount": (_I32, [_I32, _P(ctypes.c_uint16)]),
}


class ZorvError(Exception):
    """An export failed: ``code`` is its result code (a ResultCode where the code is known),
    ``name`` the code's name, ``function`` the export and ``card`` the card index (None for
    ZorvApiOpen)."""

    def __init__(self, function: str, code: int, card: int | None = None):
        self.function = function
        self.card = card
        self.code = ResultCode(code) if code in ResultCode._value2member_map_ else code
        self.name = self.code.name if isinstance(self.code, ResultCode) else "UNKNOWN"
        where = function if card is None else f"{function} (card index {card})"
        super().__init__(f"{where}: {self.name} ({int(code)})")


class IrigTime(NamedTuple):
    """The decoded time of year: ``seconds`` as the library reports them (day 1 = January 1st,
    so 1 January 00:00 is 86400 s) and the same as a ``timedelta`` whose ``days`` is the day
    of the year."""

    seconds: float
    time: datetime.timedelta


class BitsyncOptions(NamedTuple):
    rate_20_mbit: bool
    ber_test: bool


class OperationalStatus(NamedTuple):
    """The first four of the module's operational flags (the operator program's LEDs)."""

    signal_above_threshold: bool
    pll_lock: bool
    quality_above_threshold: bool
    flag4: bool


class LinkAnalysisStatus(NamedTuple):
    """The module's bytes as they are: 0 is the good state of each (the operator program shows
    it green), so a locked correlator reads 0."""

    prn_correlator: int
    prn_correlator_history: int
    error_count_overflow: int


class LinkAnalysisCounts(NamedTuple):
    bits: int
    errors: int

    @property
    def bit_error_rate(self) -> float | None:
        """Errors per bit; None before any bit was counted."""
        return self.errors / self.bits if self.bits else None


# A measurement as the module sends it: one number, then optionally blanks and a unit made
# of letters ("12.3 dB"); the exponent only where digits follow its letter.
_MEASUREMENT = re.compile(r" *([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?) *[A-Za-z]* *")


def measurement_value(text: str) -> float:
    """The number of a measurement text; ValueError when the text is not one."""
    match = _MEASUREMENT.fullmatch(text)
    if match is None:
        raise ValueError(f"not a measurement: {text!r}")
    return float(match.group(1))


def _loader() -> type[ctypes.CDLL]:
    """32-bit Windows builds use the standard calling convention (stdcall)."""
    if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4:
        return ctypes.WinDLL
    return ctypes.CDLL


class Library:
    """The library, loaded from where zorv.search finds it. Loading it finds and opens the
    cards; open() opens the API and returns them. Holds the machine-wide name that ZorvApp and
    zorvctl take (CardsInUse when one of them runs) until close(). Use it in a with block."""

    def __init__(self, path=None):
        self.path = find_library(path)
        self._guard = InstanceGuard()
        try:
            try:
                self._dll = _loader()(self.path)
            except OSError as error:
                raise LibraryNotFound(f"{self.path} did not load: {error}") from error
            self._functions = {name: self._bind(name, result, arguments)
                               for name, (result, arguments) in PROTOTYPES.items()}
        except BaseException:
            self._guard.release()
            raise
        self._open = False

    def _bind(self, name: str, result, arguments):
        function = getattr(self._dll, name)  # AttributeError names a missing export
        function.restype = result
        function.argtypes = arguments
        return function

    def open(self) -> list[Card]:
        """Opens the API (ZorvApiOpen) and returns the cards, in the library's order."""
        dos_mode = ctypes.c_uint8()
        count = _I32()
        bitsync_counts = (_I32 * MAX_CARDS)()
        reserved = (_I32 * MAX_CARDS)()
        code = self._functions["ZorvApiOpen"](ctypes.byref(dos_mode), ctypes.byref(count),
                                              bitsync_counts, reserved)
        if code != ResultCode.SUCCESS:
            raise ZorvError("ZorvApiOpen", code)
        self._open = True
        cards = [Card(self, index, bitsync_counts[index]) for index in range(count.value)]
        for card in cards:
            card.enable_special_reads()
        return cards

    def close(self) -> None:
        """Closes the API (ZorvApiClose) and gives the machine-wide name back. The library
        stays loaded, with its cards open, until the process ends."""
        if self._open:
            self._functions["ZorvApiClose"]()
            self._open = False
        self._guard.release()

    def __enter__(self) -> Library:
        return self

    def __exit__(self, *exception) -> None:
        self.close()

    def call(self, name: str, card: int, *arguments) -> None:
        """Calls an export for a card; ZorvError unless it succeeds."""
        code = self._functions[name](card, *arguments)
        if code != ResultCode.SUCCESS:
            raise ZorvError(name, code, card)


def _bytes(count: int):
    return [ctypes.c_uint8() for _ in range(count)]


class Card:
    """One card of the library by its index (0 for the first). Every method calls one export
    (link_analysis_counts three) and raises ZorvError when it fails."""

    def __init__(self, library: Library, index: int, bitsync_count: int = 0):
        self.library = library
        self.index = index
        # 1 when the library found a bit synchronizer on the card, else 0.
        self.bitsync_count = bitsync_count
        self._last_lock_status = LockStatus.NO_CLOCK_NO_SIGNAL

    def __repr__(self) -> str:
        return f"Card({self.index}, bitsync_count={self.bitsync_count})"

    def enable_special_reads(self) -> bool:
        """The library asks a module for its programmed values, measurements, counts and
        flags only once it has read the module's configuration (ZorvApiGetBitsyncOptions), as
        the operator program and zorvctl do when they start; Library.open() does it for every
        card. False when the card has no bit synchronizer that answers: those reads then fail
        with their own result codes."""
        if not self.bitsync_count:
            return False
        try:
            self.options()
        except ZorvError:
            return False
        return True

    def _read(self, name: str, value_type):
        value = value_type()
        self.library.call(name, self.index, ctypes.byref(value))
        return value.value

    def _read_bytes(self, name: str, count: int) -> list[int]:
        values = _bytes(count)
        self.library.call(name, self.index, *(ctypes.byref(value) for value in values))
        return [value.value for value in values]

    def _read_text(self, name: str) -> str:
        text = ctypes.create_string_buffer(TEXT_BUFFER_SIZE)
        self.library.call(name, self.index, text)
        return text.value.decode("ascii", "replace")

    # IRIG reader

    def irig_status(self) -> IrigStatus:
        return IrigStatus(self._read("ZorvApiGetIrigStatus", _I32))

    def irig_time(self) -> IrigTime:
        seconds = self._read("ZorvApiGetIrigNowtime", ctypes.c_double)
        return IrigTime(seconds, datetime.timedelta(seconds=seconds))

    def load_irig_setup(self, setup: IrigSetup) -> None:
        self.library.call("ZorvApiLoadIrigSetup", self.index, ctypes.byref(setup))

    # Bit synchronizer

    def lock_status(self) -> LockStatus:
        """A module of the newer firmware reports its lock on every fourth poll only and hands
        back the status it was given on the other three: this card's last status, as the
        operator program polls four times a second."""
        status = _I32(self._last_lock_status)
        self.library.call("ZorvApiGetBitsyncStatus", self.index, ctypes.byref(status))
        self._last_lock_status = LockStatus(status.value)
        return self._last_lock_status

    def max_input_source(self) -> int:
        """11 on a card with command read-back, else 3."""
        return self._read("ZorvApiGetBitsyncMaxInputSource", _I32)

    def load_bitsync_setup(self, setup: BitsyncSetup) -> None:
        """Programs the whole setup, with the card's stored quick-react mode."""
        self.library.call("ZorvApiLoadBitsyncSetup", self.index, ctypes.byref(setup))

    def options(self) -> BitsyncOptions:
        rate_20_mbit, ber_test = self._read_bytes("ZorvApiGetBitsyncOptions", 2)
        return BitsyncOptions(bool(rate_20_mbit), bool(ber_test))

    def firmware(self) -> tuple[int, int]:
        """The module's firmware version, (high, low)."""
        high, low = _I32(), _I32()
        self.library.call("ZorvApiGetBitsyncFirmware", self.index, ctypes.byref(high),
                          ctypes.byref(low))
        return high.value, low.value

    def programmed_bit_rate(self) -> int:
        return self._read("ZorvApiGetBitsyncProgrammedBitRate", ctypes.c_uint32)

    def programmed_input_code(self) -> InputCode:
        return InputCode(self._read("ZorvApiGetBitsyncProgrammedInputCode", _I32))

    def programmed_output_code(self) -> OutputCode:
        return OutputCode(self._read("ZorvApiGetBitsyncProgrammedOutputCode", _I32))

    def programmed_loop_bandwidth(self) -> LoopBandwidth:
        return LoopBandwidth(self._read("ZorvApiGetBitsyncProgrammedLoopBw", ctypes.c_uint8))

    def operational_status(self) -> OperationalStatus:
        flags = self._read_bytes("ZorvApiGetBitSyncOperationalStatus", 4)
        return OperationalStatus(*(bool(flag) for flag in flags))

    def built_in_test(self) -> tuple[int, int, int, int, int]:
        """The five built-in test result bytes."""
        return tuple(self._read_bytes("ZorvApiGetBIT", 5))

    def link_analysis_bit_count(self) -> int:
        return self._read("ZorvApiGetLinkAnalysisBitCount", ctypes.c_uint32)

    def link_analysis_error_count(self) -> int:
        return self._read("ZorvApiGetLinkAnalysisErrorCount", ctypes.c_uint32)

    def link_analysis_counts(self) -> LinkAnalysisCounts:
        """The bit error test's counts. Bits go on counting between two reads, so the bits are
        taken as the mean of the counts read just before and just after the errors."""
        before = self.link_analysis_bit_count()
        errors = self.link_analysis_error_count()
        after = self.link_analysis_bit_count()
        return LinkAnalysisCounts((before + after) // 2 if after >= before else before, errors)

    def link_analysis_status(self) -> LinkAnalysisStatus:
        return LinkAnalysisStatus(*self._read_bytes("ZorvApiGetLinkAnalysisOperationalStatus", 3))

    def offset_frequency_text(self) -> str:
        return self._read_text("ZorvApiGetGetOffsetFrequency")

    def signal_voltage_text(self) -> str:
        return self._read_text("ZorvApiGetSignalVoltage")

    def es_no_text(self) -> str:
        return self._read_text("ZorvApiGetEstimatedEsNo")

    def offset_frequency(self) -> float:
        """Hz; ValueError when the module's text is not a number."""
        return measurement_value(self.offset_frequency_text())

    def signal_voltage(self) -> float:
        """Volts; ValueError when the module's text is not a number."""
        return measurement_value(self.signal_voltage_text())

    def es_no(self) -> float:
        """dB; ValueError when the module's text is not a number."""
        return measurement_value(self.es_no_text())

    def set_quick_react_mode(self, mode: int) -> None:
        """Only the low 8 bits count; the card keeps the mode for later setup loads even when
        the module does not take it."""
        self.library.call("ZorvApiSetBitsyncQuickReactMode", self.index, mode)

    # FSP signal quality mode

    def fsp_option(self) -> bool:
        return bool(self._read("ZorvApiGetBsEnableFspOption", ctypes.c_uint8))

    def enable_fsp_signal_quality_mode(self, f1: int, f2: int, f3: int, f4: int, f5: int) -> None:
        """F1 to F5 go to the module unchanged, in this order."""
        self.library.call("ZorvApiEnableBsFspSigQualMode", self.index, f1, f2, f3, f4, f5)

    def disable_fsp_signal_quality_mode(self) -> None:
        self.library.call("ZorvApiDisableBsFspSigQualMode", self.index)

    def fsp_count(self) -> int:
        return self._read("ZorvApiGetBsFspCount", ctypes.c_uint16)
