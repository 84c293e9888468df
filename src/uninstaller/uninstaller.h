// The uninstaller's run, from its command line to its exit code:
//   chruinst.exe                    finds the installations it serves; asks about the one, or
//                                   lists them to choose from
//   chruinst.exe PATH               removes the installation whose uinstall.ini (or the folder
//                                   holding it, or a run record) PATH names, after its question
//   chruinst.exe -s PATH            the same without any window
// Exit code 0 when every removal asked for was complete, 1 otherwise (nothing removed, refused,
// cancelled, or not complete). The program removes itself once it serves no installation.
#pragma once

#include <string>
#include <vector>

int RunUninstaller(const std::vector<std::string>& arguments);
