#pragma once

// A shared handle to an object in a counted cell { object, count }. Count
// changes are atomic; the last handle deletes the object (through its
// virtual destructor, when it has one) together with the cell. Any thread
// may copy and release handles.

#include <atomic>
#include <utility>

template <class T> class CRefCountRep {
public:
    explicit CRefCountRep(T* object) : m_object(object) {}
    ~CRefCountRep() { delete m_object; }
    CRefCountRep(const CRefCountRep&) = delete;
    CRefCountRep& operator=(const CRefCountRep&) = delete;

    T* Object() const { return m_object; }
    void AddRef() { m_count.fetch_add(1, std::memory_order_relaxed); }
    // True when this was the last reference.
    bool Release() { return m_count.fetch_sub(1, std::memory_order_acq_rel) == 1; }
    long Count() const { return m_count.load(std::memory_order_acquire); }

private:
    T* m_object;
    std::atomic<long> m_count{1};
};

template <class T, class Rep = CRefCountRep<T>> class RefCountPtr {
public:
    RefCountPtr() = default;
    // Takes ownership of a newly made object.
    explicit RefCountPtr(T* object) : m_rep(object != nullptr ? new Rep(object) : nullptr) {}
    RefCountPtr(const RefCountPtr& other) : m_rep(other.m_rep) {
        if (m_rep != nullptr) {
            m_rep->AddRef();
        }
    }
    RefCountPtr(RefCountPtr&& other) noexcept : m_rep(std::exchange(other.m_rep, nullptr)) {}
    RefCountPtr& operator=(RefCountPtr other) noexcept {
        std::swap(m_rep, other.m_rep);
        return *this;
    }
    ~RefCountPtr() { Reset(); }

    void Reset() {
        Rep* rep = std::exchange(m_rep, nullptr);
        if (rep != nullptr && rep->Release()) {
            delete rep;
        }
    }

    T* get() const { return m_rep != nullptr ? m_rep->Object() : nullptr; }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }
    explicit operator bool() const { return get() != nullptr; }
    long UseCount() const { return m_rep != nullptr ? m_rep->Count() : 0; }

private:
    Rep* m_rep = nullptr;
};
