#pragma once

// The album record: one album of the album tree as the program holds it, and
// the short album reference of the albums-of-a-photo lists. Plain values,
// owned by whoever loaded them and used on that thread.

#include <cstdint>
#include <string>

struct AlbumInfo {
    std::int32_t id = -1;
    std::string name; // displayname: the name shown in the tree
    std::string description;
    std::int32_t published = 0;
    std::int32_t modified = 0;
    std::int32_t browseable = 0;
    std::int32_t automatic = 0; // members are the result of the quick-search text in search
    std::int32_t system = 0;    // members are the asset ids the statement in search returns
    // A member photo changed since the last synchronisation; never for system albums.
    bool hasPhotoChanges = false;
    std::int32_t privacy = 0;
    std::string search;
};

struct AlbumRef {
    std::string title;
    std::int32_t id = -1;
};
