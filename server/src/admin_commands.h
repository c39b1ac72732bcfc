// The administrator's commands of norwin-server that work on the store
// without serving: tokens (add, list, revoke) and record versions (list,
// restore). Each prints what it did on standard output and returns the
// program's exit status; errors go to standard error as one line.
#pragma once

#include <optional>
#include <string>

#include "norwin/server/record_store.h"

namespace norwin::server {

// The record a location names: "http://host:port/TOKEN/app/roster.xml",
// "/app/roster.xml" or a location with the record library's extra query
// and sub-folder ("http://h/app/?sid=7?class2/roster.xml" is
// /app/class2/roster.xml). A first path segment that is a token of the
// store gives the namespace, unless `space` names one.
RecordKey KeyOfLocation(RecordStore& store, const std::string& location,
                        const std::optional<std::string>& space);

int TokenAdd(RecordStore& store, const std::string& space);
int TokenList(RecordStore& store);
int TokenRevoke(RecordStore& store, const std::string& token);
// Lists the kept versions of the record.
int ListVersions(RecordStore& store, const RecordKey& key);
// Makes version `version` current again; without one, the newest version
// before the current state.
int RestoreVersion(RecordStore& store, const RecordKey& key, std::optional<int64_t> version);

}  // namespace norwin::server
