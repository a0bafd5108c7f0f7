#pragma once

// The catalogue identity and metadata of one file, folder or drive: exactly
// the fields the asset, image and membership operations of CCatalog read and
// write, under the names the file object uses for them.
//
// The file object (CFileObject) is built on this record rather than beside
// it: it derives from AssetRecord publicly, so a CFileObject* passes straight
// to the catalogue operations and no field exists twice, and it adds what the
// catalogue never sees (full path, size, file times, attributes, thumbnail,
// its lock and registry). Its getters and setters are then thin accessors of
// these fields. The initial values are the file object's: empty texts, false
// flags, -1 for rating, width, height, asset id and folder id, null dates, no
// keyword ids. A record is used by one thread at a time; the file-object
// registry serialises its catalogue lookups, inserts and saves under its lock.

#include "catalogue/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

struct AssetRecord {
    // Texts that mirror the image row's text columns.
    std::string description;
    std::string artist;
    std::string title;
    std::string copyright;
    std::string usercomment;
    std::int32_t rating = -1; // -1: no rating, otherwise the star count
    std::string equipmake;
    std::string equipmodel;
    std::string orientation;
    std::string datetaken;
    std::string exposuretime;
    std::string fnumber;
    std::string exposureprog;
    std::string isospeed;
    std::string shutterspeed;
    std::string aperture;
    std::string brightness;
    std::string exposurebios;
    std::string maxaperture;
    std::string meteringmode;
    std::string lightsource;
    std::string flash;
    std::string focallength;
    std::string makernote;

    // The metadata was changed in memory and must reach the catalogue.
    bool metaModified = false;
    // The file is newer than the catalogue knew; a save marks it file-modified.
    bool fileModified = false;

    // The last path component, the catalogue's assets.filename.
    std::string fileName;

    DateTime timescanned;
    DateTime timesynced;
    bool isfolder = false;
    bool isimage = false;

    std::int32_t width = -1;
    std::int32_t height = -1;
    std::int32_t type = 0;

    std::int32_t assetId = -1;  // assets.id; -1: not in the catalogue
    std::int32_t folderId = -1; // assets.folderid; -1 until set

    // Ids into the catalogue's keyword table, in link order.
    std::vector<std::int32_t> keywordIds;
};
