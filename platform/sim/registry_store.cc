#include "platform/sim/registry_store.h"

#include "platform/little_endian.h"
#include "platform/os_types.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/utf.h"

bool splitKeyPath(const std::u16string& path, std::vector<std::u16string>* parts) {
  parts->clear();
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end == start) return false;
    parts->push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

std::u16string joinKeyPath(const std::u16string& base, const std::u16string& sub) {
  if (base.empty()) return sub;
  if (sub.empty()) return base;
  std::u16string path;
  path.reserve(base.size() + 1 + sub.size());
  return path.append(base).append(1, u'\\').append(sub);
}

int compareFolded(const std::u16string& folded, std::u16string_view name) {
  const size_t common = folded.size() < name.size() ? folded.size() : name.size();
  for (size_t i = 0; i < common; ++i) {
    const char16_t unit = foldCase(name[i]);
    if (folded[i] != unit) return folded[i] < unit ? -1 : 1;
  }
  return folded.size() == name.size() ? 0 : (folded.size() < name.size() ? -1 : 1);
}

Registry::Registry() { root_.name = u"HKEY_LOCAL_MACHINE"; }

RegNode* Registry::findKey(const std::u16string& path) {
  return const_cast<RegNode*>(static_cast<const Registry&>(*this).findKey(path));
}

// Every registry call of a run looks its key up here, so the path is walked in place,
// each part compared with the stored names as it stands.
const RegNode* Registry::findKey(const std::u16string& path) const {
  const RegNode* node = &root_;
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end == start) return nullptr;  // an empty part: not a key path
    auto found =
        node->subkeys.find(UnfoldedName{std::u16string_view(path).substr(start, end - start)});
    if (found == node->subkeys.end()) return nullptr;
    node = found->second.get();
    start = end + 1;
  }
  return node;
}

RegNode* Registry::addKey(const std::u16string& path) {
  std::vector<std::u16string> parts;
  if (!splitKeyPath(path, &parts)) return nullptr;
  RegNode* node = &root_;
  for (const std::u16string& part : parts) {
    std::unique_ptr<RegNode>& slot = node->subkeys[foldCase(part)];
    if (!slot) {
      slot = std::make_unique<RegNode>();
      slot->name = part;
      markChanged();
    }
    node = slot.get();
  }
  return node;
}

bool Registry::deleteKey(const std::u16string& path) {
  std::vector<std::u16string> parts;
  if (!splitKeyPath(path, &parts)) return false;
  if (parts.empty()) {
    const bool hadContent = !root_.subkeys.empty() || !root_.values.empty();
    root_.subkeys.clear();
    root_.values.clear();
    if (hadContent) markChanged();
    return true;
  }
  const std::u16string last = parts.back();
  parts.pop_back();
  RegNode* parent = &root_;
  for (const std::u16string& part : parts) {
    auto found = parent->subkeys.find(foldCase(part));
    if (found == parent->subkeys.end()) return false;
    parent = found->second.get();
  }
  if (parent->subkeys.erase(foldCase(last)) == 0) return false;
  markChanged();
  return true;
}

const RegValue* Registry::findValue(const RegNode& key, const std::u16string& name) {
  auto found = key.values.find(UnfoldedName{name});
  return found == key.values.end() ? nullptr : &found->second;
}

const RegValue* Registry::findValue(const std::u16string& path, const std::u16string& name) const {
  const RegNode* key = findKey(path);
  return key == nullptr ? nullptr : findValue(*key, name);
}

void Registry::setValue(RegNode* key, const std::u16string& name, uint32_t type,
                        const std::string& data) {
  auto [slot, inserted] = key->values.try_emplace(foldCase(name));
  RegValue& value = slot->second;
  if (inserted) value.name = name;
  if (inserted || value.type != type || value.data != data) markChanged();
  value.type = type;
  value.data = data;
}

bool Registry::removeValue(RegNode* key, const std::u16string& name) {
  if (key->values.erase(foldCase(name)) == 0) return false;
  markChanged();
  return true;
}

bool storedText(const Registry& registry, const std::u16string& path, const std::u16string& name,
                std::u16string* text) {
  const RegValue* value = registry.findValue(path, name);
  if (value == nullptr || (value->type != kRegSz && value->type != kRegExpandSz)) return false;
  const std::u16string units = fromUtf16LeBytes(value->data);
  *text = units.substr(0, units.find(u'\0'));
  return true;
}

bool storedDword(const Registry& registry, const std::u16string& path, const std::u16string& name,
                 uint32_t* value) {
  const RegValue* stored = registry.findValue(path, name);
  if (stored == nullptr || stored->type != kRegDword || stored->data.size() != 4) return false;
  *value = readWord32(stored->data.data());
  return true;
}

std::vector<std::u16string> storedMultiText(const Registry& registry, const std::u16string& path,
                                            const std::u16string& name) {
  std::vector<std::u16string> strings;
  const RegValue* value = registry.findValue(path, name);
  if (value == nullptr || (value->type != kRegMultiSz && value->type != kRegSz)) return strings;
  const std::u16string units = fromUtf16LeBytes(value->data);
  size_t start = 0;
  while (start < units.size()) {
    size_t end = units.find(u'\0', start);
    if (end == std::u16string::npos) end = units.size();
    if (end > start) strings.push_back(units.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}
