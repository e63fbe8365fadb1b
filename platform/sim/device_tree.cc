#include "platform/sim/device_tree.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>

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

// A device node as the scan finds it: its instance id, folded for comparisons, and its key.
struct InstanceNode {
  std::u16string folded;
  std::u16string id;
  const RegNode* key;
};

std::u16string joinedId(const std::u16string& enumerator, const std::u16string& device,
                        const std::u16string& instance) {
  std::u16string id;
  id.reserve(enumerator.size() + device.size() + instance.size() + 2);
  id.append(enumerator).append(1, u'\\').append(device).append(1, u'\\').append(instance);
  return id;
}

const RegNode* enumKey(const Registry& registry) { return registry.findKey(kEnumKeyPath); }

std::vector<InstanceNode> scanInstances(const Registry& registry) {
  std::vector<InstanceNode> found;
  const RegNode* top = enumKey(registry);
  if (top != nullptr) {
    // Subkeys are held by their folded names, so the folded id is made of those.
    for (const auto& [f1, enumerator] : top->subkeys) {
      for (const auto& [f2, device] : enumerator->subkeys) {
        for (const auto& [f3, instance] : device->subkeys) {
          found.push_back({joinedId(f1, f2, f3),
                           joinedId(enumerator->name, device->name, instance->name),
                           instance.get()});
        }
      }
    }
  }
  const auto before = [](const InstanceNode& a, const InstanceNode& b) {
    const int order = a.folded.compare(b.folded);
    return order != 0 ? order < 0 : a.id < b.id;
  };
  // The keys come in order of their folded names part by part, which mostly is already
  // the order of the whole folded ids.
  if (!std::is_sorted(found.begin(), found.end(), before)) {
    std::sort(found.begin(), found.end(), before);
  }
  return found;
}

size_t instanceCount(const Registry& registry) {
  size_t count = 0;
  const RegNode* top = enumKey(registry);
  if (top == nullptr) return 0;
  for (const auto& [f1, enumerator] : top->subkeys) {
    for (const auto& [f2, device] : enumerator->subkeys) count += device->subkeys.size();
  }
  return count;
}

// A node's ParentIdPrefix (a REG_SZ or REG_EXPAND_SZ up to its first NUL), folded; empty
// when there is none.
std::u16string foldedParentIdPrefix(const RegNode& key) {
  static const std::u16string kName = foldCase(u"ParentIdPrefix");
  auto found = key.values.find(kName);
  if (found == key.values.end()) return {};
  const RegValue& value = found->second;
  if (value.type != 1 && value.type != 2) return {};
  const std::u16string units = fromUtf16LeBytes(value.data);
  return foldCase(units.substr(0, units.find(u'\0')));
}

bool hasControlKey(const RegNode& key) { return key.subkeys.count(u"CONTROL") != 0; }

// Links every present node to the parents whose ParentIdPrefix, followed by '&', begins
// its instance name. Parents and children keep enumeration order: `nodes` is in that
// order and is walked in it, so children are added, and both maps filled, in order.
void linkChildren(const std::vector<InstanceNode>& nodes, DeviceTree* tree) {
  constexpr size_t kNone = ~size_t{0};
  std::map<std::u16string, std::vector<size_t>, std::less<>> parentsByPrefix;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const std::u16string& prefix = tree->parentIdPrefixes[i];
    if (!prefix.empty()) parentsByPrefix[prefix].push_back(i);
  }
  std::vector<std::vector<size_t>> childrenOf(nodes.size());
  std::vector<size_t> parentOf(nodes.size(), kNone);  // the first parent in order
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!tree->present[i]) continue;
    const std::u16string& folded = nodes[i].folded;
    const size_t slash = folded.rfind(u'\\');
    const std::u16string_view name =
        std::u16string_view(folded).substr(slash == std::u16string::npos ? 0 : slash + 1);
    for (size_t amp = name.find(u'&'); amp != std::u16string_view::npos;
         amp = name.find(u'&', amp + 1)) {
      auto parents = parentsByPrefix.find(name.substr(0, amp));
      if (parents == parentsByPrefix.end()) continue;
      for (size_t parent : parents->second) {
        if (parent == i) continue;
        childrenOf[parent].push_back(i);
        if (parent < parentOf[i]) parentOf[i] = parent;
      }
    }
  }
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!childrenOf[i].empty()) {
      std::vector<std::u16string>& children =
          tree->children
              .emplace_hint(tree->children.end(), nodes[i].folded, std::vector<std::u16string>{})
              ->second;
      for (size_t child : childrenOf[i]) children.push_back(nodes[child].id);
    }
    if (parentOf[i] != kNone) {
      tree->parents.emplace_hint(tree->parents.end(), nodes[i].folded, nodes[parentOf[i]].id);
    }
  }
}

void buildTree(const Registry& registry, DeviceTree* tree) {
  *tree = DeviceTree{};
  const std::vector<InstanceNode> nodes = scanInstances(registry);
  for (const InstanceNode& node : nodes) {
    tree->ids.push_back(node.id);
    tree->keys.push_back(node.key);
    tree->parentIdPrefixes.push_back(foldedParentIdPrefix(*node.key));
    tree->present.push_back(hasControlKey(*node.key));
  }
  linkChildren(nodes, tree);
  tree->keyLayout = registry.keyLayout();
}

// Whether the tree still describes the registry after it changed: no key was removed
// (so every key it holds is still there, under its name), no node was added, and no
// node's ParentIdPrefix or presence differs. Most changes of a run (the settings store,
// friendly names) leave it so.
bool treeStillHolds(const Registry& registry, const DeviceTree& tree) {
  if (tree.keyLayout != registry.keyLayout() || instanceCount(registry) != tree.ids.size()) {
    return false;
  }
  for (size_t i = 0; i < tree.keys.size(); ++i) {
    if (hasControlKey(*tree.keys[i]) != tree.present[i] ||
        foldedParentIdPrefix(*tree.keys[i]) != tree.parentIdPrefixes[i]) {
      return false;
    }
  }
  return true;
}

const DeviceTree& currentTree(SimMachine& machine) {
  DeviceTree& tree = machine.deviceTree;
  const Registry& registry = machine.registry;
  if (tree.generation != registry.generation()) {
    if (!treeStillHolds(registry, tree)) buildTree(registry, &tree);
    tree.generation = registry.generation();
  }
  return tree;
}

const std::vector<std::u16string> kNoChildren;

}  // namespace

std::u16string nodeKeyPath(const std::u16string& instanceId) {
  return joinKeyPath(kEnumKeyPath, instanceId);
}

std::u16string hardwareKeyPath(const std::u16string& instanceId) {
  return nodeKeyPath(instanceId) + u"\\Device Parameters";
}

const std::vector<std::u16string>& allInstanceIds(SimMachine& machine) {
  return currentTree(machine).ids;
}

const std::vector<const RegNode*>& allInstanceKeys(SimMachine& machine) {
  return currentTree(machine).keys;
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

const std::vector<std::u16string>& childInstanceIds(SimMachine& machine,
                                                    const std::u16string& parentId) {
  const DeviceTree& tree = currentTree(machine);
  auto found = tree.children.find(foldCase(parentId));
  return found == tree.children.end() ? kNoChildren : found->second;
}

bool parentInstanceId(SimMachine& machine, const std::u16string& childId,
                      std::u16string* parentId) {
  const DeviceTree& tree = currentTree(machine);
  auto found = tree.parents.find(foldCase(childId));
  if (found == tree.parents.end()) return false;
  *parentId = found->second;
  return true;
}

const char16_t* devicePropertyValueName(uint32_t property) {
  for (const PropertyRow& row : kProperties) {
    if (row.property == property) return row.valueName;
  }
  return nullptr;
}
