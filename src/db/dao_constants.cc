#include "db/dao_constants.h"

#include <string>

#include "db/errors.h"

namespace mirutone::db {

jet::ColumnType column_type(int code) {
  switch (code) {
    case dbBoolean: return jet::ColumnType::Boolean;
    case dbByte: return jet::ColumnType::Byte;
    case dbInteger: return jet::ColumnType::Integer;
    case dbLong: return jet::ColumnType::Long;
    case dbCurrency: return jet::ColumnType::Currency;
    case dbSingle: return jet::ColumnType::Single;
    case dbDouble: return jet::ColumnType::Double;
    case dbDate: return jet::ColumnType::DateTime;
    case dbBinary: return jet::ColumnType::Binary;
    case dbText: return jet::ColumnType::Text;
    case dbLongBinary: return jet::ColumnType::OLE;
    case dbMemo: return jet::ColumnType::Memo;
    case dbGUID: return jet::ColumnType::GUID;
    case static_cast<int>(jet::ColumnType::Decimal): return jet::ColumnType::Decimal;
    default: break;
  }
  throw Error(jet_errors::kInvalidFieldType, "Invalid field data type " + std::to_string(code));
}

int type_code(jet::ColumnType type) { return static_cast<int>(type); }

}  // namespace mirutone::db
