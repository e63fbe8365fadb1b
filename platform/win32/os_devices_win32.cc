// The device-manager boundary on Windows: SetupAPI and configuration-manager calls, one
// each. Every output is cleared before its call: some systems report success without
// writing it.
#include "platform/os_devices.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstring>
#include <new>

#include "platform/win32/handles.h"

struct DeviceElement {
  SP_DEVINFO_DATA data;
};

namespace {

static_assert(sizeof(OsGuid) == sizeof(GUID), "OsGuid is laid out as GUID");

HDEVINFO toHdevinfo(DeviceSet set) { return reinterpret_cast<HDEVINFO>(set); }

SP_DEVINFO_DATA* elementData(const DeviceElement* element) {
  return const_cast<SP_DEVINFO_DATA*>(&element->data);
}

}  // namespace

DeviceSet getClassDevices(const OsGuid& classGuid, uint32_t flags) {
  GUID guid;
  std::memcpy(&guid, &classGuid, sizeof guid);
  HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags);
  return set == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<DeviceSet>(set);
}

void destroyDeviceSet(DeviceSet set) {
  if (set != nullptr) SetupDiDestroyDeviceInfoList(toHdevinfo(set));
}

DeviceElement* newDeviceElement() {
  DeviceElement* element = new (std::nothrow) DeviceElement{};
  if (element != nullptr) element->data.cbSize = sizeof(SP_DEVINFO_DATA);
  return element;
}

void freeDeviceElement(DeviceElement* element) { delete element; }

bool enumDeviceInfo(DeviceSet set, uint32_t index, DeviceElement* element) {
  if (set == nullptr || element == nullptr) return false;
  element->data = SP_DEVINFO_DATA{};
  element->data.cbSize = sizeof(SP_DEVINFO_DATA);
  return SetupDiEnumDeviceInfo(toHdevinfo(set), index, &element->data) != FALSE;
}

DevNode deviceNodeOf(const DeviceElement* element) {
  return element == nullptr ? 0 : element->data.DevInst;
}

bool getDevicePropertyText(DeviceSet set, const DeviceElement* element, uint32_t property,
                           uint32_t* type, wchar_t* buffer, size_t* units) {
  DWORD storedType = REG_NONE;
  DWORD required = 0;
  BOOL ok = SetupDiGetDeviceRegistryPropertyW(toHdevinfo(set), elementData(element), property,
                                              &storedType, reinterpret_cast<BYTE*>(buffer),
                                              unitsToBytes(*units), &required);
  *type = storedType;
  if (ok) *units = bytesToUnits(required);
  return ok != FALSE;
}

bool getDevicePropertyDword(DeviceSet set, const DeviceElement* element, uint32_t property,
                            uint32_t* type, uint32_t* value) {
  DWORD storedType = REG_NONE;
  DWORD data = 0;
  BOOL ok = SetupDiGetDeviceRegistryPropertyW(toHdevinfo(set), elementData(element), property,
                                              &storedType, reinterpret_cast<BYTE*>(&data),
                                              sizeof data, nullptr);
  *type = storedType;
  *value = data;
  return ok != FALSE;
}

bool setPropertyChangeParams(DeviceSet set, DeviceElement* element, uint32_t stateChange,
                             uint32_t scope, uint32_t hwProfile) {
  SP_PROPCHANGE_PARAMS params{};
  params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  params.StateChange = stateChange;
  params.Scope = scope;
  params.HwProfile = hwProfile;
  return SetupDiSetClassInstallParamsW(toHdevinfo(set), &element->data, &params.ClassInstallHeader,
                                       sizeof params) != FALSE;
}

bool changeDeviceState(DeviceSet set, DeviceElement* element) {
  return SetupDiChangeState(toHdevinfo(set), &element->data) != FALSE;
}

bool getDeviceInstallFlags(DeviceSet set, DeviceElement* element, uint32_t* flags) {
  SP_DEVINSTALL_PARAMS_W params{};
  params.cbSize = sizeof params;
  *flags = 0;
  if (SetupDiGetDeviceInstallParamsW(toHdevinfo(set), &element->data, &params) == FALSE) {
    return false;
  }
  *flags = params.Flags;
  return true;
}

static_assert(kDnStarted == DN_STARTED && kDnHasProblem == DN_HAS_PROBLEM,
              "the status bits as cfg.h has them");

// Windows 7 and later export it; MinGW's cfgmgr32.h does not declare it.
extern "C" DWORD WINAPI CM_MapCrToWin32Err(CONFIGRET result, DWORD defaultError);

uint32_t osErrorOfConfigResult(uint32_t result) {
  return CM_MapCrToWin32Err(result, ERROR_GEN_FAILURE);
}

uint32_t getDevNodeStatus(DevNode node, uint32_t* status, uint32_t* problem) {
  ULONG bits = 0;
  ULONG code = 0;
  CONFIGRET result = CM_Get_DevNode_Status(&bits, &code, node, 0);
  *status = result == CR_SUCCESS ? bits : 0;
  *problem = result == CR_SUCCESS ? code : 0;
  return result;
}

uint32_t openDevNodeKey(DevNode node, uint32_t access, uint32_t profile, uint32_t disposition,
                        RegKey* out, uint32_t flags) {
  HKEY key = nullptr;
  CONFIGRET result = CM_Open_DevNode_Key(node, access, profile, disposition, &key, flags);
  *out = result == CR_SUCCESS ? fromHkey(key) : nullptr;
  return result;
}

uint32_t getChildNode(DevNode* out, DevNode node) {
  DEVINST child = 0;
  CONFIGRET result = CM_Get_Child(&child, node, 0);
  *out = result == CR_SUCCESS ? child : 0;
  return result;
}

uint32_t getSiblingNode(DevNode* out, DevNode node) {
  DEVINST sibling = 0;
  CONFIGRET result = CM_Get_Sibling(&sibling, node, 0);
  *out = result == CR_SUCCESS ? sibling : 0;
  return result;
}

uint32_t getDevNodePropertyText(DevNode node, uint32_t property, wchar_t* buffer, size_t* units) {
  ULONG bytes = unitsToBytes(*units);
  CONFIGRET result = CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, buffer, &bytes, 0);
  if (result == CR_SUCCESS) *units = bytesToUnits(bytes);
  return result;
}

uint32_t setDevNodePropertyText(DevNode node, uint32_t property, const wchar_t* text,
                                size_t units) {
  return CM_Set_DevNode_Registry_PropertyW(node, property, text, unitsToBytes(units), 0);
}

uint32_t getFirstLogConf(LogConfHandle* out, DevNode node, uint32_t flags) {
  LOG_CONF logConf = 0;
  CONFIGRET result = CM_Get_First_Log_Conf(&logConf, node, flags);
  *out = result == CR_SUCCESS ? logConf : 0;
  return result;
}

uint32_t freeLogConfHandle(LogConfHandle logConf) { return CM_Free_Log_Conf_Handle(logConf); }

uint32_t getNextResDes(ResDesHandle* out, LogConfHandle logConf, uint32_t resourceType) {
  RES_DES resDes = 0;
  CONFIGRET result = CM_Get_Next_Res_Des(&resDes, logConf, resourceType, nullptr, 0);
  *out = result == CR_SUCCESS ? resDes : 0;
  return result;
}

uint32_t getResDesDataSize(uint32_t* out, ResDesHandle resDes) {
  ULONG size = 0;
  CONFIGRET result = CM_Get_Res_Des_Data_Size(&size, resDes, 0);
  *out = result == CR_SUCCESS ? size : 0;
  return result;
}

uint32_t getResDesData(ResDesHandle resDes, void* buffer, uint32_t size) {
  return CM_Get_Res_Des_Data(resDes, buffer, size, 0);
}

uint32_t freeResDesHandle(ResDesHandle resDes) { return CM_Free_Res_Des_Handle(resDes); }
