#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The readers read named files, so each input is written to one scratch file
// (in memory where the system offers /dev/shm) and read back by name.
const std::string& FuzzFile(const std::uint8_t* data, std::size_t size);
