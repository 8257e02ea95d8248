#pragma once

#include "db/ado/AdoDb.h"

#include <mutex>

// A backup's open database as a window shares it with the background work it starts: the
// work holds it for as long as it runs, whatever becomes of the window, and takes `inUse`
// around every use, so that one thread at a time works on the connection.
struct SharedDatabase
{
    CAdoDb db;
    std::mutex inUse;
};
