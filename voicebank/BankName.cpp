#include "voicebank/BankName.h"

#include <algorithm>

std::string BankNameProblem(std::string_view name) {
    const std::string quoted = "the bank name '" + std::string(name) + "'";
    if (name.empty()) return "the bank name is empty";
    if (name.size() > MaxBankNameLength)
        return quoted + " has " + std::to_string(name.size()) + " characters; at most " +
               std::to_string(MaxBankNameLength) + " are allowed";
    if (!std::all_of(name.begin(), name.end(),
                     [](char c) { return IsBankNameChar(static_cast<unsigned char>(c)); }))
        return quoted + " may hold only ASCII letters, digits and hyphens";
    return {};
}

std::string CleanBankName(std::string_view name) {
    std::string kept;
    for (const char c : name) {
        if (kept.size() == MaxBankNameLength) break;
        if (IsBankNameChar(static_cast<unsigned char>(c))) kept.push_back(c);
    }
    return kept;
}

namespace {

char LowerCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsBankFileName(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    if (name.size() <= BankFileExtension.size()) return false;
    const std::string_view tail = name.substr(name.size() - BankFileExtension.size());
    return std::equal(tail.begin(), tail.end(), BankFileExtension.begin(),
                      [](char a, char b) { return LowerCase(a) == b; });
}

bool SameBankName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerCase(x) == LowerCase(y); });
}
