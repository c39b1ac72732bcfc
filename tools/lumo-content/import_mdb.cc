// import-mdb: copies every table of a desktop (Jet 3 or 4) database into a
// new SQLite database through mdbtools' libmdb, which reads such files
// without their password. Columns keep the types mdbtools gives them for
// SQLite (the types `mdb-schema FILE sqlite` prints) and their values keep
// their kind: numbers as numbers, text as UTF-8 text, dates as
// "YYYY-MM-DD HH:MM:SS", binary and OLE values as blobs, and Null apart
// from an empty text, which the content classes treat differently.
// glib first: mdbtools.h includes it inside its C linkage block.
#include <glib.h>
#include <mdbtools.h>
#include <stdio.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "commands.h"
#include "content_file.h"

namespace norwin::content_tool {

namespace {

// The largest text libmdb converts in one value: a memo's 65,535 characters
// as UTF-8 with room to spare. A longer value is an error, never cut short.
constexpr size_t kTextBufferSize = size_t{1} << 20;
// libmdb reads an OLE value in chunks of up to this size into the column's
// bound buffer.
constexpr size_t kOleBufferSize = MDB_BIND_SIZE * 64;

// Days from 1970-01-01 to the civil date (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

// A Jet date: whole days since 1899-12-30, and the time of day as the
// fraction, taken as it stands for days before then too (-1.25 is
// 1899-12-29 06:00). libmdb's own conversion gives nothing for dates before
// 1900 or after about 2700, so the tool converts itself.
std::string JetDateText(double value) {
  double whole = 0;
  const double fraction = std::fabs(std::modf(value, &whole));
  int64_t days = static_cast<int64_t>(whole) + DaysFromCivil(1899, 12, 30);
  int64_t seconds = std::llround(fraction * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  char text[96];
  snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(year),
           month, day, static_cast<long long>(seconds / 3600),
           static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

struct MdbCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
struct GFreer {
  void operator()(char* text) const { g_free(text); }
};
using GText = std::unique_ptr<char, GFreer>;

// Binds the value of `field` (of column `column`) to parameter `index`.
Status BindField(MdbHandle* mdb, MdbColumn* column, const MdbField& field, Statement& insert,
                 int index) {
  if (column->col_type == MDB_BOOL) {
    // A Boolean's value is its null bit: set is False.
    insert.BindInt(index, field.is_null ? 0 : 1);
    return Status::Ok();
  }
  if (field.is_null) {
    insert.Bind(index, std::nullopt);
    return Status::Ok();
  }
  switch (column->col_type) {
    case MDB_BYTE:
      insert.BindInt(index, mdb_get_byte(mdb->pg_buf, field.start));
      return Status::Ok();
    case MDB_INT:
      insert.BindInt(index, static_cast<int16_t>(mdb_get_int16(mdb->pg_buf, field.start)));
      return Status::Ok();
    case MDB_LONGINT:
    case MDB_COMPLEX:
      insert.BindInt(index, static_cast<int32_t>(mdb_get_int32(mdb->pg_buf, field.start)));
      return Status::Ok();
    case MDB_DATETIME:
      insert.Bind(index, JetDateText(mdb_get_double(mdb->pg_buf, field.start)));
      return Status::Ok();
    case MDB_BINARY:
      insert.BindBlob(index, mdb->pg_buf + field.start, static_cast<size_t>(field.siz));
      return Status::Ok();
    case MDB_OLE: {
      size_t size = 0;
      void* data = mdb_ole_read_full(mdb, column, &size);
      insert.BindBlob(index, data, size);
      free(data);
      return Status::Ok();
    }
    default:
      break;
  }
  if (column->col_type == MDB_TEXT) {
    // Short text converted into a buffer of its own: libmdb's own conversion
    // takes a buffer of the bind size (sized for memos) for every value.
    // UTF-8 takes at most three bytes for each byte of the stored text.
    std::string text(static_cast<size_t>(field.siz) * 3 + 16, '\0');
    mdb_unicode2ascii(mdb, reinterpret_cast<const char*>(mdb->pg_buf) + field.start,
                      static_cast<size_t>(field.siz), text.data(), text.size());
    text.resize(strnlen(text.data(), text.size()));
    insert.Bind(index, text);
    return Status::Ok();
  }
  // The rest as libmdb writes them: money, single, double and decimal
  // numbers in the digits mdb-export prints, memo as UTF-8.
  GText text(column->col_type == MDB_NUMERIC
                 ? mdb_numeric_to_string(mdb, field.start, column->col_scale, column->col_prec)
                 : mdb_col_to_string(mdb, mdb->pg_buf, field.start, column->col_type, field.siz));
  if (!text) return Status::Error(std::string("cannot read a value of ") + column->name);
  const size_t length = strlen(text.get());
  if (length + 8 >= kTextBufferSize) {
    return Status::Error(std::string("a value of ") + column->name + " is too long to copy");
  }
  switch (column->col_type) {
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
      insert.BindReal(index, strtod(text.get(), nullptr));
      break;
    default:
      insert.Bind(index, std::string_view(text.get(), length));
  }
  return Status::Ok();
}

Status CopyTable(MdbCatalogEntry* entry, ContentFile& db, size_t& rows) {
  MdbHandle* mdb = entry->mdb;
  const std::string name = entry->object_name;
  std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table(entry));
  if (!table) return Status::Error("cannot read the table " + name);
  mdb_read_columns(table.get());
  mdb_rewind_table(table.get());

  std::string create = "CREATE TABLE " + QuoteName(name) + " (";
  std::string insert_sql = "INSERT INTO " + QuoteName(name) + " VALUES (";
  std::vector<std::unique_ptr<char[]>> ole_buffers;
  for (unsigned i = 0; i < table->num_cols; ++i) {
    MdbColumn* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
    const char* type = mdb_get_colbacktype_string(column);
    create += (i ? ", " : "") + QuoteName(column->name) + " " + (type ? type : "TEXT");
    insert_sql += i ? ", ?" : "?";
    if (column->col_type == MDB_OLE) {
      // libmdb hands an OLE value over through the column's bound buffer.
      ole_buffers.push_back(std::make_unique<char[]>(kOleBufferSize));
      mdb_bind_column(table.get(), static_cast<int>(i) + 1, ole_buffers.back().get(), nullptr);
    }
  }
  if (Status made = db.Exec(create + ")"); !made.ok()) return made;
  Result<Statement> insert = db.Prepare(insert_sql + ")");
  if (!insert.ok()) return insert.status();

  std::vector<MdbField> fields(table->num_cols);
  while (mdb_fetch_row(table.get())) {
    // The fetched row again, cracked into fields, for what binding loses:
    // whether a value is Null or an empty text.
    int start = 0;
    size_t size = 0;
    if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) != 0 ||
        mdb_crack_row(table.get(), start & 0x1fff, size, fields.data()) < 0) {
      return Status::Error("cannot read row " + std::to_string(rows + 1) + " of " + name);
    }
    for (unsigned i = 0; i < table->num_cols; ++i) {
      const MdbField& field = fields[i];
      MdbColumn* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, field.colnum));
      if (Status bound = BindField(mdb, column, field, *insert, field.colnum + 1); !bound.ok()) {
        return Status::Error(name + ", row " + std::to_string(rows + 1) + ": " + bound.message());
      }
    }
    if (Result<bool> step = insert->Step(); !step.ok()) {
      return Status::Error(name + ": " + step.message());
    }
    insert->Reset();
    ++rows;
  }
  return Status::Ok();
}

Status CopyMdb(const std::filesystem::path& file, const void* context) {
  const auto& source = *static_cast<const std::filesystem::path*>(context);
  std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(source.c_str(), MDB_NOFLAGS));
  if (!mdb) return Status::Error(source.string() + ": not a desktop database (Jet) file");
  mdb_set_bind_size(mdb.get(), kTextBufferSize);
  mdb_set_default_backend(mdb.get(), "sqlite");
  if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) {
    return Status::Error(source.string() + ": cannot read the list of its tables");
  }
  Result<std::unique_ptr<ContentFile>> db = ContentFile::Create(file);
  if (!db.ok()) return db.status();
  if (Status begun = (*db)->Exec("BEGIN"); !begun.ok()) return begun;
  std::vector<MdbCatalogEntry*> tables;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry)) tables.push_back(entry);
  }
  const bool progress = isatty(STDERR_FILENO);
  size_t total = 0;
  for (size_t i = 0; i < tables.size(); ++i) {
    if (progress) {
      fprintf(stderr, "\r\033[KCopying table %zu of %zu: %s", i + 1, tables.size(),
              tables[i]->object_name);
    }
    size_t rows = 0;
    Status copied = CopyTable(tables[i], **db, rows);
    if (progress) fputs("\r\033[K", stderr);
    if (!copied.ok()) return Status::Error(source.string() + ": " + copied.message());
    printf("%s: %zu row%s\n", tables[i]->object_name, rows, rows == 1 ? "" : "s");
    total += rows;
  }
  if (Status committed = (*db)->Exec("COMMIT"); !committed.ok()) return committed;
  printf("Copied %zu table%s, %zu row%s.\n", tables.size(), tables.size() == 1 ? "" : "s", total,
         total == 1 ? "" : "s");
  return (*db)->Close();
}

}  // namespace

Status ImportMdb(const std::filesystem::path& mdb, const std::filesystem::path& db) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(mdb, error)) {
    return Status::Error(mdb.string() + ": no such file");
  }
  return BuildNewFile(db, CopyMdb, &mdb);
}

}  // namespace norwin::content_tool
