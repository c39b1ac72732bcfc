// The commands of lumo-content. Each writes its report to standard output
// and returns Ok, or a failure whose message says what went wrong; a failed
// command leaves the database as it was (a new database is not left behind).
#pragma once

#include <filesystem>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::content_tool {

// `create DB`: a new database holding every table of the schema, empty.
Status CreateDatabase(const std::filesystem::path& db);

// `import DB TABLE FILE.csv`: adds the rows of the CSV file to the table, all
// of them or (on the first bad row) none.
Status ImportCsv(const std::filesystem::path& db, std::string_view table,
                 const std::filesystem::path& csv);

// `check DB`: what the content classes would refuse. Prints one line per
// problem; fails (after printing them) when there is any.
Status CheckDatabase(const std::filesystem::path& db);

// `list DB`: the rows of every table and what every module holds.
Status ListDatabase(const std::filesystem::path& db);

// `import-mdb FILE.mdb DB`: copies every table of a desktop (Jet) database
// into the new database DB.
Status ImportMdb(const std::filesystem::path& mdb, const std::filesystem::path& db);

// Builds a new file at `target` through a temporary file beside it:
// `build` fills the temporary file, which then takes the name `target`
// (which must not exist). On failure the temporary file is removed.
Status BuildNewFile(const std::filesystem::path& target,
                    Status (*build)(const std::filesystem::path& file, const void* context),
                    const void* context);

}  // namespace norwin::content_tool
