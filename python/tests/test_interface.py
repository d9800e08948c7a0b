"""The package against what the C header and the C++ name tables say, so that neither can
change without the package."""

from __future__ import annotations

import ctypes
import re

import pytest

from conftest import SOURCE_TREE

import zorv
from zorv import library, names, records

HEADER = (SOURCE_TREE / "include" / "zorv" / "ZorvApi.h").read_text()


def c_names(table, prefix: str) -> dict[str, int]:
    """The enumeration as the header names its constants: BAD_CARD_INDEX is
    kZorvApiBadCardIndex, LockStatus.NO_CLOCK_NO_SIGNAL kZorvApiLockNoClockNoSignal."""
    return {"kZorvApi" + prefix + member.name.title().replace("_", ""): member.value
            for member in table}


@pytest.mark.parametrize("record", [zorv.BitsyncSetup, zorv.IrigSetup], ids=lambda r: r.__name__)
def test_records_are_laid_out_as_the_c_compiler_lays_them_out(record, header_values):
    size, offsets = records.LAYOUT[record]
    assert {"size": size, **offsets} == header_values[record.__name__]
    assert records.layout_differences(record) == []


def test_a_record_of_another_layout_is_named():
    class Shifted(ctypes.Structure):
        _fields_ = [("SourceFormat", ctypes.c_int16), ("SourceExternal", ctypes.c_uint8),
                    ("FlywheelEnabled", ctypes.c_uint8), ("GeneratorFormat", ctypes.c_int32)]

    records.LAYOUT[Shifted] = records.LAYOUT[zorv.IrigSetup]
    try:
        assert records.layout_differences(Shifted) == [
            "Shifted is 8 bytes, not 12", "Shifted.SourceExternal is at 2, not 4",
            "Shifted.FlywheelEnabled is at 3, not 5", "Shifted.GeneratorFormat is at 4, not 8"]
    finally:
        del records.LAYOUT[Shifted]


@pytest.mark.parametrize("table, prefix", [(zorv.ResultCode, ""), (zorv.LockStatus, "Lock"),
                                           (zorv.IrigStatus, "Irig")],
                         ids=["ResultCode", "LockStatus", "IrigStatus"])
def test_codes_are_the_headers(table, prefix, header_values):
    assert c_names(table, prefix) == header_values[table.__name__]


def test_limits_are_the_headers(header_values):
    assert header_values["Counts"] == {
        "kZorvApiLockStatusCount": len(zorv.LockStatus), "kZorvApiMaxCards": library.MAX_CARDS,
        "kZorvApiMinTextBuffer": library.TEXT_BUFFER_SIZE,
        "kZorvApiExportCount": len(library.PROTOTYPES)}


def test_every_constant_of_the_header_is_compared(header_values):
    declared = set(re.findall(r"ZORVAPI_CONSTANT\((kZorvApi\w+),", HEADER))
    compared = {name for group in ("ResultCode", "LockStatus", "IrigStatus", "Counts")
                for name in header_values[group]}
    assert declared == compared


# The header's C types as ctypes types.
C_TYPES = {
    "int32_t": ctypes.c_int32, "int32_t*": ctypes.POINTER(ctypes.c_int32),
    "uint8_t*": ctypes.POINTER(ctypes.c_uint8), "uint16_t*": ctypes.POINTER(ctypes.c_uint16),
    "uint32_t*": ctypes.POINTER(ctypes.c_uint32), "double*": ctypes.POINTER(ctypes.c_double),
    "char*": ctypes.c_char_p, "const IrigSetup*": ctypes.POINTER(zorv.IrigSetup),
    "const BitsyncSetup*": ctypes.POINTER(zorv.BitsyncSetup),
}


def header_prototypes() -> dict[str, tuple]:
    prototypes = {}
    for result, name, parameters in re.findall(
            r"ZORVAPI_FUNCTION\((\w+), (\w+),\s*\(([^)]*)\)\);", HEADER):
        types = [] if parameters == "void" else [
            C_TYPES[re.sub(r"\s+\w+$", "", parameter.strip())]
            for parameter in parameters.split(",")]
        prototypes[name] = (None if result == "void" else ctypes.c_int32, types)
    return prototypes


def test_every_export_is_bound_with_the_headers_prototype(header_values):
    assert sorted(library.PROTOTYPES) == sorted(header_values["exports"])
    assert library.PROTOTYPES == header_prototypes()


@pytest.mark.parametrize("array", sorted(names.NAME_TABLES))
def test_tables_carry_the_cpp_display_names(array, name_tables):
    table = names.NAME_TABLES[array]
    assert [row.label for row in table] == name_tables[array]
    assert [row.value for row in table] == list(range(len(name_tables[array])))


def test_input_sources_are_named_after_the_plain_names(name_tables):
    assert [row.name for row in zorv.InputSource] == [
        names._member_name(text) for text in name_tables["kInputSourcePlainNames"]]
