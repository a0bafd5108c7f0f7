#pragma once

// The one live record of a file, folder or drive per full path: its
// file-system facts, its catalogue record (asset id, metadata, keyword ids),
// and the thumbnail drawn in grids. Shared through CFileObjectPtr handles by
// the user-interface thread and the workers; the registry hands them out and
// saves a changed object when the last outside holder lets go. The
// thumbnail is guarded by the object's own lock; other fields are written by
// whoever holds the object at the moment, as the listing and thumbnail jobs
// and the panes take turns.

#include "catalogue/AssetRecord.h"
#include "catalogue/DateTime.h"
#include "files/Table.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CFileObjectRegistry;
struct ThumbnailDib;

class CFileObject : public AssetRecord {
public:
    CFileObject(std::string fullPath, CFileObjectRegistry* registry);
    CFileObject(const CFileObject&) = delete;
    CFileObject& operator=(const CFileObject&) = delete;
    ~CFileObject();

    // Copies, as several threads read them.
    std::string GetFileName() const { return fileName; }
    std::string GetDescription() const { return description; }
    std::string GetTitle() const { return title; }

    const std::string& GetFullPath() const { return m_fullPath; }
    void SetFullPath(const std::string& fullPath) { m_fullPath = fullPath; }
    // The file name from the last component of the full path.
    static std::string LastComponent(const std::string& path);

    std::uint64_t GetSize() const { return m_size; }
    void SetSize(std::uint64_t size) { m_size = size; }
    const DateTime& GetCreated() const { return m_created; }
    void SetCreated(const DateTime& when) { m_created = when; }
    const DateTime& GetModified() const { return m_modified; }
    void SetModified(const DateTime& when) { m_modified = when; }
    const DateTime& GetAccessed() const { return m_accessed; }
    void SetAccessed(const DateTime& when) { m_accessed = when; }

    bool IsHidden() const { return m_isHidden; }
    void SetHidden(bool hidden) { m_isHidden = hidden; }
    bool IsSystem() const { return m_isSystem; }
    void SetSystem(bool system) { m_isSystem = system; }
    bool IsReadOnly() const { return m_isReadOnly; }
    void SetReadOnly(bool readOnly) { m_isReadOnly = readOnly; }
    bool IsDrive() const { return m_isDrive; }
    void SetDrive(bool drive) { m_isDrive = drive; }

    // The thumbnail and its flag: take Lock() around reading or replacing them.
    ThumbnailDib* GetThumbnail() const { return m_thumbnail.get(); }
    void SetThumbnail(std::unique_ptr<ThumbnailDib> thumbnail);
    bool IsThumbnailLoaded() const { return m_thumbnailLoaded; }
    void SetThumbnailLoaded(bool loaded) { m_thumbnailLoaded = loaded; }
    std::recursive_mutex& Lock() const { return m_lock; }

    CFileObjectRegistry* GetRegistry() const { return m_registry.load(); }
    void DetachFromRegistry() { m_registry = nullptr; }

    // The names of the keyword ids, each followed by "; ".
    std::string KeywordsText() const;

private:
    std::string m_fullPath;
    std::uint64_t m_size = 0;
    DateTime m_created;
    DateTime m_modified; // the null date until the file's time is read
    DateTime m_accessed;
    bool m_isHidden = false;
    bool m_isSystem = false;
    bool m_isReadOnly = false;
    bool m_isDrive = false;
    std::unique_ptr<ThumbnailDib> m_thumbnail;
    bool m_thumbnailLoaded = false;
    std::atomic<CFileObjectRegistry*> m_registry;
    mutable std::recursive_mutex m_lock;
};

// A one-pointer handle to a shared { object, count } cell. Copying counts up
// without a lock; releasing counts down under the registry lock, and the
// release that leaves only the registry's own handle unregisters the object
// (saving it when metaModified is set).
class CFileObjectPtr {
public:
    CFileObjectPtr() = default;
    CFileObjectPtr(const CFileObjectPtr& other) noexcept;
    CFileObjectPtr(CFileObjectPtr&& other) noexcept : m_cell(other.m_cell) {
        other.m_cell = nullptr;
    }
    CFileObjectPtr& operator=(const CFileObjectPtr& other) noexcept;
    CFileObjectPtr& operator=(CFileObjectPtr&& other) noexcept;
    ~CFileObjectPtr() { Release(); }

    void Release();
    CFileObject* get() const;
    CFileObject* operator->() const { return get(); }
    CFileObject& operator*() const { return *get(); }
    explicit operator bool() const { return m_cell != nullptr; }
    bool operator==(const CFileObjectPtr& other) const { return m_cell == other.m_cell; }
    long UseCount() const;

private:
    friend class CFileObjectRegistry;
    struct Cell {
        Cell(std::string fullPath, CFileObjectRegistry* registry)
            : object(std::move(fullPath), registry) {}
        CFileObject object;
        std::atomic<long> count{1};
    };
    explicit CFileObjectPtr(Cell* cell) : m_cell(cell) {}

    Cell* m_cell = nullptr;
};

// Folders before files; names compared ignoring the case of A-Z only.
int CompareFileObjects(const CFileObjectPtr& a, const CFileObjectPtr& b);
inline bool FileObjectLess(const CFileObjectPtr& a, const CFileObjectPtr& b) {
    return CompareFileObjects(a, b) < 0;
}

template <> struct TableTraits<CFileObjectPtr> {
    static bool IsEmpty(const CFileObjectPtr& h) { return !h; }
    // The same folder-ness and the same name ignoring case; the path is not compared.
    static bool Equal(const CFileObjectPtr& a, const CFileObjectPtr& b) {
        return CompareFileObjects(a, b) == 0;
    }
};

using CFileObjectTable = Table<CFileObjectPtr, CFileObjectPtr>;
using CFileObjectSTable = STable<CFileObjectPtr, CFileObjectPtr>;

// The listing of the current view: an STable that visits its elements on clear.
class CFileObjectRefTable : public CFileObjectSTable {
public:
    CFileObjectRefTable() : CFileObjectSTable(true) {
        SetElementHook([](CFileObjectPtr) {}); // the copy is released on return
    }
};
