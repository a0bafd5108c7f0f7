#include "files/FileObject.h"

#include "files/FileObjectRegistry.h"
#include "files/ThumbnailDib.h"

CFileObject::CFileObject(std::string fullPath, CFileObjectRegistry* registry)
    : m_fullPath(std::move(fullPath)), m_registry(registry) {
    fileName = LastComponent(m_fullPath);
}

CFileObject::~CFileObject() = default;

std::string CFileObject::LastComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

void CFileObject::SetThumbnail(std::unique_ptr<ThumbnailDib> thumbnail) {
    std::lock_guard lock(m_lock);
    m_thumbnail = std::move(thumbnail);
}

std::string CFileObject::KeywordsText() const {
    CFileObjectRegistry* registry = GetRegistry();
    if (registry == nullptr) {
        return {};
    }
    std::string text;
    for (std::int32_t id : keywordIds) {
        text += registry->KeywordNameForId(id);
        text += "; ";
    }
    return text;
}

// ---- handles ----

CFileObjectPtr::CFileObjectPtr(const CFileObjectPtr& other) noexcept : m_cell(other.m_cell) {
    if (m_cell != nullptr) {
        m_cell->count.fetch_add(1, std::memory_order_relaxed);
    }
}

CFileObjectPtr& CFileObjectPtr::operator=(const CFileObjectPtr& other) noexcept {
    if (m_cell != other.m_cell) {
        CFileObjectPtr copy(other);
        std::swap(m_cell, copy.m_cell);
    }
    return *this;
}

CFileObjectPtr& CFileObjectPtr::operator=(CFileObjectPtr&& other) noexcept {
    if (this != &other) {
        Release();
        m_cell = other.m_cell;
        other.m_cell = nullptr;
    }
    return *this;
}

CFileObject* CFileObjectPtr::get() const {
    return m_cell != nullptr ? &m_cell->object : nullptr;
}

long CFileObjectPtr::UseCount() const {
    return m_cell != nullptr ? m_cell->count.load(std::memory_order_acquire) : 0;
}

void CFileObjectPtr::Release() {
    Cell* cell = m_cell;
    if (cell == nullptr) {
        return;
    }
    m_cell = nullptr;
    CFileObjectRegistry* registry = cell->object.GetRegistry();
    if (registry == nullptr) {
        if (cell->count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete cell;
        }
        return;
    }
    // The registry lock makes the step down to the registry's own handle and
    // the unregistering one move: no other thread can find the object in the
    // map meanwhile. It is re-entrant, as unregistering releases the map's handle.
    std::lock_guard lock(registry->Lock());
    const long remaining = cell->count.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 1) {
        registry->Unregister(&cell->object);
    } else if (remaining == 0) {
        delete cell;
    }
}

// ---- ordering ----

namespace {

int CompareNamesIgnoringCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y - 'A' + 'a');
        }
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

int CompareFileObjects(const CFileObjectPtr& a, const CFileObjectPtr& b) {
    const CFileObject* x = a.get();
    const CFileObject* y = b.get();
    if (x == nullptr || y == nullptr) {
        return x == y ? 0 : (x == nullptr ? -1 : 1);
    }
    if (x->isfolder != y->isfolder) {
        return x->isfolder ? -1 : 1;
    }
    return CompareNamesIgnoringCase(x->fileName, y->fileName);
}
