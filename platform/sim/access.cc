#include "platform/sim/access.h"

#include <string>
#include <vector>

#include "platform/os_types.h"
#include "platform/sim/case_fold.h"

namespace {

const char16_t kRegistryKnobKey[] = u"SOFTWARE\\ZephynSim\\Registry";
constexpr uint32_t kKeyQueryValue = 0x1;
constexpr uint32_t kKeySetValue = 0x2;
constexpr uint32_t kKeyCreateSubKey = 0x4;
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kGenericAll = 0x10000000;

std::u16string trimSeparators(const std::u16string& path) {
  size_t start = 0;
  size_t end = path.size();
  while (start < end && path[start] == u'\\') ++start;
  while (end > start && path[end - 1] == u'\\') --end;
  return path.substr(start, end - start);
}

// The knob's key paths, trimmed and folded, as last parsed: every write and every open
// for writing asks, so the list is looked up again only when the registry changed and
// parsed again only when the knob's bytes did.
const std::vector<std::u16string>& readOnlyPrefixes(const Registry& registry) {
  static std::string parsedData;
  static std::vector<std::u16string> prefixes;
  // The layout names one registry, the generation its contents: both unchanged, nothing
  // has changed since the last look.
  static uint64_t seenLayout = 0;
  static uint64_t seenGeneration = 0;
  if (seenLayout == registry.keyLayout() && seenGeneration == registry.generation()) {
    return prefixes;
  }
  seenLayout = registry.keyLayout();
  seenGeneration = registry.generation();
  const RegValue* knob = registry.findValue(kRegistryKnobKey, u"ReadOnly");
  const std::string data = knob != nullptr ? std::to_string(knob->type) + ":" + knob->data : "";
  if (data != parsedData) {
    parsedData = data;
    prefixes.clear();
    for (const std::u16string& entry : storedMultiText(registry, kRegistryKnobKey, u"ReadOnly")) {
      std::u16string prefix = foldCase(trimSeparators(entry));
      if (!prefix.empty()) prefixes.push_back(std::move(prefix));
    }
  }
  return prefixes;
}

}  // namespace

bool isReadOnlyKey(const Registry& registry, const std::u16string& path) {
  const std::vector<std::u16string>& prefixes = readOnlyPrefixes(registry);
  if (prefixes.empty()) return false;
  const std::u16string folded = foldCase(trimSeparators(path));
  for (const std::u16string& prefix : prefixes) {
    if (folded == prefix) return true;
    if (folded.size() > prefix.size() && folded.compare(0, prefix.size(), prefix) == 0 &&
        folded[prefix.size()] == u'\\') {
      return true;
    }
  }
  return false;
}

bool allowsQuery(uint32_t access) {
  return (access & (kKeyQueryValue | kGenericRead | kGenericAll)) != 0;
}

bool allowsSetValue(uint32_t access) {
  return (access & (kKeySetValue | kGenericWrite | kGenericAll)) != 0;
}

bool allowsCreateSubKey(uint32_t access) {
  return (access & (kKeyCreateSubKey | kGenericWrite | kGenericAll)) != 0;
}

uint32_t maximumAllowedAccess(const Registry& registry, const std::u16string& path) {
  return isReadOnlyKey(registry, path) ? kKeyRead : kKeyAllAccess;
}
