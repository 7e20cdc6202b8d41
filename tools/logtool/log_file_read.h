// Reading a whole log file as the tool looks at it: beside the writers, the
// roll-over and the removal of what was sent, never in their way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace suite {

// The file's bytes. Fails with kFile, giving the system's reason.
std::vector<std::uint8_t> ReadLogFile(const std::wstring& path);

// The whole records in the log file, by the library's record walk; nothing
// when the file is missing or cannot be read.
std::optional<std::size_t> CountLogRecords(const std::wstring& path);

}  // namespace suite
