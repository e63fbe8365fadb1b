// The simulated machine's device nodes, as laid out in the registry under
// SYSTEM\CurrentControlSet\Enum: one key Enum\<enumerator>\<device>\<instance> per node,
// its device instance id being that path below Enum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_devices.h"
#include "platform/sim/machine.h"

extern const char16_t kEnumKeyPath[];
extern const char16_t kClassKeyPath[];

// The key of a node; its hardware key (Device Parameters) and its Control subkey.
std::u16string nodeKeyPath(const std::u16string& instanceId);
std::u16string hardwareKeyPath(const std::u16string& instanceId);

// A device node: its instance id, that id folded for comparisons, and its key (good
// until the registry next changes).
struct InstanceNode {
  std::u16string folded;
  std::u16string id;
  const RegNode* key = nullptr;
};

// Every node, in enumeration order (the ids compared upper-cased).
std::vector<InstanceNode> allInstances(const Registry& registry);

// A node is present (started) while it has a Control subkey.
bool isPresent(const Registry& registry, const std::u16string& instanceId);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::u16string formatGuid(const OsGuid& guid);

// The node's handle, made on first sight and the same for the rest of the machine's life.
DevNode nodeHandle(SimMachine& machine, const std::u16string& instanceId);
// The instance id of a handle whose node still exists; false for 0, an unknown handle
// or a node whose key is gone.
bool nodeInstanceId(const SimMachine& machine, DevNode node, std::u16string* instanceId);

// Children: the present nodes whose instance name (the last part of the id) starts with
// the parent's ParentIdPrefix followed by '&', in enumeration order.
std::vector<std::u16string> childInstanceIds(const Registry& registry,
                                             const std::u16string& parentId);
// The first node, in enumeration order, whose children include `childId`; false when none.
bool parentInstanceId(const Registry& registry, const std::u16string& childId,
                      std::u16string* parentId);

// The value name of a SetupAPI device registry property (SPDRP_*), or null for one the
// simulation does not keep. Configuration-manager properties (CM_DRP_*) are these plus 1.
const char16_t* devicePropertyValueName(uint32_t property);
