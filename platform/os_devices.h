// The Plug and Play device manager, as the program calls it: SetupAPI device information
// sets and elements, and configuration-manager device nodes. Each call is the Windows
// function named beside it.
#pragma once

#include "platform/os_types.h"

// A Windows GUID, laid out as Windows lays it out.
struct OsGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

// A device information set (HDEVINFO). Null is no set.
struct OsDeviceSet;
using DeviceSet = OsDeviceSet*;

// A device information element (SP_DEVINFO_DATA). Opaque: made by newDeviceElement.
struct DeviceElement;

// SetupDiGetClassDevsW flag: present devices only.
constexpr uint32_t kDigcfPresent = 0x2;

// Device registry properties (SPDRP_*).
enum DeviceProperty : uint32_t {
  kSpdrpHardwareId = 0x1,
  kSpdrpService = 0x4,
  kSpdrpUiNumber = 0x10,
};

// Device-node registry properties (CM_DRP_*).
enum DevNodeProperty : uint32_t {
  kCmDrpClass = 8,
  kCmDrpFriendlyName = 13,
};

// CM_Open_DevNode_Key dispositions and key kinds.
constexpr uint32_t kRegDispositionOpenExisting = 1;
constexpr uint32_t kCmRegistryHardware = 0;
constexpr uint32_t kCmRegistrySoftware = 1;

// CM_Get_First_Log_Conf: the allocated configuration. CM_Get_Next_Res_Des: I/O ports.
constexpr uint32_t kAllocLogConf = 2;
constexpr uint32_t kResTypeIo = 2;

// Configuration-manager result codes (CONFIGRET). 0 is CR_SUCCESS.
constexpr uint32_t kCrSuccess = 0;
constexpr uint32_t kCrFailure = 0x13;
constexpr uint32_t kCrNoSuchDevnode = 0xD;
constexpr uint32_t kCrNoSuchValue = 0x25;
constexpr uint32_t kCrBufferSmall = 0x1A;
constexpr uint32_t kCrAccessDenied = 0x33;

// Property-change request (DIF_PROPERTYCHANGE with SP_PROPCHANGE_PARAMS).
constexpr uint32_t kDicsPropChange = 3;
constexpr uint32_t kDicsFlagGlobal = 1;

// SetupDiGetClassDevsW(classGuid, NULL, NULL, flags). Null when no set can be had.
DeviceSet getClassDevices(const OsGuid& classGuid, uint32_t flags);

// SetupDiDestroyDeviceInfoList. A null set is ignored.
void destroyDeviceSet(DeviceSet set);

// A zero-filled SP_DEVINFO_DATA with its size field set, or null when out of memory.
DeviceElement* newDeviceElement();
void freeDeviceElement(DeviceElement* element);

// SetupDiEnumDeviceInfo(set, index, element). False when the set is exhausted or null.
bool enumDeviceInfo(DeviceSet set, uint32_t index, DeviceElement* element);

// The element's device instance (SP_DEVINFO_DATA.DevInst); 0 for a null element.
DevNode deviceNodeOf(const DeviceElement* element);

// SetupDiGetDeviceRegistryPropertyW into a text buffer of *units UTF-16 units. On
// success *units is the data's size in units (no terminator added) and *type its type.
bool getDevicePropertyText(DeviceSet set, const DeviceElement* element, uint32_t property,
                           uint32_t* type, wchar_t* buffer, size_t* units);

// SetupDiGetDeviceRegistryPropertyW into a 4-byte buffer.
bool getDevicePropertyDword(DeviceSet set, const DeviceElement* element, uint32_t property,
                            uint32_t* type, uint32_t* value);

// SetupDiSetClassInstallParamsW with SP_PROPCHANGE_PARAMS {DIF_PROPERTYCHANGE,
// stateChange, scope, hwProfile} of its real size.
bool setPropertyChangeParams(DeviceSet set, DeviceElement* element, uint32_t stateChange,
                             uint32_t scope, uint32_t hwProfile);

// SetupDiChangeState(set, element).
bool changeDeviceState(DeviceSet set, DeviceElement* element);

// Device installation flags (SP_DEVINSTALL_PARAMS Flags) that ask for a restart of the
// computer before a change takes full effect.
constexpr uint32_t kDiNeedRestart = 0x80;
constexpr uint32_t kDiNeedReboot = 0x100;

// SetupDiGetDeviceInstallParamsW(set, element, params of their real size): *flags is the
// parameters' Flags, 0 when the call fails.
bool getDeviceInstallFlags(DeviceSet set, DeviceElement* element, uint32_t* flags);

// Device-node status bits (DN_*) of CM_Get_DevNode_Status.
constexpr uint32_t kDnStarted = 0x8;
constexpr uint32_t kDnHasProblem = 0x400;

// CM_Get_DevNode_Status(status, problem, node, 0). Both outputs are 0 on failure; the
// problem code (CM_PROB_*) means something only with kDnHasProblem.
uint32_t getDevNodeStatus(DevNode node, uint32_t* status, uint32_t* problem);

// CM_MapCrToWin32Err(result, ERROR_GEN_FAILURE): the system error a CONFIGRET stands for.
uint32_t osErrorOfConfigResult(uint32_t result);

// CM_Open_DevNode_Key(node, access, profile, disposition, out, flags). *out is null on
// failure. A key refused for want of rights has no code of its own: Microsoft documents
// none, and ReactOS, which reimplements the call, answers CR_NO_SUCH_REGISTRY_KEY for
// every key that does not open.
uint32_t openDevNodeKey(DevNode node, uint32_t access, uint32_t profile, uint32_t disposition,
                        RegKey* out, uint32_t flags);

// CM_Get_Child(out, node, 0) and CM_Get_Sibling(out, node, 0). *out is 0 on failure.
uint32_t getChildNode(DevNode* out, DevNode node);
uint32_t getSiblingNode(DevNode* out, DevNode node);

// CM_Get_DevNode_Registry_PropertyW(node, property, NULL, buffer, &bytes, 0) into a text
// buffer of *units UTF-16 units; on success *units is the data's size in units.
uint32_t getDevNodePropertyText(DevNode node, uint32_t property, wchar_t* buffer, size_t* units);

// CM_Set_DevNode_Registry_PropertyW(node, property, text, units * 2 bytes, 0).
uint32_t setDevNodePropertyText(DevNode node, uint32_t property, const wchar_t* text, size_t units);

// Logical configuration and resource descriptor handles (LOG_CONF, RES_DES). 0 is none.
using LogConfHandle = uintptr_t;
using ResDesHandle = uintptr_t;

// CM_Get_First_Log_Conf(out, node, flags).
uint32_t getFirstLogConf(LogConfHandle* out, DevNode node, uint32_t flags);
// CM_Free_Log_Conf_Handle.
uint32_t freeLogConfHandle(LogConfHandle logConf);
// CM_Get_Next_Res_Des(out, logConf, resourceType, NULL, 0).
uint32_t getNextResDes(ResDesHandle* out, LogConfHandle logConf, uint32_t resourceType);
// CM_Get_Res_Des_Data_Size(out, resDes, 0): the size of the descriptor's data. *out is 0
// on failure.
uint32_t getResDesDataSize(uint32_t* out, ResDesHandle resDes);
// CM_Get_Res_Des_Data(resDes, buffer, size, 0); a buffer smaller than the data is refused.
// An I/O descriptor's data is an IO_RESOURCE: the IO_DES header (two 32-bit words, then the
// 64-bit allocated base at offset 8) and its range array.
uint32_t getResDesData(ResDesHandle resDes, void* buffer, uint32_t size);
// CM_Free_Res_Des_Handle.
uint32_t freeResDesHandle(ResDesHandle resDes);
