// The file name a prerequisite's download gets, and the rule it must follow: shared by the
// installer, which fetches it under that name, and the package builder, which checks the list.
#pragma once

#include <string>

// The file name of a URL: after its last "/" and before any "?"; empty without a "/".
std::string DownloadFileName(const std::string& url);

// Why a download's file name cannot be used, or kSafe.
enum class TDownloadNameProblem {
    kSafe,
    kEmpty,      // the URL ends without a file name
    kSeparator,  // a backslash would put the file into another folder
    kUnsafe,     // the rule of archive member names refuses it ("..", device names, ...)
};
// Checks the file name a downloaded file gets (DownloadFileName of its URL) by the rule the
// extractor applies to member names, and as a single name: it must stay in the folder it is
// fetched to, as a plain file.
TDownloadNameProblem CheckDownloadFileName(const std::string& name);
