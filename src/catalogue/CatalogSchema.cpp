#include "catalogue/Catalog.h"

#include "platform/MessageBox.h"

bool CCatalog::UpgradeSchema() {
    int version = 0;
    try {
        CppSQLite3Query query = m_mainDb.Query("SELECT MAX(a.version) FROM version AS a;");
        if (!query.IsEnd()) {
            version = query.ColumnInt(0);
        }
    } catch (const CppSQLite3Exception&) {
        version = 0;
    }
    if (version >= 2 || version < 0) {
        return false;
    }
    try {
        if (version == 0) {
            m_mainDb.Execute(
                "ALTER TABLE albums ADD COLUMN serverprivacy integer NOT NULL DEFAULT 0;");
        }
        m_mainDb.Execute("UPDATE albums SET displayname='Quick Find' WHERE id=1 AND system=1;");
        m_mainDb.Execute(FormatSql("INSERT INTO version VALUES (%d)", 2));
        return true;
    } catch (const CppSQLite3Exception& e) {
        platform::ShowMessageBox(e.ErrorMessage(), platform::MessageBoxButtons::Ok,
                                 platform::MessageBoxIcon::Warning);
        return false;
    }
}
