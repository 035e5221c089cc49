#pragma once

#include <string>
#include <utility>

// Which voice bank the rows are: the bank they were opened from (or last
// saved as), the bank they were last saved as (its file name names them),
// and, while a kept copy opens, the bank that copy stands for. Paths are
// absolute, UTF-8; empty when not known.
class RowsBank {
public:
    [[nodiscard]] const std::string& Opened() const { return m_opened; }
    [[nodiscard]] const std::string& Saved() const { return m_saved; }
    // The rows came from path (opened, or put back by undo).
    void SetOpened(std::string path) { m_opened = std::move(path); }
    // The rows were saved as path: they are now that bank.
    void SetSaved(const std::string& path) {
        m_opened = path;
        m_saved = path;
    }
    // The copy being opened stands for bank; TakeStandIn hands it over once
    // (empty when the opening is of a bank itself).
    void SetStandIn(std::string bank) { m_standIn = std::move(bank); }
    [[nodiscard]] std::string TakeStandIn() { return std::exchange(m_standIn, {}); }

private:
    std::string m_opened;
    std::string m_saved;
    std::string m_standIn;
};
