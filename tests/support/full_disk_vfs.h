// Plays a full disk under SQLite while the object lives: writes fail with
// SQLITE_FULL and shared-memory files cannot grow (SQLITE_IOERR_SHMSIZE with
// ENOSPC as the system's error), as a database on a full disk meets them.
// Reads go through. The shim wraps the default VFS and becomes the default
// itself; it stays registered afterwards, passing everything through.
#pragma once

#include <errno.h>
#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace norwin::testing {

class FullDiskVfs {
 public:
  FullDiskVfs() {
    Install();
    full_.store(true);
  }
  ~FullDiskVfs() { full_.store(false); }
  FullDiskVfs(const FullDiskVfs&) = delete;
  FullDiskVfs& operator=(const FullDiskVfs&) = delete;

 private:
  struct File {
    sqlite3_file base;  // methods: kMethods
    sqlite3_file* real;
  };
  static inline std::atomic<bool> full_{false};
  static inline sqlite3_vfs* real_vfs_ = nullptr;
  static inline sqlite3_vfs vfs_ = {};
  static inline sqlite3_io_methods methods_ = {};

  static sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

  static void Install() {
    if (real_vfs_) return;
    real_vfs_ = sqlite3_vfs_find(nullptr);
    vfs_ = *real_vfs_;
    vfs_.zName = "norwin-full-disk";
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_vfs_->szOsFile;
    vfs_.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
      File* file = reinterpret_cast<File*>(f);
      file->real = reinterpret_cast<sqlite3_file*>(file + 1);
      std::memset(file->real, 0, static_cast<size_t>(real_vfs_->szOsFile));
      const int rc = real_vfs_->xOpen(real_vfs_, name, file->real, flags, out);
      file->base.pMethods = file->real->pMethods ? &methods_ : nullptr;
      return rc;
    };
    vfs_.xGetLastError = [](sqlite3_vfs* v, int n, char* text) {
      return full_.load() ? ENOSPC : real_vfs_->xGetLastError(v, n, text);
    };
    methods_.iVersion = 2;
    methods_.xClose = [](sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); };
    methods_.xRead = [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
      return Real(f)->pMethods->xRead(Real(f), b, n, o);
    };
    methods_.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
      return full_.load() ? SQLITE_FULL : Real(f)->pMethods->xWrite(Real(f), b, n, o);
    };
    methods_.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) {
      return Real(f)->pMethods->xTruncate(Real(f), s);
    };
    methods_.xSync = [](sqlite3_file* f, int flags) {
      return Real(f)->pMethods->xSync(Real(f), flags);
    };
    methods_.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) {
      return Real(f)->pMethods->xFileSize(Real(f), s);
    };
    methods_.xLock = [](sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); };
    methods_.xUnlock = [](sqlite3_file* f, int l) {
      return Real(f)->pMethods->xUnlock(Real(f), l);
    };
    methods_.xCheckReservedLock = [](sqlite3_file* f, int* r) {
      return Real(f)->pMethods->xCheckReservedLock(Real(f), r);
    };
    methods_.xFileControl = [](sqlite3_file* f, int op, void* a) {
      return Real(f)->pMethods->xFileControl(Real(f), op, a);
    };
    methods_.xSectorSize = [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); };
    methods_.xDeviceCharacteristics = [](sqlite3_file* f) {
      return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
    };
    methods_.xShmMap = [](sqlite3_file* f, int page, int size, int extend, void volatile** p) {
      if (full_.load() && extend) return SQLITE_IOERR_SHMSIZE;
      return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, p);
    };
    methods_.xShmLock = [](sqlite3_file* f, int o, int n, int flags) {
      return Real(f)->pMethods->xShmLock(Real(f), o, n, flags);
    };
    methods_.xShmBarrier = [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); };
    methods_.xShmUnmap = [](sqlite3_file* f, int d) {
      return Real(f)->pMethods->xShmUnmap(Real(f), d);
    };
    sqlite3_vfs_register(&vfs_, 1);
  }
};

}  // namespace norwin::testing
