#include "platform/sim/device_tree.h"

#include <algorithm>
#include <cstdio>

#include "platform/sim/codepage.h"

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

std::u16string lastPart(const std::u16string& id) {
  const size_t slash = id.rfind(u'\\');
  return slash == std::u16string::npos ? id : id.substr(slash + 1);
}

std::vector<std::u16string> scanInstanceIds(const Registry& registry) {
  std::vector<std::pair<std::u16string, std::u16string>> found;  // folded id, id
  const RegNode* enumKey = registry.findKey(kEnumKeyPath);
  if (enumKey != nullptr) {
    for (const auto& [f1, enumerator] : enumKey->subkeys) {
      for (const auto& [f2, device] : enumerator->subkeys) {
        for (const auto& [f3, instance] : device->subkeys) {
          const std::u16string id =
              enumerator->name + u"\\" + device->name + u"\\" + instance->name;
          found.emplace_back(foldCase(id), id);
        }
      }
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::u16string> ids;
  for (auto& [folded, id] : found) ids.push_back(std::move(id));
  return ids;
}

// Links every present node to the parents whose ParentIdPrefix, followed by '&', begins
// its instance name. Parents and children keep enumeration order.
void linkChildren(const Registry& registry, DeviceTree* tree) {
  std::map<std::u16string, std::vector<const std::u16string*>> parentsByPrefix;
  for (const std::u16string& id : tree->ids) {
    std::u16string prefix;
    if (readTextValue(registry, nodeKeyPath(id), u"ParentIdPrefix", &prefix) && !prefix.empty()) {
      parentsByPrefix[foldCase(prefix)].push_back(&id);
    }
  }
  for (const std::u16string& id : tree->ids) {
    if (!isPresent(registry, id)) continue;
    const std::u16string name = foldCase(lastPart(id));
    for (size_t amp = name.find(u'&'); amp != std::u16string::npos;
         amp = name.find(u'&', amp + 1)) {
      auto parents = parentsByPrefix.find(name.substr(0, amp));
      if (parents == parentsByPrefix.end()) continue;
      for (const std::u16string* parent : parents->second) {
        if (foldCase(*parent) == foldCase(id)) continue;
        tree->children[foldCase(*parent)].push_back(id);
        auto [slot, inserted] = tree->parents.try_emplace(foldCase(id), *parent);
        if (!inserted && foldCase(*parent) < foldCase(slot->second)) slot->second = *parent;
      }
    }
  }
  for (auto& [parent, children] : tree->children) {
    std::sort(
        children.begin(), children.end(),
        [](const std::u16string& a, const std::u16string& b) { return foldCase(a) < foldCase(b); });
  }
}

const DeviceTree& currentTree(SimMachine& machine) {
  DeviceTree& tree = machine.deviceTree;
  if (tree.generation != machine.registry.generation()) {
    tree = DeviceTree{};
    tree.ids = scanInstanceIds(machine.registry);
    linkChildren(machine.registry, &tree);
    tree.generation = machine.registry.generation();
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
