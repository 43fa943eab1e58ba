#include "jet/DatabaseWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "CatalogRows.h"
#include "CatalogWriter.h"
#include "DataPageWriter.h"
#include "DatabaseCreator.h"
#include "DatabaseImpl.h"
#include "TableDefWriter.h"
#include "TableWriter.h"
#include "TextEncoder.h"
#include "UsageMapWriter.h"
#include "WriteSession.h"
#include "jet/Database.h"
#include "jet/Error.h"

namespace jet {

namespace {

constexpr std::size_t kMaxNameChars = 64;
constexpr std::size_t kMaxColumns = 255;
constexpr int kMaxTextChars = 255;
constexpr std::uint8_t kUserFixed = fmt::kColFlagFixed | fmt::kColFlagUpdatable;
constexpr std::uint8_t kUserVariable = fmt::kColFlagUpdatable;

// Access object names: 1-64 characters, no leading blank, no control characters and
// none of . ! ` [ ].
std::string nameProblem(const std::string& name) {
  const auto u = TextEncoder::toUtf16(name);
  if (!u) return "is not valid text";
  if (u->empty()) return "is empty";
  if (u->size() > kMaxNameChars) return "is longer than 64 characters";
  if ((*u)[0] == u' ') return "begins with a blank";
  for (char16_t ch : *u) {
    if (ch < 0x20 || ch == u'.' || ch == u'!' || ch == u'`' || ch == u'[' || ch == u']')
      return "holds a character Access does not allow in names (control characters, . ! ` [ ])";
  }
  return {};
}

ColumnDef columnFor(const NewColumn& nc, const std::string& file) {
  ColumnDef c;
  c.name = nc.name;
  c.type = static_cast<std::uint8_t>(nc.type);
  switch (nc.type) {
    case ColumnType::Text:
      if (nc.maxChars < 1 || nc.maxChars > kMaxTextChars)
        throw Error(file, "column \"" + nc.name + "\": a text column holds 1 to 255 characters");
      c.flags = kUserVariable;
      c.extraFlags = fmt::kColExtraCompressedUnicode;
      c.length = std::uint16_t(2 * nc.maxChars);
      break;
    case ColumnType::Memo:
      c.flags = kUserVariable;
      c.extraFlags = fmt::kColExtraCompressedUnicode;
      break;
    case ColumnType::Ole:
      c.flags = kUserVariable;
      break;
    case ColumnType::Boolean:
      c.flags = kUserFixed;
      c.length = 1;
      break;
    case ColumnType::Byte:
      c.flags = kUserFixed;
      c.length = 1;
      break;
    case ColumnType::Integer:
      c.flags = kUserFixed;
      c.length = 2;
      break;
    case ColumnType::Long:
    case ColumnType::Single:
      c.flags = kUserFixed;
      c.length = 4;
      break;
    case ColumnType::Double:
    case ColumnType::Currency:
    case ColumnType::DateTime:
      c.flags = kUserFixed;
      c.length = 8;
      break;
    default:
      throw Error(file, "column \"" + nc.name + "\": this program cannot create columns of type " +
                            typeName(nc.type));
  }
  return c;
}

}  // namespace

// One writer per file: an advisory lock held for as long as the writer lives.
class WriterLock {
 public:
  explicit WriterLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      throw Error(path, "the database is being written by another program");
    }
  }
  ~WriterLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  int fd_ = -1;
};

struct DatabaseWriter::State {
  explicit State(const std::string& path)
      : lock(path), db(Database::open(path, Mode::ReadWrite)), session(db.impl().file) {}
  WriterLock lock;
  Database db;
  WriteSession session;
  std::map<std::uint32_t, TableWriter*> appending;  // tables with an open appender
};

struct TableAppender::Impl {
  std::unique_ptr<TableWriter> writer;
  std::uint32_t table = 0;
};

DatabaseWriter::DatabaseWriter(std::shared_ptr<State> state) : state_(std::move(state)) {}
DatabaseWriter::DatabaseWriter(DatabaseWriter&&) noexcept = default;
DatabaseWriter& DatabaseWriter::operator=(DatabaseWriter&&) noexcept = default;
DatabaseWriter::~DatabaseWriter() = default;

void DatabaseWriter::create(const std::string& path) {
  DatabaseCreator::create(path);
}

DatabaseWriter DatabaseWriter::open(const std::string& path) {
  return DatabaseWriter(std::make_shared<State>(path));
}

const std::string& DatabaseWriter::path() const {
  return state_->db.path();
}
std::vector<std::string> DatabaseWriter::tableNames() const {
  return state_->db.tableNames();
}
bool DatabaseWriter::hasTable(const std::string& name) const {
  return state_->db.hasTable(name);
}
TableInfo DatabaseWriter::table(const std::string& name) const {
  return state_->db.table(name);
}
void DatabaseWriter::flush() {
  for (auto& [table, writer] : state_->appending) writer->flush();
  state_->session.sync();
}

void DatabaseWriter::createTable(const std::string& name, const std::vector<NewColumn>& columns) {
  const std::string& file = path();
  WriteSession& session = state_->session;
  if (auto why = nameProblem(name); !why.empty())
    throw Error(file, "the table name \"" + name + "\" " + why);
  if (columns.empty()) throw Error(file, "table \"" + name + "\" needs at least one column");
  if (columns.size() > kMaxColumns)
    throw Error(file, "table \"" + name + "\" has more than 255 columns");

  TableDef def;
  def.tableType = fmt::kTableTypeUser;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (auto why = nameProblem(columns[i].name); !why.empty())
      throw Error(file, "the column name \"" + columns[i].name + "\" " + why);
    for (std::size_t k = 0; k < i; ++k) {
      if (Catalog::sameName(columns[k].name, columns[i].name))
        throw Error(file,
                    "table \"" + name + "\" has two columns named \"" + columns[i].name + "\"");
    }
    def.columns.push_back(columnFor(columns[i], file));
  }
  TableDefWriter::assignPositions(def);

  // Pages: the tdef (one or more), then the map pages.
  const std::uint32_t tdefPage = session.pageCount();
  std::vector<std::vector<std::uint8_t>> mapRows;
  std::vector<std::pair<std::size_t, std::size_t>> lvRows;
  mapRows.push_back(UsageMapWriter::referenceRow());
  mapRows.push_back(UsageMapWriter::inlineRow({}));
  for (const auto& c : def.columns) {
    if (c.type != fmt::kTypeMemo && c.type != fmt::kTypeOle) continue;
    lvRows.emplace_back(mapRows.size(), c.number);
    mapRows.push_back(UsageMapWriter::referenceRow());
    mapRows.push_back(UsageMapWriter::inlineRow({}));
  }
  // Rows per map page, so that rows come out at known places.
  const std::size_t perPage = (fmt::kPageSize - fmt::kDataHeaderSize) / (fmt::kUsageMapRowSize + 2);
  const std::size_t mapPages = (mapRows.size() + perPage - 1) / perPage;
  // The tdef length depends only on the columns, not on the map places.
  std::size_t tdefPages = TableDefWriter::pagesNeeded(TableDefWriter::serialize(def).size());
  const std::uint32_t firstMapPage = tdefPage + std::uint32_t(tdefPages);
  const auto place = [&](std::size_t row) {
    return RowPointer{firstMapPage + std::uint32_t(row / perPage), std::uint8_t(row % perPage)};
  };
  def.page = tdefPage;
  def.ownedMap = place(0);
  def.freeMap = place(1);
  for (auto [row, number] : lvRows)
    def.longValueMaps.push_back({std::uint16_t(number), place(row), place(row + 1)});
  const std::vector<std::uint8_t> tdef = TableDefWriter::serialize(def);

  // Everything that can be refused is checked before the first write.
  CatalogWriter catalog(session, state_->db.impl().catalog);
  catalog.prepare(name, tdefPage, CatalogRows::now());
  constexpr std::uint32_t kCatalogPagesReserve = 8;  // new catalog and bitmap pages
  session.requireRoomFor(firstMapPage + std::uint32_t(mapPages) + kCatalogPagesReserve);

  std::vector<std::uint32_t> tdefNumbers;
  for (std::size_t i = 0; i < tdefPages; ++i) tdefNumbers.push_back(tdefPage + std::uint32_t(i));
  std::vector<std::uint32_t> fresh;
  for (const PageImage& p : TableDefWriter::toPages(tdef, tdefNumbers))
    fresh.push_back(session.append(p));
  for (std::size_t m = 0; m < mapPages; ++m) {
    PageImage page = DataPageWriter::empty(0);
    for (std::size_t r = m * perPage; r < std::min(mapRows.size(), (m + 1) * perPage); ++r)
      DataPageWriter::append(page, mapRows[r]);
    fresh.push_back(session.append(page));
  }
  session.markUsed(fresh);
  catalog.apply();
  session.sync();
  state_->db.impl().catalog = Catalog::read(state_->db.impl().file);
}

TableAppender DatabaseWriter::appender(const std::string& name) {
  const Database::Impl& impl = state_->db.impl();
  const CatalogEntry* entry = impl.catalog.findUserTable(name);
  if (!entry) throw Error(path(), "no table named \"" + name + "\"");
  const std::uint32_t id = std::uint32_t(entry->id);
  if (state_->appending.count(id))
    throw Error(path(), "table \"" + entry->name + "\" is already being appended to");
  TableDef def = impl.tableDef(*entry);
  TableInfo info = impl.tableInfo(*entry, def);
  auto appenderImpl = std::make_unique<TableAppender::Impl>();
  appenderImpl->writer =
      std::make_unique<TableWriter>(state_->session, entry->name, std::move(def));
  appenderImpl->table = id;
  info.rowCount = appenderImpl->writer->definition().rowCount;  // as set right on opening
  state_->appending.emplace(id, appenderImpl->writer.get());
  // Rows are encoded while their pages are written: the session's file writes behind
  // for as long as an appender is open.
  state_->session.file().setWriteBehind(true);
  return TableAppender(state_, std::move(appenderImpl), std::move(info));
}

TableAppender::TableAppender(std::shared_ptr<DatabaseWriter::State> db, std::unique_ptr<Impl> impl,
                             TableInfo info)
    : db_(std::move(db)), impl_(std::move(impl)), info_(std::move(info)) {}
TableAppender::TableAppender(TableAppender&&) noexcept = default;
TableAppender& TableAppender::operator=(TableAppender&&) noexcept = default;
TableAppender::~TableAppender() {
  if (db_ && impl_) {
    db_->appending.erase(impl_->table);
    // The end of a run of appends: write the rows still held and make them durable.
    // Errors here cannot be reported (flush() reports them); the file stays consistent
    // either way.
    try {
      impl_->writer->flush();
      if (impl_->writer->appended() > 0) db_->session.sync();
    } catch (const Error&) {
    }
    if (db_->appending.empty()) {
      try {
        db_->session.file().setWriteBehind(false);
      } catch (const Error&) {
      }
    }
  }
}

void TableAppender::append(const std::vector<Value>& row) {
  try {
    impl_->writer->append(row);
  } catch (...) {
    // Whoever handles the error finds in the file every write made before it.
    try {
      db_->session.file().drain();
    } catch (const Error&) {
    }
    throw;
  }
}
std::uint64_t TableAppender::appended() const {
  return impl_->writer->appended();
}
void TableAppender::write() {
  impl_->writer->flush();
  db_->session.file().drain();
}
void TableAppender::flush() {
  impl_->writer->flush();
  db_->session.sync();
}

}  // namespace jet
