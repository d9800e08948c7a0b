#pragma once
// The library frame: the table of up to eight cards, the load and unload sequences that the
// platform's load handlers run, and the 27 exports of ZorvApi.h (defined in the .cpp).

#include <cstdint>

// Load: opens the library's log, discovers the cards and opens each one. Never fails: a
// library without cards, or with cards that did not open, still loads.
void ZorvDllProcessAttach() noexcept;
// Unload: releases every card and closes the log. Does nothing unless attached, so the
// handlers may call it more than once.
void ZorvDllProcessDetach() noexcept;
