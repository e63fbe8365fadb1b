// The simulated machine's registry: the HKEY_LOCAL_MACHINE tree in memory. Keys and
// value names are case-insensitive and case-preserving; a value is a type and its raw
// bytes (text types as UTF-16LE). Paths are relative to HKEY_LOCAL_MACHINE, their parts
// joined by '\'; the empty path is HKEY_LOCAL_MACHINE itself.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct RegValue {
  std::u16string name;  // empty: the key's default value
  uint32_t type = 0;
  std::string data;
};

struct RegNode {
  std::u16string name;
  std::map<std::u16string, std::unique_ptr<RegNode>> subkeys;  // by case-folded name
  std::map<std::u16string, RegValue> values;                   // by case-folded name
};

// Splits a path into its key names. A trailing '\' is allowed; an empty part elsewhere
// (a leading '\' or "\\") makes the path invalid and the result false.
bool splitKeyPath(const std::u16string& path, std::vector<std::u16string>* parts);

// `base` and `sub` joined by '\' (either may be empty).
std::u16string joinKeyPath(const std::u16string& base, const std::u16string& sub);

class Registry {
 public:
  Registry();

  const RegNode& root() const { return root_; }

  // The key at `path`, or null when it (or the path) does not exist.
  RegNode* findKey(const std::u16string& path);
  const RegNode* findKey(const std::u16string& path) const;
  // The key at `path` taken beneath `base` (a key of this registry), or null.
  static RegNode* findKeyBeneath(RegNode& base, const std::u16string& path);

  // The key at `path`, created with every missing parent; null for an invalid path.
  RegNode* addKey(const std::u16string& path);

  // Removes the key and everything beneath it; false when there was none. The root
  // cannot be removed: deleting the empty path empties it.
  bool deleteKey(const std::u16string& path);

  static const RegValue* findValue(const RegNode& key, const std::u16string& name);
  const RegValue* findValue(const std::u16string& path, const std::u16string& name) const;

  // Stores the value; setting the type and data it already has changes nothing.
  void setValue(RegNode* key, const std::u16string& name, uint32_t type, const std::string& data);
  // False when the value did not exist.
  bool removeValue(RegNode* key, const std::u16string& name);

  // Whether anything was created, changed or deleted since the last clearChanged.
  bool changed() const { return changed_; }
  void clearChanged() { changed_ = false; }

  // Goes up with every change: what is derived from the registry is current while its
  // generation stays the same.
  uint64_t generation() const { return generation_; }

  // Names the key layout: it is unique to this registry and changes whenever a key is
  // removed, so a RegNode* found while it stays the same is still that key.
  uint64_t keyLayout() const { return keyLayout_; }

 private:
  void markChanged() {
    changed_ = true;
    ++generation_;
  }

  RegNode root_;
  bool changed_ = false;
  uint64_t generation_ = 0;
  uint64_t keyLayout_;
};

// The text of a REG_SZ or REG_EXPAND_SZ value up to its first NUL, or false when the
// value is missing or of another type.
bool storedText(const Registry& registry, const std::u16string& path, const std::u16string& name,
                std::u16string* text);
// A REG_DWORD value of 4 bytes, or false.
bool storedDword(const Registry& registry, const std::u16string& path, const std::u16string& name,
                 uint32_t* value);
// The strings of a REG_MULTI_SZ (or REG_SZ) value, empty strings dropped.
std::vector<std::u16string> storedMultiText(const Registry& registry, const std::u16string& path,
                                            const std::u16string& name);
