#pragma once

// The catalogue object a worker job makes for itself at its start and
// destroys at its end: both connections with the busy time-out, and the
// registry pointer set so listings can make file objects.

#include "catalogue/Catalog.h"
#include "files/FileObjectRegistry.h"

struct JobCatalog {
    CCatalog catalog;

    explicit JobCatalog(CFileObjectRegistry& registry) : catalog(registry.Catalog().Path()) {
        catalog.MainDb().SetBusyTimeout(kBusyTimeoutMs);
        catalog.OpenMain();
        catalog.SetRegistry(&registry);
    }
};
