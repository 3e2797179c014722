// The stored custom argument string.
//
// Default options are kept as the value "UnpackCustomArgs" of the key
// Software/Veltor/RawLogSplit under the machine-wide settings root. On this
// platform that root is the folder kCustomArgsRoot; each key is a folder and
// each value a file holding the value's bytes. Application::customArgsRoot,
// when set, replaces the root folder.
#pragma once
#include <string>
#include <vector>

constexpr const char* kCustomArgsRoot = "/etc/logsplit/registry";
constexpr const char* kCustomArgsKeyPath = "Software/Veltor/RawLogSplit";
constexpr const char* kCustomArgsValueName = "UnpackCustomArgs";

// Full path of the value file under `root` (the default root when null).
std::string CustomArgsPath(const char* root);

// Splits a custom argument string at runs of space, tab, CR and LF.
std::vector<std::string> SplitCustomArgs(const char* text);
