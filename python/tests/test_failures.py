"""Failures reach the caller as ZorvError with the library's result code and its name, never
as a bare code, from every method."""

from __future__ import annotations

import pytest

from conftest import standard_setup

import zorv

# Every Card method with arguments it takes.
CALLS = {
    "irig_status": (), "irig_time": (), "load_irig_setup": (zorv.IrigSetup(),),
    "lock_status": (), "max_input_source": (), "load_bitsync_setup": (standard_setup(),),
    "options": (), "firmware": (), "programmed_bit_rate": (), "programmed_input_code": (),
    "programmed_output_code": (), "programmed_loop_bandwidth": (), "operational_status": (),
    "built_in_test": (), "link_analysis_bit_count": (), "link_analysis_error_count": (),
    "link_analysis_counts": (), "link_analysis_status": (), "offset_frequency_text": (),
    "signal_voltage_text": (), "es_no_text": (), "offset_frequency": (), "signal_voltage": (),
    "es_no": (), "set_quick_react_mode": (1,), "fsp_option": (),
    "enable_fsp_signal_quality_mode": (1, 2, 3, 4, 5), "disable_fsp_signal_quality_mode": (),
    "fsp_count": (),
}


def test_every_card_method_is_in_the_table():
    public = {name for name in vars(zorv.Card) if not name.startswith("_")}
    assert public - {"enable_special_reads"} == set(CALLS)


@pytest.mark.parametrize("method", sorted(CALLS))
def test_a_card_beyond_the_count_raises_bad_card_index(method, module_cards):
    beyond = zorv.Card(module_cards[0].library, len(module_cards))
    with pytest.raises(zorv.ZorvError) as raised:
        getattr(beyond, method)(*CALLS[method])
    assert (raised.value.code, raised.value.name, raised.value.card) == (
        zorv.ResultCode.BAD_CARD_INDEX, "BAD_CARD_INDEX", len(module_cards))
    assert raised.value.function.startswith("ZorvApi")


def test_an_unknown_code_is_kept_as_a_number():
    error = zorv.ZorvError("ZorvApiGetBIT", 6, 0)
    assert (error.code, error.name, str(error)) == (6, "UNKNOWN",
                                                    "ZorvApiGetBIT (card index 0): UNKNOWN (6)")
