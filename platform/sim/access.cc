#include "platform/sim/access.h"

#include <string>
#include <vector>

#include "platform/os_types.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/knobs.h"

namespace {

const char16_t kRegistryKnobKey[] = ZP_KNOB_UTF16(ZP_REGISTRY_KNOBS);
const char16_t kReadOnlyKnob[] = ZP_KNOB_UTF16(ZP_KNOB_READ_ONLY);
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

}  // namespace

bool isReadOnlyKey(const Registry& registry, const std::u16string& path) {
  const std::vector<std::u16string> entries =
      storedMultiText(registry, kRegistryKnobKey, kReadOnlyKnob);
  if (entries.empty()) return false;
  const std::u16string folded = foldCase(trimSeparators(path));
  for (const std::u16string& entry : entries) {
    const std::u16string prefix = foldCase(trimSeparators(entry));
    if (prefix.empty()) continue;
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
