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

std::u16string joinKeyPath(std::u16string_view base, std::u16string_view sub) {
  if (base.empty()) return std::u16string(sub);
  if (sub.empty()) return std::u16string(base);
  std::u16string path;
  path.reserve(base.size() + 1 + sub.size());
  path.append(base).append(1, u'\\').append(sub);
  return path;
}

// Every map step of every registry lookup comes here, so the units are read through plain
// pointers, with no checked element access on the way.
int compareFolded(const std::u16string& folded, std::u16string_view name) {
  const size_t common = folded.size() < name.size() ? folded.size() : name.size();
  const char16_t* stored = folded.data();
  const char16_t* given = name.data();
  for (size_t i = 0; i < common; ++i) {
    const char16_t unit = foldCase(given[i]);
    if (stored[i] != unit) return stored[i] < unit ? -1 : 1;
  }
  return folded.size() == name.size() ? 0 : (folded.size() < name.size() ? -1 : 1);
}

bool keyPathDepth(std::u16string_view path, size_t* depth) {
  *depth = 0;
  for (size_t start = 0; start < path.size(); ++*depth) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end == start) return false;
    start = end + 1;
  }
  return true;
}

namespace {

std::u16string foldedCopy(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& unit : folded) unit = foldCase(unit);
  return folded;
}

}  // namespace

Registry::Registry() { root_.name = u"HKEY_LOCAL_MACHINE"; }

RegNode* Registry::findKey(std::u16string_view path) {
  return const_cast<RegNode*>(static_cast<const Registry&>(*this).findKey(path));
}

// Every registry call of a run looks its key up here, so the path is walked in place,
// each part compared with the stored names as it stands.
const RegNode* Registry::findKey(std::u16string_view path) const {
  const RegNode* node = &root_;
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end == start) return nullptr;  // an empty part: not a key path
    auto found = node->subkeys.find(UnfoldedName{path.substr(start, end - start)});
    if (found == node->subkeys.end()) return nullptr;
    node = found->second.get();
    start = end + 1;
  }
  return node;
}

// Walked in place like findKey: a name is folded into a copy only for a key it creates.
RegNode* Registry::addKey(std::u16string_view path) {
  size_t depth = 0;
  if (!keyPathDepth(path, &depth)) return nullptr;
  RegNode* node = &root_;
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view part = path.substr(start, end - start);
    auto found = node->subkeys.find(UnfoldedName{part});
    if (found == node->subkeys.end()) {
      auto created = std::make_unique<RegNode>();
      created->name = std::u16string(part);
      found = node->subkeys.emplace(foldedCopy(part), std::move(created)).first;
      markChanged();
    }
    node = found->second.get();
    start = end + 1;
  }
  return node;
}

bool Registry::deleteKey(std::u16string_view path) {
  size_t depth = 0;
  if (!keyPathDepth(path, &depth)) return false;
  while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  if (path.empty()) {
    const bool hadContent = !root_.subkeys.empty() || !root_.values.empty();
    root_.subkeys.clear();
    root_.values.clear();
    if (hadContent) markChanged();
    return true;
  }
  const size_t lastSeparator = path.rfind(u'\\');
  RegNode* parent = &root_;
  if (lastSeparator != std::u16string_view::npos) {
    parent = findKey(path.substr(0, lastSeparator));
    if (parent == nullptr) return false;
  }
  const std::u16string_view last =
      lastSeparator == std::u16string_view::npos ? path : path.substr(lastSeparator + 1);
  auto found = parent->subkeys.find(UnfoldedName{last});
  if (found == parent->subkeys.end()) return false;
  parent->subkeys.erase(found);
  markChanged();
  return true;
}

const RegValue* Registry::findValue(const RegNode& key, std::u16string_view name) {
  auto found = key.values.find(UnfoldedName{name});
  return found == key.values.end() ? nullptr : &found->second;
}

const RegValue* Registry::findValue(std::u16string_view path, std::u16string_view name) const {
  const RegNode* key = findKey(path);
  return key == nullptr ? nullptr : findValue(*key, name);
}

void Registry::setValue(RegNode* key, std::u16string_view name, uint32_t type,
                        std::string_view data) {
  auto found = key->values.find(UnfoldedName{name});
  if (found == key->values.end()) {
    RegValue& value = key->values[foldedCopy(name)];
    value.name = std::u16string(name);
    value.type = type;
    value.data = std::string(data);
    markChanged();
    return;
  }
  RegValue& value = found->second;
  if (value.type == type && value.data == data) return;
  value.type = type;
  value.data.assign(data);
  markChanged();
}

bool Registry::removeValue(RegNode* key, std::u16string_view name) {
  auto found = key->values.find(UnfoldedName{name});
  if (found == key->values.end()) return false;
  key->values.erase(found);
  markChanged();
  return true;
}

bool storedText(const Registry& registry, std::u16string_view path, std::u16string_view name,
                std::u16string* text) {
  const RegValue* value = registry.findValue(path, name);
  if (value == nullptr || (value->type != kRegSz && value->type != kRegExpandSz)) return false;
  const std::u16string units = fromUtf16LeBytes(value->data);
  *text = units.substr(0, units.find(u'\0'));
  return true;
}

bool storedDword(const Registry& registry, std::u16string_view path, std::u16string_view name,
                 uint32_t* value) {
  const RegValue* stored = registry.findValue(path, name);
  if (stored == nullptr || stored->type != kRegDword || stored->data.size() != 4) return false;
  *value = readWord32(stored->data.data());
  return true;
}

std::vector<std::u16string> storedMultiText(const Registry& registry, std::u16string_view path,
                                            std::u16string_view name) {
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
