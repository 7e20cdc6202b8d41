// The tool's commands. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

// Prints every record of a log file, decoded, and how its walk ended.
int DumpCommand(const std::wstring& path);

// The road of an error through the library, in the current data folder.
int DemoCommand();
