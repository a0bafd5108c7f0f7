// CCatalog: the assets, folders and image tables, kept in step with the file
// objects' catalogue records.

#include "catalogue/Catalog.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::int32_t kNone = -1;

unsigned AsUnsigned(std::int32_t id) {
    return static_cast<unsigned>(id);
}

bool HasAsset(const AssetRecord* object) {
    return object != nullptr && object->assetId != kNone;
}

// Copies the columns of the image row query into the record, in the query's order.
void ReadImageColumns(const CppSQLite3Query& row, AssetRecord& object) {
    object.width = row.ColumnInt(0);
    object.height = row.ColumnInt(1);
    object.type = row.ColumnInt(2);
    std::string* const texts[] = {
        &object.description,  &object.title,        &object.artist,       &object.copyright,
        &object.usercomment,  &object.equipmake,    &object.equipmodel,   &object.orientation,
        &object.exposuretime, &object.exposurebios, &object.exposureprog, &object.fnumber,
        &object.isospeed,     &object.shutterspeed, &object.aperture,     &object.brightness,
        &object.maxaperture,  &object.meteringmode, &object.lightsource,  &object.flash,
        &object.focallength,  &object.makernote,
    };
    int column = 3;
    for (std::string* text : texts) {
        *text = row.ColumnText(column++);
    }
    object.rating = row.ColumnInt(column++);
    object.datetaken = row.ColumnText(column);
}

std::string InsertImageStatement(const AssetRecord& o) {
    return FormatSql(
        "INSERT INTO image (assetid, width, height,type, description,title, artist,copyright, "
        "usercomment, equipmake, equipmodel, orientation, exposuretime, exposurebios, "
        "exposureprog, fnumber, isospeed, shutterspeed, aperture, brightness, maxaperture, "
        "meteringmode, lightsource, flash, focallength, makernote, rating, datetaken) VALUES "
        "(%d,%d,%d,%d,'%s','%s','%s','%s','%s','%s','%s','%s','%s','%s','%s','%s','%s','%s','%s',"
        "'%s','%s','%s','%s','%s','%s','%s', %d, '%s');",
        o.assetId, o.width, o.height, o.type, EscapeSql(o.description).c_str(),
        EscapeSql(o.title).c_str(), EscapeSql(o.artist).c_str(), EscapeSql(o.copyright).c_str(),
        EscapeSql(o.usercomment).c_str(), EscapeSql(o.equipmake).c_str(),
        EscapeSql(o.equipmodel).c_str(), EscapeSql(o.orientation).c_str(),
        EscapeSql(o.exposuretime).c_str(), EscapeSql(o.exposurebios).c_str(),
        EscapeSql(o.exposureprog).c_str(), EscapeSql(o.fnumber).c_str(),
        EscapeSql(o.isospeed).c_str(), EscapeSql(o.shutterspeed).c_str(),
        EscapeSql(o.aperture).c_str(), EscapeSql(o.brightness).c_str(),
        EscapeSql(o.maxaperture).c_str(), EscapeSql(o.meteringmode).c_str(),
        EscapeSql(o.lightsource).c_str(), EscapeSql(o.flash).c_str(),
        EscapeSql(o.focallength).c_str(), EscapeSql(o.makernote).c_str(), o.rating,
        EscapeSql(o.datetaken).c_str());
}

std::string UpdateImageStatement(const AssetRecord& o) {
    return FormatSql(
        "update image set width=%d, height=%d,type=%d, description='%s',title='%s', "
        "artist='%s',copyright='%s', usercomment='%s', equipmake='%s', equipmodel='%s', "
        "orientation='%s', exposuretime='%s', exposurebios='%s', exposureprog='%s', "
        "fnumber='%s', isospeed='%s', shutterspeed='%s', aperture='%s', brightness='%s', "
        "maxaperture='%s', meteringmode='%s', lightsource='%s', flash='%s', focallength='%s', "
        "makernote='%s', rating=%d, datetaken='%s' where assetid=%d;",
        o.width, o.height, o.type, EscapeSql(o.description).c_str(), EscapeSql(o.title).c_str(),
        EscapeSql(o.artist).c_str(), EscapeSql(o.copyright).c_str(),
        EscapeSql(o.usercomment).c_str(), EscapeSql(o.equipmake).c_str(),
        EscapeSql(o.equipmodel).c_str(), EscapeSql(o.orientation).c_str(),
        EscapeSql(o.exposuretime).c_str(), EscapeSql(o.exposurebios).c_str(),
        EscapeSql(o.exposureprog).c_str(), EscapeSql(o.fnumber).c_str(),
        EscapeSql(o.isospeed).c_str(), EscapeSql(o.shutterspeed).c_str(),
        EscapeSql(o.aperture).c_str(), EscapeSql(o.brightness).c_str(),
        EscapeSql(o.maxaperture).c_str(), EscapeSql(o.meteringmode).c_str(),
        EscapeSql(o.lightsource).c_str(), EscapeSql(o.flash).c_str(),
        EscapeSql(o.focallength).c_str(), EscapeSql(o.makernote).c_str(), o.rating,
        EscapeSql(o.datetaken).c_str(), o.assetId);
}

} // namespace

bool CCatalog::LookupAsset(AssetRecord* object) {
    if (object == nullptr || object->folderId == kNone) {
        return false;
    }
    try {
        {
            CppSQLite3Query row = m_mainDb.Query(
                FormatSql("SELECT assets.id,assets.timesynced,assets.timescanned,assets.isimage,"
                          "assets.isfolder FROM assets WHERE (assets.folderid = %d) AND "
                          "(assets.filename = '%s')",
                          object->folderId, EscapeSql(object->fileName).c_str()));
            if (row.IsEnd()) {
                return false;
            }
            object->assetId = row.ColumnInt(0);
            object->timesynced.ParseDateTime(row.ColumnText(1));
            object->timescanned.ParseDateTime(row.ColumnText(2));
            object->isimage = row.ColumnInt(3) != 0;
            object->isfolder = row.ColumnInt(4) != 0;
        }
        if (object->isimage) {
            ReadImage(object, false);
        }
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::ReadImage(AssetRecord* object, bool existsOnly) {
    if (!HasAsset(object)) {
        return false;
    }
    try {
        {
            CppSQLite3Query row = m_mainDb.Query(FormatSql(
                "SELECT width, height,type, description,title, artist,copyright, usercomment, "
                "equipmake, equipmodel, orientation, exposuretime, exposurebios, exposureprog, "
                "fnumber, isospeed, shutterspeed, aperture, brightness, maxaperture, "
                "meteringmode, lightsource, flash, focallength, makernote,rating,datetaken FROM "
                "image WHERE (image.assetid = %d)",
                object->assetId));
            if (row.IsEnd()) {
                return false;
            }
            if (existsOnly) {
                return true;
            }
            ReadImageColumns(row, *object);
        }
        ReadKeywordIds(object);
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::ReadImages(const std::vector<AssetRecord*>& objects) {
    constexpr size_t kBatch = 500;
    try {
        for (size_t first = 0; first < objects.size(); first += kBatch) {
            std::unordered_map<std::int32_t, AssetRecord*> byId;
            std::string ids;
            for (size_t i = first; i < std::min(objects.size(), first + kBatch); ++i) {
                if (HasAsset(objects[i])) {
                    byId.emplace(objects[i]->assetId, objects[i]);
                    if (!ids.empty()) {
                        ids += ',';
                    }
                    ids += std::to_string(objects[i]->assetId);
                }
            }
            if (ids.empty()) {
                continue;
            }
            std::unordered_map<std::int32_t, std::vector<std::int32_t>> keywords;
            {
                CppSQLite3Query rows = m_mainDb.Query(
                    "SELECT width, height,type, description,title, artist,copyright, usercomment, "
                    "equipmake, equipmodel, orientation, exposuretime, exposurebios, exposureprog, "
                    "fnumber, isospeed, shutterspeed, aperture, brightness, maxaperture, "
                    "meteringmode, lightsource, flash, focallength, makernote,rating,datetaken,"
                    "assetid FROM image WHERE image.assetid IN (" +
                    ids + ")");
                for (; !rows.IsEnd(); rows.Next()) {
                    auto found = byId.find(rows.ColumnInt(27));
                    if (found != byId.end()) {
                        ReadImageColumns(rows, *found->second);
                        keywords[found->first]; // has an image row: its keyword ids are read
                    }
                }
            }
            CppSQLite3Query links = m_mainDb.Query(
                "SELECT assettokeyword.assetid, keywords.id FROM keywords,assettokeyword WHERE "
                "(assettokeyword.keywordid = keywords.id) AND (assettokeyword.assetid IN (" +
                ids + "))");
            for (; !links.IsEnd(); links.Next()) {
                auto found = keywords.find(links.ColumnInt(0));
                if (found != keywords.end()) {
                    found->second.push_back(links.ColumnInt(1));
                }
            }
            for (auto& [id, list] : keywords) {
                byId[id]->keywordIds = std::move(list);
            }
        }
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::ReadKeywordIds(AssetRecord* object) {
    if (!HasAsset(object)) {
        return false;
    }
    try {
        // Collected aside and handed over whole: a read that fails halfway must
        // not leave the object with a partial list that a later save would
        // write back over the links.
        std::vector<std::int32_t> ids;
        CppSQLite3Query row = m_mainDb.Query(
            FormatSql("SELECT keywords.id, keywords.keyword FROM keywords,assettokeyword WHERE "
                      "(assettokeyword.keywordid = keywords.id) AND (assettokeyword.assetid = %d)",
                      object->assetId));
        for (; !row.IsEnd(); row.Next()) {
            ids.push_back(row.ColumnInt(0));
        }
        object->keywordIds = std::move(ids);
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::InsertAsset(AssetRecord* object) {
    if (object == nullptr) {
        return false;
    }
    try {
        m_mainDb.Execute(FormatSql(
            "INSERT INTO assets (folderid, filename, isfolder,isimage) VALUES (%d,'%s',%d,%d);",
            object->folderId, EscapeSql(object->fileName).c_str(), object->isfolder ? 1 : 0,
            object->isimage ? 1 : 0));
        object->assetId = static_cast<std::int32_t>(m_mainDb.LastRowId());
        if (object->isimage) {
            InsertImage(object);
        }
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::InsertImage(AssetRecord* object) {
    if (!HasAsset(object)) {
        return false;
    }
    try {
        m_mainDb.Execute(InsertImageStatement(*object));
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

void CCatalog::UpdateAssetRow(const AssetRecord& object) {
    m_mainDb.Execute(FormatSql("UPDATE assets SET filename='%s', folderid=%d, timesynced='%s', "
                               "timescanned='%s', isfolder=%d, isimage=%d WHERE id=%d;",
                               EscapeSql(object.fileName).c_str(), object.folderId,
                               EscapeSql(object.timesynced.Format()).c_str(),
                               EscapeSql(object.timescanned.Format()).c_str(),
                               object.isfolder ? 1 : 0, object.isimage ? 1 : 0, object.assetId));
}

void CCatalog::UpdateImageRow(const AssetRecord& object) {
    m_mainDb.Execute(UpdateImageStatement(object));
}

void CCatalog::MarkMetaModified(std::int32_t assetId) {
    m_mainDb.Execute(
        FormatSql("UPDATE assets SET ismetamodified=1 WHERE id=%u", AsUnsigned(assetId)));
}

// The marks of a saved image: its metadata changed, and its file too when
// the object says so.
void CCatalog::MarkSavedImage(const AssetRecord& object) {
    MarkMetaModified(object.assetId);
    if (object.fileModified) {
        m_mainDb.Execute(FormatSql("UPDATE assets SET isfilemodified=1 WHERE id=%u",
                                   AsUnsigned(object.assetId)));
    }
}

bool CCatalog::SaveAsset(AssetRecord* object) {
    // An object that never reached the catalogue has no row to update, and
    // its image row and links would be written under the id -1.
    if (!HasAsset(object)) {
        return false;
    }
    try {
        UpdateAssetRow(*object);
        if (object->isimage) {
            SaveImage(object);
        }
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::SaveImage(AssetRecord* object) {
    if (!HasAsset(object)) {
        return false;
    }
    if (!ReadImage(object, true)) {
        WriteKeywordLinks(object);
        return InsertImage(object);
    }
    try {
        UpdateImageRow(*object);
        WriteKeywordLinks(object);
        MarkSavedImage(*object);
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

bool CCatalog::SaveAssetOnRelease(AssetRecord* object) {
    if (!HasAsset(object)) {
        return false;
    }
    try {
        UpdateAssetRow(*object);
        if (!object->isimage) {
            return true;
        }
        UpdateImageRow(*object);
        if (m_mainDb.RowsChanged() == 0) {
            // The image row went missing (its insert failed earlier): the
            // changed metadata would otherwise be dropped without a trace.
            m_mainDb.Execute(InsertImageStatement(*object));
        }
        WriteKeywordLinks(object);
        MarkSavedImage(*object);
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

void CCatalog::WriteKeywordLinks(AssetRecord* object) {
    if (!HasAsset(object) || !object->isimage) {
        return;
    }
    try {
        m_mainDb.Execute(FormatSql("DELETE from assettokeyword where assetid=%d", object->assetId));
        for (std::int32_t keywordId : object->keywordIds) {
            m_mainDb.Execute(FormatSql("INSERT OR REPLACE INTO assettokeyword (keywordid,assetid) "
                                       "VALUES('%d', '%d')",
                                       keywordId, object->assetId));
        }
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::DeleteAssetRows(std::int32_t assetId) {
    const unsigned id = AsUnsigned(assetId);
    m_mainDb.Execute(FormatSql("DELETE from assets where id=%u", id));
    m_mainDb.Execute(FormatSql("DELETE from assettoalbum where assetid=%u", id));
    m_mainDb.Execute(FormatSql("DELETE from assettokeyword where assetid=%u", id));
    m_mainDb.Execute(FormatSql("DELETE from image where assetid=%u", id));
}

void CCatalog::DeleteAsset(AssetRecord* object) {
    if (!HasAsset(object)) {
        return;
    }
    try {
        DeleteAssetRows(object->assetId);
    } catch (const CppSQLite3Exception&) {
    }
}

std::string CCatalog::LookupFolderPath(std::int32_t folderId) {
    try {
        CppSQLite3Query row = m_mainDb.Query(
            FormatSql("SELECT folders.path FROM folders WHERE (folders.id = %d)", folderId));
        return row.IsEnd() ? std::string() : row.ColumnText(0);
    } catch (const CppSQLite3Exception&) {
        return {};
    }
}

std::int32_t CCatalog::LookupFolderId(const std::string& path) {
    try {
        {
            CppSQLite3Query row = m_mainDb.Query(FormatSql(
                "SELECT folders.id, folders.path FROM folders WHERE (folders.path = '%s')",
                EscapeSql(path).c_str()));
            if (!row.IsEnd()) {
                return row.ColumnInt(0);
            }
        }
        return InsertFolder(path);
    } catch (const CppSQLite3Exception&) {
        return kNone;
    }
}

std::int32_t CCatalog::InsertFolder(const std::string& path) {
    try {
        m_mainDb.Execute(
            FormatSql("INSERT INTO folders (path) VALUES('%s')", EscapeSql(path).c_str()));
        return static_cast<std::int32_t>(m_mainDb.LastRowId());
    } catch (const CppSQLite3Exception&) {
        return kNone;
    }
}

void CCatalog::UpdateFolderPath(std::int32_t folderId, const std::string& path) {
    try {
        m_mainDb.Execute(FormatSql("update folders set path='%s' where id=%d",
                                   EscapeSql(path).c_str(), folderId));
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::RepathFoldersBelow(const std::string& oldPrefix, const std::string& newPrefix) {
    // Every path that starts with oldPrefix sorts from oldPrefix up to (not
    // including) the prefix with its last byte raised by one.
    if (oldPrefix.empty() || static_cast<unsigned char>(oldPrefix.back()) == 0xFF) {
        return;
    }
    std::string upper = oldPrefix;
    upper.back() = static_cast<char>(upper.back() + 1);
    try {
        std::vector<std::pair<std::int32_t, std::string>> rows;
        CppSQLite3Query query = m_mainDb.Query(
            FormatSql("SELECT id, path FROM folders WHERE path >= '%s' AND path < '%s'",
                      EscapeSql(oldPrefix).c_str(), EscapeSql(upper).c_str()));
        for (; !query.IsEnd(); query.Next()) {
            rows.emplace_back(query.ColumnInt(0), query.ColumnText(1));
        }
        query.Finalize();
        for (const auto& [id, path] : rows) {
            m_mainDb.Execute(FormatSql("update folders set path='%s' where id=%d",
                                       EscapeSql(newPrefix + path.substr(oldPrefix.size())).c_str(),
                                       id));
        }
    } catch (const CppSQLite3Exception&) {
    }
}
