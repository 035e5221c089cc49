#pragma once

#include <cstddef>
#include <memory>
#include <new>

// A per-slot table with a fixed number of entries, indexed by slot number.
// Callers check the slot's range before indexing.
template <typename T>
class SlotArray {
public:
    // Replaces the table with count value-initialised (zero) entries.
    // Returns false, with the table left empty, when it cannot be allocated.
    [[nodiscard]] bool Allocate(int count) noexcept {
        m_items.reset();
        try {
            m_items = std::make_unique<T[]>(static_cast<size_t>(count));
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    void reset() noexcept { m_items.reset(); }
    explicit operator bool() const noexcept { return m_items != nullptr; }
    T& operator[](int slot) noexcept { return m_items[static_cast<size_t>(slot)]; }
    const T& operator[](int slot) const noexcept { return m_items[static_cast<size_t>(slot)]; }

private:
    std::unique_ptr<T[]> m_items;
};
