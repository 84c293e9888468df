// Small archives written by tests with minizip's zip writer, optionally behind a program image.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Members in order: name as stored ("/" separators, code page 932) and content.
using ZipMembers = std::vector<std::pair<std::string, std::string>>;

// Writes a ZIP archive with the members, deflated; with prefix_file set, the archive is written
// behind a copy of that file (an installer with its package).
bool WriteZip(const std::string& path, const ZipMembers& members,
              const std::string& prefix_file = "");
