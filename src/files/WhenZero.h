#pragma once

// A small counter changed under its own lock, and the counter of running
// jobs whose zero state can be waited on. Any thread.

#include "platform/Event.h"

#include <mutex>

template <class T> class CInterlockedType {
public:
    explicit CInterlockedType(T value = T()) : m_value(value) {}
    CInterlockedType(const CInterlockedType&) = delete;
    CInterlockedType& operator=(const CInterlockedType&) = delete;
    virtual ~CInterlockedType() = default;

    // Called inside the lock after each change.
    virtual void OnChange(T newValue, T oldValue) {
        (void)newValue;
        (void)oldValue;
    }

    T Value() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

protected:
    // Applies the change and calls OnChange inside the lock; returns the old value.
    template <class Change> T Modify(Change change) {
        std::lock_guard lock(m_mutex);
        ++m_depth;
        const T old = m_value;
        m_value = change(m_value);
        OnChange(m_value, old);
        --m_depth;
        return old;
    }

private:
    mutable std::recursive_mutex m_mutex;
    int m_depth = 0; // callers inside the lock
    T m_value;
};

template <class T> class CInterlockedScalar : public CInterlockedType<T> {
public:
    using CInterlockedType<T>::CInterlockedType;

    T Increment() {
        return this->Modify([](T v) { return static_cast<T>(v + 1); });
    }
    T Decrement() {
        return this->Modify([](T v) { return static_cast<T>(v - 1); });
    }
};

template <class T> class CWhenZero : public CInterlockedScalar<T> {
public:
    CWhenZero() : CInterlockedScalar<T>(T()) {}

    void OnChange(T newValue, T oldValue) override {
        if (oldValue == T() && newValue != T()) {
            m_isZero.Reset();
            m_isNonZero.Set();
        } else if (oldValue != T() && newValue == T()) {
            m_isZero.Set();
            m_isNonZero.Reset();
        }
    }

    platform::Event& IsZeroEvent() { return m_isZero; }
    platform::Event& IsNonZeroEvent() { return m_isNonZero; }

private:
    platform::Event m_isZero{true, true};
    platform::Event m_isNonZero{true, false};
};
