#include "platform/sim/device_tree.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/os_types.h"
#include "platform/sim/case_fold.h"
#include "platform/sim/utf.h"

const char16_t kEnumKeyPath[] = u"SYSTEM\\CurrentControlSet\\Enum";
const char16_t kClassKeyPath[] = u"SYSTEM\\CurrentControlSet\\Control\\Class";

namespace {

struct PropertyRow {
  uint32_t property;
  const char16_t* valueName;
};

const PropertyRow kProperties[] = {
    {0x0, u"DeviceDesc"},
    {0x1, u"HardwareID"},
    {0x2, u"CompatibleIDs"},
    {0x4, u"Service"},
    {0x7, u"Class"},
    {0x8, u"ClassGUID"},
    {0x9, u"Driver"},
    {0xB, u"Mfg"},
    {0xC, u"FriendlyName"},
    {0x10, u"UINumber"},
    {0xD, u"LocationInformation"},
};

std::u16string joinedId(const std::u16string& enumerator, const std::u16string& device,
                        const std::u16string& instance) {
  std::u16string id;
  id.reserve(enumerator.size() + device.size() + instance.size() + 2);
  id.append(enumerator).append(1, u'\\').append(device).append(1, u'\\').append(instance);
  return id;
}

// Calls visit(folded instance name, key, node) for every node's key, in the order the
// keys are held (by folded names, part by part); node() makes the node's InstanceNode.
template <typename Visit>
void forEachNode(const Registry& registry, Visit visit) {
  const RegNode* top = registry.findKey(kEnumKeyPath);
  if (top == nullptr) return;
  // Subkeys are held by their folded names, so the folded id is made of those.
  for (const auto& enumerator : top->subkeys) {
    for (const auto& device : enumerator.second->subkeys) {
      for (const auto& instance : device.second->subkeys) {
        const auto node = [&] {
          return InstanceNode{
              joinedId(enumerator.first, device.first, instance.first),
              joinedId(enumerator.second->name, device.second->name, instance.second->name),
              instance.second.get()};
        };
        visit(instance.first, *instance.second, node);
      }
    }
  }
}

bool before(const InstanceNode& a, const InstanceNode& b) {
  const int order = a.folded.compare(b.folded);
  return order != 0 ? order < 0 : a.id < b.id;
}

void sortInEnumerationOrder(std::vector<InstanceNode>* nodes) {
  // The keys come in order of their folded names part by part, which mostly is already
  // the order of the whole folded ids.
  if (!std::is_sorted(nodes->begin(), nodes->end(), before)) {
    std::sort(nodes->begin(), nodes->end(), before);
  }
}

// The key of the node that `instanceId` names (Enum\<enumerator>\<device>\<instance>)
// and its instance name, folded; null when there is no such node.
const RegNode* instanceKey(const Registry& registry, const std::u16string& instanceId,
                           std::u16string* foldedName) {
  std::vector<std::u16string> parts;
  if (!splitKeyPath(instanceId, &parts) || parts.size() != 3 || instanceId.back() == u'\\') {
    return nullptr;
  }
  *foldedName = foldCase(parts[2]);
  return registry.findKey(nodeKeyPath(instanceId));
}

const std::u16string kParentIdPrefix = u"PARENTIDPREFIX";  // folded, as value names are held

// A node's ParentIdPrefix (a REG_SZ or REG_EXPAND_SZ up to its first NUL), folded; empty
// when there is none.
std::u16string foldedParentIdPrefix(const RegNode& key) {
  auto found = key.values.find(kParentIdPrefix);
  if (found == key.values.end()) return {};
  const RegValue& value = found->second;
  if (value.type != kRegSz && value.type != kRegExpandSz) return {};
  const std::u16string units = fromUtf16LeBytes(value.data);
  return foldCase(units.substr(0, units.find(u'\0')));
}

// Whether a folded instance name begins with a parent's folded ParentIdPrefix (not empty)
// followed by '&'.
bool namedAfter(std::u16string_view name, const std::u16string& prefix) {
  return !prefix.empty() && name.size() > prefix.size() && name[prefix.size()] == u'&' &&
         name.compare(0, prefix.size(), prefix) == 0;
}

bool hasControlKey(const RegNode& key) { return key.subkeys.count(UnfoldedName{u"Control"}) != 0; }

}  // namespace

std::u16string nodeKeyPath(const std::u16string& instanceId) {
  return joinKeyPath(kEnumKeyPath, instanceId);
}

std::u16string hardwareKeyPath(const std::u16string& instanceId) {
  return nodeKeyPath(instanceId) + u"\\Device Parameters";
}

std::vector<InstanceNode> allInstances(const Registry& registry) {
  std::vector<InstanceNode> nodes;
  forEachNode(registry, [&](const std::u16string&, const RegNode&, const auto& node) {
    nodes.push_back(node());
  });
  sortInEnumerationOrder(&nodes);
  return nodes;
}

bool isPresent(const Registry& registry, const std::u16string& instanceId) {
  return registry.findKey(nodeKeyPath(instanceId) + u"\\Control") != nullptr;
}

std::u16string formatGuid(const OsGuid& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.data1), guid.data2, guid.data3, guid.data4[0],
                guid.data4[1], guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5],
                guid.data4[6], guid.data4[7]);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

DevNode nodeHandle(SimMachine& machine, const std::u16string& instanceId) {
  const std::u16string folded = foldCase(instanceId);
  auto found = machine.nodeByFoldedId.find(folded);
  if (found != machine.nodeByFoldedId.end()) return found->second;
  machine.nodeIds.push_back(instanceId);
  const DevNode node = static_cast<DevNode>(machine.nodeIds.size());
  machine.nodeByFoldedId[folded] = node;
  return node;
}

bool nodeInstanceId(const SimMachine& machine, DevNode node, std::u16string* instanceId) {
  if (node == 0 || node > machine.nodeIds.size()) return false;
  const std::u16string& id = machine.nodeIds[node - 1];
  if (machine.registry.findKey(nodeKeyPath(id)) == nullptr) return false;
  *instanceId = id;
  return true;
}

std::vector<std::u16string> childInstanceIds(const Registry& registry,
                                             const std::u16string& parentId) {
  std::u16string name;
  const RegNode* parent = instanceKey(registry, parentId, &name);
  if (parent == nullptr) return {};
  const std::u16string prefix = foldedParentIdPrefix(*parent);
  if (prefix.empty()) return {};
  std::vector<InstanceNode> children;
  forEachNode(registry, [&](const std::u16string& name, const RegNode& key, const auto& node) {
    if (&key != parent && namedAfter(name, prefix) && hasControlKey(key)) {
      children.push_back(node());
    }
  });
  sortInEnumerationOrder(&children);
  std::vector<std::u16string> ids;
  for (InstanceNode& child : children) ids.push_back(std::move(child.id));
  return ids;
}

bool parentInstanceId(const Registry& registry, const std::u16string& childId,
                      std::u16string* parentId) {
  std::u16string childName;
  const RegNode* child = instanceKey(registry, childId, &childName);
  if (child == nullptr || !hasControlKey(*child)) return false;
  bool found = false;
  InstanceNode first;
  forEachNode(registry, [&](const std::u16string&, const RegNode& key, const auto& node) {
    if (&key == child || !namedAfter(childName, foldedParentIdPrefix(key))) return;
    InstanceNode candidate = node();
    if (!found || before(candidate, first)) first = std::move(candidate);
    found = true;
  });
  if (found) *parentId = first.id;
  return found;
}

const char16_t* devicePropertyValueName(uint32_t property) {
  for (const PropertyRow& row : kProperties) {
    if (row.property == property) return row.valueName;
  }
  return nullptr;
}
