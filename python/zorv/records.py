"""The two records the library takes by pointer, laid out as zorv/BitsyncSetup.h and
zorv/IrigSetup.h lay them out. The layout is checked as the module is imported (and the test
suite checks these values against a C program built with the header)."""

from __future__ import annotations

import ctypes

# 8-bit booleans, true when non-zero: a byte, not ctypes.c_bool, so that any non-zero value
# the library reports reads as it is.
_Flag = ctypes.c_uint8


class BitsyncSetup(ctypes.Structure):
    """Nine 32-bit words: five table rows, the bit rate, twelve 8-bit flags. QuickReactMode is
    reported only: the card programs its own stored quick-react mode."""

    _pack_ = 4
    _fields_ = [
        ("Model", ctypes.c_int32),
        ("InputSource", ctypes.c_int32),
        ("InputCode", ctypes.c_int32),
        ("OutputCode", ctypes.c_int32),
        ("LoopBandwidth", ctypes.c_int32),
        ("BitRate", ctypes.c_uint32),
        ("BitDecisionDetector", _Flag),
        ("QuickReactMode", _Flag),
        ("StartupAutoTestEnabled", _Flag),
        ("Pattern15Bit", _Flag),
        ("NrzlDcOutputDisabledAtSymbolUnlock", _Flag),
        ("NrzlDcOutputDisabledAtEsNo5Db", _Flag),
        ("PcmEncoderOutputDisabledAtSymbolUnlock", _Flag),
        ("PcmEncoderOutputDisabledAtEsNo5Db", _Flag),
        ("BerTestingEnabled", _Flag),
        ("ExtBerMode", _Flag),
        ("KnownErrorMode", _Flag),
        ("Do90DegClkOut", _Flag),
    ]


class IrigSetup(ctypes.Structure):
    """The IRIG reader's setup: 12 bytes, with two bytes of padding after the two flags."""

    _pack_ = 4
    _fields_ = [
        ("SourceFormat", ctypes.c_int32),
        ("SourceExternal", _Flag),
        ("FlywheelEnabled", _Flag),
        ("GeneratorFormat", ctypes.c_int32),
    ]


# The C header's layout: the size, then each field's offset.
LAYOUT = {
    BitsyncSetup: (36, {
        "Model": 0, "InputSource": 4, "InputCode": 8, "OutputCode": 12, "LoopBandwidth": 16,
        "BitRate": 20, "BitDecisionDetector": 24, "QuickReactMode": 25,
        "StartupAutoTestEnabled": 26, "Pattern15Bit": 27,
        "NrzlDcOutputDisabledAtSymbolUnlock": 28, "NrzlDcOutputDisabledAtEsNo5Db": 29,
        "PcmEncoderOutputDisabledAtSymbolUnlock": 30, "PcmEncoderOutputDisabledAtEsNo5Db": 31,
        "BerTestingEnabled": 32, "ExtBerMode": 33, "KnownErrorMode": 34, "Do90DegClkOut": 35,
    }),
    IrigSetup: (12, {
        "SourceFormat": 0, "SourceExternal": 4, "FlywheelEnabled": 5, "GeneratorFormat": 8,
    }),
}


def layout_differences(record: type[ctypes.Structure]) -> list[str]:
    """How the record's ctypes layout differs from the header's; empty when it does not."""
    size, offsets = LAYOUT[record]
    differences = []
    if ctypes.sizeof(record) != size:
        differences.append(f"{record.__name__} is {ctypes.sizeof(record)} bytes, not {size}")
    fields = [name for name, _ in record._fields_]
    if fields != list(offsets):
        differences.append(f"{record.__name__} has the fields {fields}, not {list(offsets)}")
    for name, offset in offsets.items():
        field = getattr(record, name, None)
        if field is not None and field.offset != offset:
            differences.append(f"{record.__name__}.{name} is at {field.offset}, not {offset}")
    return differences


# Never pass the library a record of another layout: a mismatch stops the import (not an
# assert, which python -O would drop).
_DIFFERENCES = [text for record in LAYOUT for text in layout_differences(record)]
if _DIFFERENCES:
    raise ImportError("zorv records differ from the C header: " + "; ".join(_DIFFERENCES))
