#include "store/sqlite/sqlite_item_rows.h"

namespace intake {

ItemSummary ReadItemSummary(const StatementUse& row) {
  ItemSummary item;
  item.id = row.Int(0);
  item.key.product_ver = row.Text(1);
  item.key.kind = row.Text(2);
  item.key.error_code = static_cast<std::int32_t>(row.Int(3));
  item.key.message = row.Text(4);
  if (!row.IsNull(5)) item.key.value = row.Text(5);
  item.key.dll_ver = row.Text(6);
  item.key.app_ver = row.Text(7);
  item.count = static_cast<std::uint64_t>(row.Int(8));
  item.clients = static_cast<std::uint64_t>(row.Int(9));
  item.first_seen = row.Int(10);
  item.last_seen = row.Int(11);
  return item;
}

}  // namespace intake
