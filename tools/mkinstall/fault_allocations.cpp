// Faults in the allocation spaces and the allocations.

#include <string>

#include "platform/text/unicode.h"
#include "tools/mkinstall/fault_injections.h"
#include "tools/mkinstall/page_damage.h"
#include "tools/mkinstall/product_constants.h"
#include "tools/mkinstall/registry_writer.h"
#include "tools/mkinstall/sql_rows.h"

namespace mkinstall::inject {
namespace {

namespace registry = win32::registry;

// Ids far above any other, so that their rows come last in id order.
constexpr std::int64_t last_allocation_space_id = 9'000'000'000'000'000'000;
constexpr std::int64_t last_allocator_id = 9'000'000'000'000'000'000;

// A record of 8153 bytes keeps 4061 bytes on its leaf page (of 4096 bytes),
// the most a cell may keep, so that no other row fits beside it.
constexpr std::size_t page_filling_record = 8153;

void insert_allocation(fault_context& ctx, std::int64_t id, std::int64_t allocator, std::int64_t space,
                       std::int64_t past, std::int64_t future) {
  execute(ctx.switching_db(),
          "INSERT INTO allocation (id, allocator, allocation_space, past, future, start_frequency, bandwidth) "
          "VALUES (?, ?, ?, ?, ?, ?, ?)",
          id, allocator, space, past, future, 14'250'000'000 + id * 1000, 250'000);
}

// Adds an allocation to a chain right after allocation `after`, linking it
// to both neighbours as the product does.
void insert_allocation_after(fault_context& ctx, std::int64_t after, std::int64_t id, std::int64_t allocator,
                             std::int64_t space) {
  sqlite::database& db = ctx.switching_db();
  const std::int64_t next = query_int64(db, "SELECT future FROM allocation WHERE id = ?", after);
  execute(db, "UPDATE allocation SET future = ? WHERE id = ?", id, after);
  if (next != 0) execute(db, "UPDATE allocation SET past = ? WHERE id = ?", id, next);
  insert_allocation(ctx, id, allocator, space, after, next);
}

// The first allocation on an allocation space (a chain head), or 0.
std::int64_t first_allocation_on(const network& net, std::int64_t space) {
  for (const allocation& a : net.allocations) {
    if (a.allocation_space == space) return a.id;
  }
  return 0;
}

void add_to_chain_of(fault_context& ctx, std::int64_t id, std::int64_t allocator, std::int64_t space) {
  const std::int64_t head = first_allocation_on(ctx.net(), space);
  if (head == 0) {
    insert_allocation(ctx, id, allocator, space, 0, 0);
  } else {
    insert_allocation_after(ctx, head, id, allocator, space);
  }
}

std::int64_t add_managed_device(fault_context& ctx, const std::wstring& role) {
  const std::int64_t id = ctx.new_device_id();
  execute(ctx.switching_db(), "INSERT INTO managed_device_map (id, moniker) VALUES (?, ?)", id,
          std::to_wstring(id) + role);
  return id;
}

}  // namespace

void allocation_space_without_satellite(fault_context& ctx) {
  execute(ctx.switching_db(), "INSERT INTO allocation_space (id, bandwidth) VALUES (?, ?)",
          ctx.new_allocation_space_id(), 36'000'000);
}

void allocation_space_on_several_satellites(fault_context& ctx) {
  // A new satellite claims the allocation space of the first one.
  registry::key_handle sat = registry::create_key(ctx.registry(), satellite_key_path(ctx.new_satellite_id()));
  set_text(sat.get(), L"Name", L"Horizon 7B");
  registry::key_handle space =
      registry::create_key(sat.get(), std::wstring(L"Properties\\") + allocation_space_property_key);
  set_text(space.get(), L"Id", std::to_wstring(ctx.net().satellites.front().allocation_space));
}

void allocation_space_scan_error(fault_context& ctx) {
  // A last row that fills a leaf page of its own, inserted after every other
  // row of the table; then that page is lost. Reading the table returns the
  // real allocation spaces and fails at the lost page.
  const bool keyed = ctx.with_indexes();
  ctx.after_close([keyed](const std::filesystem::path& data_directory) {
    const std::filesystem::path file = data_directory / "Switching.db";
    std::uint32_t root = 0;
    {
      sqlite::database db;
      db.open(netkeep::text::from_path(file));
      // Record header of 5 bytes, plus the id itself when it is not the key.
      // A blob, whose size does not depend on the database's text encoding.
      const blob description{std::string(page_filling_record - 5 - (keyed ? 0 : 8), 'Q')};
      if (keyed) {
        execute(db, "INSERT INTO allocation_space (id, description) VALUES (?, ?)", last_allocation_space_id,
                description);
      } else {
        execute(db, "INSERT INTO allocation_space (rowid, id, description) VALUES (?, ?, ?)",
                last_allocation_space_id, last_allocation_space_id, description);
      }
      root = static_cast<std::uint32_t>(
          query_int64(db, "SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = 'allocation_space'"));
      db.close();
    }
    lose_last_leaf(file, root, 1);
  });
}

void duplicate_allocations(fault_context& ctx) {
  const network& net = ctx.net();
  const site& victim = ctx.take_site();
  const allocation& own = net.allocation_of(victim.modulator);
  insert_allocation_after(ctx, own.id, ctx.new_allocation_id(), net.devices[victim.modulator].id,
                          own.allocation_space);
}

void allocation_on_wrong_space(fault_context& ctx) {
  const network& net = ctx.net();
  const site& victim = ctx.take_site();
  const std::size_t own = static_cast<std::size_t>(net.antennas[victim.antenna].satellite);
  const std::int64_t space = net.satellites[(own + 1) % net.satellites.size()].allocation_space;
  add_to_chain_of(ctx, ctx.new_allocation_id(), net.devices[victim.modulator].id, space);
}

void allocation_of_unregistered_device(fault_context& ctx) {
  // The device is in the map (and still has modcods) but in no converter.
  const std::int64_t device = add_managed_device(ctx, L"-mod-unregistered");
  execute(ctx.switching_db(), "INSERT INTO managed_device_modcod_map (device_id, modcod) VALUES (?, ?)", device, 4);
  add_to_chain_of(ctx, ctx.new_allocation_id(), device, ctx.net().satellites.front().allocation_space);
}

void allocation_of_device_on_several_spaces(fault_context& ctx) {
  // A device listed under antennas of the first two satellites, allocated on
  // the third satellite's space (or on a space without satellite).
  const network& net = ctx.net();
  const std::int64_t device = add_managed_device(ctx, L"-mod-roaming");
  for (int i = 0; i < 2; ++i) {
    const antenna& a = net.antennas[net.satellites[i].antennas.front()];
    const converter& c = net.converters[a.up_converters.front()];
    registry::key_handle devices = registry::create_key(
        ctx.registry(), satellite_key_path(net.satellites[i].id) + L"\\Antennas\\" + std::to_wstring(a.id) +
                            L"\\UpConverters\\" + std::to_wstring(c.id) + L"\\Modulators");
    set_text(devices.get(), L"Roaming1", std::to_wstring(device) + L"-mod-roaming");
  }
  const std::int64_t space =
      net.satellites.size() > 2 ? net.satellites[2].allocation_space : ctx.new_allocation_space_id();
  add_to_chain_of(ctx, ctx.new_allocation_id(), device, space);
}

void allocation_of_unknown_allocator(fault_context& ctx) {
  insert_allocation(ctx, ctx.new_allocation_id(), ctx.new_device_id(), ctx.net().satellites.front().allocation_space,
                    0, 0);
}

void allocation_scan_error(fault_context& ctx) {
  // Two allocations of one allocator on one space (the last pair in
  // allocator order); the second carries a long comment (a blob of marker
  // bytes, whatever the text encoding), so that its chain
  // links are stored on overflow pages, and that overflow chain is broken.
  const std::int64_t first = ctx.new_allocation_id();
  const std::int64_t second = ctx.new_allocation_id();
  const std::int64_t space = ctx.net().satellites.front().allocation_space;
  insert_allocation(ctx, first, last_allocator_id, space, 0, second);
  execute(ctx.switching_db(),
          "INSERT INTO allocation (id, allocator, allocation_space, comment, past, future, start_frequency, "
          "bandwidth) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
          second, last_allocator_id, space, blob{std::string(20000, 'Z')}, first, 0, 14'250'000'000, 250'000);
  ctx.after_close([](const std::filesystem::path& data_directory) {
    break_overflow_chain(data_directory / "Switching.db", 'Z');
  });
}

}  // namespace mkinstall::inject
