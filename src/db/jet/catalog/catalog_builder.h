// The system catalog of a new Jet 3 database: the four system tables
// (MSysObjects, MSysACEs, MSysQueries, MSysRelationships) with the page plan
// Jet itself uses, and the catalog and permission rows for every object.
//
// Page plan of a new file:
//   0       header                       1       global map, empty second map
//   2..5    TDEFs of the system tables   6, 7    MSysObjects maps
//   8, 10   MSysObjects index maps       9, 11   their root leaves
//   12      maps of the other three      13..17  their index root leaves
//   18      MSysObjects data page        19      MSysACEs data page
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/jet/tdef/tdef.h"
#include "db/jet/api/value.h"

namespace mirutone::jet {

class PageStore;

// Owner SIDs: the engine, and the default Admin user.
Bytes engine_sid();
Bytes admin_sid();

// Definition of a system table as a new database holds it. `which` is the
// TDEF page (2..5).
TableDef system_table_plan(std::uint32_t which, std::uint16_t sort_order, std::uint16_t codepage);

// Writes pages 0..19 of a new database into an empty store: header, maps,
// system TDEFs, empty index roots and the two first data pages. The catalog
// rows themselves are added afterwards through the normal row path.
void lay_out_new_database(PageStore& store, std::uint16_t sort_order, std::uint16_t codepage);

// MSysObjects rows the engine writes into a new database (17 values each, in
// column order), timestamped `now`.
std::vector<std::vector<Value>> engine_object_rows(DateTime now);
// MSysACEs rows of a new database (ObjectId, SID, ACM, FInheritable).
std::vector<std::vector<Value>> engine_ace_rows();

// The MSysObjects row of a new user object, and its permission rows.
std::vector<Value> object_row(std::int32_t id, std::int32_t parent, const std::string& name,
                              std::int16_t type, std::int32_t flags, DateTime now, Bytes lvprop);
std::vector<std::vector<Value>> object_ace_rows(std::int32_t id);

}  // namespace mirutone::jet
