#pragma once

#include "platform/sqlite.h"

namespace cloakwise::platform {

// Debian's libsqlite3, for the native build.
class PosixSqlite : public Sqlite {
 public:
  std::unique_ptr<SqliteDatabase> Open(const std::string& path, int busyMs,
                                       OpenResult& result) override;
};

}  // namespace cloakwise::platform
