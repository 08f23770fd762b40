// The program's resources on the simulated machine: a table of type and
// integer id to bytes, by default the committed resource files, with failures
// injected per resource at the find, load or lock step.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/resources.h"

namespace sim {

class SimResources : public platform::Resources {
 public:
  // The step at which an injected failure makes a resource fail.
  enum class Step { kFind, kLoad, kLock };

  // The default table: every embedded resource file (the six firmware
  // images, and the background picture when the build found one).
  SimResources();

  // Adds a resource, or replaces its bytes (earlier pointers to it become
  // invalid).
  void Add(const std::string& type, int id, std::vector<std::uint8_t> bytes);
  void Remove(const std::string& type, int id);
  void Clear();

  // From now on the resource fails at this step: Find returns null (as for a
  // missing resource), Load returns null, or Lock returns null.
  void Fail(const std::string& type, int id, Step step);
  void ClearFaults();

  // The type and id of every Find call, in order.
  const std::vector<std::pair<std::string, int>>& FindCalls() const { return findCalls_; }

  Found Find(const char* type, int id) override;
  Loaded Load(Found found) override;
  const std::uint8_t* Lock(Loaded loaded) override;
  std::uint32_t Size(Found found) override;

 private:
  using Key = std::pair<std::string, int>;
  struct Entry {
    Key key;
    const std::uint8_t* bytes = nullptr;  // the embedded array, or owned.data()
    std::uint32_t size = 0;
    std::vector<std::uint8_t> owned;
  };

  bool FailsAt(const Key& key, Step step) const;
  const Entry* Known(const void* handle) const;

  std::map<Key, Entry> table_;
  std::map<Key, Step> faults_;
  std::vector<std::pair<std::string, int>> findCalls_;
};

}  // namespace sim
