// Compiled in before every C++ source of the shipped code (-include, see CMakeLists.txt): the
// standard library's error messages are left out of the programs. The library passes them to
// its throw helpers, which the programs' own run-time support (lean_runtime.cpp) replaces with an
// exit that shows nothing; inlined into every unit that builds a string or a vector, the unread
// texts ("basic_string::append", "cannot create std::vector larger than max_size()", ...) were
// some 2 KB of every package. __N is the library's marker for those texts (<bits/c++config.h>).
#pragma once

#include <bits/c++config.h>

// One empty text for all of them, through a pointer the compiler cannot fold: the format checks
// of the library's formatting throw helper then see no format to check. Nothing changes it.
inline const char* g_library_message_left_out = "";

#undef __N
#define __N(message) ::g_library_message_left_out
