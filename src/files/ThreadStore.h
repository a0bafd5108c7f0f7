#pragma once

// The quit tokens of running jobs, kept per kind of job. A starter registers
// the token of each job it starts; telling the store to quit flags every
// token and forgets it, and the jobs wind down on their own. Any thread.

#include "files/RefCountPtr.h"

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

class CThreadStore {
public:
    // The quit token of one job: the job reads the flag before each entry it walks.
    class CQuitThread {
    public:
        CQuitThread() = default;
        CQuitThread(const CQuitThread&) = delete;
        CQuitThread& operator=(const CQuitThread&) = delete;
        virtual ~CQuitThread();

        bool ShouldQuit() const { return m_quit.load(std::memory_order_acquire) != 0; }
        void Quit() { m_quit.exchange(1, std::memory_order_acq_rel); }
        std::thread::id ThreadId() const { return m_threadId; }

    private:
        friend class CThreadStore;
        std::atomic<std::uint32_t> m_quit{0};
        std::thread::id m_threadId;
        std::atomic<CThreadStore*> m_store{nullptr};
    };

    using Token = RefCountPtr<CQuitThread, CRefCountRep<CQuitThread>>;

    CThreadStore() = default;
    CThreadStore(const CThreadStore&) = delete;
    CThreadStore& operator=(const CThreadStore&) = delete;
    virtual ~CThreadStore();

    void Register(std::thread::id threadId, const Token& token);
    void Unregister(std::thread::id threadId);
    void QuitAll();
    bool IsEmpty() const;

    // For a job at its end: unregisters the token from the store it is still in.
    static void UnregisterFromOwner(const Token& token);

private:
    mutable std::recursive_mutex m_mutex;
    std::list<Token> m_tokens;
};
