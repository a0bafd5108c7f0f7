#pragma once

// Growable arrays of handles that panes and jobs pass around. Capacity
// starts at 32 and grows by 64 when full. A table may visit every element
// before it is cleared (the hook gets a copy of each). STable adds only
// elements that no element already equals. Not locked: the owner guards a
// table that several threads reach.

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

// How a table tells empty entries and equal entries of its element type.
template <class T> struct TableTraits {
    static bool IsEmpty(const T&) { return false; }
    static bool Equal(const T& a, const T& b) { return a == b; }
};

template <class T, class ARG = T> class Table {
public:
    static constexpr std::size_t kInitialCapacity = 32;
    static constexpr std::size_t kGrowBy = 64;

    explicit Table(bool visitOnClear = false) : m_visitOnClear(visitOnClear) {
        Allocate(kInitialCapacity);
    }
    Table(const Table& other) : m_visitOnClear(other.m_visitOnClear), m_hook(other.m_hook) {
        Allocate(other.m_capacity);
        for (std::size_t i = 0; i < other.m_count; ++i) {
            m_items[i] = other.m_items[i];
        }
        m_count = other.m_count;
    }
    Table& operator=(const Table& other) {
        if (this != &other) {
            Table copy(other);
            Swap(copy);
        }
        return *this;
    }
    virtual ~Table() = default;

    void SetElementHook(std::function<void(T)> hook) { m_hook = std::move(hook); }

    // Ignores empty elements.
    void Add(ARG element) {
        if (TableTraits<T>::IsEmpty(element)) {
            return;
        }
        Append(std::move(element));
    }

    // The first element equal to `element`, or an empty T.
    T Find(ARG element) const {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (TableTraits<T>::Equal(m_items[i], element)) {
                return m_items[i];
            }
        }
        return T();
    }

    void Remove(ARG element) {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (TableTraits<T>::Equal(m_items[i], element)) {
                RemoveAt(static_cast<int>(i));
                return;
            }
        }
    }

    // Ignores an index outside 0..count-1.
    void RemoveAt(int index) {
        if (index < 0 || static_cast<std::size_t>(index) >= m_count) {
            return;
        }
        for (std::size_t i = static_cast<std::size_t>(index); i + 1 < m_count; ++i) {
            m_items[i] = std::move(m_items[i + 1]);
        }
        --m_count;
        m_items[m_count] = T();
    }

    T GetAt(int index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= m_count) {
            return T();
        }
        return m_items[static_cast<std::size_t>(index)];
    }

    void Clear() {
        if (m_visitOnClear && m_hook) {
            for (std::size_t i = 0; i < m_count; ++i) {
                m_hook(m_items[i]);
            }
        }
        m_items.reset();
        m_count = 0;
        Allocate(kInitialCapacity);
    }

    int GetCount() const { return static_cast<int>(m_count); }
    std::size_t Capacity() const { return m_capacity; }
    bool IsEmpty() const { return m_count == 0; }

    // The element array, for sorting in place.
    T* begin() { return m_items.get(); }
    T* end() { return m_items.get() + m_count; }
    const T* begin() const { return m_items.get(); }
    const T* end() const { return m_items.get() + m_count; }

    void Swap(Table& other) noexcept {
        std::swap(m_items, other.m_items);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_count, other.m_count);
        std::swap(m_visitOnClear, other.m_visitOnClear);
        std::swap(m_hook, other.m_hook);
    }

protected:
    void Append(T element) {
        if (m_count == m_capacity) {
            Grow();
        }
        m_items[m_count++] = std::move(element);
    }

private:
    void Allocate(std::size_t capacity) {
        m_items = std::make_unique<T[]>(capacity);
        m_capacity = capacity;
    }

    void Grow() {
        const std::size_t capacity = m_capacity + kGrowBy;
        auto items = std::make_unique<T[]>(capacity);
        for (std::size_t i = 0; i < m_count; ++i) {
            items[i] = std::move(m_items[i]);
        }
        m_items = std::move(items);
        m_capacity = capacity;
    }

    std::unique_ptr<T[]> m_items;
    std::size_t m_capacity = 0;
    std::size_t m_count = 0;
    bool m_visitOnClear;
    std::function<void(T)> m_hook;
};

template <class T, class ARG = T> class STable : public Table<T, ARG> {
public:
    using Table<T, ARG>::Table;

    // Appends only when no element equals `element`.
    void Add(ARG element) {
        if (TableTraits<T>::IsEmpty(element)) {
            return;
        }
        for (const T& existing : *this) {
            if (TableTraits<T>::Equal(existing, element)) {
                return;
            }
        }
        this->Append(std::move(element));
    }
};
