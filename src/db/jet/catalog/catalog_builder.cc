#include "db/jet/catalog/catalog_builder.h"

#include <array>

#include "db/jet/text/codepage.h"
#include "db/jet/file/data_page_builder.h"
#include "db/jet/file/header_builder.h"
#include "db/jet/index/index_page.h"
#include "db/jet/format/jet3_format.h"
#include "db/jet/file/page_store.h"
#include "db/jet/file/usage_map_builder.h"

namespace mirutone::jet {

namespace {

using fmt::RowPointer;
using CT = ColumnType;

// The long SID that owns the engine's objects in files Access made: the
// creating workgroup's. Any fixed value is accepted by Jet in practice (files
// move between machines); this is the one most of the sample files carry.
constexpr std::array<std::uint8_t, 102> kWorkgroupSid = {
    0x01, 0xDB, 0x87, 0x93, 0x20, 0x81, 0x4F, 0xAB, 0x38, 0xDF, 0x56, 0x1A, 0x17, 0x23, 0x6A,
    0x4B, 0x11, 0x72, 0xCC, 0x76, 0xE4, 0x77, 0x6C, 0xB1, 0x72, 0xDF, 0x56, 0x1A, 0x17, 0x23,
    0x6A, 0x4B, 0x11, 0xDF, 0x56, 0x1A, 0x17, 0x23, 0x6A, 0x4B, 0x11, 0xDF, 0x56, 0x1A, 0x17,
    0x23, 0x6A, 0x4B, 0x11, 0xDF, 0x56, 0x1A, 0x17, 0x23, 0x6A, 0x4B, 0x11, 0x72, 0xCC, 0x76,
    0xE4, 0x77, 0x6C, 0xB1, 0x72, 0xDF, 0x56, 0x1A, 0x17, 0x23, 0x6A, 0x4B, 0x11, 0xDF, 0x56,
    0x1A, 0x17, 0x23, 0x6A, 0x4B, 0x11, 0xDF, 0x56, 0x1A, 0x17, 0x23, 0x6A, 0x4B, 0x11, 0xDF,
    0x56, 0x1A, 0x17, 0x23, 0x6A, 0x4B, 0x11, 0xDF, 0x56, 0x1A, 0x17, 0x23};

Bytes workgroup_sid() { return Bytes(kWorkgroupSid.begin(), kWorkgroupSid.end()); }
Bytes users_sid() { return {0x02, 0x01}; }
Bytes creator_sid() { return {0x02, 0x04}; }

constexpr std::uint8_t kSysFixed = fmt::kColFixed | jet3::kColAlways | jet3::kColSystem;  // 0x13
constexpr std::uint8_t kSysVar = jet3::kColAlways | jet3::kColSystem;                     // 0x12
constexpr std::uint8_t kSysSid = kSysVar | jet3::kColSid;                                 // 0x32

struct ColumnPlan {
  const char* name;
  CT type;
  std::uint8_t flags;
  std::uint16_t length;
};

// The columns of a system table, placed by lay_out_columns.
std::vector<ColumnDef> plan_columns(std::initializer_list<ColumnPlan> plan, std::uint16_t sort_order,
                                    std::uint16_t codepage) {
  std::vector<ColumnDef> cols;
  std::uint16_t number = 0;
  for (const auto& p : plan) {
    ColumnDef c;
    c.type = p.type;
    c.name = p.name;
    c.number = number++;
    c.flags = p.flags;
    c.length = p.length;
    c.unknown5 = 0;
    c.unknown7 = 1;
    c.sort_order = sort_order;
    c.codepage = codepage;
    cols.push_back(c);
  }
  lay_out_columns(cols);
  return cols;
}

RealIndexDef real_index(std::initializer_list<std::uint16_t> columns, RowPointer map, std::uint32_t root,
                        std::uint8_t flags) {
  RealIndexDef ri;
  for (auto c : columns) ri.columns.push_back({c, true});
  ri.usage_map = map;
  ri.first_page = root;
  ri.flags = flags;
  return ri;
}

LogicalIndexDef logical_index(const char* name, std::uint32_t number, std::uint8_t type) {
  LogicalIndexDef li;
  li.name = name;
  li.number = number;
  li.real_index = number;
  li.type = type;
  return li;
}

constexpr std::uint16_t kText = 255;

}  // namespace

Bytes engine_sid() { return {0x02, 0x03}; }
Bytes admin_sid() { return {0x03, 0x01}; }

TableDef system_table_plan(std::uint32_t which, std::uint16_t sort_order, std::uint16_t codepage) {
  TableDef s;
  s.table_type = jet3::kTableTypeSystem;
  switch (which) {
    case jet3::kTdefMSysObjects:
      s.columns = plan_columns({{"Id", CT::Long, kSysFixed, 4},
                                {"ParentId", CT::Long, kSysFixed, 4},
                                {"Name", CT::Text, kSysVar, kText},
                                {"Type", CT::Integer, kSysFixed, 2},
                                {"DateCreate", CT::DateTime, kSysFixed, 8},
                                {"DateUpdate", CT::DateTime, kSysFixed, 8},
                                {"Owner", CT::Binary, kSysSid, kText},
                                {"Flags", CT::Long, kSysFixed, 4},
                                {"Database", CT::Memo, kSysVar, 0},
                                {"Connect", CT::Memo, kSysVar, 0},
                                {"ForeignName", CT::Text, kSysVar, kText},
                                {"RmtInfoShort", CT::Binary, kSysVar, kText},
                                {"RmtInfoLong", CT::OLE, kSysVar, 0},
                                {"Lv", CT::OLE, kSysVar, 0},
                                {"LvProp", CT::OLE, kSysVar, 0},
                                {"LvModule", CT::OLE, kSysVar, 0},
                                {"LvExtra", CT::OLE, kSysVar, 0}},
                               sort_order, codepage);
      s.owned_map = {6, 0};
      s.free_map = {6, 1};
      s.real_indexes = {real_index({1, 2}, {8, 0}, 9, fmt::kIdxUnique),
                        real_index({0}, {10, 0}, 11, fmt::kIdxUnique)};
      s.logical_indexes = {logical_index("ParentIdName", 0, fmt::kIdxTypeNormal), logical_index("Id", 1, fmt::kIdxTypePrimary)};
      // Long-value maps in the order Jet lists them.
      s.long_value_maps = {{9, {6, 4}, {6, 5}},   {8, {6, 2}, {6, 3}},   {13, {6, 8}, {6, 9}},
                           {16, {6, 14}, {7, 0}}, {15, {6, 12}, {6, 13}}, {14, {6, 10}, {6, 11}},
                           {12, {6, 6}, {6, 7}}};
      break;
    case jet3::kTdefMSysACEs:
      s.columns = plan_columns({{"ObjectId", CT::Long, kSysFixed, 4},
                                {"SID", CT::Binary, kSysSid, kText},
                                {"ACM", CT::Long, kSysFixed, 4},
                                {"FInheritable", CT::Boolean, kSysFixed, 1}},
                               sort_order, codepage);
      s.owned_map = {12, 0};
      s.free_map = {12, 1};
      s.real_indexes = {real_index({0}, {12, 2}, 13, fmt::kIdxRequired)};
      s.logical_indexes = {logical_index("ObjectId", 0, fmt::kIdxTypeNormal)};
      break;
    case jet3::kTdefMSysQueries:
      s.columns = plan_columns({{"ObjectId", CT::Long, kSysFixed, 4},
                                {"Attribute", CT::Byte, kSysFixed, 1},
                                {"Order", CT::Binary, kSysVar, kText},
                                {"Name1", CT::Text, kSysVar, kText},
                                {"Name2", CT::Text, kSysVar, kText},
                                {"Expression", CT::Memo, kSysVar, 0},
                                {"Flag", CT::Integer, kSysFixed, 2}},
                               sort_order, codepage);
      s.owned_map = {12, 3};
      s.free_map = {12, 4};
      s.real_indexes = {real_index({0, 1, 2}, {12, 7}, 14, fmt::kIdxUnique)};
      s.logical_indexes = {logical_index("ObjectIdAttribute", 0, fmt::kIdxTypePrimary)};
      s.long_value_maps = {{5, {12, 5}, {12, 6}}};
      break;
    case jet3::kTdefMSysRelationships:
      s.columns = plan_columns({{"szRelationship", CT::Text, kSysVar, kText},
                                {"grbit", CT::Long, kSysFixed, 4},
                                {"ccolumn", CT::Long, kSysFixed, 4},
                                {"icolumn", CT::Long, kSysFixed, 4},
                                {"szObject", CT::Text, kSysVar, kText},
                                {"szColumn", CT::Text, kSysVar, kText},
                                {"szReferencedObject", CT::Text, kSysVar, kText},
                                {"szReferencedColumn", CT::Text, kSysVar, kText}},
                               sort_order, codepage);
      s.owned_map = {12, 8};
      s.free_map = {12, 9};
      s.real_indexes = {real_index({0}, {12, 10}, 15, fmt::kIdxIgnoreNulls),
                        real_index({4}, {12, 11}, 16, fmt::kIdxIgnoreNulls),
                        real_index({6}, {12, 12}, 17, fmt::kIdxIgnoreNulls)};
      s.logical_indexes = {logical_index("szRelationship", 0, fmt::kIdxTypeNormal),
                           logical_index("szObject", 1, fmt::kIdxTypeNormal),
                           logical_index("szReferencedObject", 2, fmt::kIdxTypeNormal)};
      break;
    default:
      throw Error(0, "", "no system table has its definition on page " + std::to_string(which));
  }
  return s;
}

void lay_out_new_database(PageStore& store, std::uint16_t sort_order, std::uint16_t codepage) {
  constexpr std::uint32_t kPlanPages = 20;
  if (store.page_count() != 0) throw Error(0, store.path(), "a new database needs an empty file");
  for (std::uint32_t i = 0; i < kPlanPages; ++i) store.append_raw();

  auto put = [&](std::uint32_t page, const std::vector<std::uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), store.write(page));
  };
  auto add_row = [&](std::uint32_t page, const std::vector<std::uint8_t>& row) {
    if (!DataPageBuilder(store.write(page)).add_row(row)) {
      throw Error(0, store.path(), "map page " + std::to_string(page) + " is full");
    }
  };
  auto map_page = [&](std::uint32_t page, std::uint32_t owner) { start_data_page(store.write(page), owner); };
  const std::vector<std::uint32_t> none;

  put(0, build_header_page(sort_order, codepage));
  const CodePage names(codepage);

  map_page(1, fmt::kGlobalMapPage);
  add_row(1, global_map_row(kPlanPages));
  add_row(1, inline_map_row(0, none));

  for (std::uint32_t t = jet3::kTdefMSysObjects; t <= jet3::kTdefMSysRelationships; ++t) {
    put(t, split_tdef(build_tdef(system_table_plan(t, sort_order, codepage), names), {t}).at(0));
  }

  // Page 6: MSysObjects owned and free maps, then (owned, free) per long-value
  // column 8, 9, 12, 13, 14, 15 and the owned map of 16; page 7: 16's free map.
  map_page(6, 0);
  add_row(6, inline_map_row(0, {18}));
  add_row(6, inline_map_row(0, {18}));
  for (int i = 0; i < 13; ++i) add_row(6, inline_map_row(0, none));
  map_page(7, 0);
  add_row(7, inline_map_row(0, none));
  map_page(8, 0);
  add_row(8, inline_map_row(0, {9}));
  map_page(10, 0);
  add_row(10, inline_map_row(0, {11}));

  map_page(12, 0);
  add_row(12, inline_map_row(0, {19}));  // MSysACEs owned, free, index
  add_row(12, inline_map_row(0, {19}));
  add_row(12, inline_map_row(0, {13}));
  add_row(12, inline_map_row(0, none));  // MSysQueries owned, free, Expression owned/free, index
  add_row(12, inline_map_row(0, none));
  add_row(12, inline_map_row(0, none));
  add_row(12, inline_map_row(0, none));
  add_row(12, inline_map_row(0, {14}));
  add_row(12, inline_map_row(0, none));  // MSysRelationships owned, free, three indexes
  add_row(12, inline_map_row(0, none));
  add_row(12, inline_map_row(0, {15}));
  add_row(12, inline_map_row(0, {16}));
  add_row(12, inline_map_row(0, {17}));

  const std::array<std::pair<std::uint32_t, std::uint32_t>, 7> roots = {
      {{9, 2}, {11, 2}, {13, 3}, {14, 4}, {15, 5}, {16, 5}, {17, 5}}};
  for (auto [page, tdef] : roots) put(page, encode_index_page(Format::Jet3, IndexPage::empty_leaf(tdef)));

  start_data_page(store.write(18), jet3::kTdefMSysObjects);
  start_data_page(store.write(19), jet3::kTdefMSysACEs);
}

std::vector<Value> object_row(std::int32_t id, std::int32_t parent, const std::string& name,
                              std::int16_t type, std::int32_t flags, DateTime now, Bytes lvprop) {
  std::vector<Value> row(17);
  row[0] = id;
  row[1] = parent;
  row[2] = name;
  row[3] = static_cast<std::int32_t>(type);
  row[4] = now;
  row[5] = now;
  row[6] = admin_sid();
  row[7] = flags;
  if (!lvprop.empty()) row[14] = std::move(lvprop);
  return row;
}

std::vector<std::vector<Value>> engine_object_rows(DateTime now) {
  struct Plan {
    std::int32_t id, parent;
    const char* name;
    std::int16_t type;
    bool engine_owned;
  };
  const Plan plan[] = {{fmt::kTablesId, fmt::kRootContainerId, "Tables", fmt::kObjectTypeContainer, true},
                       {fmt::kDatabasesId, fmt::kRootContainerId, "Databases", fmt::kObjectTypeContainer, true},
                       {fmt::kRelationshipsId, fmt::kRootContainerId, "Relationships", fmt::kObjectTypeContainer, true},
                       {fmt::kMSysDbId, fmt::kDatabasesId, "MSysDb", fmt::kObjectTypeDatabase, false},
                       {jet3::kTdefMSysObjects, fmt::kTablesId, "MSysObjects", fmt::kObjectTypeTable, true},
                       {jet3::kTdefMSysACEs, fmt::kTablesId, "MSysACEs", fmt::kObjectTypeTable, true},
                       {jet3::kTdefMSysQueries, fmt::kTablesId, "MSysQueries", fmt::kObjectTypeTable, true},
                       {jet3::kTdefMSysRelationships, fmt::kTablesId, "MSysRelationships", fmt::kObjectTypeTable, true}};
  std::vector<std::vector<Value>> rows;
  for (const auto& p : plan) {
    auto row = object_row(p.id, p.parent, p.name, p.type, fmt::kFlagsSystemObject, now, {});
    if (p.engine_owned) row[6] = engine_sid();
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::vector<Value>> engine_ace_rows() {
  struct Ace {
    std::int32_t object;
    int sid;  // 0 workgroup, 1 users (02 01), 2 creator (02 04), 3 admin (03 01)
    std::uint32_t acm;
    bool inheritable;
  };
  // In the order Jet writes them.
  const Ace aces[] = {{2, 3, 0x00060000, false},         {3, 3, 0x00060000, false},
                      {4, 3, 0x00060000, false},         {5, 3, 0x000E0000, false},
                      {fmt::kTablesId, 2, 0x000F00FE, true},  {fmt::kTablesId, 3, 0x000FFEFF, true},
                      {fmt::kRelationshipsId, 2, 0x000F00FE, true}, {fmt::kRelationshipsId, 3, 0x00060001, false},
                      {fmt::kDatabasesId, 3, 0x00060000, false}, {fmt::kMSysDbId, 3, 0x0006000E, false},
                      {fmt::kMSysDbId, 1, 0x0000000E, false}, {fmt::kMSysDbId, 0, 0x0006000E, false},
                      {2, 0, 0x00060054, false},         {3, 0, 0x00060054, false},
                      {4, 0, 0x00060014, false},         {4, 1, 0x00000014, false},
                      {5, 0, 0x00060014, false},         {5, 1, 0x00000014, false},
                      {2, 1, 0x00000014, false},         {fmt::kTablesId, 0, 0x000FFEFF, true},
                      {fmt::kTablesId, 1, 0x000FFEFF, true},  {fmt::kRelationshipsId, 0, 0x000FFFFF, true},
                      {fmt::kRelationshipsId, 1, 0x000FFFFF, true}};
  std::vector<std::vector<Value>> rows;
  for (const auto& a : aces) {
    Bytes sid = a.sid == 0 ? workgroup_sid() : a.sid == 1 ? users_sid() : a.sid == 2 ? creator_sid() : admin_sid();
    rows.push_back({a.object, std::move(sid), static_cast<std::int32_t>(a.acm), a.inheritable});
  }
  return rows;
}

std::vector<std::vector<Value>> object_ace_rows(std::int32_t id) {
  constexpr std::int32_t kFullAccess = 0x000FFEFF;
  return {{id, admin_sid(), kFullAccess, false},
          {id, workgroup_sid(), kFullAccess, false},
          {id, users_sid(), kFullAccess, false}};
}

}  // namespace mirutone::jet
