// Whether a prerequisite program counts as installed: conditions on files of the host folder
// (with a least version) and on a registered component, joined by "|".
#pragma once

#include <string>

// True when every condition of the "|"-separated list holds; an empty or blank list never does.
bool IsProgramInstalled(const std::string& conditions);
