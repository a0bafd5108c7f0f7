-- The catalogue as the installation ships it: schema version 2 with the
-- system albums. The program never creates these tables itself; the build
-- turns this script into the template db.db3 beside the executable, and
-- start-up copies that template when the user has no catalogue yet.

CREATE TABLE folders (
    id   INTEGER PRIMARY KEY,
    path TEXT NOT NULL
);
CREATE INDEX folders_by_path ON folders (path);

CREATE TABLE assets (
    id             INTEGER PRIMARY KEY,
    folderid       INTEGER NOT NULL DEFAULT 0,
    filename       TEXT NOT NULL DEFAULT '',
    isfolder       INTEGER NOT NULL DEFAULT 0,
    isimage        INTEGER NOT NULL DEFAULT 0,
    timesynced     TEXT DEFAULT '',
    timescanned    TEXT DEFAULT '',
    ismetamodified INTEGER NOT NULL DEFAULT 0,
    isfilemodified INTEGER NOT NULL DEFAULT 0,
    uniquehash     TEXT DEFAULT ''
);
CREATE INDEX assets_by_folder_and_name ON assets (folderid, filename);

-- The column order is part of the contract: readers take "SELECT *" in order.
CREATE TABLE image (
    assetid      INTEGER PRIMARY KEY,
    width        INTEGER DEFAULT 0,
    height       INTEGER DEFAULT 0,
    type         INTEGER DEFAULT 0,
    description  TEXT DEFAULT '',
    title        TEXT DEFAULT '',
    artist       TEXT DEFAULT '',
    copyright    TEXT DEFAULT '',
    usercomment  TEXT DEFAULT '',
    equipmake    TEXT DEFAULT '',
    equipmodel   TEXT DEFAULT '',
    orientation  TEXT DEFAULT '',
    exposuretime TEXT DEFAULT '',
    exposurebios TEXT DEFAULT '',
    exposureprog TEXT DEFAULT '',
    fnumber      TEXT DEFAULT '',
    isospeed     TEXT DEFAULT '',
    shutterspeed TEXT DEFAULT '',
    aperture     TEXT DEFAULT '',
    brightness   TEXT DEFAULT '',
    maxaperture  TEXT DEFAULT '',
    meteringmode TEXT DEFAULT '',
    lightsource  TEXT DEFAULT '',
    flash        TEXT DEFAULT '',
    focallength  TEXT DEFAULT '',
    makernote    TEXT DEFAULT '',
    rating       INTEGER DEFAULT -1,
    datetaken    TEXT DEFAULT ''
);

CREATE TABLE keywords (
    id      INTEGER PRIMARY KEY,
    keyword TEXT NOT NULL
);
CREATE INDEX keywords_by_text ON keywords (keyword);

CREATE TABLE assettokeyword (
    keywordid INTEGER NOT NULL,
    assetid   INTEGER NOT NULL,
    UNIQUE (keywordid, assetid)
);
CREATE INDEX assettokeyword_by_asset ON assettokeyword (assetid);

CREATE TABLE albums (
    id            INTEGER PRIMARY KEY,
    title         TEXT DEFAULT '',
    description   TEXT DEFAULT '',
    displayname   TEXT DEFAULT '',
    parentalbum   INTEGER NOT NULL DEFAULT 0,
    browseable    INTEGER NOT NULL DEFAULT 1,
    auto          INTEGER NOT NULL DEFAULT 0,
    system        INTEGER NOT NULL DEFAULT 0,
    search        TEXT DEFAULT '',
    ispublished   INTEGER NOT NULL DEFAULT 0,
    ismodified    INTEGER NOT NULL DEFAULT 0,
    serverprivacy INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX albums_by_parent ON albums (parentalbum);

CREATE TABLE assettoalbum (
    assetid INTEGER NOT NULL,
    albumid INTEGER NOT NULL,
    UNIQUE (assetid, albumid)
);
CREATE INDEX assettoalbum_by_album ON assettoalbum (albumid);

CREATE TABLE version (
    version INTEGER NOT NULL
);

-- System albums: members are the asset ids their statement returns.
INSERT INTO albums (id, title, description, displayname, parentalbum, browseable, auto, system, search)
VALUES
    (1, 'Quick Find', 'Every photo in the catalogue', 'Quick Find', 0, 1, 0, 1,
     'SELECT id FROM assets WHERE isimage=1'),
    (2, 'Recently Added', 'Photos first seen in the last 30 days', 'Recently Added', 1, 1, 0, 1,
     'SELECT id FROM assets WHERE isimage=1 AND timescanned >= datetime(''now'', ''localtime'', ''-30 days'')'),
    (3, 'Top Rated', 'Photos rated 4 stars or more', 'Top Rated', 1, 1, 0, 1,
     'SELECT assetid FROM image WHERE rating >= 4'),
    (4, 'Not Rated', 'Photos without a rating', 'Not Rated', 1, 1, 0, 1,
     'SELECT assetid FROM image WHERE rating < 0'),
    (5, 'Changed Since Sync', 'Photos changed since the last synchronisation', 'Changed Since Sync', 1, 1, 0, 1,
     'SELECT id FROM assets WHERE isimage=1 AND (ismetamodified=1 OR isfilemodified=1)');

INSERT INTO version VALUES (2);
