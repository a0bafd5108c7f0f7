#include "files/ThreadStore.h"

CThreadStore::CQuitThread::~CQuitThread() {
    if (CThreadStore* store = m_store.exchange(nullptr)) {
        store->Unregister(m_threadId);
    }
}

CThreadStore::~CThreadStore() {
    QuitAll();
}

void CThreadStore::Register(std::thread::id threadId, const Token& token) {
    if (!token) {
        return;
    }
    std::lock_guard lock(m_mutex);
    token->m_threadId = threadId;
    token->m_store = this;
    m_tokens.push_back(token);
}

void CThreadStore::Unregister(std::thread::id threadId) {
    Token released;
    std::lock_guard lock(m_mutex);
    for (auto it = m_tokens.begin(); it != m_tokens.end(); ++it) {
        if ((*it)->m_threadId == threadId) {
            (*it)->m_store = nullptr;
            // Released after the lock: the last release may run the token's
            // destructor, which must not find itself still listed.
            released = std::move(*it);
            m_tokens.erase(it);
            break;
        }
    }
}

void CThreadStore::QuitAll() {
    for (;;) {
        Token head;
        {
            std::lock_guard lock(m_mutex);
            if (m_tokens.empty()) {
                return;
            }
            head = std::move(m_tokens.front());
            m_tokens.pop_front();
        }
        if (CQuitThread* token = head.get()) {
            token->Quit();
            token->m_store = nullptr;
        }
    }
}

bool CThreadStore::IsEmpty() const {
    std::lock_guard lock(m_mutex);
    return m_tokens.empty();
}

void CThreadStore::UnregisterFromOwner(const Token& token) {
    if (!token) {
        return;
    }
    if (CThreadStore* store = token->m_store.load()) {
        store->Unregister(token->m_threadId);
    }
}
