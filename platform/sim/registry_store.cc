#include "platform/sim/registry_store.h"

#include <atomic>

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
  return base + u"\\" + sub;
}

namespace {

uint64_t newKeyLayout() {
  static std::atomic<uint64_t> last{0};
  return ++last;
}

}  // namespace

Registry::Registry() : keyLayout_(newKeyLayout()) { root_.name = u"HKEY_LOCAL_MACHINE"; }

RegNode* Registry::findKey(const std::u16string& path) { return findKeyBeneath(root_, path); }

const RegNode* Registry::findKey(const std::u16string& path) const {
  return findKeyBeneath(const_cast<RegNode&>(root_), path);
}

// Every registry call of a run looks its key up here, so the path is walked in place,
// folding each part into one reused buffer.
RegNode* Registry::findKeyBeneath(RegNode& base, const std::u16string& path) {
  RegNode* node = &base;
  std::u16string folded;
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end == start) return nullptr;  // an empty part: not a key path
    folded.assign(path, start, end - start);
    for (char16_t& unit : folded) unit = foldCase(unit);
    auto found = node->subkeys.find(folded);
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
    keyLayout_ = newKeyLayout();
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
  keyLayout_ = newKeyLayout();
  markChanged();
  return true;
}

const RegValue* Registry::findValue(const RegNode& key, const std::u16string& name) {
  auto found = key.values.find(foldCase(name));
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
  if (value == nullptr || (value->type != 1 && value->type != 2)) return false;
  const std::u16string units = fromUtf16LeBytes(value->data);
  *text = units.substr(0, units.find(u'\0'));
  return true;
}

bool storedDword(const Registry& registry, const std::u16string& path, const std::u16string& name,
                 uint32_t* value) {
  const RegValue* stored = registry.findValue(path, name);
  if (stored == nullptr || stored->type != 4 || stored->data.size() != 4) return false;
  uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(stored->data[i]);
  *value = number;
  return true;
}

std::vector<std::u16string> storedMultiText(const Registry& registry, const std::u16string& path,
                                            const std::u16string& name) {
  std::vector<std::u16string> strings;
  const RegValue* value = registry.findValue(path, name);
  if (value == nullptr || (value->type != 7 && value->type != 1)) return strings;
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
