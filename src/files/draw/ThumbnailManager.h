#pragma once

// CThumbnailManager draws a file object into a grid cell: its thumbnail
// (with a frame) for images, a file-type icon for everything else, and a
// stack of up to 20 objects for the selection and the mini-basket. It loads
// the icons once from "FileTypes/" when it is made. User-interface thread;
// drawing a thumbnail holds the object's lock, which the loader holds while
// it replaces one.

#include "files/FileObject.h"

#include <QColor>
#include <QImage>

#include <map>
#include <string>
#include <vector>

class QPainter;

// A cell in device pixels, right and bottom exclusive.
struct CellRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const CellRect&, const CellRect&) = default;
};

class CThumbnailManager {
public:
    // Loads the icons from <resourceDir>/FileTypes/; an icon that does not
    // load is left out and its key falls back to "default".
    explicit CThumbnailManager(const std::string& resourceDir);
    virtual ~CThumbnailManager();
    CThumbnailManager(const CThumbnailManager&) = delete;
    CThumbnailManager& operator=(const CThumbnailManager&) = delete;

    // The icon of a non-image object; null only when not even the default loaded.
    const QImage* IconFor(const CFileObject& object) const;
    // The key IconFor ends up with ("drive", "folder", ".html", "compressed",
    // "image", the extension or "default").
    std::string IconKeyFor(const CFileObject& object) const;
    const QImage* IconForKey(const std::string& key) const;

    void Draw(const CFileObject& object, QPainter& dc, QColor colour, CellRect cell,
              int border) const;
    // The first up to 20 entries as a stack with white frames, the last on
    // top at `rect`.
    void DrawStack(const CFileObjectTable& table, QPainter& dc, CellRect rect) const;

    // Where a picture of w × h lands in a cell: fitted into the cell less the
    // border on each side, never enlarged, one pixel right of and below centre.
    static CellRect Placement(int w, int h, CellRect cell, int border);

    static constexpr int kStackMax = 20;

private:
    // The key before the lookup: by kind, content type and extension.
    static std::string KeyByName(const CFileObject& object);

    std::map<std::string, int> m_index; // key → index into m_icons, or -1
    std::vector<QImage> m_icons;
};
