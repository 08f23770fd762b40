// System error codes the simulated machine gives as Windows gives them. The
// program never tests for these; it only shows their system text.
#pragma once
#include <cstdint>

namespace sim {

constexpr std::uint32_t kErrorFileNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorInvalidHandle = 6;       // ERROR_INVALID_HANDLE
constexpr std::uint32_t kErrorInvalidParameter = 87;   // ERROR_INVALID_PARAMETER
constexpr std::uint32_t kErrorNoMoreItems = 259;       // ERROR_NO_MORE_ITEMS

}  // namespace sim
