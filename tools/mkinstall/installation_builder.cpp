#include "tools/mkinstall/installation_builder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/text/unicode.h"
#include "tools/mkinstall/database_writer.h"
#include "tools/mkinstall/network.h"
#include "tools/mkinstall/random.h"
#include "tools/mkinstall/registry_writer.h"

namespace mkinstall {
namespace {

namespace registry = win32::registry;

struct layout {
  std::filesystem::path root;
  std::filesystem::path hive() const { return root / "registry.reg"; }
  std::filesystem::path installation() const { return root / "install"; }
  std::filesystem::path data() const { return installation() / "data"; }
};

// Creates the folders of a new installation and points the registry layer
// at its hive, which must happen before the first registry call.
layout prepare(const std::filesystem::path& directory) {
  layout paths{std::filesystem::absolute(directory).lexically_normal()};
  if (paths.root.has_filename() == false) paths.root = paths.root.parent_path();
  if (std::filesystem::exists(paths.root) && !std::filesystem::is_empty(paths.root)) {
    throw std::runtime_error(paths.root.string() + " exists and is not empty");
  }
  std::filesystem::create_directories(paths.data());
  if (::setenv("ORBENTA_REGISTRY", paths.hive().c_str(), 1) != 0) {
    throw std::runtime_error("cannot set ORBENTA_REGISTRY");
  }
  return paths;
}

void write_file(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

// The files that the product keeps beside the databases, in the folders
// that export, import and reset carry along.
void write_data_folders(const layout& paths, const network& net, std::uint64_t seed) {
  random rng(seed ^ 0x466f6c6465727331);
  write_file(paths.data() / "Switching" / "engine.state", rng.bytes(4096));
  write_file(paths.data() / "Switching" / "journal" / "0001.log", "switching engine started\n");
  std::ostringstream inventory;
  inventory << "<inventory sites=\"" << net.sites.size() << "\" devices=\"" << net.devices.size() << "\"/>\n";
  write_file(paths.data() / "PIM" / "inventory.xml", inventory.str());
}

}  // namespace

void init_installation(const std::filesystem::path& directory) {
  const layout paths = prepare(directory);
  registry::key_handle key = write_installation_key(paths.installation());
  registry::flush_key(key.get());
}

std::string create_installation(const build_request& request) {
  const layout paths = prepare(request.directory);
  const network net = build_network(request.sites, request.seed);

  registry::key_handle key = write_installation_key(paths.installation());
  write_product_settings(key.get());
  write_network_configuration(key.get(), net);

  installation_databases databases(paths.data(), request.with_indexes);
  databases.write(net, request.seed);
  fault_context faults(net, databases, key.get());
  for (const fault* f : request.faults) f->inject(faults);
  databases.finish();
  faults.run_after_close(paths.data());
  write_data_folders(paths, net, request.seed);

  registry::flush_key(key.get());

  std::ostringstream summary;
  summary << paths.root.string() << ": " << net.sites.size() << " sites, " << net.satellites.size()
          << " satellites, " << net.antennas.size() << " antennas, " << net.devices.size() << " managed devices, "
          << net.allocations.size() << " allocations, " << (request.with_indexes ? "with" : "without")
          << " indexes, " << request.faults.size() << (request.faults.size() == 1 ? " fault" : " faults");
  return summary.str();
}

}  // namespace mkinstall
