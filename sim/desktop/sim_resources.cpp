// The simulated resource table and its failure injection.
#include "sim/desktop/sim_resources.h"

#include "sim/desktop/embedded_resources.h"

namespace sim {

SimResources::SimResources() {
  for (const EmbeddedResource& resource : EmbeddedResources()) {
    Key key(resource.type, resource.id);
    Entry& entry = table_[key];
    entry.key = key;
    entry.bytes = resource.bytes;
    entry.size = static_cast<std::uint32_t>(resource.size);
  }
}

void SimResources::Add(const std::string& type, int id, std::vector<std::uint8_t> bytes) {
  Key key(type, id);
  Entry& entry = table_[key];
  entry.key = key;
  entry.owned = std::move(bytes);
  // An empty resource still locks to a valid (zero-length) address.
  static const std::uint8_t kNoBytes = 0;
  entry.bytes = entry.owned.empty() ? &kNoBytes : entry.owned.data();
  entry.size = static_cast<std::uint32_t>(entry.owned.size());
}

void SimResources::Remove(const std::string& type, int id) { table_.erase(Key(type, id)); }

void SimResources::Clear() { table_.clear(); }

void SimResources::Fail(const std::string& type, int id, Step step) { faults_[Key(type, id)] = step; }

void SimResources::ClearFaults() { faults_.clear(); }

bool SimResources::FailsAt(const Key& key, Step step) const {
  auto fault = faults_.find(key);
  return fault != faults_.end() && fault->second == step;
}

// Handles are entry addresses; anything else is answered as a failure.
const SimResources::Entry* SimResources::Known(const void* handle) const {
  for (const auto& item : table_) {
    if (&item.second == handle) return &item.second;
  }
  return nullptr;
}

platform::Resources::Found SimResources::Find(const char* type, int id) {
  Key key(type != nullptr ? type : "", id);
  findCalls_.push_back(key);
  auto item = table_.find(key);
  if (item == table_.end() || FailsAt(key, Step::kFind)) return nullptr;
  return &item->second;
}

platform::Resources::Loaded SimResources::Load(Found found) {
  const Entry* entry = Known(found);
  if (entry == nullptr || FailsAt(entry->key, Step::kLoad)) return nullptr;
  return entry;
}

const std::uint8_t* SimResources::Lock(Loaded loaded) {
  const Entry* entry = Known(loaded);
  if (entry == nullptr || FailsAt(entry->key, Step::kLock)) return nullptr;
  return entry->bytes;
}

std::uint32_t SimResources::Size(Found found) {
  const Entry* entry = Known(found);
  return entry != nullptr ? entry->size : 0;
}

}  // namespace sim
