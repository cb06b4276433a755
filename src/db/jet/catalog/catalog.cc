#include "db/jet/catalog/catalog.h"

#include <memory>

#include "db/jet/api/error.h"
#include "db/jet/file/page_file.h"
#include "db/jet/row/table_cursor.h"
#include "db/jet/tdef/tdef.h"

namespace mirutone::jet {

namespace {

int find_column(const TableDef& td, const char* name, bool required, const std::string& file) {
  for (std::size_t i = 0; i < td.columns.size(); ++i)
    if (td.columns[i].name == name) return static_cast<int>(i);
  if (required)
    throw CorruptError(file, std::string("the catalog (MSysObjects) has no column '") + name + "'");
  return -1;
}

std::int32_t as_int(const Value& v) {
  if (auto p = std::get_if<std::int32_t>(&v)) return *p;
  return 0;
}

}  // namespace

std::vector<CatalogEntry> read_catalog(const PageSource& src, const fmt::Layout& lay,
                                       const CodePage& text) {
  const std::string table = "MSysObjects";
  auto td = std::make_shared<TableDef>(read_tdef(src, lay, text, fmt::kCatalogTdefPage, table));
  const int c_id = find_column(*td, "Id", true, src.path());
  const int c_parent = find_column(*td, "ParentId", true, src.path());
  const int c_name = find_column(*td, "Name", true, src.path());
  const int c_type = find_column(*td, "Type", true, src.path());
  const int c_flags = find_column(*td, "Flags", true, src.path());
  const int c_prop = find_column(*td, "LvProp", false, src.path());

  std::vector<CatalogEntry> out;
  TableCursor cur(src, lay, td, text, table);
  Value v;
  auto get = [&](int col) -> const Value& {
    cur.convert_field(static_cast<std::size_t>(col), v);
    return v;
  };
  while (cur.next_fields()) {
    CatalogEntry e;
    e.id = as_int(get(c_id));
    e.parent_id = as_int(get(c_parent));
    if (auto s = std::get_if<std::string>(&get(c_name))) e.name = *s;
    e.type = as_int(get(c_type));
    e.flags = static_cast<std::uint32_t>(as_int(get(c_flags)));
    // Properties are read for tables and queries only: the blobs of forms,
    // reports and other documents do not concern the engine.
    // A damaged blob is kept as an error for whoever asks for that object,
    // so one bad property page does not make the whole database unreadable.
    if (c_prop >= 0 && (e.kind() == fmt::kObjectTypeTable || e.kind() == fmt::kObjectTypeQuery)) {
      try {
        if (auto b = std::get_if<Bytes>(&get(c_prop))) e.lv_prop = *b;
      } catch (const Error& err) {
        e.lv_prop_error = err.what();
      }
    }
    out.push_back(std::move(e));
  }
  return out;
}

}  // namespace mirutone::jet
