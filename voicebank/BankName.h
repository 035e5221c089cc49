#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The one rule for a voice bank's name (the file's base name, stored in the
// bank's name field): 1 to 16 ASCII letters, digits or hyphens. glwtool, the
// save dialog's name field and the export all go by it.

inline constexpr size_t MaxBankNameLength = 16;

[[nodiscard]] constexpr bool IsBankNameChar(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
           c == U'-';
}

// Empty when name keeps the rule, else the reason in a sentence part
// ("the bank name 'a b' may hold only ASCII letters, digits and hyphens").
[[nodiscard]] std::string BankNameProblem(std::string_view name);

[[nodiscard]] inline bool IsValidBankName(std::string_view name) {
    return BankNameProblem(name).empty();
}

// The name cleaned to the rule: its letters, digits and hyphens in order, cut
// to the longest length allowed; empty when none is left.
[[nodiscard]] std::string CleanBankName(std::string_view name);

// The one rule for a bank file, in every command and the window: a path
// whose name ends in ".glw" in any letter case ("K2.glw", "K2.GLW").
inline constexpr std::string_view BankFileExtension = ".glw";
// The card's folder that holds the banks: CARD/gridlume/NAME.glw.
inline constexpr std::string_view BankFolderName = "gridlume";
[[nodiscard]] bool IsBankFileName(std::string_view path);

// Whether two bank names are one bank's: equal but for ASCII letter case, as
// a card's FAT folder finds them ("kit.glw" holding the name "KIT").
[[nodiscard]] bool SameBankName(std::string_view a, std::string_view b);
