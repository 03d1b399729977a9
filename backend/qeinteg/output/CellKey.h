// Cell keys of the compact table format: one fixed-width field per dimension, each a leaf index in
// base 86, most significant digit first, left-padded with "0".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "qeinteg/qeinteg_export.h"

namespace qeinteg::output {

inline constexpr std::uint64_t kKeyBase = 86;

// The digit alphabet: a digit's value is its position here.
QEINTEG_EXPORT const std::string& KeyDigits();

// The smallest width k >= 1 with 86^k >= leafCount.
QEINTEG_EXPORT std::uint64_t KeyWidth(std::uint64_t leafCount);

// `value` in base 86, left-padded with "0" to `width` (longer when the value needs more digits).
QEINTEG_EXPORT std::string EncodeKeyField(std::uint64_t value, std::uint64_t width);

// The value of a key field; nothing when it holds a character outside the alphabet or overflows.
QEINTEG_EXPORT std::optional<std::uint64_t> DecodeKeyField(const std::string& field);

}  // namespace qeinteg::output
