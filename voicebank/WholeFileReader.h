#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class WholeFileRead { Read, TooLarge, Failed };

// Reads the whole file at path into *bytes. A file of more than maxBytes is
// not read (TooLarge, *bytes empty), so a stray huge file never fills the
// memory. Failed leaves the bare reason in *why ("No such file or
// directory", "the read ended early", "not enough memory"), for the caller
// to put into its own sentence.
[[nodiscard]] WholeFileRead ReadWholeFile(const std::string& path, uintmax_t maxBytes,
                                          std::vector<uint8_t>* bytes, std::string* why);
