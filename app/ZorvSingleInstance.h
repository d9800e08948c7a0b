#pragma once
// The name the operator program takes so that only one program drives the cards at a time;
// the command-line tool tests it too.

inline constexpr const char* kSingleInstanceName = "Protect ZorvApp";
